// CInstObjRegistry: stream form, validation, expansion and key paths.
#include "objects/InstObjRegistry.h"

#include <string.h>

#include "framework/Exceptions.h"

IMPLEMENT_SERIAL(CInstObjRegistry, CInstObj, 1)

namespace
{
const char kMachine[] = "HKEY_LOCAL_MACHINE\\";
const char kUser[] = "HKEY_CURRENT_USER\\";

BOOL StartsWithNoCase(const CString& strPath, const char* pszPrefix)
{
    int n = (int)strlen(pszPrefix);
    return strPath.GetLength() >= n && strPath.Left(n).CompareNoCase(pszPrefix) == 0;
}
}  // namespace

void CInstObjRegistry::Serialize(CArchive& ar)
{
    CInstObj::Serialize(ar);
    if (ar.IsStoring() || m_nSchema == 1)
    {
        m_Sources.Serialize(ar);
        m_Targets.Serialize(ar);
    }
}

BOOL CInstObjRegistry::HasRoot(const CString& strPath)
{
    return StartsWithNoCase(strPath, kMachine) || StartsWithNoCase(strPath, kUser);
}

int CInstObjRegistry::Validate()
{
    int r = CInstObj::Validate();
    if (r != ERR_OK)
        return r;
    if (m_nMode == MODE_COPY || m_nMode == MODE_MOVE)
    {
        if (m_Sources.GetSize() != m_Targets.GetSize())
            return ERR_REG_LIST_LENGTH;
        for (int i = 0; i < m_Sources.GetSize(); i++)
            if (!HasRoot(m_Sources[i]))
                return ERR_REG_ROOT;
    }
    for (int i = 0; i < m_Targets.GetSize(); i++)
        if (!HasRoot(m_Targets[i]))
            return ERR_REG_ROOT;
    return ERR_OK;
}

int CInstObjRegistry::ExpandVariables()
{
    int r = ExpandAll(m_Sources);
    return r != ERR_OK ? r : ExpandAll(m_Targets);
}

int CInstObjRegistry::InitUndo(const CString& strPath, int nMode)
{
    if (nMode != MODE_CREATE && nMode != MODE_DELETE)
        return ERR_UNDO_MODE;
    SetRecordUndo(0);
    m_nMode = (DWORD)nMode;
    CExceptionScope scope;
    if (m_Targets.Add(strPath) < 0 || scope.Failed())
        return ERR_NO_MEMORY;
    int r = Validate();  // may itself run out of memory
    return scope.Failed() ? ERR_NO_MEMORY : r;
}

HKEY CInstObjRegistry::RootKeyOf(const CString& strPath)
{
    return StartsWithNoCase(strPath, kMachine) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

CString CInstObjRegistry::StripRoot(const CString& strPath)
{
    if (StartsWithNoCase(strPath, kMachine))
        return strPath.Mid((int)strlen(kMachine));
    if (StartsWithNoCase(strPath, kUser))
        return strPath.Mid((int)strlen(kUser));
    return strPath;
}

CString CInstObjRegistry::LastKeyName(const CString& strPath)
{
    CString strKey = StripRoot(strPath);
    return strKey.Mid(strKey.ReverseFind('\\') + 1);
}

CString CInstObjRegistry::ParentKeyPath(const CString& strPath)
{
    CString strKey = StripRoot(strPath);
    int n = strKey.ReverseFind('\\');
    return n < 0 ? CString() : strKey.Left(n);
}
