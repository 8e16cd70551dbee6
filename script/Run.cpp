// The run: checks, variables, the work lists in their phases, and the undo.
#include "framework/Exceptions.h"
#include "objects/InstObj.h"
#include "script/BackgroundLoad.h"
#include "script/Installer.h"

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
// Phases.
enum
{
    PHASE_PREPARE = 1,
    PHASE_REGISTRY = 2,
    PHASE_FILE = 3,
    PHASE_FINISH = 4,
    PHASE_UNDO = 5
};
}  // namespace

void CInstaller::ReportProgress(int nKind, int a, int b)
{
    if (m_pfnProgress != nullptr)
        m_pfnProgress((unsigned)nKind, (unsigned)a, (unsigned)b);
}

int CInstaller::CountSteps() const
{
    return m_FinishList1.GetCount() + m_FinishList2.GetCount() + m_PrepareList.GetCount() + m_FileList.GetCount() +
           m_RegistryList.GetCount();
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

// Executes the objects of a list from head to tail while nResult stays
// ERR_OK, reporting a step for each. A list that is still being read is
// walked as far as the reader has got, waiting where it has not; a read
// that fails before the walk is through fails the run with ERR_FAILED.
int CInstaller::RunList(int nStreamList, CObList& list, int nResult)
{
    POSITION pos = nullptr;  // of the object executed last
    for (DWORD nIndex = 0; nResult == ERR_OK; nIndex++)
    {
        if (m_pLoad != nullptr && m_pLoad->WaitForElement(nStreamList, nIndex) != ERR_OK)
            return ERR_FAILED;
        // The next node is looked up only now: the reader may have added
        // it since the last step.
        if (nIndex == 0)
            pos = list.GetHeadPosition();
        else
            list.GetNext(pos);
        if (pos == nullptr)
            break;
        CInstObj* pObject = (CInstObj*)list.GetAt(pos);
        if (m_pLoad != nullptr && !pObject->MayRunWhileLoading() && m_pLoad->WaitForEnd() != ERR_OK)
            return ERR_FAILED;
        if (nStreamList != CBackgroundLoad::LIST_DEFINE)
            ReportProgress(PROGRESS_STEP, 0, 0);
        nResult = ExecuteStep(pObject);
    }
    return nResult;
}

int CInstaller::Run()
{
    typedef CBackgroundLoad L;
    // What throws outside a step (a progress report, the system variables)
    // lands here instead of ending the process.
    CExceptionScope scope;
    if (m_pLoad != nullptr && m_pLoad->WaitForList(L::LIST_CHECK) != ERR_OK)
        return ERR_FAILED;  // nothing has been done yet
    for (POSITION pos = m_CheckList.GetHeadPosition(); pos != nullptr;)
    {
        CInstObj* pCheck = (CInstObj*)m_CheckList.GetNext(pos);
        if (ExecuteStep(pCheck) == ERR_KEY_EXISTS)
        {
            LookupVariable(pCheck->m_strErrorTextName, m_strMessage);
            return ERR_CHECK_VETO;
        }
    }
    // A progress display needs the number of steps, which only the whole
    // script tells.
    if (m_pLoad != nullptr && m_pfnProgress != nullptr && m_pLoad->WaitForEnd() != ERR_OK)
        return ERR_FAILED;

    // Without a display the steps are not counted: the lists may still be
    // growing.
    if (m_pfnProgress != nullptr)
        ReportProgress(PROGRESS_START, 0, CountSteps() + 2);
    ReportProgress(PROGRESS_PHASE, PHASE_PREPARE, 0);
    // The system variables go behind the package's own.
    int nResult = m_pLoad != nullptr ? m_pLoad->WaitForList(L::LIST_DEFINE) : ERR_OK;
    if (nResult == ERR_OK)
        DefineSystemVariables();
    ReportProgress(PROGRESS_STEP, 0, 0);
    nResult = RunList(L::LIST_DEFINE, m_DefineList, nResult);

    // The file phase comes before the registry phase, although the stream
    // holds the registry list first. Phase reports are made even after a
    // failure; only the objects are skipped.
    struct Phase
    {
        int nPhase;
        int nStreamList;
        CObList* pList;
    } const phases[] = {{0, L::LIST_PREPARE, &m_PrepareList},
                        {PHASE_FILE, L::LIST_FILE, &m_FileList},
                        {PHASE_REGISTRY, L::LIST_REGISTRY, &m_RegistryList},
                        {PHASE_FINISH, L::LIST_FINISH1, &m_FinishList1},
                        {0, L::LIST_FINISH2, &m_FinishList2}};
    for (const Phase& phase : phases)
    {
        if (phase.nPhase != 0)
            ReportProgress(PROGRESS_PHASE, phase.nPhase, 0);
        nResult = RunList(phase.nStreamList, *phase.pList, nResult);
    }
    // The installation stands only on a package that was read whole; after
    // a failure the rest of it is not needed.
    if (m_pLoad != nullptr)
    {
        if (nResult == ERR_OK)
            nResult = m_pLoad->WaitForEnd();
        else
            m_pLoad->Cancel();
    }
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
