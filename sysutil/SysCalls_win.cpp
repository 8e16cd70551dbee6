// The wrappers of the calls that change files, folders and the registry;
// identity of paths and reparse points.
#include "sysutil/SysCalls.h"

#include <string.h>

#include "framework/Exceptions.h"
#include "framework/FaultHooks.h"
#include "framework/Owner.h"
#include "framework/String.h"
#include "sysutil/FileSystem.h"
#include "sysutil/Handles.h"
#include "sysutil/Log.h"

namespace
{
// 0 when the change may be made, else the error it fails with unmade.
DWORD Refusal()
{
    if (AfxExceptionPending())
        return ERROR_NOT_ENOUGH_MEMORY;
    DWORD dwError = 0;
    if (FaultChangeFails(&dwError))
        return dwError != 0 ? dwError : ERROR_GEN_FAILURE;
    return 0;
}

// Logs "<call>[ <first>[ <second>]]" with dwError as the system's error
// and leaves dwError as the last error. (A value name may be null: the
// key's unnamed value.)
void LogFailure(DWORD dwError, const char* pszCall, const char* pszFirst, const char* pszSecond = nullptr)
{
    CString strText(pszCall);
    const char* apszPaths[] = {pszFirst, pszSecond};
    for (const char* psz : apszPaths)
        if (psz != nullptr)
        {
            strText += ' ';
            strText += psz;
        }
    SetLastError(dwError);
    LogSystemError(strText);
    SetLastError(dwError);
}

// A refused change: logged, FALSE with the error as the last error.
BOOL Refuse(DWORD dwError, const char* pszCall, const char* pszFirst, const char* pszSecond = nullptr)
{
    LogFailure(dwError, pszCall, pszFirst, pszSecond);
    return FALSE;
}

// The result of a call that reports through the last error: logged when
// it failed.
BOOL Checked(BOOL bResult, const char* pszCall, const char* pszFirst, const char* pszSecond = nullptr)
{
    if (!bResult)
        LogFailure(GetLastError(), pszCall, pszFirst, pszSecond);
    return bResult;
}

// The result of a registry call: logged when it failed.
LONG CheckedReg(LONG lResult, const char* pszCall, const char* pszName)
{
    if (lResult != ERROR_SUCCESS)
        LogFailure((DWORD)lResult, pszCall, pszName);
    return lResult;
}

const char kCreateDirectory[] = "CreateDirectory";
const char kRemoveDirectory[] = "RemoveDirectory";
const char kDeleteFile[] = "DeleteFile";
const char kCopyFile[] = "CopyFile";
const char kMoveFile[] = "MoveFile";
const char kSetFileAttributes[] = "SetFileAttributes";
const char kCreateFile[] = "CreateFile";
const char kWriteFile[] = "WriteFile";
const char kRegCreateKeyEx[] = "RegCreateKeyEx";
const char kRegSetValueEx[] = "RegSetValueEx";
const char kRegDeleteKey[] = "RegDeleteKey";
const char kRegDeleteValue[] = "RegDeleteValue";
}  // namespace

BOOL SysCreateDirectory(const char* pszPath)
{
    if (DWORD dw = Refusal())
        return Refuse(dw, kCreateDirectory, pszPath);
    return Checked(CreateDirectoryA(pszPath, nullptr), kCreateDirectory, pszPath);
}

BOOL SysRemoveDirectory(const char* pszPath)
{
    if (DWORD dw = Refusal())
        return Refuse(dw, kRemoveDirectory, pszPath);
    return Checked(RemoveDirectoryA(pszPath), kRemoveDirectory, pszPath);
}

BOOL SysDeleteFile(const char* pszPath)
{
    if (DWORD dw = Refusal())
        return Refuse(dw, kDeleteFile, pszPath);
    return Checked(DeleteFileA(pszPath), kDeleteFile, pszPath);
}

BOOL SysCopyFile(const char* pszSource, const char* pszTarget, BOOL bFailIfExists)
{
    if (DWORD dw = Refusal())
        return Refuse(dw, kCopyFile, pszSource, pszTarget);
    return Checked(CopyFileA(pszSource, pszTarget, bFailIfExists), kCopyFile, pszSource, pszTarget);
}

BOOL SysMoveFile(const char* pszSource, const char* pszTarget)
{
    if (DWORD dw = Refusal())
        return Refuse(dw, kMoveFile, pszSource, pszTarget);
    return Checked(MoveFileA(pszSource, pszTarget), kMoveFile, pszSource, pszTarget);
}

