// The run: checks, variables, the work lists in their phases, and the undo.
#include "framework/Exceptions.h"
#include "objects/InstObj.h"
#include "script/Installer.h"
#include "script/ScriptLists.h"

namespace
{
// Progress reports (kind, a, b).
enum
{
    PROGRESS_START = 1,    // (0, total steps)
    PROGRESS_END = 2,
    PROGRESS_RESTART = 3,  // (0, total steps), before the undo
    PROGRESS_PHASE = 4,    // (phase, 0)
    PROGRESS_STEP = 5
};
}  // namespace

void CInstaller::ReportProgress(int nKind, int a, int b)
{
    if (m_pfnProgress != nullptr)
        m_pfnProgress((unsigned)nKind, (unsigned)a, (unsigned)b);
}

int CInstaller::CountSteps() const
{
    int nSteps = 0;
    for (const ScriptListInfo& list : g_aScriptLists)
        if (list.bSteps)
            nSteps += (this->*list.pMember).GetCount();
    return nSteps;
}

// An object that cannot be taken stays its caller's, who destroys it.
int CInstaller::AddUndo(CInstObj* pObject)
{
    if (pObject == nullptr)
        return ERR_NO_INSTALLER;
    CExceptionScope scope;  // no memory for the list node
    if (m_UndoList.AddHead(pObject) == nullptr || scope.Failed())
        return ERR_NO_MEMORY;
    pObject->SetRecordUndo(0);
    return ERR_OK;
}

int CInstaller::WithdrawUndo(CInstObj* pRecord)
{
    if (pRecord == nullptr || m_UndoList.IsEmpty() || m_UndoList.GetHead() != pRecord)
        return ERR_FAILED;
    delete (CInstObj*)m_UndoList.RemoveHead();
    return ERR_OK;
}

// Every object the run executes, step or undo record, goes through here,
// each in a scope of its own: an exception ends that object only. A step
// goes on after an allocation failed (exceptions are recorded, not
// unwound), but every change to the system is refused while one is pending.
int CInstaller::ExecuteStep(CInstObj* pObject)
{
    CExceptionScope scope;
    int r = pObject->Execute(this);
    if (scope.GetExceptionOf(RUNTIME_CLASS(CMemoryException)) != nullptr)
        return ERR_NO_MEMORY;
    return scope.Failed() ? ERR_FAILED : r;
}

int CInstaller::AskUseNewLanguage(const char* pszNewLanguage, const char* pszInstalledLanguage)
{
    if (!m_bAskLanguage)
        return m_bUseNewLanguage ? 1 : 0;
    if (m_pfnQuestion == nullptr)
        return 1;
    m_bAskLanguage = 0;
    m_bUseNewLanguage = m_pfnQuestion(pszNewLanguage, pszInstalledLanguage) != 0;
    return m_bUseNewLanguage ? 1 : 0;
}

// Executes the objects of list nList from head to tail while nResult stays
// ERR_OK, reporting a step for each where the list's objects are steps. A
// read that fails before the walk is through fails the run with ERR_FAILED.
int CInstaller::RunList(CScriptCursor& cursor, int nList, int nResult)
{
    cursor.Begin(nList);
    while (nResult == ERR_OK)
    {
        CInstObj* pObject;
        if (cursor.Next(&pObject) != ERR_OK)
            return ERR_FAILED;
        if (pObject == nullptr)
            break;
        if (g_aScriptLists[nList].bSteps)
            ReportProgress(PROGRESS_STEP, 0, 0);
        nResult = ExecuteStep(pObject);
        pObject->ReleaseCarriedData();
    }
    return nResult;
}

int CInstaller::Run()
{
    // One cursor walks the lists, whether the script is still being read
    // or not. The checks may refer to the script's variables, so they wait
    // until the defines are read; a read that fails before has done nothing.
    // What throws outside a step (a progress report, the system variables)
    // lands here instead of ending the process.
    CExceptionScope scope;
    CScriptCursor cursor(*this, m_pLoad);
    if (cursor.WaitForList(LIST_DEFINE) != ERR_OK)
        return ERR_FAILED;
    cursor.Begin(LIST_CHECK);
    for (;;)
    {
        CInstObj* pCheck;
        if (cursor.Next(&pCheck) != ERR_OK)
            return ERR_FAILED;
        if (pCheck == nullptr)
            break;
        if (ExecuteStep(pCheck) == ERR_KEY_EXISTS)
        {
            LookupVariable(pCheck->m_strErrorTextName, m_strMessage);
            return ERR_CHECK_VETO;
        }
    }
    // A progress display needs the number of steps, which only the whole
    // script tells. Without a display the steps are not counted: the lists
    // may still be growing.
    if (m_pfnProgress != nullptr)
    {
        if (cursor.WaitForEnd() != ERR_OK)
            return ERR_FAILED;
        ReportProgress(PROGRESS_START, 0, CountSteps() + 2);
    }

    // The lists in the order they run. Phase reports are made even after a
    // failure; only the objects are skipped. The system variables go behind
    // the package's own, before the defines run.
    int nResult = ERR_OK;
    int nPhase = PHASE_NONE;
    for (int nList = g_aScriptLists[LIST_CHECK].nNextToRun; nList != LIST_COUNT;
         nList = g_aScriptLists[nList].nNextToRun)
    {
        if (g_aScriptLists[nList].nPhase != nPhase)
        {
            nPhase = g_aScriptLists[nList].nPhase;
            ReportProgress(PROGRESS_PHASE, nPhase, 0);
        }
        if (nList == LIST_DEFINE)
        {
            DefineSystemVariables();
            ReportProgress(PROGRESS_STEP, 0, 0);
        }
        nResult = RunList(cursor, nList, nResult);
    }
    // The installation stands only on a package that was read whole; after
    // a failure the rest of it is not needed.
    if (nResult == ERR_OK)
        nResult = cursor.WaitForEnd();
    else
        cursor.Cancel();
    ReportProgress(PROGRESS_STEP, 0, 0);

    if (nResult == ERR_OK && scope.Failed())
        nResult = scope.GetExceptionOf(RUNTIME_CLASS(CMemoryException)) != nullptr ? ERR_NO_MEMORY : ERR_FAILED;
    scope.Clear();
    if (nResult != ERR_OK)
    {
        ReportProgress(PROGRESS_RESTART, 0, m_UndoList.GetCount() + 1);
        ReportProgress(PROGRESS_PHASE, PHASE_UNDO, 0);
        // Newest first; a failing record does not stop the others.
        for (POSITION pos = m_UndoList.GetHeadPosition(); pos != nullptr;)
        {
            ReportProgress(PROGRESS_STEP, 0, 0);
            ExecuteStep((CInstObj*)m_UndoList.GetNext(pos));
        }
    }
    ReportProgress(PROGRESS_END, 0, 0);
    return nResult;
}
