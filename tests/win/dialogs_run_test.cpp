// The sample saver's installer clicked through like a user: confirmation,
// success and activation; declined in two ways; and failing, with the error
// dialog's text and nothing left behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

#include "activation_support.h"
#include "files_support.h"
#include "registry_support.h"
#include "saver_test_config.h"
#include "win/stub_driver.h"

using namespace activation_test;

namespace
{
std::string Quote(const std::string& s)
{
    return "\"" + s + "\"";
}

nlohmann::json Define(const char* name, const std::string& value)
{
    return {{"type", "define"}, {"name", name}, {"value", value}};
}

class DialogsRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SAVER_TEST_HAVE_SETUP || !SAVER_TEST_HAVE_SAVERPACK)
            GTEST_SKIP() << "setup.exe or saverpack.exe is not built";
        if (!files_test::HaveGlimmer())
            GTEST_SKIP() << "the sample saver is not built";
        // Long folder names, so that system.ini gets a short form.
        m_sys = m_dir / "System Programs";
        ASSERT_TRUE(files_test::MakeDir(m_sys));
        std::string source = SAVER_TEST_SOURCE_DIR;
        ASSERT_TRUE(CopyFileA(files_test::GlimmerPath(false).c_str(), (m_dir / "glimmer.scr").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((source + "\\examples\\saver\\readme.txt").c_str(), (m_dir / "readme.txt").c_str(),
                              FALSE));
        std::ifstream in(source + "\\examples\\glimmer\\glimmer.json");
        ASSERT_TRUE(in.good());
        m_script = nlohmann::json::parse(in);
        // The saver lands in the test's folder, not the prefix's system
        // folder, and the activation writes below a scratch key.
        auto& defines = m_script["define"];
        defines.insert(defines.begin(), Define("SysProgDir", m_sys));
        defines.push_back(Define("AktSaverKey", m_key.Full("desktop")));
        defines.push_back(Define("AktSaverValueName", "Glimmer"));
    }

    std::string Pack(const nlohmann::json& script, const std::string& name)
    {
        std::string json = m_dir / (name + ".json");
        std::ofstream(json) << script.dump(2);
        std::string exe = m_dir / (name + ".exe");
        std::string command = Quote(SAVER_TEST_SAVERPACK_EXE) + " build " + Quote(json) + " --stub " +
                              Quote(SAVER_TEST_SETUP_EXE) + " -o " + Quote(exe);
        STARTUPINFOA si = {sizeof si};
        PROCESS_INFORMATION pi = {};
        EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                                   &si, &pi));
        DWORD code = 1;
        if (pi.hProcess != nullptr)
        {
            WaitForSingleObject(pi.hProcess, 60000);
            GetExitCodeProcess(pi.hProcess, &code);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        EXPECT_EQ(code, 0u) << command;
        return exe;
    }

    ScratchDir m_dir;
    registry_test::ScratchKey m_key;
    std::string m_sys;
    nlohmann::json m_script;
};
}  // namespace

