// CInstObjAction: stream form, validation, expansion.
#include "objects/InstObjAction.h"

#include "script/Installer.h"

IMPLEMENT_SERIAL(CInstObjAction, CInstObj, 1)

namespace
{
const int kShowDefault = 5;  // SW_SHOW
const char* const kVerbs[] = {"edit", "find", "open", "print", "properties"};
}  // namespace

CInstObjAction::CInstObjAction() : m_nShowCmd(kShowDefault)
{
}

void CInstObjAction::Serialize(CArchive& ar)
{
    CInstObj::Serialize(ar);
    if (ar.IsStoring())
    {
        ar << m_strDirectory << m_strFile << m_strParameters << m_strVerb << (LONG)m_nShowCmd;
    }
    else if (m_nSchema == 1)
    {
        LONG nShowCmd = 0;
        ar >> m_strDirectory >> m_strFile >> m_strParameters >> m_strVerb >> nShowCmd;
        m_nShowCmd = (int)nShowCmd;
    }
}

int CInstObjAction::Validate()
{
    int r = CInstObj::Validate();
    if (r != ERR_OK)
        return r;
    if (m_nMode == MODE_SHELL_VERB)
    {
        const char* pszFound = nullptr;
        for (const char* pszVerb : kVerbs)
            if (m_strVerb.CompareNoCase(pszVerb) == 0)
            {
                pszFound = pszVerb;
                break;
            }
        if (pszFound == nullptr)
            return ERR_VERB;
        m_strVerb = pszFound;
    }
    return m_strFile.IsEmpty() ? ERR_EMPTY_FILE_NAME : ERR_OK;
}

int CInstObjAction::ExpandVariables()
{
    if (m_pInstaller == nullptr)
        return ERR_NO_INSTALLER;
    int r = m_pInstaller->ExpandString(m_strDirectory);
    if (r != ERR_OK)
        return r;
    return m_pInstaller->ExpandString(m_strFile);
}
