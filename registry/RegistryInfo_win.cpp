// RegistryInfo: string reads and key tree deletion.
#include "registry/RegistryInfo.h"

#include "framework/Owner.h"
#include "sysutil/SysCalls.h"

RegistryInfo::RegistryInfo() : m_hOpenKey(nullptr)
{
    m_szPath[0] = '\0';
}

RegistryInfo::~RegistryInfo()
{
    if (m_hKey != nullptr)
        Close(m_hKey);
    m_hKey = nullptr;
    m_hOpenKey = nullptr;
}

bool RegistryInfo::ReadString(const char* pszSubKey, const char* pszValueName, char* pszBuffer, DWORD nSize)
{
    if (pszSubKey == nullptr || *pszSubKey == '\0')
    {
        GetString(m_hKey, pszValueName, pszBuffer, nSize);
        return true;
    }
    if (OpenSubKey(m_hKey, pszSubKey) == ERROR_SUCCESS)
    {
        GetString(m_hSubKey, pszValueName, pszBuffer, nSize);
        CloseSubKey();
    }
    else if (nSize > 0)
        pszBuffer[0] = '\0';
    return true;
}

bool RegistryInfo::DeleteKeyTree(const char* pszSubKey)
{
    if (m_hKey == nullptr || pszSubKey == nullptr || *pszSubKey == '\0')
        return false;
    CKeyOwner key;
    if (RegOpenKeyExA(m_hKey, pszSubKey, 0, KEY_READ | DELETE, key.Receive()) != ERROR_SUCCESS)
        return false;
    bool bEmptied = DeleteSubKeys(key);
    if (RegCloseKey(key.Detach()) != ERROR_SUCCESS || !bEmptied)
        return false;
    return SysRegDeleteKey(m_hKey, pszSubKey) == ERROR_SUCCESS;
}

bool RegistryInfo::DeleteSubKeys(HKEY hKey)
{
    // Index 0 every time: each deleted key moves the others down.
    for (;;)
    {
        char szName[kMaxKeyName + 1];
        DWORD nLength = sizeof(szName);
        LONG nResult = RegEnumKeyExA(hKey, 0, szName, &nLength, nullptr, nullptr, nullptr, nullptr);
        if (nResult == ERROR_NO_MORE_ITEMS)
            return true;
        if (nResult != ERROR_SUCCESS)
            return false;  // a name that does not fit is not skipped: the key would stay
        CKeyOwner sub;
        if (RegOpenKeyExA(hKey, szName, 0, KEY_READ | DELETE, sub.Receive()) != ERROR_SUCCESS)
            return false;
        bool bEmptied = DeleteSubKeys(sub);
        if (RegCloseKey(sub.Detach()) != ERROR_SUCCESS || !bEmptied)
            return false;
        if (SysRegDeleteKey(hKey, szName) != ERROR_SUCCESS)
            return false;
    }
}
