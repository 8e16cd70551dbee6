// setup.exe as a program: command-line options, exit codes, the boxes it
// shows, and the activation of the installed screen saver.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "objects/InstObjDir.h"
#include "saver_test_config.h"
#include "support/TestSupport.h"
#include "win/stub_driver.h"
#include "win/stub_installer.h"

namespace
{
const char kSaverName[] = "Glimmer for the tests";

std::string IniSaver()
{
    char buf[1024] = "";
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", buf, sizeof buf, "system.ini");
    return buf;
}

// An empty value removes the entry.
void SetIniSaver(const std::string& value)
{
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", value.empty() ? nullptr : value.c_str(), "system.ini");
}

std::string ShortPath(const std::string& path)
{
    char buf[MAX_PATH] = "";
    DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf) : path;
}

// The installers of the table, made once in a scratch folder.
class StubProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SAVER_TEST_HAVE_SETUP)
            GTEST_SKIP() << "setup.exe is not built in this tree";
        ASSERT_FALSE(stub::SetupBytes().empty()) << SAVER_TEST_SETUP_EXE;

        // The saver file lies in folders with long names, so that the
        // activation has a short form to write.
        m_saverDir = m_dir / "Glimmer Screen Savers";
        ASSERT_TRUE(CreateDirectoryA(m_saverDir.c_str(), nullptr));
        m_saverFile = m_saverDir + "\\glimmer saver long name.scr";
        ASSERT_TRUE(WriteFileBytes(m_saverFile, Text("saver")));

        stub::Variables variables = {
            {"SaverName", kSaverName},
            // Names are matched without regard to case.
            {"ids_install1", "Installing from the package:"},
            {"SaverDir", m_saverDir},
            {"SCRNSAVE.EXE", "<SaverDir>\\glimmer saver long name.scr"},
        };
        CInstaller good;
        stub::AddVariables(good, variables);
        m_good = Write("good.exe", stub::InstallerOf(good));

        CInstaller failing;
        stub::AddVariables(failing, variables);
        CInstObjDir* dir = new CInstObjDir;
        dir->m_nMode = MODE_CREATE;
        dir->m_Targets.Add("<NoSuchVariable>\\folder");
        failing.m_FileList.AddTail(dir);
        m_failing = Write("failing.exe", stub::InstallerOf(failing));

        m_bare = Write("bare.exe", stub::SetupBytes());

        Bytes damaged = stub::InstallerOf(good);
        damaged[damaged.size() - 20] ^= 0x01;
        m_damaged = Write("damaged.exe", damaged);
    }

    std::string Write(const char* name, const Bytes& bytes)
    {
        std::string path = m_dir / name;
        EXPECT_TRUE(WriteFileBytes(path, bytes)) << path;
        return path;
    }

    ScratchDir m_dir;
    std::string m_saverDir;
    std::string m_saverFile;
    std::string m_good;
    std::string m_failing;
    std::string m_bare;
    std::string m_damaged;
};
}  // namespace

// One test for all runs: several of them write "system.ini", which the
// activation check reads.
TEST_F(StubProgram, OptionsExitCodesBoxesAndActivation)
{
    const std::string sentinel = "C:\\sentinel.scr";
    const std::string activated = ShortPath(m_saverFile);
    ASSERT_NE(activated, m_saverFile) << "no short form to tell the two apart";

    const stub::Box usage = {"#32770", "Usage",
                             "Usage: good.exe [-s] [-a] [-o] [-h]\n"
                             "       -s  silent install\n"
                             "       -a  use as active saver\n"
                             "       -l  if necessary use new language for the player\n"
                             "       -h  this message\n"};
    // The dialogs' static texts in template order.
    const stub::Box confirm = {"#32770", "GP Screensaver",
                               std::string("Installing from the package:|now!|Do you wish to continue?|") + kSaverName};
    const stub::Box success = {"#32770", "GP Screensaver",
                               std::string("The Glimmerpane Screensaver|was installed successfully.|") + kSaverName};
    const stub::Box runError = {"#32770", "Installation failed", "An error occured"};
    const stub::Box loadError = {"#32770", "Installation failed", "Can't read the installation file!"};
    const stub::Box password = {"#32770", "Error", "Password incorrect!!!"};
    stub::Box bareUsage = usage;
    bareUsage.text.replace(7, 8, "bare.exe");

    struct Case
    {
        const char* what;
        const std::string& program;
        const char* args;
        std::vector<int> answers;
        DWORD exitCode;
        std::vector<stub::Box> boxes;
        bool activates;
    } cases[] = {
        // Interactive runs end with 0 whatever happened.
        {"no options: confirmation, success, activation", m_good, "", {IDYES, IDOK}, 0, {confirm, success}, true},
        {"declined", m_good, "", {IDNO}, 0, {confirm}, false},
        {"confirmation closed", m_good, "", {0}, 0, {confirm}, false},
        {"failing run", m_failing, "", {IDYES, IDOK}, 0, {confirm, runError}, false},
        {"no package", m_bare, "", {IDOK}, 0, {loadError}, false},
        {"damaged package", m_damaged, "", {IDOK, IDOK}, 0, {password, loadError}, false},

        // Silent runs show nothing and end with their ErrorCode.
        {"/S alone", m_good, "/S", {}, 0, {}, false},
        {"-s -a activates", m_good, "-s -a", {}, 0, {}, true},
        {"forms run together", m_good, "-s-a", {}, 0, {}, true},
        {"-L with -s", m_good, "-L -s", {}, 0, {}, false},
        {"no package, silent", m_bare, "-s", {}, ERR_NO_MARKER, {}, false},
        {"damaged package, silent: not even the password box", m_damaged, "-s", {}, ERR_FAILED, {}, false},
        {"failing run, silent", m_failing, "/s", {}, ERR_UNDEFINED_VARIABLE, {}, false},

        // Usage: text that is no option ends with 38 before anything is
        // loaded; help ends with 0, and is looked for first.
        {"-s twice", m_good, "-s -s", {IDOK}, 38, {usage}, false},
        {"unknown option", m_good, "-x", {IDOK}, 38, {usage}, false},
        {"unknown option with -s shows usage all the same", m_good, "-s -x", {IDOK}, 38, {usage}, false},
        {"-S is found first, /s is left over", m_good, "-S /s", {IDOK}, 38, {usage}, false},
        {"a form inside a word counts", m_good, "-s/sx", {IDOK}, 38, {usage}, false},
        {"help with junk", m_good, "-? junk", {IDOK}, 0, {usage}, false},
        {"help, nothing loaded", m_bare, "-s /?", {IDOK}, 0, {bareUsage}, false},
        {"-H", m_good, "-H", {IDOK}, 0, {usage}, false},
    };

    std::string before = IniSaver();
    for (const Case& c : cases)
    {
        SetIniSaver(sentinel);
        stub::Run run = stub::RunProgram(c.program, c.args, c.answers);
        ASSERT_TRUE(run.started) << c.what;
        EXPECT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(run.boxes.size(), c.boxes.size()) << c.what;
        for (size_t i = 0; i < run.boxes.size() && i < c.boxes.size(); i++)
        {
            EXPECT_EQ(run.boxes[i].className, c.boxes[i].className) << c.what << ", box " << i;
            EXPECT_EQ(run.boxes[i].caption, c.boxes[i].caption) << c.what << ", box " << i;
            EXPECT_EQ(run.boxes[i].text, c.boxes[i].text) << c.what << ", box " << i;
        }
        EXPECT_EQ(IniSaver(), c.activates ? activated : sentinel) << c.what;
    }
    SetIniSaver(before);
}
