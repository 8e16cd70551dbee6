// The sample screen saver's installer, end to end: saverpack packs
// examples/glimmer/glimmer.json with the stub, the installer runs silently,
// and with a failing last step it leaves nothing behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

#include "files_support.h"
#include "saver_test_config.h"
#include "sysutil/FileVersion.h"

using namespace files_test;

namespace
{
// The program's output goes to a file, not a pipe: a pipe would stay open
// as long as any process that inherited it lives, and Wine starts its own
// long-lived helpers from the first programs it runs.
DWORD RunProgram(std::string commandLine, std::string* pOutput = nullptr)
{
    char temp[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    GetTempFileNameA(temp, "out", 0, name);
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE out = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si = {sizeof(si)};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(out);
    DWORD code = 0x80000000u | GetLastError();
    if (started)
    {
        if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 0xDEAD);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (pOutput != nullptr)
    {
        Bytes bytes = ReadAll(name);
        pOutput->assign(bytes.begin(), bytes.end());
    }
    DeleteFileA(name);
    return code;
}

std::string Quote(const std::string& s)
{
    return "\"" + s + "\"";
}

class FilesSample : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SAVER_TEST_HAVE_SETUP || !SAVER_TEST_HAVE_SAVERPACK)
            GTEST_SKIP() << "setup.exe or saverpack.exe is not built";
        if (!HaveGlimmer())
            GTEST_SKIP() << "the sample saver is not built";
        m_sys = m_dir / "sys";
        ASSERT_TRUE(MakeDir(m_sys));
        std::string source = SAVER_TEST_SOURCE_DIR;
        ASSERT_TRUE(CopyFileA(GlimmerPath(false).c_str(), (m_dir / "glimmer.scr").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((source + "\\examples\\saver\\readme.txt").c_str(), (m_dir / "readme.txt").c_str(),
                              FALSE));
        std::ifstream in(source + "\\examples\\glimmer\\glimmer.json");
        ASSERT_TRUE(in.good());
        m_script = nlohmann::json::parse(in);
        // The package's own SysProgDir hides the system's: the saver lands in
        // the test's folder instead of the shared prefix's system folder.
        nlohmann::json define = nlohmann::json::object();
        define["type"] = "define";
        define["name"] = "SysProgDir";
        define["value"] = m_sys;
        m_script["define"].insert(m_script["define"].begin(), define);
    }

    // Packs the script with the stub; returns the installer's path.
    std::string Pack(const nlohmann::json& script, const std::string& name)
    {
        std::string json = m_dir / (name + ".json");
        std::ofstream(json) << script.dump(2);
        std::string exe = m_dir / (name + ".exe");
        std::string output;
        DWORD code = RunProgram(Quote(SAVER_TEST_SAVERPACK_EXE) + " build " + Quote(json) + " --stub " +
                                    Quote(SAVER_TEST_SETUP_EXE) + " -o " + Quote(exe),
                                &output);
        EXPECT_EQ(code, 0u) << output;
        return exe;
    }

    ScratchDir m_dir;
    std::string m_sys;
    nlohmann::json m_script;
};
}  // namespace

TEST_F(FilesSample, InstallsTheSaverAndItsReadme)
{
    std::string exe = Pack(m_script, "glimmer-setup");
    EXPECT_EQ(RunProgram(Quote(exe) + " -s"), 0u);
    std::string scr = m_sys + "\\glimmer.scr";
    EXPECT_EQ(ReadAll(scr), ReadAll(GlimmerPath(false)));
    EXPECT_EQ(CompareFileVersions(scr.c_str(), GlimmerPath(true).c_str()), 0) << "1.2.0.0";
    EXPECT_EQ(ReadAll(m_sys + "\\Glimmer\\readme.txt"), ReadAll(m_dir / "readme.txt"));

    // Once more over the installed files: the same version and language is
    // simply written again.
    EXPECT_EQ(RunProgram(Quote(exe) + " -s"), 0u);
    EXPECT_EQ(ReadAll(scr), ReadAll(GlimmerPath(false)));
}

TEST_F(FilesSample, AFailingLastStepLeavesNothingBehind)
{
    nlohmann::json script = m_script;
    nlohmann::json failing = nlohmann::json::object();
    failing["type"] = "dir";
    failing["mode"] = "delete";
    failing["targets"] = nlohmann::json::array();
    failing["targets"].push_back("<SysProgDir>\\Glimmer\\no such file");
    script["finish2"] = nlohmann::json::array();
    script["finish2"].push_back(failing);
    std::string exe = Pack(script, "glimmer-failing");
    Listing before = ListTree(m_dir.Path());
    // The delete of a missing file cannot save its bytes: 26, in silent mode
    // the exit code.
    EXPECT_EQ(RunProgram(Quote(exe) + " -s"), 26u);
    EXPECT_EQ(Differences(before, ListTree(m_dir.Path())), "");
    EXPECT_FALSE(Exists(m_sys + "\\glimmer.scr"));
}
