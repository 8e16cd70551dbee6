// CInstObjShellLink: stream form, validation, expansion.
#include "objects/InstObjShellLink.h"

#include "script/Installer.h"

IMPLEMENT_SERIAL(CInstObjShellLink, CInstObjAction, 1)

void CInstObjShellLink::Serialize(CArchive& ar)
{
    CInstObjAction::Serialize(ar);
    if (ar.IsStoring())
        ar << m_strTarget;
    else if (m_nSchema == 1)
        ar >> m_strTarget;
}

int CInstObjShellLink::Validate()
{
    int r = CInstObjAction::Validate();
    if (r != ERR_OK)
        return r;
    return m_strTarget.IsEmpty() ? ERR_EMPTY_LINK_TARGET : ERR_OK;
}

int CInstObjShellLink::ExpandVariables()
{
    if (m_pInstaller == nullptr)
        return ERR_NO_INSTALLER;
    int r = CInstObjAction::ExpandVariables();
    if (r != ERR_OK)
        return r;
    return m_pInstaller->ExpandString(m_strTarget);
}
