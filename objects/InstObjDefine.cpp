// CInstObjDefine.
#include "objects/InstObjDefine.h"

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
    return m_strName.CompareNoCase(strText) == 0;
}
