// Real faults: a target that another process holds open. A real installer,
// packed by saverpack, runs silently while a second process keeps one of
// its targets open (without sharing, or sharing only reading, as a running
// program does). The step fails with its own code and the run's earlier
// changes are undone: the tree is as it was, and nothing is left in the
// installer's temporary folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "realfaults_support.h"
#include "saver_test_config.h"

using namespace files_test;
using namespace realfaults;

namespace
{
const DWORD kNoSharing = 0;
const DWORD kShareRead = FILE_SHARE_READ;
const DWORD kRunning = 0xFFFFFFFF;  // the file is a program, and it runs

// A second process that holds a file open (with the share mode given), or
// runs it, until it is ended.
class Holder
{
public:
    Holder(const std::string& path, DWORD share)
    {
        STARTUPINFOA si = {sizeof(si)};
        if (share == kRunning)
        {
            // The saver's settings box: it waits for a click.
            std::string cmd = "\"" + path + "\" /c";
            // Without a display the box cannot open and the saver ends at
            // once: then nothing holds the file.
            if (CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
                m_holding = WaitForInputIdle(m_pi.hProcess, 20000) == 0 &&
                            WaitForSingleObject(m_pi.hProcess, 500) == WAIT_TIMEOUT;
            return;
        }
        static int counter = 0;
        std::string event = "saver-realfaults-held-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(++counter);
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        std::string exe = std::string(SAVER_TEST_BIN_DIR) + "\\realfaults_holder.exe";
        std::string cmd = "\"" + exe + "\" \"" + path + "\" " + std::to_string(share) + " " + event;
        if (CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
        {
            HANDLE both[2] = {ready, m_pi.hProcess};
            m_holding = WaitForMultipleObjects(2, both, FALSE, 20000) == WAIT_OBJECT_0;
        }
        CloseHandle(ready);
    }
    ~Holder()
    {
        if (m_pi.hProcess == nullptr)
            return;
        TerminateProcess(m_pi.hProcess, 0);
        WaitForSingleObject(m_pi.hProcess, 10000);
        CloseHandle(m_pi.hThread);
        CloseHandle(m_pi.hProcess);
    }
    bool Holding() const { return m_holding; }

private:
    PROCESS_INFORMATION m_pi = {};
    bool m_holding = false;
};

// The tree the scripts work on, and what they carry.
void MakeTree(const std::string& target, const std::string& dir, const std::string& work)
{
    ASSERT_TRUE(MakeDir(target + "\\Saver") && MakeDir(target + "\\Saver\\sub", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(CopyFileA(GlimmerPath(false).c_str(), (target + "\\Saver\\glimmer.scr").c_str(), FALSE));
    ASSERT_TRUE(MakeFile(target + "\\Saver\\readme.txt", "the installed readme"));
    ASSERT_TRUE(MakeFile(target + "\\Saver\\sub\\deep.txt", "deep", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFile(target + "\\other.txt", "not the script's", FILE_ATTRIBUTE_SYSTEM));
    // A newer version of the saver, which replaces the installed one.
    ASSERT_TRUE(MakeDir(Join(dir, "source")));
    ASSERT_TRUE(MakeVersionedCopy(GlimmerPath(false), Join(dir, "source\\glimmer.scr"), 1, 3, 0, 0));
    ASSERT_TRUE(CopyFileA(Join(dir, "source\\glimmer.scr").c_str(), Join(work, "glimmer.scr").c_str(), FALSE));
    ASSERT_TRUE(MakeFile(Join(work, "new.txt"), "new bytes"));
}

struct HeldCase
{
    const char* name;
    DWORD share;  // of the process that holds Saver\\glimmer.scr
    // The failing step, given the target and the scratch folder.
    std::function<nlohmann::json(const std::string&, const std::string&)> step;
    DWORD code;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;  // of Saver\glimmer.scr
};
}  // namespace

TEST_F(RealFaults, ATargetHeldOpenByAnotherProcessFailsItsStepAndIsRolledBack)
{
    auto replace = [](const std::string& t, const std::string&) {
        return FileStep({t + "\\Saver\\glimmer.scr"}, "glimmer.scr");
    };
    auto second = [](const std::string& t, const std::string&) {
        return FileStep({t + "\\Saver\\second.scr", t + "\\Saver\\glimmer.scr"}, "glimmer.scr");
    };
    auto copy = [](const std::string& t, const std::string& d) {
        return DirStep("copy", {t + "\\Saver\\glimmer.scr"}, {d + "\\source\\glimmer.scr"});
    };
    auto remove = [](const std::string& t, const std::string&) {
        return DirStep("delete", {t + "\\Saver\\glimmer.scr"});
    };
    auto removeTree = [](const std::string& t, const std::string&) { return DirStep("delete", {t + "\\Saver"}); };
    // A file that another process has open, even only for reading, cannot
    // be saved (the record reads it without sharing): the step fails with
    // 26 before it changes anything.
    const HeldCase cases[] = {
        {"replacing, held without sharing", kNoSharing, replace, 26},
        {"replacing, held by a reader", kShareRead, replace, 26},
        {"the second target of one step held", kShareRead, second, 26},
        {"copying a file onto it", kShareRead, copy, 26},
        {"deleting it, held without sharing", kNoSharing, remove, 26},
        {"deleting it, held by a reader", kShareRead, remove, 26},
        {"deleting the tree that holds it", kShareRead, removeTree, 26},
        {"replacing the running saver", kRunning, replace, 1},
        {"the running saver the second target", kRunning, second, 1},
        {"copying a file onto the running saver", kRunning, copy, 21},
        {"deleting the running saver", kRunning, remove, 23},
        {"deleting the tree that holds the running saver", kRunning, removeTree, 17},
        // The delete passes over a read-only file; the rollback then finds
        // it in use and cannot write it back: it must keep its attributes.
        {"deleting the tree that holds the running saver, read-only", kRunning, removeTree, 17,
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
    };
    if (!HaveGlimmer())
        GTEST_SKIP() << "the sample saver is not built";
    MakeTree(m_target, m_dir.Path(), m_work);
    if (HasFatalFailure())
        return;
    int n = 0;
    for (const HeldCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        nlohmann::json script = {
            {"prepare", {DirStep("create", {m_target + "\\Saver\\new\\deeper"})}},
            {"file",
             {FileStep({m_target + "\\Saver\\new\\new.txt"}, "new.txt"),
              FileStep({m_target + "\\Saver\\readme.txt"}, "new.txt"), c.step(m_target, m_dir.Path())}},
        };
        std::string exe = Pack(script, m_work, "held" + std::to_string(++n));
        ASSERT_FALSE(exe.empty());
        std::string saver = m_target + "\\Saver\\glimmer.scr";
        ASSERT_TRUE(SetFileAttributesA(saver.c_str(), c.attributes));
        Listing before = ListRoots({m_target, m_temp});
        {
            Holder holder(saver, c.share);
            ASSERT_TRUE(holder.Holding()) << "the file is not held (a running saver needs a display)";
            EXPECT_EQ(InstallSilently(exe, m_temp), c.code);
        }
        EXPECT_EQ(Differences(before, ListRoots({m_target, m_temp})), "");
        SetFileAttributesA(saver.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    }
}
