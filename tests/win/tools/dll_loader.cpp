// Loads the DLL named on its command line the way MODE says, from wherever
// it was copied to (beside planted DLLs):
//   dll_loader plain NAME    LoadLibraryA(NAME), as any program would
//   dll_loader safe NAME     the stub's search mode first, then LoadLibraryA
//   dll_loader system NAME   the stub's search mode, then LoadSystemLibrary
//   dll_loader path NAME     LoadSystemLibraryByPath, the older systems' way
// Ends with 0 when the DLL came from the system folder, 3 when it came from
// elsewhere, 1 when it was not loaded and 2 on a wrong command line. It
// imports nothing but kernel32 and msvcrt, so that nothing else loads a DLL
// of that name first.
#include <windows.h>
#include <string.h>

#include "sysutil/SystemLibrary.h"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const char* mode = argv[1];
    const char* name = argv[2];
    if (strcmp(mode, "safe") == 0 || strcmp(mode, "system") == 0)
        SetSafeDllSearch();
    HMODULE h = nullptr;
    if (strcmp(mode, "plain") == 0 || strcmp(mode, "safe") == 0)
        h = LoadLibraryA(name);
    else if (strcmp(mode, "system") == 0)
        h = LoadSystemLibrary(name);
    else if (strcmp(mode, "path") == 0)
        h = LoadSystemLibraryByPath(name);
    else
        return 2;
    if (h == nullptr)
        return 1;
    char module[MAX_PATH], folder[MAX_PATH];
    DWORD n = GetModuleFileNameA(h, module, MAX_PATH);
    UINT nFolder = GetSystemDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || nFolder == 0 || nFolder >= MAX_PATH)
        return 1;
    char* slash = strrchr(module, '\\');
    if (slash != nullptr)
        *slash = '\0';
    return lstrcmpiA(module, folder) == 0 ? 0 : 3;
}
