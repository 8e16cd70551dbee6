// The Windows build of saverpack builds an installer from an example script
// that the installer's own loader reads, and verifies it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "saver_test_config.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "support/TestSupport.h"

namespace
{
// Runs the command line and returns the process's exit code, or -1.
DWORD RunProgram(const std::string& commandLine)
{
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return (DWORD)-1;
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = (DWORD)-1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

std::string Quote(const std::string& s)
{
    return "\"" + s + "\"";
}

TEST(PackerWindows, BuildsAnInstallerTheLoaderReads)
{
#if SAVER_TEST_HAVE_SAVERPACK
    ScratchDir dir;
    // Any program serves as the stub for the packer; the shipped one when
    // this build has it.
    std::string stub = SAVER_TEST_HAVE_SETUP ? SAVER_TEST_SETUP_EXE : SAVER_TEST_BIN_DIR "\\exit_with.exe";
    std::string script = SAVER_TEST_SOURCE_DIR "\\examples\\scripts\\hello.json";
    std::string installer = dir / "hello-setup.exe";
    std::string exe = Quote(SAVER_TEST_SAVERPACK_EXE);

    ASSERT_EQ(RunProgram(exe + " build " + Quote(script) + " -o " + Quote(installer) + " --stub " + Quote(stub)), 0u);
    EXPECT_EQ(RunProgram(exe + " verify " + Quote(installer)), 0u);

    CInstaller loaded;
    PackageArchive::SetMessageHandler(nullptr);
    ASSERT_EQ(loaded.LoadPackage(CString(installer.c_str())), ERR_OK);
    EXPECT_EQ(loaded.m_DefineList.GetCount(), 2);
    EXPECT_EQ(loaded.m_PrepareList.GetCount(), 1);
    EXPECT_EQ(loaded.m_FileList.GetCount(), 1);

    // A bad script fails and leaves nothing behind.
    std::string bad = dir / "bad.json";
    WriteFileBytes(bad, Text("{\"file\": [{\"type\": \"dri\"}]}"));
    std::string badOut = dir / "bad.exe";
    EXPECT_EQ(RunProgram(exe + " build " + Quote(bad) + " -o " + Quote(badOut) + " --stub " + Quote(stub)), 1u);
    EXPECT_EQ(GetFileAttributesA(badOut.c_str()), INVALID_FILE_ATTRIBUTES);
#else
    GTEST_SKIP() << "saverpack is not built";
#endif
}
} // namespace
