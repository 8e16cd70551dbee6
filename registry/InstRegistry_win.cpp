// InstRegistry: key access with undo recording, tree copy and backup.
#include "registry/InstRegistry.h"

#include <stdio.h>
#include <string.h>

#include <memory>

#include "framework/Exceptions.h"
#include "framework/Owner.h"
#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "sysutil/Log.h"
#include "sysutil/SysCalls.h"

namespace
{
// What RegQueryInfoKeyA tells of a key: the buffers of a walk over it are
// sized from it. Wine counts the longest data in UTF-16 bytes, twice the
// ANSI length; a larger buffer does no harm.
struct CKeyInfo
{
    DWORD nSubKeys, nMaxSubKey, nValues, nMaxValueName, nMaxData;
};

LONG QueryKeyInfo(HKEY hKey, CKeyInfo& info)
{
    memset(&info, 0, sizeof(info));
    return RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, &info.nSubKeys, &info.nMaxSubKey, nullptr,
                            &info.nValues, &info.nMaxValueName, &info.nMaxData, nullptr, nullptr);
}

// A name and a data buffer for enumerating one key's values, or its
// sub-keys, allocated once per key.
struct CEnumBuffers
{
    std::unique_ptr<char[]> name;
    std::unique_ptr<BYTE[]> data;
    DWORD nName, nData;

    bool Allocate(DWORD nNameChars, DWORD nDataBytes)
    {
        nName = nNameChars + 1;
        nData = nDataBytes + 1;
        name.reset(new char[nName]);
        data.reset(new BYTE[nData]);
        return name != nullptr && data != nullptr && !AfxExceptionPending();
    }
    // Value index i into the buffers; *pnLength and *pdwType describe it.
    // The data is read with a buffer of its own size: given more room, Wine
    // hands a text that was stored without a terminator back with one.
    LONG EnumValue(HKEY hKey, DWORD i, DWORD* pdwType, DWORD* pnLength)
    {
        DWORD nNameLength = nName;
        DWORD nSize = 0;
        name[0] = '\0';
        LONG r = RegEnumValueA(hKey, i, name.get(), &nNameLength, nullptr, pdwType, nullptr, &nSize);
        if (r != ERROR_SUCCESS)
            return r;
        nNameLength = nName;
        *pnLength = nSize < nData ? nSize : nData;
        return RegEnumValueA(hKey, i, name.get(), &nNameLength, nullptr, pdwType, data.get(), pnLength);
    }
    LONG EnumKey(HKEY hKey, DWORD i)
    {
        DWORD nNameLength = nName;
        name[0] = '\0';
        return RegEnumKeyExA(hKey, i, name.get(), &nNameLength, nullptr, nullptr, nullptr, nullptr);
    }
};

// RegSetValueExA looks at the byte behind text data and, when it is zero,
// writes it too, taking it for a forgotten terminator (Windows NT does so,
// and Wine with it). Behind a text written here stands a byte that is not
// zero: the value gets exactly the bytes given, and nothing beyond them is
// read.
LONG SetValueExact(HKEY hKey, const char* pszName, DWORD dwType, const BYTE* pData, DWORD nSize)
{
    bool bText = dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ;
    if (!bText || nSize == 0 || pData[nSize - 1] == 0)
        return SysRegSetValueEx(hKey, pszName, dwType, pData, nSize);
    std::unique_ptr<BYTE[]> copy(new BYTE[nSize + 1]);
    if (copy == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    memcpy(copy.get(), pData, nSize);
    copy[nSize] = 0xFF;
    return SysRegSetValueEx(hKey, pszName, dwType, copy.get(), nSize);
}

const char kCopyEnum[] = "InstRegistry::CopyRecursiveTo: Could not enum";
const char kCopyCopy[] = "InstRegistry::CopyRecursiveTo: Could not copy";
const char kSubEnum[] = "InstRegistry::CopySubKeyRecursiveTo: Could not enum";
const char kSubCopy[] = "InstRegistry::CopySubKeyRecursiveTo: Could not copy";
const char kSubOpen[] = "InstRegistry::CopySubKeyRecursiveTo: Could not open subkey";
const char kSubCreate[] = "InstRegistry::CopySubKeyRecursiveTo: Could not create target";
}  // namespace

InstRegistry::InstRegistry() : m_nRegResult(ERROR_SUCCESS), m_bLastOk(0), m_hRoot(nullptr), m_nError(ERR_OK)
{
}

InstRegistry::~InstRegistry()
{
    m_hRoot = nullptr;
}

bool InstRegistry::Fail(int nError)
{
    m_nError = nError;
    return false;
}

