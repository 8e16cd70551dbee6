// The run: checks, variables, the work lists in their phases, and the undo.
#include "framework/Exceptions.h"
#include "objects/InstObj.h"
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

int CInstaller::Run()
{
    for (POSITION pos = m_CheckList.GetHeadPosition(); pos != nullptr;)
    {
        CInstObj* pCheck = (CInstObj*)m_CheckList.GetNext(pos);
        if (pCheck->Execute(this) == ERR_KEY_EXISTS)
        {
            LookupVariable(pCheck->m_strErrorTextName, m_strMessage);
            return ERR_CHECK_VETO;
        }
    }

    ReportProgress(PROGRESS_START, 0, CountSteps() + 2);
    ReportProgress(PROGRESS_PHASE, PHASE_PREPARE, 0);
    DefineSystemVariables();
    ReportProgress(PROGRESS_STEP, 0, 0);

    int nResult = ERR_OK;
    for (POSITION pos = m_DefineList.GetHeadPosition(); pos != nullptr && nResult == ERR_OK;)
        nResult = ((CInstObj*)m_DefineList.GetNext(pos))->Execute(this);

    // The file phase comes before the registry phase, although the stream
    // holds the registry list first. Phase reports are made even after a
    // failure; only the objects are skipped.
    struct Phase
    {
        int nPhase;
        CObList* pList;
    } const phases[] = {{0, &m_PrepareList},
                        {PHASE_FILE, &m_FileList},
                        {PHASE_REGISTRY, &m_RegistryList},
                        {PHASE_FINISH, &m_FinishList1},
                        {0, &m_FinishList2}};
    for (const Phase& phase : phases)
    {
        if (phase.nPhase != 0)
            ReportProgress(PROGRESS_PHASE, phase.nPhase, 0);
        for (POSITION pos = phase.pList->GetHeadPosition(); pos != nullptr && nResult == ERR_OK;)
        {
            ReportProgress(PROGRESS_STEP, 0, 0);
            nResult = ((CInstObj*)phase.pList->GetNext(pos))->Execute(this);
        }
    }
    ReportProgress(PROGRESS_STEP, 0, 0);

    if (nResult != ERR_OK)
    {
        ReportProgress(PROGRESS_RESTART, 0, m_UndoList.GetCount() + 1);
        ReportProgress(PROGRESS_PHASE, PHASE_UNDO, 0);
        // Newest first; a failing record does not stop the others.
        for (POSITION pos = m_UndoList.GetHeadPosition(); pos != nullptr;)
        {
            ReportProgress(PROGRESS_STEP, 0, 0);
            ((CInstObj*)m_UndoList.GetNext(pos))->Execute(this);
        }
    }
    ReportProgress(PROGRESS_END, 0, 0);
    return nResult;
}
