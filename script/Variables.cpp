// Script variables and the expansion of references to them.
#include "framework/Exceptions.h"
#include "objects/InstObjDefine.h"
#include "script/Installer.h"

bool CInstaller::LookupVariable(const CString& strName, CString& strValue) const
{
    for (POSITION pos = m_DefineList.GetHeadPosition(); pos != nullptr;)
    {
        CObject* pObject = m_DefineList.GetNext(pos);
        if (!pObject->IsKindOf(RUNTIME_CLASS(CInstObjDefine)))
            continue;
        CInstObjDefine* pDefine = (CInstObjDefine*)pObject;
        if (pDefine->NameEquals(strName))
        {
            strValue = pDefine->GetValue();
            return true;
        }
    }
    return false;
}

int CInstaller::AddVariable(const CString& strName, const CString& strValue)
{
    CInstObjDefine* pDefine = new CInstObjDefine;
    if (pDefine == nullptr)
        return ERR_NO_MEMORY;
    int r = pDefine->SetVariable(strName, strValue);
    if (r == ERR_OK && m_DefineList.AddTail(pDefine) == nullptr)
        r = ERR_NO_MEMORY;
    if (r != ERR_OK)
        delete pDefine;
    return r;
}

int CInstaller::ExpandString(CString& strText)
{
    CExceptionScope scope;  // exhausted memory while building the result
    CString strWorking(strText);
    CString strName;
    bool bInside = false;
    for (int i = 0; i < strText.GetLength(); i++)
    {
        char ch = strText[i];
        if (ch == '<')
        {
            if (bInside)
                return ERR_BAD_REFERENCE;
            bInside = true;
            strName.Empty();
        }
        else if (ch == '>')
        {
            if (!bInside)
                return ERR_BAD_REFERENCE;
            bInside = false;
            CString strValue;
            if (!LookupVariable(strName, strValue))
                return ERR_UNDEFINED_VARIABLE;
            // Every occurrence in the working copy, also inside values that
            // earlier references inserted.
            strWorking.Replace("<" + strName + ">", strValue);
            strName.Empty();
        }
        else if (bInside)
            strName += ch;
        if (scope.Failed())
            return ERR_NO_MEMORY;
    }
    if (scope.Failed())
        return ERR_NO_MEMORY;
    strText = strWorking;
    return ERR_OK;
}
