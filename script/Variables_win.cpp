// The system variables: the folders of the system and of the user.
#include <string.h>

#include "framework/Exceptions.h"
#include "framework/WinTypes.h"
#include "registry/InstRegistry.h"
#include "script/Installer.h"

namespace
{
// Every value is fetched into a buffer of this many characters.
const DWORD kValueBuffer = 1040;

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The value without one closing backslash: drive roots and the temporary
// folder come with one, the scripts add their own.
CString Trimmed(const char* pszValue)
{
    CString strValue(pszValue);
    int n = strValue.GetLength();
    if (n > 0 && strValue[n - 1] == '\\')
        strValue = strValue.Left(n - 1);
    return strValue;
}

// The calls report the length they wrote, or the size they would need when
// the buffer is too small; only a length that fits is a value.
bool Fits(DWORD nLength)
{
    return nLength > 0 && nLength < kValueBuffer;
}

// Opens the shell-folder key of the user, creating it when missing, and
// reads the named values as strings; a value that cannot be read (or that
// would not fit with its terminator) is empty. False when the key cannot be
// opened. Nothing is recorded: the key is the user's, not the installation's.
bool ReadShellFolders(const char* const* ppszNames, CString* pValues, int nCount)
{
    InstRegistry key;
    if (!key.OpenKey(HKEY_CURRENT_USER, kShellFolders, nullptr))
        return false;
    for (int i = 0; i < nCount; i++)
    {
        char szValue[kValueBuffer];
        key.ReadString("", ppszNames[i], szValue, kValueBuffer);
        pValues[i] = szValue;
    }
    return true;
}
}  // namespace

int CInstaller::GetOsKind()
{
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = 148;
    GetVersionExA(&info);
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;
    return info.dwMajorVersion < 5 ? 3 : 4;
}

void CInstaller::DefineSystemVariables()
{
    // Memory that runs out leaves the variable undefined rather than
    // defining it with a broken value.
    CExceptionScope scope;
    auto define = [&](const char* pszName, const char* pszValue) {
        CString strValue = Trimmed(pszValue);
        if (!scope.Failed())
            AddVariable(pszName, strValue);
        scope.Clear();
    };
    // A call that succeeds leaves a terminated string; the others are not read.
    char szValue[kValueBuffer];
    if (Fits(GetSystemDirectoryA(szValue, kValueBuffer)))
        define("SysDir", szValue);

    // Windows 2000 and later keep the programs of the system in the system
    // folder; older systems in the Windows folder.
    UINT nLength = GetOsKind() == 4 ? GetSystemDirectoryA(szValue, kValueBuffer)
                                    : GetWindowsDirectoryA(szValue, kValueBuffer);
    if (Fits(nLength))
        define("SysProgDir", szValue);

    if (Fits(GetTempPathA(kValueBuffer, szValue)))
        define("TmpDir", szValue);

    char szWinDir[kValueBuffer];
    if (Fits(GetWindowsDirectoryA(szWinDir, kValueBuffer)))
        define("WinDir", szWinDir);
    else
        szWinDir[0] = '\0';

    // Without a user profile the user's folder is the Windows folder. The
    // returned size counts the terminator.
    DWORD nSize = ExpandEnvironmentStringsA("%USERPROFILE%", szValue, kValueBuffer);
    if (nSize > 0 && nSize <= kValueBuffer && lstrcmpiA(szValue, "%USERPROFILE%") != 0)
        define("UserDir", szValue);
    else
        define("UserDir", szWinDir);

    const char* const names[] = {"Programs", "Start Menu", "Startup"};
    const char* const variables[] = {"UserPrograms", "UserStartMenu", "UserStartup"};
    CString values[3];
    if (ReadShellFolders(names, values, 3) && !scope.Failed())
        for (int i = 0; i < 3; i++)
            define(variables[i], values[i]);
}
