// MRegistry: the logged registry calls.
#include "registry/MRegistry.h"

#include "sysutil/Log.h"
#include "sysutil/SysCalls.h"

namespace
{
LONG FlushAndClose(HKEY hKey, LONG* pnFlush)
{
    *pnFlush = RegFlushKey(hKey);
    LONG nClose = RegCloseKey(hKey);
    return *pnFlush != ERROR_SUCCESS ? *pnFlush : nClose;
}

// The log line is the system's text for the code, a tab, and what failed.
LONG Logged(LONG nResult, const char* pszWhat)
{
    if (nResult != ERROR_SUCCESS)
    {
        SetLastError((DWORD)nResult);
        LogSystemError(pszWhat);
    }
    return nResult;
}
}  // namespace

MRegistry::MRegistry() : m_hSubKey(nullptr), m_hKey(nullptr), m_nLastError(ERROR_SUCCESS)
{
}

MRegistry::~MRegistry()
{
}

LONG MRegistry::Open(HKEY hRoot, const char* pszPath)
{
    m_nLastError = Logged(SysRegCreateKeyEx(hRoot, pszPath, &m_hKey, nullptr), "MRegistry::Open()");
    if (m_nLastError != ERROR_SUCCESS)
        m_hKey = nullptr;
    return m_nLastError;
}

LONG MRegistry::OpenSubKey(HKEY hParent, const char* pszName)
{
    m_hSubKey = nullptr;
    m_nLastError = Logged(RegOpenKeyA(hParent, pszName, &m_hSubKey), "MRegistry::OpenSubKey()");
    if (m_nLastError != ERROR_SUCCESS)
        m_hSubKey = nullptr;
    return m_nLastError;
}

LONG MRegistry::GetString(HKEY hKey, const char* pszValueName, char* pszBuffer, DWORD nSize)
{
    DWORD nLength = nSize;
    m_nLastError = RegQueryValueExA(hKey, pszValueName, nullptr, nullptr, (BYTE*)pszBuffer, &nLength);
    // The data need not end in a zero (a REG_BINARY, or a text written
    // without one): what fills the whole buffer unterminated is refused, not
    // cut; anything shorter gets a terminator behind it.
    if (m_nLastError == ERROR_SUCCESS)
    {
        if (nLength < nSize)
            pszBuffer[nLength] = '\0';
        else if (nSize == 0 || pszBuffer[nSize - 1] != '\0')
            m_nLastError = ERROR_MORE_DATA;
    }
    if (m_nLastError != ERROR_SUCCESS)
    {
        if (nSize > 0)
            pszBuffer[0] = '\0';
        Logged(m_nLastError, "MRegistry::GetString()");
    }
    return m_nLastError;
}

LONG MRegistry::CloseSubKey()
{
    m_nLastError = ERROR_SUCCESS;
    if (m_hSubKey != nullptr)
    {
        LONG nFlush;
        m_nLastError = FlushAndClose(m_hSubKey, &nFlush);
        if (nFlush != ERROR_SUCCESS)
            Logged(nFlush, "MRegistry::CloseSubKey()");
    }
    m_hSubKey = nullptr;
    return m_nLastError;
}

LONG MRegistry::Close(HKEY hKey)
{
    LONG nFlush;
    LONG nResult = FlushAndClose(hKey, &nFlush);
    if (nFlush != ERROR_SUCCESS)
        Logged(nFlush, "MRegistry::Close()");
    return nResult;
}

LONG MRegistry::DeleteKeyValue(const char* pszName)
{
    return SysRegDeleteValue(m_hKey, pszName);
}
