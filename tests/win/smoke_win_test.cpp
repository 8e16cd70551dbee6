#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "saver_test_config.h"

namespace {

DWORD RunTool(const std::string& commandLine)
{
    STARTUPINFOA si = { sizeof(si) };
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;  // CreateProcessA may write to it
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError() | 0x80000000u;
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

}  // namespace

// Helper programs sit beside the tests, and exit codes wider than 8 bits
// reach a Win32 parent intact.
TEST(SmokeWin, HelperExitCodeReachesParent)
{
    const std::string tool = std::string("\"") + SAVER_TEST_BIN_DIR + "\\exit_with.exe\"";
    EXPECT_EQ(RunTool(tool + " 0"), 0u);
    EXPECT_EQ(RunTool(tool + " 0x12345678"), 0x12345678u);
}

// Windows need the display that the test fixture provides.
TEST(SmokeWin, WindowCanBeCreated)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SaverSmokeWindow";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND wnd = CreateWindowExA(0, wc.lpszClassName, "smoke", WS_OVERLAPPEDWINDOW,
                               0, 0, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(wnd, nullptr) << "CreateWindowExA failed: " << GetLastError();
    ShowWindow(wnd, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(wnd));
    DestroyWindow(wnd);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
}
