// CInstObjRegValue: stream form, validation, expansion, set-ups.
#include "objects/InstObjRegValue.h"

#include "framework/Exceptions.h"
#include "script/Installer.h"

IMPLEMENT_SERIAL(CInstObjRegValue, CInstObjRegistry, 1)

namespace
{
const DWORD kRegSz = 1;
const DWORD kRegExpandSz = 2;
const DWORD kRegMultiSz = 7;
}  // namespace

CInstObjRegValue::CInstObjRegValue() : m_dwValueType(0)
{
}

void CInstObjRegValue::Serialize(CArchive& ar)
{
    CInstObjRegistry::Serialize(ar);
    if (ar.IsStoring())
    {
        ar << m_strValueName << m_dwValueType;
        m_Data.Serialize(ar);
    }
    else if (m_nSchema == 1)
    {
        ar >> m_strValueName >> m_dwValueType;
        m_Data.Serialize(ar);
    }
}

int CInstObjRegValue::Validate()
{
    int r = CInstObjRegistry::Validate();
    if (r != ERR_OK)
        return r;
    // A record may restore or delete a key's unnamed default value; a step
    // from the package must name its value.
    return m_strValueName.IsEmpty() && !IsUndoRecord() ? ERR_EMPTY_NAME : ERR_OK;
}

BOOL CInstObjRegValue::IsTextType(DWORD dwType)
{
    return dwType == kRegSz || dwType == kRegExpandSz || dwType == kRegMultiSz || dwType == kTypeShortPath;
}

int CInstObjRegValue::ExpandVariables()
{
    if (m_pInstaller == nullptr)
        return ERR_NO_INSTALLER;
    int r = CInstObjRegistry::ExpandVariables();
    if (r == ERR_OK)
        r = m_pInstaller->ExpandString(m_strValueName);
    if (r != ERR_OK || !IsTextType(m_dwValueType))
        return r;
    // Value data goes to no fixed buffer: it is not held to the key path limit.
    CString strText((const char*)m_Data.GetData(), m_Data.GetSize());
    r = m_pInstaller->ExpandString(strText, CInstaller::kExpandUnlimited);
    if (r == ERR_OK && !m_Data.Copy((const BYTE*)(const char*)strText, strText.GetLength()))
        r = ERR_NO_MEMORY;
    return r;
}

// The set-ups below check every copy they make: a record that lost its
// bytes or its name would write something else back than was there.
int CInstObjRegValue::SetTextValue(const CString& strKeyPath, const CString& strValueName, const CString& strText,
                                   DWORD dwType)
{
    if (!IsTextType(dwType))
        return ERR_VALUE_TYPE;
    m_nMode = MODE_CREATE;
    m_dwValueType = dwType;
    CExceptionScope scope;
    m_strValueName = strValueName;
    if (m_Targets.Add(strKeyPath) < 0 || !m_Data.Copy((const BYTE*)(const char*)strText, strText.GetLength()) ||
        scope.Failed())
        return ERR_NO_MEMORY;
    int r = Validate();  // may itself run out of memory
    return scope.Failed() ? ERR_NO_MEMORY : r;
}

int CInstObjRegValue::InitRestoreUndo(const CString& strKeyPath, const CString& strValueName,
                                      const CByteArray& bytes, DWORD dwType)
{
    SetRecordUndo(0);
    m_nMode = MODE_CREATE;
    m_dwValueType = dwType;
    CExceptionScope scope;
    m_strValueName = strValueName;
    if (m_Targets.Add(strKeyPath) < 0 || !m_Data.Append(bytes) || scope.Failed())
        return ERR_NO_MEMORY;
    int r = Validate();  // may itself run out of memory
    return scope.Failed() ? ERR_NO_MEMORY : r;
}

int CInstObjRegValue::InitDeleteUndo(const CString& strKeyPath, const CString& strValueName, int nMode)
{
    if (nMode != MODE_DELETE)
        return ERR_UNDO_MODE;
    SetRecordUndo(0);
    m_nMode = MODE_DELETE;
    CExceptionScope scope;
    m_strValueName = strValueName;
    if (m_Targets.Add(strKeyPath) < 0 || scope.Failed())
        return ERR_NO_MEMORY;
    int r = Validate();  // may itself run out of memory
    return scope.Failed() ? ERR_NO_MEMORY : r;
}
