// CInstObjShellLink: creates a shell link; the fields of CInstObjAction hold
// the link's description (m_strVerb), file (m_strFile), arguments, working
// directory and show command.
#ifndef OBJECTS_INSTOBJSHELLLINK_H
#define OBJECTS_INSTOBJSHELLLINK_H

#include "objects/InstObjAction.h"

class CInstObjShellLink : public CInstObjAction
{
    DECLARE_SERIAL(CInstObjShellLink)
public:
    // Stream form: that of CInstObjAction, then m_strTarget.
    void Serialize(CArchive& ar) override;
    // That of CInstObjAction, then ERR_EMPTY_LINK_TARGET for an empty target.
    int Validate() override;
    // m_strDirectory, m_strFile, then m_strTarget.
    int ExpandVariables() override;
    int Execute(CInstaller* pInstaller) override;
    // A link's undo record removes it again.
    BOOL MayRunWhileLoading() const override { return TRUE; }

    CString m_strTarget;  // what the link points to
};

#endif
