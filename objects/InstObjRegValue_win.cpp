// CInstObjRegValue: the work on registry values and its undo records.
#include <memory>

#include "objects/InstObjRegValue.h"
#include "registry/InstRegistry.h"

namespace
{
typedef std::unique_ptr<InstRegistry> CRegistryPtr;

bool OpenKeyOf(InstRegistry& reg, const CString& strKey, CInstObj* pUndo)
{
    return reg.OpenKey(CInstObjRegistry::RootKeyOf(strKey), CInstObjRegistry::StripRoot(strKey), pUndo);
}

// The value as the object holds it into the key's main key.
int WriteValue(CInstObjRegValue& value, InstRegistry* pKey)
{
    if (pKey == nullptr)
        return ERR_NO_INSTALLER;
    const CByteArray& data = value.m_Data;
    if (pKey->SetByteArray(value.m_strValueName, value.m_dwValueType, data.GetData(), (DWORD)data.GetSize()))
        return ERR_OK;
    // The write's own copy of the data, or a change refused while an
    // allocation failure is pending: the step ran out of memory.
    return pKey->GetRegResult() == ERROR_NOT_ENOUGH_MEMORY ? ERR_NO_MEMORY : ERR_REG_WRITE_VALUE;
}

// The data names a file path: written as its short form, as REG_SZ. A path
// the system cannot shorten (it does not exist) is written as it stands.
void ShortenPath(CInstObjRegValue& value)
{
    value.m_dwValueType = REG_SZ;
    CString strPath((const char*)value.m_Data.GetData(), value.m_Data.GetSize());
    char szShort[MAX_PATH];
    DWORD n = GetShortPathNameA(strPath, szShort, MAX_PATH);
    // A length of MAX_PATH or more is the size the short form would need.
    if (n > 0 && n < MAX_PATH)
        value.m_Data.Copy((const BYTE*)szShort, (int)n);
}

int SetValues(CInstObjRegValue& value, CInstObj* pUndo)
{
    if (value.m_dwValueType == CInstObjRegValue::kTypeShortPath)
        ShortenPath(value);
    int nResult = ERR_OK;
    for (int i = 0; i < value.m_Targets.GetSize(); i++)
    {
        const CString& strKey = value.m_Targets[i];
        CRegistryPtr reg(new InstRegistry);
        if (reg == nullptr)
            return ERR_NO_MEMORY;
        if (!OpenKeyOf(*reg, strKey, pUndo))
            nResult = reg->StepError(ERR_REG_OPEN);
        else if (!reg->BackupValue(strKey, value.m_strValueName, pUndo))
            nResult = reg->StepError(ERR_UNDO_RECORD);
        else
            nResult = WriteValue(value, reg.get());
        if (nResult == ERR_NO_MEMORY)
            return nResult;
    }
    return nResult;
}

int DeleteValues(CInstObjRegValue& value, const CStringArray& keys, CInstObj* pUndo)
{
    int nResult = ERR_OK;
    for (int i = 0; i < keys.GetSize(); i++)
    {
        const CString& strKey = keys[i];
        CRegistryPtr reg(new InstRegistry);
        if (reg == nullptr)
            return ERR_NO_MEMORY;
        if (!OpenKeyOf(*reg, strKey, pUndo))
            nResult = reg->StepError(ERR_REG_OPEN);
        else if (!reg->BackupValue(strKey, value.m_strValueName, pUndo))
            nResult = reg->StepError(ERR_UNDO_RECORD);
        else if (!reg->DeleteValue(value.m_strValueName))
            nResult = ERR_REG_DELETE_VALUE;
        if (nResult == ERR_NO_MEMORY)
            return nResult;
    }
    return nResult;
}

int CopyValues(CInstObjRegValue& value, CInstObj* pUndo)
{
    int nResult = ERR_OK;
    for (int i = 0; i < value.m_Targets.GetSize(); i++)
    {
        const CString& strSource = value.m_Sources[i];
        const CString& strTarget = value.m_Targets[i];
        CRegistryPtr source(new InstRegistry);
        CRegistryPtr target(new InstRegistry);
        if (source == nullptr || target == nullptr)
            return ERR_NO_MEMORY;
        // A value moved within its own key would be copied onto itself and
        // then deleted.
        if (value.m_nMode == MODE_MOVE &&
            CInstObjRegistry::RootKeyOf(strSource) == CInstObjRegistry::RootKeyOf(strTarget) &&
            CInstObjRegistry::StripRoot(strSource).CompareNoCase(CInstObjRegistry::StripRoot(strTarget)) == 0)
            nResult = ERR_REG_COPY;
        else if (!OpenKeyOf(*source, strSource, pUndo))
            nResult = source->StepError(ERR_REG_OPEN);
        else if (!OpenKeyOf(*target, strTarget, pUndo))
            nResult = target->StepError(ERR_REG_OPEN);
        else if (!target->BackupValue(strTarget, value.m_strValueName, pUndo))
            nResult = target->StepError(ERR_UNDO_RECORD);
        else if (!source->CopyValuesTo(value.m_strValueName, target.get()))
            nResult = source->StepError(ERR_REG_COPY);
        if (nResult == ERR_NO_MEMORY)
            return nResult;
    }
    return nResult;
}
}  // namespace

int CInstObjRegValue::Execute(CInstaller* pInstaller)
{
    int r = PrepareExecute(pInstaller);
    if (r != ERR_OK)
        return r;
    r = InstRegistry::CheckPaths(m_Targets, false);
    if (r == ERR_OK && (m_nMode == MODE_COPY || m_nMode == MODE_MOVE))
        r = InstRegistry::CheckPaths(m_Sources, false);
    if (r != ERR_OK)
        return r;

    CInstObj* pUndo = m_bRecordUndo ? this : nullptr;
    switch (m_nMode)
    {
    case MODE_CREATE:
        return SetValues(*this, pUndo);
    case MODE_DELETE:
        return DeleteValues(*this, m_Targets, pUndo);
    case MODE_COPY:
        return CopyValues(*this, pUndo);
    case MODE_MOVE:
        r = CopyValues(*this, pUndo);
        return r != ERR_OK ? r : DeleteValues(*this, m_Sources, pUndo);
    default:
        return ERR_FAILED;
    }
}
