// Comparison of two files by their version resources.
#include "sysutil/FileVersion.h"

#include <string.h>

#include "framework/Collections.h"
#include "framework/Exceptions.h"

namespace
{
// The whole version resource of a file; FALSE when there is none.
BOOL ReadVersionInfo(const char* pszPath, CByteArray& info)
{
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeA(pszPath, &dwHandle);
    if (dwSize == 0)
        return FALSE;
    CExceptionScope scope;
    if (!info.SetSize((int)dwSize) || scope.Failed())
        return FALSE;
    return GetFileVersionInfoA(pszPath, 0, dwSize, info.GetData());
}

// A value of the resource at least nMinimum bytes long, or null.
const void* QueryValue(CByteArray& info, const char* pszBlock, UINT nMinimum)
{
    void* pValue = nullptr;
    UINT nLength = 0;
    if (!VerQueryValueA(info.GetData(), pszBlock, &pValue, &nLength) || pValue == nullptr || nLength < nMinimum)
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