BOOL SysSetFileAttributes(const char* pszPath, DWORD dwAttributes)
{
    if (DWORD dw = Refusal())
        return Refuse(dw, kSetFileAttributes, pszPath);
    return Checked(SetFileAttributesA(pszPath, dwAttributes), kSetFileAttributes, pszPath);
}

HANDLE SysCreateFile(const char* pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition, DWORD dwFlags)
{
    if (DWORD dw = Refusal())
    {
        Refuse(dw, kCreateFile, pszPath);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = CreateFileA(pszPath, dwAccess, dwShare, nullptr, dwDisposition, dwFlags, nullptr);
    Checked(h != INVALID_HANDLE_VALUE, kCreateFile, pszPath);
    return h;
}

BOOL SysWriteFile(HANDLE hFile, const void* pData, DWORD nLength, DWORD* pnWritten)
{
    if (DWORD dw = Refusal())
    {
        *pnWritten = 0;
        return Refuse(dw, kWriteFile, nullptr);
    }
    return Checked(WriteFile(hFile, pData, nLength, pnWritten, nullptr), kWriteFile, nullptr);
}

LONG SysRegCreateKeyEx(HKEY hParent, const char* pszSubKey, HKEY* phKey, DWORD* pdwDisposition)
{
    if (DWORD dw = Refusal())
    {
        *phKey = nullptr;
        return CheckedReg((LONG)dw, kRegCreateKeyEx, pszSubKey);
    }
    return CheckedReg(RegCreateKeyExA(hParent, pszSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                      nullptr, phKey, pdwDisposition),
                      kRegCreateKeyEx, pszSubKey);
}

LONG SysRegSetValueEx(HKEY hKey, const char* pszName, DWORD dwType, const BYTE* pData, DWORD nLength)
{
    if (DWORD dw = Refusal())
        return CheckedReg((LONG)dw, kRegSetValueEx, pszName);
    return CheckedReg(RegSetValueExA(hKey, pszName, 0, dwType, pData, nLength), kRegSetValueEx, pszName);
}

LONG SysRegDeleteKey(HKEY hParent, const char* pszSubKey)
{
    if (DWORD dw = Refusal())
        return CheckedReg((LONG)dw, kRegDeleteKey, pszSubKey);
    return CheckedReg(RegDeleteKeyA(hParent, pszSubKey), kRegDeleteKey, pszSubKey);
}

LONG SysRegDeleteValue(HKEY hKey, const char* pszName)
{
    if (DWORD dw = Refusal())
        return CheckedReg((LONG)dw, kRegDeleteValue, pszName);
    return CheckedReg(RegDeleteValueA(hKey, pszName), kRegDeleteValue, pszName);
}

namespace
{
// The volume and file index of what the path names; FALSE when it cannot
// be opened. Folders need the backup-semantics flag to be opened at all.
BOOL ReadIdentity(const char* pszPath, BY_HANDLE_FILE_INFORMATION& info)
{
    CFileOwner file(CreateFileA(pszPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.IsValid() && GetFileInformationByHandle(file, &info);
}
}  // namespace

BOOL SameFileSystemObject(const char* pszA, const char* pszB, BOOL* pbSame)
{
    BY_HANDLE_FILE_INFORMATION a, b;
    if (!ReadIdentity(pszA, a) || !ReadIdentity(pszB, b))
        return FALSE;
    *pbSame = a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
              a.nFileIndexLow == b.nFileIndexLow;
    return TRUE;
}

DWORD OwnAttributes(const char* pszPath)
{
    int n = (int)strlen(pszPath);
    if (n < 2 || pszPath[n - 1] != '\\' || pszPath[n - 2] == ':')
        return GetFileAttributesA(pszPath);
    CString strOwn(pszPath, n - 1);
    return GetFileAttributesA(strOwn);
}

BOOL TreeHasReparsePoint(const char* pszPath)
{
    DWORD dw = OwnAttributes(pszPath);
    if (IsReparsePoint(dw))
        return TRUE;
    if (dw == INVALID_FILE_ATTRIBUTES || (dw & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return FALSE;
    CString strPattern;
    CFindHandle find;
    WIN32_FIND_DATAA data;
    if (!JoinPath(strPattern, pszPath, "*.*") || !find.First(strPattern, data))
        return FALSE;
    do
    {
        if (IsDotEntry(data.cFileName))
            continue;
        if (IsReparsePoint(data.dwFileAttributes))
            return TRUE;
        CString strEntry;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && JoinPath(strEntry, pszPath, data.cFileName) &&
            TreeHasReparsePoint(strEntry))
            return TRUE;
    } while (find.Next(data));
    return FALSE;
}
