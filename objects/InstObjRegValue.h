// CInstObjRegValue: sets, copies, moves and deletes one named registry value;
// also the value undo record.
#ifndef OBJECTS_INSTOBJREGVALUE_H
#define OBJECTS_INSTOBJREGVALUE_H

#include "objects/InstObjRegistry.h"

class InstRegistry;

class CInstObjRegValue : public CInstObjRegistry
{
    DECLARE_SERIAL(CInstObjRegValue)
public:
    // The data is the text of a file path, written in its short form as
    // REG_SZ.
    static const DWORD kTypeShortPath = 10001;

    CInstObjRegValue();

    // Stream form: that of CInstObjRegistry, then m_strValueName,
    // m_dwValueType, m_Data.
    void Serialize(CArchive& ar) override;
    // That of CInstObjRegistry, then ERR_EMPTY_NAME for an empty value name.
    int Validate() override;
    // The key paths, the value name, and the data of the text types.
    int ExpandVariables() override;
    int Execute(CInstaller* pInstaller) override;

    static BOOL IsTextType(DWORD dwType);

    // Set-ups of new objects; each appends the key path to m_Targets and
    // returns Validate.
    int SetTextValue(const CString& strKeyPath, const CString& strValueName, const CString& strText, DWORD dwType);
    int InitRestoreUndo(const CString& strKeyPath, const CString& strValueName, const CByteArray& bytes,
                        DWORD dwType);
    int InitDeleteUndo(const CString& strKeyPath, const CString& strValueName, int nMode);

    CString m_strValueName;
    CByteArray m_Data;     // written exactly as held: no terminating zero is added
    DWORD m_dwValueType;   // a registry type, or kTypeShortPath
};

#endif
