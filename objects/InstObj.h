// CInstObj: the base of every install step and undo record.
#ifndef OBJECTS_INSTOBJ_H
#define OBJECTS_INSTOBJ_H

#include "framework/Archive.h"
#include "framework/Collections.h"
#include "framework/Object.h"
#include "framework/String.h"
#include "objects/ErrorCodes.h"

class CInstaller;

// Values of m_nMode. Each class takes the ones it supports.
enum InstMode
{
    MODE_COPY = 1,
    MODE_MOVE = 2,
    MODE_CREATE = 3,  // create or set; also "write saved bytes back"
    MODE_DELETE = 4,
    MODE_SHELL_VERB = 6,
    MODE_CLOSE_PROCESSES = 7,
    MODE_CHECK_ABSENT = 8
};

class CInstObj : public CObject
{
    DECLARE_SERIAL(CInstObj)
public:
    CInstObj();
    ~CInstObj() override;

    // Stream form: m_nMode (DWORD), m_strErrorTextName (CString). Derived
    // classes call this first, then read their own fields only when
    // m_nSchema is 1.
    void Serialize(CArchive& ar) override;

    // Checks the object's own fields; the base has nothing to check.
    virtual int Validate();
    // Replaces the variable references in the object's strings.
    virtual int ExpandVariables();
    // Does the object's work. Every override stores the installer first and
    // runs ExpandVariables and Validate itself; the run calls only this.
    virtual int Execute(CInstaller* pInstaller);

    // What every step's Execute does first: stores the installer
    // (ERR_NO_INSTALLER without one), then ExpandVariables and Validate
    // through their virtual slots; the first failure is returned. An undo
    // record holds what was recorded, already expanded: it is not expanded
    // again, so a recorded text holding '<' or '>' comes back exactly.
    int PrepareExecute(CInstaller* pInstaller);

    // Hands a record, new and set up by the caller, to the installer's undo
    // list. nSetUp is the set-up's result. When it failed, or the list does
    // not take the record, the record is destroyed and nothing is changed:
    // ERR_NO_MEMORY when memory ran out (a null record is a failed new),
    // else ERR_UNDO_RECORD. A change whose record was not handed over must
    // not be made.
    int HandOverUndo(CInstObj* pRecord, int nSetUp);
    // Whether this object is an undo record rather than a step of the script.
    bool IsUndoRecord() const { return m_bRecordUndo == 0; }

    // Passes each string through the installer's ExpandString, storing the
    // result back; stops at the first failure. ERR_NO_INSTALLER without one.
    int ExpandAll(CStringArray& strings);

    // Whether the step may run while the rest of the package is still
    // being read. A step that cannot be undone must wait until the whole
    // package has proved readable.
    virtual BOOL MayRunWhileLoading() const { return TRUE; }

    // Lets go of what only Execute needs, above all carried bytes. The run
    // calls it once the step has run: a script runs once, and an
    // installation then holds the bytes of the few files being read and
    // written, not of the whole package.
    virtual void ReleaseCarriedData() {}

    void SetRecordUndo(BYTE bRecordUndo) { m_bRecordUndo = bRecordUndo; }
    BYTE GetRecordUndo() const { return m_bRecordUndo; }

    // A new, empty "gpi" file in the temporary directory, so that its name
    // stays reserved. Windows only.
    static void MakeTempFileName(CString& name);

    // Finds the first occurrence of pattern that lies wholly in
    // data[*pPosition, length). On success *pPosition is its first byte; on
    // failure 0. An empty pattern is never found and leaves *pPosition alone.
    static bool FindPattern(const BYTE* pData, unsigned nLength, int* pPosition, const CByteArray& pattern);

    CString m_strErrorTextName;  // variable whose value explains a failed check
    UINT m_nSchema;              // schema the object was loaded with
    DWORD m_nMode;               // operation kind; each class has its own values
    CInstaller* m_pInstaller;    // stored by Execute; not owned
    BYTE m_bRecordUndo;          // cleared on undo records, which record nothing
};

#endif
