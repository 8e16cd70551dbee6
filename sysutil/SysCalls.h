// The one way to change a file, a folder or the registry. Each wrapper makes
// exactly one system call and returns that call's own result. Before it, it
// refuses while a framework exception is pending (a step that ran out of
// memory changes nothing more: the result, or the last error, is then
// ERROR_NOT_ENOUGH_MEMORY) and, in test builds, asks the change fault hook
// (framework/FaultHooks.h: a change it fails is not made, the result or
// last error is the hook's error, ERROR_GEN_FAILURE if that is 0). Every
// failure, refused ones included, is
// logged with LogSystemError as "<call> <path>"; the last error is the
// call's own afterwards, whatever the log did.
//
// Functions that only read (attributes, listings, identity) need none of
// this and call the system directly.
#ifndef SYSUTIL_SYSCALLS_H
#define SYSUTIL_SYSCALLS_H

#include "framework/WinTypes.h"

// Files and folders: BOOL results, GetLastError says why on FALSE.
BOOL SysCreateDirectory(const char* pszPath);
BOOL SysRemoveDirectory(const char* pszPath);
BOOL SysDeleteFile(const char* pszPath);
BOOL SysCopyFile(const char* pszSource, const char* pszTarget, BOOL bFailIfExists);
// MoveFileA: a file or a folder, within a volume.
BOOL SysMoveFile(const char* pszSource, const char* pszTarget);
BOOL SysSetFileAttributes(const char* pszPath, DWORD dwAttributes);
// CreateFileA for writing (no security attributes, no template):
// INVALID_HANDLE_VALUE on failure.
HANDLE SysCreateFile(const char* pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags);
// WriteFile without overlapping (pnWritten is required); *pnWritten is 0
// when the write is refused.
BOOL SysWriteFile(HANDLE hFile, const void* pData, DWORD nLength, DWORD* pnWritten);

// The registry: the system's LONG result (ERROR_SUCCESS on success).
// RegCreateKeyExA, non-volatile, access KEY_READ | KEY_WRITE; *phKey is null
// when the call is refused. pdwDisposition may be null.
LONG SysRegCreateKeyEx(HKEY hParent, const char* pszSubKey, HKEY* phKey, DWORD* pdwDisposition);
// RegSetValueExA; a null or empty name is the key's unnamed default value.
LONG SysRegSetValueEx(HKEY hKey, const char* pszName, DWORD dwType, const BYTE* pData, DWORD nLength);
// RegDeleteKeyA: the key must have no sub-keys.
LONG SysRegDeleteKey(HKEY hParent, const char* pszSubKey);
LONG SysRegDeleteValue(HKEY hKey, const char* pszName);

// Identity. TRUE in *pbSame when both paths name the same existing file or
// folder, told by the volume serial number and the file index (so other
// spellings of one path, short names and links that lead to it all count
// as the same). FALSE from the function, *pbSame untouched, when either path
// cannot be opened: the caller decides (a path that does not exist is not
// the same as one that does).
BOOL SameFileSystemObject(const char* pszA, const char* pszB, BOOL* pbSame);

// TRUE when the attributes mark a reparse point (a junction, a symbolic
// link, a mount point). INVALID_FILE_ATTRIBUTES is none.
inline BOOL IsReparsePoint(DWORD dwAttributes)
{
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The attributes of what the path names itself, a closing backslash
// ignored (a drive root keeps its own): "link\" would report the folder a
// link leads to rather than the link. INVALID_FILE_ATTRIBUTES when missing.
DWORD OwnAttributes(const char* pszPath);

// TRUE when the path itself or anything below it is a reparse point. Never
// descends into one. A path that is missing or cannot be listed has none.
BOOL TreeHasReparsePoint(const char* pszPath);

#endif
