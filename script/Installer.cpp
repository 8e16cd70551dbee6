// CInstaller: construction, destruction and stream form.
#include "script/Installer.h"

#include "framework/Archive.h"
#include "framework/Exceptions.h"
#include "objects/InstObj.h"
#include "script/BackgroundLoad.h"
#include "script/ScriptLists.h"

IMPLEMENT_SERIAL(CInstaller, CObject, 1)

CInstaller::CInstaller()
    : m_nVersion(1),
      m_pfnQuestion(nullptr),
      m_pfnProgress(nullptr),
      m_bUseNewLanguage(0),
      m_bAskLanguage(1),
      m_pLoad(nullptr)
{
}

CInstaller::~CInstaller()
{
    delete m_pLoad;  // the reader stops before the lists go
    DeleteAllObjects();
}

void CInstaller::DeleteAllObjects()
{
    for (int n = 0; n <= LIST_COUNT; n++)
    {
        CObList& list = n < LIST_COUNT ? this->*g_aScriptLists[n].pMember : m_UndoList;
        for (POSITION pos = list.GetHeadPosition(); pos != nullptr;)
            delete list.GetNext(pos);
        list.RemoveAll();
    }
}

void CInstaller::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar << m_nVersion;
        for (const ScriptListInfo& list : g_aScriptLists)
            (this->*list.pMember).Serialize(ar);
        return;
    }
    ar >> m_nVersion;
    if (m_nVersion != 1)
        return;
    // When a run goes on meanwhile, each object is published to it as soon
    // as it stands in its list, and each list as a whole when the next one
    // begins.
    struct Progress
    {
        CBackgroundLoad* pLoad;
        int nList;
        static void Loaded(void* p, DWORD nCount) { ((Progress*)p)->pLoad->Published(((Progress*)p)->nList, nCount); }
    };
    for (int n = 0; n < LIST_COUNT && !AfxExceptionPending(); n++)
    {
        CObList& list = this->*g_aScriptLists[n].pMember;
        if (m_pLoad == nullptr)
        {
            list.LoadElements(ar, RUNTIME_CLASS(CInstObj));
            continue;
        }
        Progress progress = {m_pLoad, n};
        list.LoadElements(ar, RUNTIME_CLASS(CInstObj), Progress::Loaded, &progress);
        if (!AfxExceptionPending())
            m_pLoad->Published(n + 1, 0);
    }
}
