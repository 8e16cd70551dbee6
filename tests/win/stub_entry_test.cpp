// setup.exe's own entry point: what WinMain gets of the command line once the
// program's name is taken off, however the name is written.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "objects/ErrorCodes.h"
#include "saver_test_config.h"
#include "support/TestSupport.h"

namespace
{
// Starts the program with exactly this command line and returns its exit
// code; a run that shows a box (the usage box of a command line it did not
// take) is ended after a few seconds with 0xDEAD.
DWORD RunWithCommandLine(const std::string& exe, std::string commandLine)
{
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    if (WaitForSingleObject(pi.hProcess, 5000) == WAIT_TIMEOUT)
    {
        TerminateProcess(pi.hProcess, 0xDEAD);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}
}  // namespace

// The bare stub with "-s" ends with 10 (no package) and shows nothing, but
// only if WinMain sees "-s" alone: any piece of the program's name left in
// front of it is text that is no option, which gives the usage box.
TEST(StubEntry, TheProgramNameIsTakenOffTheCommandLine)
{
    if (!SAVER_TEST_HAVE_SETUP)
        GTEST_SKIP() << "setup.exe is not built in this tree";
    ScratchDir dir;
    // A folder with a blank and one with a character beyond ASCII.
    std::string spaced = dir / "with blank";
    std::string accented = dir / "caf\xE9";
    ASSERT_TRUE(CreateDirectoryA(spaced.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(accented.c_str(), nullptr));
    std::string spacedExe = spaced + "\\setup.exe";
    std::string accentedExe = accented + "\\setup.exe";
    ASSERT_TRUE(CopyFileA(SAVER_TEST_SETUP_EXE, spacedExe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(SAVER_TEST_SETUP_EXE, accentedExe.c_str(), FALSE));

    const struct
    {
        const char* what;
        std::string exe;
        std::string commandLine;
        DWORD code;
    } cases[] = {
        {"quoted name with a blank", spacedExe, "\"" + spacedExe + "\" -s", ERR_NO_MARKER},
        {"quotes around part of the name", spacedExe, "\"" + spaced + "\"\\setup.exe -s", ERR_NO_MARKER},
        {"unquoted name beyond ASCII", accentedExe, accentedExe + " -s", ERR_NO_MARKER},
        {"blanks and tabs before the options", accentedExe, accentedExe + " \t  -s", ERR_NO_MARKER},
        {"a second -s is left over: the usage box", accentedExe, accentedExe + " -s -s", 0xDEAD},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunWithCommandLine(c.exe, c.commandLine), c.code) << c.what << ": " << c.commandLine;
}