TEST_F(DialogsRun, TheSampleSaverClickedThrough)
{
    std::string good = Pack(m_script, "glimmer-setup");
    // A last step that cannot make its folder (a file stands in the way):
    // 20, after the saver's files were written.
    nlohmann::json failingScript = m_script;
    failingScript["finish2"] = {{{"type", "dir"}, {"mode", "create"}, {"targets", {"<SysProgDir>\\glimmer.scr\\x"}}}};
    std::string failing = Pack(failingScript, "glimmer-failing");

    const std::string sentinel = "C:\\sentinel.scr";
    const std::string iniBefore = IniSaver();
    const stub::Box confirm = {"#32770", "GP Screensaver",
                               "You are presently installing the screensaver|now!|Do you wish to continue?|Glimmer"};
    const stub::Box success = {"#32770", "GP Screensaver",
                               "The Glimmerpane Screensaver|was installed successfully.|Glimmer"};
    const stub::Box folderError = {"#32770", "Installation failed", "Could not create a folder"};
    struct
    {
        const char* what;
        const std::string& exe;
        std::vector<int> answers;
        std::vector<stub::Box> boxes;
        bool installed;
    } const cases[] = {
        {"Yes, then OK: installed and active", good, {IDYES, IDOK}, {confirm, success}, true},
        {"No", good, {IDNO}, {confirm}, false},
        {"the close box", good, {0}, {confirm}, false},
        {"a failing run", failing, {IDYES, IDOK}, {confirm, folderError}, false},
    };
    for (const auto& c : cases)
    {
        WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", sentinel.c_str(), "system.ini");
        files_test::Listing before = files_test::ListTree(m_sys);
        stub::Run run = stub::RunProgram(c.exe, "", c.answers);
        ASSERT_TRUE(run.started) << c.what << ": error " << run.startError;
        EXPECT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        ASSERT_EQ(run.boxes.size(), c.boxes.size()) << c.what;
        for (size_t i = 0; i < c.boxes.size(); i++)
        {
            EXPECT_EQ(run.boxes[i].caption, c.boxes[i].caption) << c.what << ", box " << i;
            EXPECT_EQ(run.boxes[i].text, c.boxes[i].text) << c.what << ", box " << i;
        }
        for (const stub::Box& progress : run.progress)
            EXPECT_EQ(progress.caption, "GP Screensaver") << c.what;

        std::string scr = m_sys + "\\glimmer.scr";
        DWORD type = 0;
        Bytes data;
        if (c.installed)
        {
            EXPECT_TRUE(files_test::Exists(scr)) << c.what;
            EXPECT_TRUE(files_test::Exists(m_sys + "\\Glimmer\\readme.txt")) << c.what;
            EXPECT_EQ(IniSaver(), ShortPath(scr)) << c.what;
            EXPECT_TRUE(registry_test::GetValue(m_key.Path("desktop"), "Glimmer", type, data)) << c.what;
            // Back to the start for the next case.
            EXPECT_TRUE(DeleteFileA(scr.c_str()));
            EXPECT_TRUE(DeleteFileA((m_sys + "\\Glimmer\\readme.txt").c_str()));
            EXPECT_TRUE(RemoveDirectoryA((m_sys + "\\Glimmer").c_str()));
            registry_test::DeleteTreeHkcu(m_key.Path("desktop"));
        }
        else
        {
            EXPECT_EQ(files_test::Differences(before, files_test::ListTree(m_sys)), "") << c.what;
            EXPECT_EQ(IniSaver(), sentinel) << c.what;
            EXPECT_FALSE(registry_test::KeyExistsHkcu(m_key.Path("desktop"))) << c.what;
        }
    }
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", iniBefore.empty() ? nullptr : iniBefore.c_str(), "system.ini");
}

// The question comes while the progress window is up, from the main thread
// of the run; its answer decides which language's file stays.
TEST_F(DialogsRun, TheLanguageQuestionDuringTheRun)
{
    std::string english = Pack(m_script, "glimmer-en");
    ASSERT_TRUE(CopyFileA(files_test::GlimmerPath(true).c_str(), (m_dir / "glimmer_de.scr").c_str(), FALSE));
    nlohmann::json germanScript = m_script;
    germanScript["file"][0]["contentFile"] = "glimmer_de.scr";
    std::string german = Pack(germanScript, "glimmer-de");
    const std::string scr = m_sys + "\\glimmer.scr";
    const std::string iniBefore = IniSaver();

    struct
    {
        const char* what;
        int answer;
        bool german;
    } const cases[] = {
        {"Yes keeps the installed language", IDOK, false},
        {"No takes the new one", IDCANCEL, true},
        {"the close box takes the new one", 0, true},
    };
    for (const auto& c : cases)
    {
        // English installed, whatever the case before left: -l replaces
        // without asking.
        stub::Run run = stub::RunProgram(english, "-s -l");
        ASSERT_EQ(run.exitCode, 0u) << c.what;
        run = stub::RunProgram(german, "", {IDYES, c.answer, IDOK});
        EXPECT_FALSE(run.timedOut) << c.what;
        EXPECT_EQ(run.exitCode, 0u) << c.what;
        std::string seen;
        for (const stub::Box& box : run.boxes)
            seen += "[" + box.text + "] ";
        ASSERT_EQ(run.boxes.size(), 3u) << c.what << ": " << seen;
        EXPECT_EQ(run.boxes[1].caption, "GP Screensaver") << c.what;
        EXPECT_EQ(run.boxes[1].text.find("The English"), 0u)
            << c.what << ": the installed language comes first: " << run.boxes[1].text;
        EXPECT_NE(run.boxes[1].text.find("is in German"), std::string::npos) << run.boxes[1].text;
        Bytes installed = files_test::ReadAll(scr);
        EXPECT_TRUE(installed == files_test::ReadAll(files_test::GlimmerPath(c.german))) << c.what;
    }
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", iniBefore.empty() ? nullptr : iniBefore.c_str(), "system.ini");
}
