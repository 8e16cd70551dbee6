// A DLL planted beside an installer under the name of a system DLL
// (version.dll, comctl32.dll): when anything loads it, it leaves
// "<its own path>.loaded" behind. It exports the functions the stub would
// look for under both names, doing nothing, so that a program that imports
// them still starts and the marker shows the load.
#define NOVER
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE hModule, DWORD dwReason, LPVOID)
{
    if (dwReason != DLL_PROCESS_ATTACH)
        return TRUE;
    char szPath[MAX_PATH + 16];
    DWORD n = GetModuleFileNameA(hModule, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return TRUE;
    lstrcpyA(szPath + n, ".loaded");
    HANDLE hFile = CreateFileA(szPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD)
{
    return 0;
}

extern "C" __declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID)
{
    return FALSE;
}

extern "C" __declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT)
{
    return FALSE;
}

extern "C" __declspec(dllexport) void WINAPI InitCommonControls()
{
}

extern "C" __declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void*)
{
    return FALSE;
}
