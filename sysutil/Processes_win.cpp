// The process list and the closing of processes by name.
#include "sysutil/Processes.h"

#include <mbstring.h>
#include <stdio.h>
#include <string.h>
#include <tlhelp32.h>

#include <memory>

#include "framework/Owner.h"

namespace
{
const DWORD kPause = 50;
const char kPerfLibKey[] = "software\\microsoft\\windows nt\\currentversion\\perflib\\009";
const DWORD kPerfBufferStart = 51200;
const DWORD kPerfBufferStep = 25600;
// Beyond this the system's answer is not believed: no process list is that
// long, and the loop must end.
const DWORD kPerfBufferMax = 16u << 20;

typedef HANDLE(WINAPI* CreateSnapshotFn)(DWORD, DWORD);
typedef BOOL(WINAPI* ProcessWalkFn)(HANDLE, LPPROCESSENTRY32);

DWORD PlatformId()
{
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info))
        return 0;
    return info.dwPlatformId;
}

int ConvertName(const BYTE* pWide, int nChars, char* pszOut, int nOut)
{
    if (nChars == 0)
    {
        pszOut[0] = 0;
        return 0;
    }
    // The name lies where the block put it; the system wants it aligned.
    WCHAR szWide[MAX_PATH];
    if (nChars > MAX_PATH || nOut < 1)
        return -1;
    memcpy(szWide, pWide, (size_t)nChars * sizeof(WCHAR));
    int n = WideCharToMultiByte(CP_ACP, 0, szWide, nChars, pszOut, nOut - 1, nullptr, nullptr);
    if (n <= 0)
        return -1;
    pszOut[n] = 0;
    return n;
}

// A registry value read whole into a new buffer, with a zero behind it.
std::unique_ptr<BYTE[]> ReadValue(HKEY hKey, const char* pszName, DWORD* pnSize)
{
    DWORD nSize = 0;
    if (RegQueryValueExA(hKey, pszName, nullptr, nullptr, nullptr, &nSize) != ERROR_SUCCESS)
        return nullptr;
    std::unique_ptr<BYTE[]> data(new BYTE[nSize + 1]);
    if (data == nullptr)
        return nullptr;
    memset(data.get(), 0, nSize + 1);
    if (RegQueryValueExA(hKey, pszName, nullptr, nullptr, data.get(), &nSize) != ERROR_SUCCESS)
        return nullptr;
    *pnSize = nSize;
    return data;
}

struct WindowSearch
{
    TaskEntry* pEntries;
    DWORD nCount;
};

BOOL CALLBACK AssignWindow(HWND hWnd, LPARAM lParam)
{
    const WindowSearch& search = *(const WindowSearch*)lParam;
    DWORD dwProcessId = 0;
    if (GetWindowThreadProcessId(hWnd, &dwProcessId) == 0)
        return TRUE;
    for (DWORD i = 0; i < search.nCount; i++)
    {
        TaskEntry& entry = search.pEntries[i];
        if (entry.dwProcessId != dwProcessId)
            continue;
        // Every program with a user interface also owns hidden windows (the
        // input method's, for one), which WM_CLOSE does not end: a visible
        // window is kept against them.
        if (entry.hWindow != nullptr && IsWindowVisible(entry.hWindow) && !IsWindowVisible(hWnd))
            break;
        entry.hWindow = hWnd;
        entry.szWindowTitle[0] = 0;
        char szTitle[sizeof(entry.szWindowTitle)];
        if (GetWindowTextA(hWnd, szTitle, (int)sizeof(szTitle)) > 0)
            memcpy(entry.szWindowTitle, szTitle, sizeof(szTitle));
        break;
    }
    return TRUE;
}
}  // namespace

DWORD ListTasksToolhelp(TaskEntry* pEntries, DWORD nLimit)
{
    if (nLimit == 0)
        return 0;
    HMODULE hKernel = GetModuleHandleA("KERNEL32.DLL");
    if (hKernel == nullptr)
        return 0;
    CreateSnapshotFn pfnSnapshot = (CreateSnapshotFn)GetProcAddress(hKernel, "CreateToolhelp32Snapshot");
    ProcessWalkFn pfnFirst = (ProcessWalkFn)GetProcAddress(hKernel, "Process32First");
    ProcessWalkFn pfnNext = (ProcessWalkFn)GetProcAddress(hKernel, "Process32Next");
    if (pfnSnapshot == nullptr || pfnFirst == nullptr || pfnNext == nullptr)
        return 0;
    // A snapshot is a handle that fails as INVALID_HANDLE_VALUE.
    CFileOwner snapshot(pfnSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid())
        return 0;
    PROCESSENTRY32 process;
    memset(&process, 0, sizeof(process));
    process.dwSize = sizeof(process);
    DWORD nCount = 0;
    if (!pfnFirst(snapshot, &process))
        return 0;
    do
    {
        TaskEntry& entry = pEntries[nCount];
        process.szExeFile[sizeof(process.szExeFile) - 1] = 0;
        const char* pszName = strrchr(process.szExeFile, '\\');
        pszName = pszName != nullptr ? pszName + 1 : process.szExeFile;
        strcpy(entry.szProcessName, pszName);
        entry.dwProcessId = process.th32ProcessID;
        nCount++;
    } while (nCount < nLimit && pfnNext(snapshot, &process));
    return nCount;
}

