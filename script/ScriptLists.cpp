// The script's lists and the run's cursor over them.
#include "script/ScriptLists.h"

#include "objects/InstObj.h"
#include "script/BackgroundLoad.h"
#include "script/Installer.h"

// The run goes check, define, prepare, file, registry, finish 1, finish 2:
// the files are in place before the registry names them. The defines run
// in the prepare phase, after the installer's own variables are added.
const ScriptListInfo g_aScriptLists[LIST_COUNT] = {
    {&CInstaller::m_CheckList, "check", PHASE_NONE, LIST_DEFINE, false},
    {&CInstaller::m_DefineList, "define", PHASE_PREPARE, LIST_PREPARE, false},
    {&CInstaller::m_PrepareList, "prepare", PHASE_PREPARE, LIST_FILE, true},
    {&CInstaller::m_RegistryList, "registry", PHASE_REGISTRY, LIST_FINISH1, true},
    {&CInstaller::m_FileList, "file", PHASE_FILE, LIST_REGISTRY, true},
    {&CInstaller::m_FinishList1, "finish1", PHASE_FINISH, LIST_FINISH2, true},
    {&CInstaller::m_FinishList2, "finish2", PHASE_FINISH, LIST_COUNT, true},
};

CScriptCursor::CScriptCursor(CInstaller& script, CBackgroundLoad* pLoad)
    : m_script(script), m_pLoad(pLoad), m_nList(LIST_CHECK), m_pList(&script.m_CheckList), m_nIndex(0), m_pos(nullptr)
{
}

void CScriptCursor::Begin(int nList)
{
    m_nList = nList;
    m_pList = &(m_script.*g_aScriptLists[nList].pMember);
    m_nIndex = 0;
    m_pos = nullptr;
}

int CScriptCursor::Next(CInstObj** ppObject)
{
    *ppObject = nullptr;
    if (m_pLoad != nullptr && m_pLoad->WaitForElement(m_nList, m_nIndex) != ERR_OK)
        return ERR_FAILED;
    // The next node is looked up only now: the reader may have added it
    // since the last object was handed out.
    POSITION pos = m_pos;
    if (m_nIndex == 0)
        pos = m_pList->GetHeadPosition();
    else
        m_pList->GetNext(pos);
    if (pos == nullptr)
        return ERR_OK;  // the list's end; the cursor stays on its last object
    CInstObj* pObject = (CInstObj*)m_pList->GetAt(pos);
    m_pos = pos;
    m_nIndex++;
    if (m_pLoad != nullptr && !pObject->MayRunWhileLoading() && m_pLoad->WaitForEnd() != ERR_OK)
        return ERR_FAILED;
    *ppObject = pObject;
    return ERR_OK;
}

int CScriptCursor::WaitForList(int nList)
{
    return m_pLoad != nullptr ? m_pLoad->WaitForList(nList) : ERR_OK;
}

int CScriptCursor::WaitForEnd()
{
    return m_pLoad != nullptr ? m_pLoad->WaitForEnd() : ERR_OK;
}

void CScriptCursor::Cancel()
{
    if (m_pLoad != nullptr)
        m_pLoad->Cancel();
}
