// CInstObjRegistry: creates, copies, moves and deletes registry key trees and
// checks that keys are absent; also the key undo record. Keys are full paths
// beginning with "HKEY_LOCAL_MACHINE\" or "HKEY_CURRENT_USER\".
#ifndef OBJECTS_INSTOBJREGISTRY_H
#define OBJECTS_INSTOBJREGISTRY_H

#include "objects/InstObj.h"

class CInstObjRegistry : public CInstObj
{
    DECLARE_SERIAL(CInstObjRegistry)
public:
    // Stream form: the base fields, m_Sources, m_Targets.
    void Serialize(CArchive& ar) override;
    // Copy and move: equal list lengths (ERR_REG_LIST_LENGTH) and a root on
    // every source; every mode: a root on every target (ERR_REG_ROOT).
    int Validate() override;
    // Sources, then targets, through ExpandString.
    int ExpandVariables() override;
    int Execute(CInstaller* pInstaller) override;

    // Makes this new object a key undo record: 3 creates the key, 4 deletes
    // its tree.
    int InitUndo(const CString& strPath, int nMode);

    static BOOL HasRoot(const CString& strPath);
    static HKEY RootKeyOf(const CString& strPath);
    static CString StripRoot(const CString& strPath);
    static CString LastKeyName(const CString& strPath);
    static CString ParentKeyPath(const CString& strPath);

    CStringArray m_Sources;
    CStringArray m_Targets;
};

#endif
