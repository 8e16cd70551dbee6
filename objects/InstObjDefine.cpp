// CInstObjDefine.
#include "objects/InstObjDefine.h"

#include "framework/CodePage.h"

IMPLEMENT_SERIAL(CInstObjDefine, CInstObj, 1)

void CInstObjDefine::Serialize(CArchive& ar)
{
    CInstObj::Serialize(ar);
    if (ar.IsStoring())
        ar << m_strName << m_strValue;
    else if (m_nSchema == 1)
        ar >> m_strName >> m_strValue;
}

int CInstObjDefine::Validate()
{
    int r = CInstObj::Validate();
    if (r != ERR_OK)
        return r;
    return m_strName.IsEmpty() ? ERR_EMPTY_NAME : ERR_OK;
}

int CInstObjDefine::SetVariable(const CString& strName, const CString& strValue)
{
    m_strName = strName;
    m_strValue = strValue;
    return Validate();
}

BOOL CInstObjDefine::NameEquals(const CString& strText) const
{
    return NameEquals(strText, strText.GetLength());
}

BOOL CInstObjDefine::NameEquals(const char* pchText, int nLength) const
{
    if (nLength != m_strName.GetLength())
        return FALSE;
    const BYTE* a = (const BYTE*)(const char*)m_strName;
    const BYTE* b = (const BYTE*)pchText;
    for (int i = 0; i < nLength; i++)
        if (a[i] != b[i] && AnsiToLower(a[i]) != AnsiToLower(b[i]))
            return FALSE;
    return TRUE;
}
