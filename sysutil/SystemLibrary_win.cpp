#include "sysutil/SystemLibrary.h"

#include <windows.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace
{
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryFn)(LPCSTR);

FARPROC KernelFunction(const char* pszName)
{
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    return hKernel != nullptr ? GetProcAddress(hKernel, pszName) : nullptr;
}

// The search flags of LoadLibraryExA came with AddDllDirectory (Windows 8,
// and Vista and 7 with KB2533623); a system without it refuses the flag.
bool HasSearchFlags()
{
    return KernelFunction("AddDllDirectory") != nullptr;
}

// Only a plain name: a path would lead out of the system folder.
bool IsPlainName(const char* pszName)
{
    if (pszName == nullptr || *pszName == '\0')
        return false;
    for (const char* p = pszName; *p != '\0'; p++)
        if (*p == '\\' || *p == '/' || *p == ':')
            return false;
    return pszName[0] != '.' || (pszName[1] != '\0' && pszName[1] != '.');
}
}  // namespace

void SetSafeDllSearch()
{
    SetDefaultDllDirectoriesFn pfnDefault =
        (SetDefaultDllDirectoriesFn)KernelFunction("SetDefaultDllDirectories");
    if (pfnDefault != nullptr)
        pfnDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryFn pfnDirectory = (SetDllDirectoryFn)KernelFunction("SetDllDirectoryA");
    if (pfnDirectory != nullptr)
        pfnDirectory("");
}

HMODULE LoadSystemLibraryByPath(const char* pszName)
{
    if (!IsPlainName(pszName))
        return nullptr;
    char szPath[MAX_PATH];
    UINT nFolder = GetSystemDirectoryA(szPath, MAX_PATH);
    size_t nName = lstrlenA(pszName);
    // 0 is a failure, and MAX_PATH or more the size the folder would need.
    if (nFolder == 0 || nFolder >= MAX_PATH || nFolder + 1 + nName >= MAX_PATH)
        return nullptr;
    if (szPath[nFolder - 1] != '\\')
        szPath[nFolder++] = '\\';
    lstrcpyA(szPath + nFolder, pszName);
    return LoadLibraryExA(szPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadSystemLibrary(const char* pszName)
{
    if (!IsPlainName(pszName))
        return nullptr;
    if (HasSearchFlags())
        return LoadLibraryExA(pszName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return LoadSystemLibraryByPath(pszName);
}