bool InstRegistry::WriteFailed(LONG nResult)
{
    // The copy's own buffer, or a change refused while an allocation
    // failure is pending: the step ran out of memory.
    return nResult == ERROR_NOT_ENOUGH_MEMORY ? Fail(ERR_NO_MEMORY) : false;
}

bool InstRegistry::Record(CInstObj* pUndo, CInstObj* pRecord, int nSetUp)
{
    int r = pUndo->HandOverUndo(pRecord, nSetUp);
    if (r == ERR_OK && AfxExceptionPending())
        r = ERR_NO_MEMORY;
    return r == ERR_OK ? true : Fail(r);
}

bool InstRegistry::OpenKey(HKEY hRoot, const char* pszPath, CInstObj* pUndo)
{
    m_nError = ERR_OK;
    if (m_hKey != nullptr)
        Close(m_hKey);
    m_hKey = nullptr;
    m_hOpenKey = nullptr;
    m_hRoot = hRoot;
    size_t nLength = strlen(pszPath);
    if (nLength > (size_t)kMaxPath)
    {
        m_szPath[0] = '\0';
        char szMessage[96];
        sprintf(szMessage, "InstRegistry::OpenKey: path of %u characters refused", (unsigned)nLength);
        WriteLog(szMessage);
        return Fail(ERR_TOO_LONG);
    }
    memcpy(m_szPath, pszPath, nLength + 1);

    if (pUndo != nullptr)
    {
        CStringArray parts;
        SplitKeyPath(m_szPath, parts);
        for (int i = 0; i < parts.GetSize(); i++)
        {
            // Only a key that is surely missing is recorded for deletion: one
            // that exists but refuses access is not the installation's.
            CKeyOwner probe;
            if (RegOpenKeyExA(hRoot, parts[i], 0, KEY_READ, probe.Receive()) != ERROR_FILE_NOT_FOUND)
                continue;
            CInstObjRegistry* pRecord = new CInstObjRegistry;
            if (!Record(pUndo, pRecord, pRecord != nullptr ? pRecord->InitUndo(RootPrefix(hRoot) + parts[i], MODE_DELETE)
                                                           : ERR_NO_MEMORY))
                return false;  // nothing is created that the undo would not remove
            break;
        }
        if (AfxExceptionPending())
            return Fail(ERR_NO_MEMORY);
    }

    LONG nResult = Open(hRoot, m_szPath);
    if (nResult != ERROR_SUCCESS)
    {
        // Stored in the program's code page, Windows-1252: 0xD6 is the O with
        // two dots.
        char szMessage[kMaxPath + 64];
        sprintf(szMessage, "Fehler %i beim \xD6" "ffnen der Registry (%s)", (int)nResult, m_szPath);
        WriteLog(szMessage);
        return Fail(ERR_REG_OPEN);
    }
    m_hOpenKey = m_hKey;
    return true;
}

bool InstRegistry::DeleteValue(const char* pszName)
{
    return m_hOpenKey != nullptr && DeleteKeyValue(pszName) == ERROR_SUCCESS;
}

bool InstRegistry::SetByteArray(const char* pszName, DWORD dwType, const BYTE* pData, DWORD nSize)
{
    m_bLastOk = 0;
    m_nRegResult = SetValueExact(m_hKey, pszName, dwType, pData, nSize);
    if (m_nRegResult != ERROR_SUCCESS)
    {
        SetLastError((DWORD)m_nRegResult);
        LogSystemError("InstRgistry::SetByteArray");
        return false;
    }
    m_bLastOk = 1;
    return true;
}

bool InstRegistry::KeyExists(HKEY hRoot, const char* pszPath)
{
    CKeyOwner key;
    m_nRegResult = RegOpenKeyExA(hRoot, pszPath, 0, KEY_READ | KEY_WRITE, key.Receive());
    return m_nRegResult == ERROR_SUCCESS;
}

