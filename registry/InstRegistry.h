// InstRegistry: registry access for one step of an install object. Opens keys
// below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, records for the undo pass
// what each change will need, copies values and key trees, and backs up keys
// and values as undo records.
#ifndef REGISTRY_INSTREGISTRY_H
#define REGISTRY_INSTREGISTRY_H

#include "framework/Collections.h"
#include "framework/String.h"
#include "objects/ErrorCodes.h"
#include "registry/RegistryInfo.h"

class CInstObj;

class InstRegistry : public RegistryInfo
{
public:
    InstRegistry();
    ~InstRegistry() override;

    // The undo target of the operations that record is the step at work:
    // records go to its installer's undo list through its HandOverUndo.
    // Null records nothing.
    //
    // Opens root\path as the main key, creating what is missing. With an
    // undo target it first records the deletion of the shallowest missing
    // key of the path, so the undo removes everything the open creates; a
    // record that cannot be made fails the open before anything is created.
    // A path longer than kMaxPath is refused. GetError says why it failed.
    bool OpenKey(HKEY hRoot, const char* pszPath, CInstObj* pUndo);
    // Deletes a value of the main key; an empty name is the default value.
    bool DeleteValue(const char* pszName);
    // Writes a value into the main key, exactly the bytes given.
    bool SetByteArray(const char* pszName, DWORD dwType, const BYTE* pData, DWORD nSize);
    // True when root\path can be opened for reading and writing.
    bool KeyExists(HKEY hRoot, const char* pszPath);
    // "HKEY_LOCAL_MACHINE\", "HKEY_CURRENT_USER\", or empty for other keys.
    static CString RootPrefix(HKEY hRoot);
    // A\B\C gives A, A\B, A\B\C.
    static void SplitKeyPath(const CString& strPath, CStringArray& out);

    // The copies are false when they did not complete; GetError then says
    // ERR_NO_MEMORY when memory ran out on the way.
    //
    // Copies the named value of the main key into the target's main key.
    bool CopyValuesTo(const char* pszName, InstRegistry* pTarget);
    // Copies every value and every sub-key tree of the main key into the
    // target's main key. Values the target has besides are kept.
    bool CopyRecursiveTo(InstRegistry* pTarget);
    // Copies the main key's sub-key tree to the same name below the target.
    bool CopySubKeyRecursiveTo(const char* pszSubKey, InstRegistry* pTarget);

    // Record, in the installer's undo list, what brings the tree back as it
    // is now: a create record per key and a restore record per value. The
    // path is the full path (root prefix included) of the main key, or of
    // its sub-key. False when the backup did not complete; the key must
    // then not be changed. No undo target: nothing to record, true.
    bool BackupKeyTree(const CString& strPath, CInstObj* pUndo);
    bool BackupSubKeyTree(const char* pszSubKey, const CString& strPath, CInstObj* pUndo);
    // Records how to restore one value of the main key: its bytes and type,
    // or its deletion when it does not exist. False when that could not be
    // recorded.
    bool BackupValue(const CString& strKeyPath, const CString& strName, CInstObj* pUndo);

    // ERR_TOO_LONG when a full key path of the list (root prefix included)
    // does not fit OpenKey, or, with bLastName, its last key name does not
    // fit a tree deletion; else ERR_OK. Checked before anything is changed.
    static int CheckPaths(const CStringArray& paths, bool bLastName);
    // The ErrorCode of a failed OpenKey, backup or copy for a step: nFailed
    // (the step's own code) for a registry failure, else why the record or
    // the path failed, or that memory ran out.
    int StepError(int nFailed) const { return m_nError == ERR_REG_OPEN || m_nError == ERR_OK ? nFailed : m_nError; }

    // Why the last OpenKey, backup or copy failed, as an ErrorCode:
    // ERR_REG_OPEN, ERR_UNDO_RECORD, ERR_NO_MEMORY or ERR_TOO_LONG; ERR_OK
    // after success and after a copy that failed in the registry.
    int GetError() const { return m_nError; }
    LONG GetRegResult() const { return m_nRegResult; }

private:
    bool Record(CInstObj* pUndo, CInstObj* pRecord, int nSetUp);
    bool Fail(int nError);
    // False for a value write or key creation of a copy that failed with
    // nResult; remembers ERR_NO_MEMORY when that is why.
    bool WriteFailed(LONG nResult);
    bool BackupTree(HKEY hKey, const CString& strPath, CInstObj* pUndo);
    bool CopyTree(HKEY hSource, HKEY hTarget, const char* pszEnumFailed, const char* pszCopyFailed);
    bool CopySubKey(HKEY hSource, HKEY hTarget, const char* pszSubKey);

    LONG m_nRegResult;  // result of the last KeyExists or SetByteArray
    BYTE m_bLastOk;     // whether the last SetByteArray succeeded
    HKEY m_hRoot;       // the root given to OpenKey
    int m_nError;
};

#endif
