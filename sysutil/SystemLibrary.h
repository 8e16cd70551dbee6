// DLLs from the system folder only. An installer is started from folders
// that anyone can drop files into (a Downloads folder); a DLL there named
// like one the program loads would run with the installer's rights. Only
// the system's known DLLs are imported; every other one is loaded here.
#ifndef SYSUTIL_SYSTEMLIBRARY_H
#define SYSUTIL_SYSTEMLIBRARY_H

#include "framework/WinTypes.h"

// Takes the program's folder and the current folder out of the search for
// DLLs: the first thing the program does. Where the system has them, the
// search is narrowed to the system folder (SetDefaultDllDirectories) and the
// current folder is dropped (SetDllDirectoryA with an empty text); older
// systems have neither and keep their search.
void SetSafeDllSearch();

// Loads the DLL of this plain file name ("version.dll") from the system
// folder and nowhere else: with the system-folder search flag where the
// system has it (which still lets a side-by-side assembly of the program's
// manifest stand in), otherwise by its full path. Null when it cannot be
// loaded, or when the name is not a plain file name.
HMODULE LoadSystemLibrary(const char* pszName);

// The by-path branch of LoadSystemLibrary, on every system.
HMODULE LoadSystemLibraryByPath(const char* pszName);

#endif
