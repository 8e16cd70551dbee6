// Comparison of two files by their version resources.
#include "sysutil/FileVersion.h"

#include <string.h>

#include "framework/Collections.h"
#include "framework/Exceptions.h"
#include "sysutil/SystemLibrary.h"

namespace
{
// version.dll is not one of the system's known DLLs: it is loaded from the
// system folder when a version is first read, never imported.
typedef DWORD(WINAPI* GetSizeFn)(LPCSTR, LPDWORD);
typedef BOOL(WINAPI* GetInfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* QueryFn)(LPCVOID, LPCSTR, LPVOID*, PUINT);

struct VersionFunctions
{
    GetSizeFn pfnGetSize;
    GetInfoFn pfnGetInfo;
    QueryFn pfnQuery;
};

// Null when the DLL or one of its functions is missing. VerQueryValueA is
// stored last: once it is there, so are the others.
const VersionFunctions* GetVersionFunctions()
{
    static VersionFunctions s_functions;
    if (s_functions.pfnQuery == nullptr)
    {
        HMODULE hVersion = LoadSystemLibrary("version.dll");
        if (hVersion == nullptr)
            return nullptr;
        s_functions.pfnGetSize = (GetSizeFn)GetProcAddress(hVersion, "GetFileVersionInfoSizeA");
        s_functions.pfnGetInfo = (GetInfoFn)GetProcAddress(hVersion, "GetFileVersionInfoA");
        if (s_functions.pfnGetSize == nullptr || s_functions.pfnGetInfo == nullptr)
            return nullptr;
        s_functions.pfnQuery = (QueryFn)GetProcAddress(hVersion, "VerQueryValueA");
    }
    return s_functions.pfnQuery != nullptr ? &s_functions : nullptr;
}

// The whole version resource of a file; FALSE when there is none.
BOOL ReadVersionInfo(const char* pszPath, CByteArray& info)
{
    const VersionFunctions* pFunctions = GetVersionFunctions();
    if (pFunctions == nullptr)
        return FALSE;
    DWORD dwHandle = 0;
    DWORD dwSize = pFunctions->pfnGetSize(pszPath, &dwHandle);
    if (dwSize == 0)
        return FALSE;
    CExceptionScope scope;
    if (!info.SetSize((int)dwSize) || scope.Failed())
        return FALSE;
    return pFunctions->pfnGetInfo(pszPath, 0, dwSize, info.GetData());
}

// A value of the resource at least nMinimum bytes long, or null.
const void* QueryValue(CByteArray& info, const char* pszBlock, UINT nMinimum)
{
    const VersionFunctions* pFunctions = GetVersionFunctions();
    void* pValue = nullptr;
    UINT nLength = 0;
    if (pFunctions == nullptr || !pFunctions->pfnQuery(info.GetData(), pszBlock, &pValue, &nLength) ||
        pValue == nullptr || nLength < nMinimum)
        return nullptr;
    return pValue;
}

BOOL ReadFixedInfo(const char* pszPath, VS_FIXEDFILEINFO& fixed)
{
    CByteArray info;
    if (!ReadVersionInfo(pszPath, info))
        return FALSE;
    const void* p = QueryValue(info, "\\", sizeof(VS_FIXEDFILEINFO));
    if (p == nullptr)
        return FALSE;
    memcpy(&fixed, p, sizeof(fixed));
    return TRUE;
}

BOOL ReadFirstLanguage(const char* pszPath, WORD& wLanguage)
{
    CByteArray info;
    if (!ReadVersionInfo(pszPath, info))
        return FALSE;
    const void* p = QueryValue(info, "\\VarFileInfo\\Translation", sizeof(WORD));
    if (p == nullptr)
        return FALSE;
    memcpy(&wLanguage, p, sizeof(WORD));
    return TRUE;
}

int CompareNumbers(DWORD a, DWORD b)
{
    return a > b ? VERSION_HIGHER : (a < b ? VERSION_LOWER : VERSION_EQUAL);
}

void LanguageName(WORD wLanguage, char* pszName, int nSize)
{
    if (pszName == nullptr || nSize <= 0)
        return;
    if (GetLocaleInfoA(MAKELCID(wLanguage, SORT_DEFAULT), LOCALE_SLANGUAGE, pszName, nSize) == 0)
        pszName[0] = 0;
}
}  // namespace

int CompareFileVersions(const char* pszFirst, const char* pszSecond)
{
    VS_FIXEDFILEINFO first, second;
    if (!ReadFixedInfo(pszFirst, first) || !ReadFixedInfo(pszSecond, second))
        return VERSION_UNKNOWN;
    int r = CompareNumbers(first.dwFileVersionMS, second.dwFileVersionMS);
    return r != VERSION_EQUAL ? r : CompareNumbers(first.dwFileVersionLS, second.dwFileVersionLS);
}

int CompareFileLanguages(const char* pszFirst, const char* pszSecond, char* pszFirstName, char* pszSecondName,
                         int nSize)
{
    WORD wFirst = 0, wSecond = 0;
    if (!ReadFirstLanguage(pszFirst, wFirst) || !ReadFirstLanguage(pszSecond, wSecond))
        return VERSION_UNKNOWN;
    LanguageName(wFirst, pszFirstName, nSize);
    LanguageName(wSecond, pszSecondName, nSize);
    return wFirst != wSecond ? 1 : 0;
}
