// Closing running programs by name, live under Wine. The closing runs in a
// program of its own (procs_closer.exe), so that the system version it sees
// can be set for it alone: "win98" makes it list processes through
// toolhelp; in the default NT mode Wine's performance data lists none.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "saver_test_config.h"

namespace
{
// Closing goes by name, and the system version is set per program name:
// each test works on copies of the three tools under names of its own, so
// that tests running side by side cannot close each other's helpers.
const char kCloser[] = "procs_closer";
const char kWindowed[] = "procs_windowed";
const char kWindowless[] = "procs_windowless";
const DWORD kWait = 10000;
const DWORD kTerminated = 1;  // the exit code the closing gives
const DWORD kClosed = 0;      // the windowed helper's own, on WM_CLOSE

std::string Tool(const char* pszName)
{
    return std::string(SAVER_TEST_BIN_DIR) + SAVER_TEST_SEP + pszName;
}

HANDLE Start(const std::string& commandLine)
{
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

BOOL CALLBACK FindWindowOf(HWND hWnd, LPARAM lParam)
{
    std::pair<DWORD, bool>& search = *(std::pair<DWORD, bool>*)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid == search.first && IsWindowVisible(hWnd))
        search.second = true;
    return TRUE;
}

bool WaitForWindow(HANDLE hProcess)
{
    for (int i = 0; i < 200; i++)
    {
        std::pair<DWORD, bool> search(GetProcessId(hProcess), false);
        EnumWindows(FindWindowOf, (LPARAM)&search);
        if (search.second)
            return true;
        Sleep(50);
    }
    return false;
}

// The exit code once ended; STILL_ACTIVE when it runs on after the wait.
DWORD ExitCodeAfter(HANDLE hProcess, DWORD nWait)
{
    WaitForSingleObject(hProcess, nWait);
    DWORD dwCode = 0;
    GetExitCodeProcess(hProcess, &dwCode);
    return dwCode;
}

class ProcsClose : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_tag = "_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
        for (const char* pszTool : {kCloser, kWindowed, kWindowless})
            ASSERT_TRUE(CopyFileA(Tool((std::string(pszTool) + ".exe").c_str()).c_str(), Tool(Name(pszTool).c_str()).c_str(),
                                  FALSE))
                << pszTool << ": " << GetLastError();
    }

    void TearDown() override
    {
        for (HANDLE h : m_helpers)
        {
            if (ExitCodeAfter(h, 0) == STILL_ACTIVE)
                TerminateProcess(h, 99);
            WaitForSingleObject(h, kWait);
            CloseHandle(h);
        }
        SetVersion(nullptr);
        for (const char* pszTool : {kCloser, kWindowed, kWindowless})
            DeleteFileA(Tool(Name(pszTool).c_str()).c_str());
    }

    // This test's copy of a tool.
    std::string Name(const char* pszTool, const char* pszExtension = ".exe") const
    {
        return std::string(pszTool) + m_tag + pszExtension;
    }

    // The system version procs_closer.exe sees; null: the default.
    void SetVersion(const char* pszVersion)
    {
        const std::string key = "Software\\Wine\\AppDefaults\\" + Name(kCloser);
        if (pszVersion == nullptr)
        {
            RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
            return;
        }
        HKEY hKey = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(hKey, "Version", 0, REG_SZ, (const BYTE*)pszVersion, (DWORD)strlen(pszVersion) + 1);
        RegCloseKey(hKey);
    }

    HANDLE Helper(const char* pszTool)
    {
        HANDLE h = Start(Tool(Name(pszTool).c_str()));
        EXPECT_NE(h, nullptr) << pszTool;
        if (h != nullptr)
        {
            m_helpers.push_back(h);
            if (strcmp(pszTool, kWindowed) == 0)
                EXPECT_TRUE(WaitForWindow(h));
        }
        return h;
    }

    DWORD Close(const char* pszPass, const std::string& name)
    {
        HANDLE h = Start(Tool(Name(kCloser).c_str()) + " " + pszPass + " " + name);
        if (h == nullptr)
            return 1000;
        DWORD dwCode = ExitCodeAfter(h, 30000);
        CloseHandle(h);
        return dwCode;
    }

    std::vector<HANDLE> m_helpers;
    std::string m_tag;
};
}  // namespace

TEST_F(ProcsClose, AskingClosesTheWindowAndTerminatesTheWindowless)
{
    SetVersion("win98");
    HANDLE hWindowed = Helper(kWindowed);
    HANDLE hWindowless = Helper(kWindowless);
    EXPECT_EQ(Close("ask", Name(kWindowed)), 0u);
    EXPECT_EQ(ExitCodeAfter(hWindowed, kWait), kClosed);
    EXPECT_EQ(Close("ask", Name(kWindowless)), 0u);
    EXPECT_EQ(ExitCodeAfter(hWindowless, kWait), kTerminated);
}

TEST_F(ProcsClose, TerminatingEndsEveryInstanceWhateverTheLetterCase)
{
    SetVersion("win98");
    HANDLE a = Helper(kWindowless);
    HANDLE b = Helper(kWindowless);
    HANDLE w = Helper(kWindowed);
    EXPECT_EQ(Close("terminate", "PROCS_WindowLESS" + Name("", ".EXE")), 0u);
    EXPECT_EQ(ExitCodeAfter(a, kWait), kTerminated);
    EXPECT_EQ(ExitCodeAfter(b, kWait), kTerminated);
    // The terminating pass does not ask, even where there is a window.
    EXPECT_EQ(Close("terminate", Name(kWindowed)), 0u);
    EXPECT_EQ(ExitCodeAfter(w, kWait), kTerminated);
}

TEST_F(ProcsClose, TheActionStepAsksFirst)
{
    SetVersion("win98");
    HANDLE w1 = Helper(kWindowed);
    HANDLE w2 = Helper(kWindowed);
    EXPECT_EQ(Close("action", Name(kWindowed)), 0u);
    EXPECT_EQ(ExitCodeAfter(w1, kWait), kClosed);
    EXPECT_EQ(ExitCodeAfter(w2, kWait), kClosed);
}

TEST_F(ProcsClose, NoMatchOrNoListLeavesEverythingRunning)
{
    struct Case
    {
        const char* version;
        const char* pass;
        std::string name;
    } cases[] = {
        {"win98", "action", Name("procs_windowles")},
        {"win98", "action", Name(kWindowless, "")},
        {"win98", "terminate", ""},
        // Wine's performance data holds no processes: nothing to close.
        {nullptr, "action", Name(kWindowless)},
        {"winxp", "terminate", Name(kWindowless)},
    };
    HANDLE h = Helper(kWindowless);
    for (const Case& c : cases)
    {
        SetVersion(c.version);
        EXPECT_EQ(Close(c.pass, !c.name.empty() ? c.name : "\"\""), 0u) << c.pass << " " << c.name;
        EXPECT_EQ(ExitCodeAfter(h, 0), STILL_ACTIVE) << c.pass << " " << c.name;
    }
}