DWORD ListTasksPerfData(TaskEntry* pEntries, DWORD nLimit)
{
    if (nLimit == 0)
        return 0;
    // Which object holds the processes, and which of its counters their ids.
    char szObject[16];
    DWORD dwIdCounter = 0;
    {
        CKeyOwner perflib;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPerfLibKey, 0, KEY_READ, perflib.Receive()) != ERROR_SUCCESS)
            return 0;
        DWORD nSize = 0;
        std::unique_ptr<BYTE[]> counters = ReadValue(perflib, "Counters", &nSize);
        if (counters == nullptr ||
            !FindProcessCounterIndexes((const char*)counters.get(), nSize, szObject, sizeof(szObject), &dwIdCounter))
            return 0;
    }

    DWORD nBuffer = kPerfBufferStart;
    std::unique_ptr<BYTE[]> data;
    DWORD nSize = 0;
    LONG lResult = ERROR_MORE_DATA;
    while (lResult == ERROR_MORE_DATA && nBuffer <= kPerfBufferMax)
    {
        data.reset(new BYTE[nBuffer]);
        if (data == nullptr)
            break;
        memset(data.get(), 0, nBuffer);
        nSize = nBuffer;
        lResult = RegQueryValueExA(HKEY_PERFORMANCE_DATA, szObject, nullptr, nullptr, data.get(), &nSize);
        nBuffer += kPerfBufferStep;
    }
    RegCloseKey(HKEY_PERFORMANCE_DATA);
    if (lResult != ERROR_SUCCESS || data == nullptr || nSize == 0)
        return 0;
    // The walk reads no further than the size reported, nor the buffer.
    if (nSize > nBuffer - kPerfBufferStep)
        nSize = nBuffer - kPerfBufferStep;
    return WalkPerfProcesses(data.get(), nSize, dwIdCounter, pEntries, nLimit - 1, ConvertName);
}

BOOL EnableDebugPrivilege()
{
    if (PlatformId() != VER_PLATFORM_WIN32_NT)
        return TRUE;
    CHandleOwner token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive()))
    {
        printf("OpenProcessToken failed with %lu\n", GetLastError());
        return FALSE;
    }
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid))
    {
        printf("LookupPrivilegeValue failed with %lu\n", GetLastError());
        return FALSE;
    }
    // Succeeds even when the privilege was not granted: only the last
    // error tells.
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    DWORD dwError = GetLastError();
    if (dwError != ERROR_SUCCESS)
    {
        printf("AdjustTokenPrivileges failed with %lu\n", dwError);
        return FALSE;
    }
    return TRUE;
}

void AssignTaskWindows(TaskEntry* pEntries, DWORD nCount)
{
    WindowSearch search = {pEntries, nCount};
    EnumWindows(AssignWindow, (LPARAM)&search);
}

int CloseProcessesByName(const char* pszName, BOOL bTerminate)
{
    DWORD (*pfnList)(TaskEntry*, DWORD) = nullptr;
    switch (PlatformId())
    {
    case VER_PLATFORM_WIN32_WINDOWS:
        pfnList = ListTasksToolhelp;
        break;
    case VER_PLATFORM_WIN32_NT:
        pfnList = ListTasksPerfData;
        EnableDebugPrivilege();
        break;
    default:
        printf("tlist requires Windows NT or Windows 95\n");
        return CLOSE_UNSUPPORTED;
    }

    TaskEntry tasks[kTaskListSize];
    memset(tasks, 0, sizeof(tasks));
    DWORD nCount = pfnList(tasks, kTaskListSize);
    AssignTaskWindows(tasks, nCount);

    int nResult = CLOSE_OK;
    for (DWORD i = 0; i < nCount; i++)
    {
        const TaskEntry& entry = tasks[i];
        if (_mbsicmp((const unsigned char*)entry.szProcessName, (const unsigned char*)pszName) != 0)
            continue;
        if (!bTerminate && entry.hWindow != nullptr)
        {
            PostMessageA(entry.hWindow, WM_CLOSE, 0, 0);
            Sleep(kPause);
            continue;
        }
        CHandleOwner process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.dwProcessId));
        if (!process.IsValid())
            continue;
        if (!TerminateProcess(process, 1))
            nResult = CLOSE_NOT_ENDED;
        process.Close();
        Sleep(kPause);
    }
    return nResult;
}