CString InstRegistry::RootPrefix(HKEY hRoot)
{
    if (hRoot == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE\\";
    if (hRoot == HKEY_CURRENT_USER)
        return "HKEY_CURRENT_USER\\";
    return CString();
}

void InstRegistry::SplitKeyPath(const CString& strPath, CStringArray& out)
{
    for (int n = 0; (n = strPath.Find('\\', n)) >= 0; n++)
        out.Add(strPath.Left(n));
    out.Add(strPath);
}

int InstRegistry::CheckPaths(const CStringArray& paths, bool bLastName)
{
    for (int i = 0; i < paths.GetSize(); i++)
    {
        if (CInstObjRegistry::StripRoot(paths[i]).GetLength() > kMaxPath)
            return ERR_TOO_LONG;
        if (bLastName && CInstObjRegistry::LastKeyName(paths[i]).GetLength() > kMaxKeyName)
            return ERR_TOO_LONG;
    }
    return ERR_OK;
}

bool InstRegistry::CopyValuesTo(const char* pszName, InstRegistry* pTarget)
{
    m_nError = ERR_OK;
    if (pTarget == nullptr || m_hKey == nullptr || pTarget->m_hKey == nullptr)
        return false;
    DWORD dwType = 0;
    DWORD nSize = 0;
    LONG nResult = RegQueryValueExA(m_hKey, pszName, nullptr, &dwType, nullptr, &nSize);
    std::unique_ptr<BYTE[]> data;
    if (nResult == ERROR_SUCCESS)
    {
        data.reset(new BYTE[nSize + 1]);
        if (data == nullptr)
            return Fail(ERR_NO_MEMORY);
        memset(data.get(), 0, nSize + 1);
        nResult = RegQueryValueExA(m_hKey, pszName, nullptr, &dwType, data.get(), &nSize);
    }
    if (nResult != ERROR_SUCCESS)
    {
        WriteLog("RegistryInfo::CopyValuesTo: Could not enum");
        return false;
    }
    nResult = SetValueExact(pTarget->m_hKey, pszName, dwType, data.get(), nSize);
    if (nResult != ERROR_SUCCESS)
    {
        WriteLog("RegistryInfo::CopyValuesTo: Could not copy");
        return WriteFailed(nResult);
    }
    return true;
}

// Every value, then every sub-key tree, of hSource into hTarget. Unlike a
// copy that shrugs off a failed sub-key, any failure ends the copy and is
// reported: a copy that was not made whole is no success.
bool InstRegistry::CopyTree(HKEY hSource, HKEY hTarget, const char* pszEnumFailed, const char* pszCopyFailed)
{
    CKeyInfo info;
    if (QueryKeyInfo(hSource, info) != ERROR_SUCCESS)
    {
        WriteLog(pszEnumFailed);
        return false;
    }
    CEnumBuffers buffers;
    if (!buffers.Allocate(info.nMaxValueName > info.nMaxSubKey ? info.nMaxValueName : info.nMaxSubKey,
                          info.nMaxData))
        return Fail(ERR_NO_MEMORY);
    for (DWORD i = 0; i < info.nValues; i++)
    {
        DWORD dwType, nLength;
        if (buffers.EnumValue(hSource, i, &dwType, &nLength) != ERROR_SUCCESS)
        {
            WriteLog(pszEnumFailed);
            return false;
        }
        LONG nResult = SetValueExact(hTarget, buffers.name.get(), dwType, buffers.data.get(), nLength);
        if (nResult != ERROR_SUCCESS)
        {
            WriteLog(pszCopyFailed);
            return WriteFailed(nResult);
        }
    }
    for (DWORD i = 0; i < info.nSubKeys; i++)
    {
        if (buffers.EnumKey(hSource, i) != ERROR_SUCCESS)
        {
            WriteLog(pszEnumFailed);
            return false;
        }
        if (!CopySubKey(hSource, hTarget, buffers.name.get()))
            return false;
    }
    return true;
}

bool InstRegistry::CopySubKey(HKEY hSource, HKEY hTarget, const char* pszSubKey)
{
    CKeyOwner source;
    if (RegOpenKeyExA(hSource, pszSubKey, 0, KEY_READ, source.Receive()) != ERROR_SUCCESS)
    {
        WriteLog(kSubOpen);
        return false;
    }
    CKeyOwner target;
    LONG nResult = SysRegCreateKeyEx(hTarget, pszSubKey, target.Receive(), nullptr);
    if (nResult != ERROR_SUCCESS)
    {
        WriteLog(kSubCreate);
        return WriteFailed(nResult);
    }
    return CopyTree(source, target, kSubEnum, kSubCopy);
}

bool InstRegistry::CopyRecursiveTo(InstRegistry* pTarget)
{
    m_nError = ERR_OK;
    if (pTarget == nullptr || m_hKey == nullptr || pTarget->m_hKey == nullptr)
        return false;
    return CopyTree(m_hKey, pTarget->m_hKey, kCopyEnum, kCopyCopy);
}

bool InstRegistry::CopySubKeyRecursiveTo(const char* pszSubKey, InstRegistry* pTarget)
{
    m_nError = ERR_OK;
    if (pTarget == nullptr || m_hKey == nullptr || pTarget->m_hKey == nullptr)
        return false;
    return CopySubKey(m_hKey, pTarget->m_hKey, pszSubKey);
}

// Records the sub-key trees (each recursively), then the key's values, then
// the key itself. The undo runs them newest first: the key is made again
// before its values and its sub-keys are restored.
bool InstRegistry::BackupTree(HKEY hKey, const CString& strPath, CInstObj* pUndo)
{
    CKeyInfo info;
    if (QueryKeyInfo(hKey, info) != ERROR_SUCCESS)
    {
        WriteLog(kSubEnum);
        return Fail(ERR_UNDO_RECORD);
    }
    CEnumBuffers buffers;
    if (!buffers.Allocate(info.nMaxValueName > info.nMaxSubKey ? info.nMaxValueName : info.nMaxSubKey,
                          info.nMaxData))
        return Fail(ERR_NO_MEMORY);
    for (DWORD i = 0; i < info.nSubKeys; i++)
    {
        if (buffers.EnumKey(hKey, i) != ERROR_SUCCESS)
        {
            WriteLog(kSubEnum);
            return Fail(ERR_UNDO_RECORD);
        }
        CString strSubPath = strPath + "\\" + buffers.name.get();
        if (AfxExceptionPending())
            return Fail(ERR_NO_MEMORY);
        // The undo opens the key by this path: one it would refuse is not
        // recorded, and so the tree is not changed.
        if (CInstObjRegistry::StripRoot(strSubPath).GetLength() > kMaxPath)
            return Fail(ERR_UNDO_RECORD);
        CKeyOwner sub;
        if (RegOpenKeyExA(hKey, buffers.name.get(), 0, KEY_READ, sub.Receive()) != ERROR_SUCCESS)
        {
            WriteLog(kSubOpen);
            return Fail(ERR_UNDO_RECORD);
        }
        if (!BackupTree(sub, strSubPath, pUndo))
            return false;
    }
    for (DWORD i = 0; i < info.nValues; i++)
    {
        DWORD dwType, nLength;
        if (buffers.EnumValue(hKey, i, &dwType, &nLength) != ERROR_SUCCESS)
        {
            WriteLog(kSubEnum);
            return Fail(ERR_UNDO_RECORD);
        }
        CInstObjRegValue* pRecord = new CInstObjRegValue;
        int nSetUp = ERR_NO_MEMORY;
        if (pRecord != nullptr && pRecord->m_Data.Copy(buffers.data.get(), (int)nLength))
            nSetUp = pRecord->InitRestoreUndo(strPath, buffers.name.get(), CByteArray(), dwType);
        if (!Record(pUndo, pRecord, nSetUp))
            return false;
    }
    CInstObjRegistry* pRecord = new CInstObjRegistry;
    return Record(pUndo, pRecord, pRecord != nullptr ? pRecord->InitUndo(strPath, MODE_CREATE) : ERR_NO_MEMORY);
}

bool InstRegistry::BackupKeyTree(const CString& strPath, CInstObj* pUndo)
{
    m_nError = ERR_OK;
    if (pUndo == nullptr)
        return true;
    if (m_hKey == nullptr)
        return Fail(ERR_UNDO_RECORD);
    return BackupTree(m_hKey, strPath, pUndo);
}

bool InstRegistry::BackupSubKeyTree(const char* pszSubKey, const CString& strPath, CInstObj* pUndo)
{
    m_nError = ERR_OK;
    if (pUndo == nullptr)
        return true;
    if (m_hKey == nullptr || OpenSubKey(m_hKey, pszSubKey) != ERROR_SUCCESS)
    {
        WriteLog(kSubOpen);
        return Fail(ERR_UNDO_RECORD);
    }
    bool bDone = BackupTree(m_hSubKey, strPath, pUndo);
    CloseSubKey();
    return bDone;
}

bool InstRegistry::BackupValue(const CString& strKeyPath, const CString& strName, CInstObj* pUndo)
{
    m_nError = ERR_OK;
    if (pUndo == nullptr || m_hOpenKey == nullptr)
        return true;
    DWORD dwType = 0;
    DWORD nSize = 0;
    LONG nResult = RegQueryValueExA(m_hKey, strName, nullptr, &dwType, nullptr, &nSize);
    CInstObjRegValue* pRecord = new CInstObjRegValue;
    if (pRecord == nullptr)
        return Record(pUndo, pRecord, ERR_NO_MEMORY);
    if (nResult == ERROR_FILE_NOT_FOUND)
        return Record(pUndo, pRecord, pRecord->InitDeleteUndo(strKeyPath, strName, MODE_DELETE));
    int nSetUp = ERR_UNDO_RECORD;  // a value that cannot be read is not changed unsaved
    if (nResult == ERROR_SUCCESS)
    {
        if (!pRecord->m_Data.SetSize((int)nSize))
            nSetUp = ERR_NO_MEMORY;
        else if (RegQueryValueExA(m_hKey, strName, nullptr, &dwType, pRecord->m_Data.GetData(), &nSize) ==
                     ERROR_SUCCESS &&
                 pRecord->m_Data.SetSize((int)nSize))
            nSetUp = pRecord->InitRestoreUndo(strKeyPath, strName, CByteArray(), dwType);
    }
    return Record(pUndo, pRecord, nSetUp);
}
