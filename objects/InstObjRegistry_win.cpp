// CInstObjRegistry: the work on registry keys and its undo records.
#include <memory>

#include "framework/Owner.h"
#include "objects/InstObjRegistry.h"
#include "registry/InstRegistry.h"

namespace
{
typedef std::unique_ptr<InstRegistry> CRegistryPtr;

bool SameOrBelow(const CString& strKey, const CString& strTree)
{
    if (CInstObjRegistry::RootKeyOf(strKey) != CInstObjRegistry::RootKeyOf(strTree))
        return false;
    CString strInner = CInstObjRegistry::StripRoot(strKey);
    CString strOuter = CInstObjRegistry::StripRoot(strTree);
    int n = strOuter.GetLength();
    if (n == 0)
        return true;
    return strInner.GetLength() >= n && strInner.Left(n).CompareNoCase(strOuter) == 0 &&
           (strInner.GetLength() == n || strInner[n] == '\\');
}

int CreateKeys(CInstObjRegistry& step, CInstObj* pUndo)
{
    int nResult = ERR_OK;
    for (int i = 0; i < step.m_Targets.GetSize(); i++)
    {
        const CString& strTarget = step.m_Targets[i];
        CRegistryPtr reg(new InstRegistry);
        if (reg == nullptr)
            return ERR_NO_MEMORY;
        if (!reg->OpenKey(CInstObjRegistry::RootKeyOf(strTarget), CInstObjRegistry::StripRoot(strTarget), pUndo))
        {
            nResult = reg->StepError(ERR_REG_OPEN);
            if (nResult == ERR_NO_MEMORY)
                return nResult;
        }
    }
    return nResult;
}

int DeleteKeys(const CStringArray& keys, CInstObj* pUndo)
{
    int nResult = ERR_OK;
    for (int i = 0; i < keys.GetSize(); i++)
    {
        const CString& strKey = keys[i];
        CString strName = CInstObjRegistry::LastKeyName(strKey);
        CRegistryPtr reg(new InstRegistry);
        if (reg == nullptr)
            return ERR_NO_MEMORY;
        if (!reg->OpenKey(CInstObjRegistry::RootKeyOf(strKey), CInstObjRegistry::ParentKeyPath(strKey), pUndo))
        {
            nResult = reg->StepError(ERR_REG_OPEN);
            if (nResult == ERR_NO_MEMORY)
                return nResult;
            continue;
        }
        // An empty name would be the parent itself, a root key included:
        // a path that ends in a backslash deletes nothing.
        CKeyOwner probe;
        if (strName.IsEmpty() ||
            RegOpenKeyExA(reg->GetKey(), strName, 0, KEY_READ, probe.Receive()) == ERROR_FILE_NOT_FOUND)
        {
            nResult = ERR_REG_DELETE_TREE;
            continue;
        }
        probe.Close();
        if (!reg->BackupSubKeyTree(strName, strKey, pUndo))
        {
            nResult = reg->StepError(ERR_UNDO_RECORD);
            if (nResult == ERR_NO_MEMORY)
                return nResult;
            continue;  // not deleted: the undo could not bring it back
        }
        if (!reg->DeleteKeyTree(strName))
            nResult = ERR_REG_DELETE_TREE;
    }
    return nResult;
}

int CopyKeys(CInstObjRegistry& step, CInstObj* pUndo)
{
    int nResult = ERR_OK;
    for (int i = 0; i < step.m_Targets.GetSize(); i++)
    {
        const CString& strSource = step.m_Sources[i];
        const CString& strTarget = step.m_Targets[i];
        CRegistryPtr source(new InstRegistry);
        CRegistryPtr target(new InstRegistry);
        if (source == nullptr || target == nullptr)
            return ERR_NO_MEMORY;
        // A tree copied into itself would grow with every sub-key it copies;
        // one moved onto itself would be deleted.
        if (SameOrBelow(strTarget, strSource))
        {
            nResult = ERR_REG_COPY;
            continue;
        }
        if (!source->OpenKey(CInstObjRegistry::RootKeyOf(strSource), CInstObjRegistry::StripRoot(strSource), pUndo))
        {
            nResult = source->StepError(ERR_REG_OPEN);
            if (nResult == ERR_NO_MEMORY)
                return nResult;
            continue;
        }
        if (!target->OpenKey(CInstObjRegistry::RootKeyOf(strTarget), CInstObjRegistry::StripRoot(strTarget), pUndo))
        {
            nResult = target->StepError(ERR_REG_OPEN);
            if (nResult == ERR_NO_MEMORY)
                return nResult;
            continue;
        }
        if (!target->BackupKeyTree(strTarget, pUndo))
        {
            nResult = target->StepError(ERR_UNDO_RECORD);
            if (nResult == ERR_NO_MEMORY)
                return nResult;
            continue;
        }
        if (!source->CopyRecursiveTo(target.get()))
        {
            nResult = source->StepError(ERR_REG_COPY);
            if (nResult == ERR_NO_MEMORY)
                return nResult;
        }
    }
    return nResult;
}

int CheckAbsent(CInstObjRegistry& step)
{
    int nResult = ERR_OK;
    for (int i = 0; i < step.m_Targets.GetSize(); i++)
    {
        const CString& strTarget = step.m_Targets[i];
        CRegistryPtr reg(new InstRegistry);
        if (reg == nullptr)
            return ERR_NO_MEMORY;
        if (reg->KeyExists(CInstObjRegistry::RootKeyOf(strTarget), CInstObjRegistry::StripRoot(strTarget)))
            return ERR_KEY_EXISTS;
        nResult = ERR_NO_KEY_EXISTS;
    }
    return nResult;
}
}  // namespace

int CInstObjRegistry::Execute(CInstaller* pInstaller)
{
    int r = PrepareExecute(pInstaller);
    if (r != ERR_OK)
        return r;
    bool bDeletes = m_nMode == MODE_DELETE;
    bool bMoves = m_nMode == MODE_MOVE;
    // A check only asks whether a key exists: its paths go to no buffer.
    if (m_nMode != MODE_CHECK_ABSENT)
        r = InstRegistry::CheckPaths(m_Targets, bDeletes);
    if (r == ERR_OK && (bMoves || m_nMode == MODE_COPY))
        r = InstRegistry::CheckPaths(m_Sources, bMoves);
    if (r != ERR_OK)
        return r;

    CInstObj* pUndo = m_bRecordUndo ? this : nullptr;
    switch (m_nMode)
    {
    case MODE_CREATE:
        return CreateKeys(*this, pUndo);
    case MODE_DELETE:
        return DeleteKeys(m_Targets, pUndo);
    case MODE_COPY:
        return CopyKeys(*this, pUndo);
    case MODE_MOVE:
        r = CopyKeys(*this, pUndo);
        return r != ERR_OK ? r : DeleteKeys(m_Sources, pUndo);
    case MODE_CHECK_ABSENT:
        return CheckAbsent(*this);
    default:
        return ERR_FAILED;
    }
}
