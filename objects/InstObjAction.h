// CInstObjAction: opens a file through the shell, or closes running programs
// by executable name. Records no undo.
#ifndef OBJECTS_INSTOBJACTION_H
#define OBJECTS_INSTOBJACTION_H

#include "objects/InstObj.h"

class CInstObjAction : public CInstObj
{
    DECLARE_SERIAL(CInstObjAction)
public:
    CInstObjAction();

    // Stream form: the base fields, then m_strDirectory, m_strFile,
    // m_strParameters, m_strVerb, m_nShowCmd (32 bits).
    void Serialize(CArchive& ar) override;
    // Shell verb mode: the verb must be one of the five (stored in lower
    // case) or ERR_VERB; every mode: ERR_EMPTY_FILE_NAME for an empty file.
    int Validate() override;
    // m_strDirectory, then m_strFile.
    int ExpandVariables() override;
    int Execute(CInstaller* pInstaller) override;
    // A program started or closed cannot be taken back.
    BOOL MayRunWhileLoading() const override { return FALSE; }

    CString m_strVerb;
    CString m_strFile;
    CString m_strParameters;
    CString m_strDirectory;
    int m_nShowCmd;  // SW_SHOW by default
};

#endif
