// The seven lists of an installer script, named once: their order in the
// stream, their members, their words in the packer's script format, and
// where each runs. CInstaller's stream form, the background reader, the run
// and the packer all walk this table.
//
// CScriptCursor: the run's one way through the lists, object by object,
// whether the script was read whole or is still being read.
#ifndef SCRIPT_SCRIPTLISTS_H
#define SCRIPT_SCRIPTLISTS_H

#include "framework/Collections.h"
#include "framework/WinTypes.h"

class CBackgroundLoad;
class CInstaller;
class CInstObj;

// The lists in stream order.
enum
{
    LIST_CHECK,
    LIST_DEFINE,
    LIST_PREPARE,
    LIST_REGISTRY,
    LIST_FILE,
    LIST_FINISH1,
    LIST_FINISH2,
    LIST_COUNT
};

// The phases of a run as the progress display is told them.
enum
{
    PHASE_NONE = 0,  // the checks, before the display starts
    PHASE_PREPARE = 1,
    PHASE_REGISTRY = 2,
    PHASE_FILE = 3,
    PHASE_FINISH = 4,
    PHASE_UNDO = 5
};

struct ScriptListInfo
{
    CObList CInstaller::*pMember;
    const char* pszName;  // the list's word in the packer's script format
    BYTE nPhase;          // the phase it runs in
    BYTE nNextToRun;      // the list that runs after it; LIST_COUNT after the last
    bool bSteps;          // its objects are steps of the progress display
};

// Entry n describes list n (stream order). The run starts with the checks
// and follows nNextToRun.
extern const ScriptListInfo g_aScriptLists[LIST_COUNT];

class CScriptCursor
{
public:
    // pLoad is the reader of a script still being read, or null when the
    // script stands whole.
    CScriptCursor(CInstaller& script, CBackgroundLoad* pLoad);

    // Goes to the head of list nList.
    void Begin(int nList);
    // The next object of the list in *ppObject, null at the list's end:
    // ERR_OK, or ERR_FAILED when the read failed before getting there. The
    // reader is waited for where it has not got that far, and before an
    // object that may not run while the package is being read, for the
    // whole package.
    int Next(CInstObj** ppObject);

    // ERR_OK once list nList is read whole (and every list before it), or
    // ERR_FAILED when the read failed before.
    int WaitForList(int nList);
    // ERR_OK once the whole package is read, or ERR_FAILED.
    int WaitForEnd();
    // Nothing more is needed: the reader stops at its next object.
    void Cancel();

private:
    CInstaller& m_script;
    CBackgroundLoad* m_pLoad;
    int m_nList;
    CObList* m_pList;
    DWORD m_nIndex;    // of the next object
    POSITION m_pos;    // of the object handed out last

    CScriptCursor(const CScriptCursor&) = delete;
    CScriptCursor& operator=(const CScriptCursor&) = delete;
};

#endif
