// CInstaller: construction, destruction and stream form.
#include "script/Installer.h"

#include "framework/Archive.h"
#include "objects/InstObj.h"

IMPLEMENT_SERIAL(CInstaller, CObject, 1)

CInstaller::CInstaller()
    : m_nVersion(1),
      m_pfnQuestion(nullptr),
      m_pfnProgress(nullptr),
      m_bUseNewLanguage(0),
      m_bAskLanguage(1)
{
}

CInstaller::~CInstaller()
{
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
    for (CObList* pList : lists)
        pList->LoadElements(ar, RUNTIME_CLASS(CInstObj));
}
