// CInstaller: construction, destruction and stream form.
#include "script/Installer.h"

#include "framework/Archive.h"
#include "framework/Exceptions.h"
#include "objects/InstObj.h"
#include "script/BackgroundLoad.h"

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
    CObList* const lists[] = {&m_CheckList,    &m_DefineList,  &m_PrepareList, &m_RegistryList,
                              &m_FileList,     &m_FinishList1, &m_FinishList2, &m_UndoList};
    for (CObList* pList : lists)
    {
        for (POSITION pos = pList->GetHeadPosition(); pos != nullptr;)
            delete pList->GetNext(pos);
        pList->RemoveAll();
    }
}

void CInstaller::Serialize(CArchive& ar)
{
    CObList* const lists[] = {&m_CheckList, &m_DefineList,  &m_PrepareList, &m_RegistryList,
                              &m_FileList,  &m_FinishList1, &m_FinishList2};
    if (ar.IsStoring())
    {
        ar << m_nVersion;
        for (CObList* pList : lists)
            pList->Serialize(ar);
        return;
    }
    ar >> m_nVersion;
    if (m_nVersion != 1)
        return;
    if (m_pLoad == nullptr)
    {
        for (CObList* pList : lists)
            pList->LoadElements(ar, RUNTIME_CLASS(CInstObj));
        return;
    }
    // Read for a run that goes on meanwhile: each object is published as
    // soon as it stands in its list, and each list as a whole when the
    // next one begins.
    struct Progress
    {
        CBackgroundLoad* pLoad;
        int nList;
        static void Loaded(void* p, DWORD nCount) { ((Progress*)p)->pLoad->Published(((Progress*)p)->nList, nCount); }
    };
    for (int n = 0; n < CBackgroundLoad::LIST_COUNT && !AfxExceptionPending(); n++)
    {
        Progress progress = {m_pLoad, n};
        lists[n]->LoadElements(ar, RUNTIME_CLASS(CInstObj), Progress::Loaded, &progress);
        if (!AfxExceptionPending())
            m_pLoad->Published(n + 1, 0);
    }
}
