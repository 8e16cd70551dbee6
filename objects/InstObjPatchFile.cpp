// CInstObjPatchFile: stream form, validation and the patching itself.
#include "objects/InstObjPatchFile.h"

#include <string.h>

IMPLEMENT_SERIAL(CInstObjPatchFile, CInstObjFile, 1)

void CPatchTable::DeleteAll()
{
    for (int i = 0; i < GetSize(); i++)
    {
        CObArray* pList = GetList(i);
        if (pList == nullptr)
            continue;
        for (int j = 0; j < pList->GetSize(); j++)
            delete pList->GetAt(j);
        delete pList;
    }
    RemoveAll();
}

CInstObjPatchFile::~CInstObjPatchFile()
{
    m_SearchPatterns.DeleteAll();
    m_Replacements.DeleteAll();
}

void CInstObjPatchFile::Serialize(CArchive& ar)
{
    CInstObjFile::Serialize(ar);
    if (ar.IsStoring())
    {
        m_SearchPatterns.Serialize(ar);
        m_Replacements.Serialize(ar);
        return;
    }
    if (m_nSchema != 1)
        return;
    // The lists are plain arrays created by the archive; they must hold byte
    // arrays and nothing else.
    const CRuntimeClass* pSaved = ar.GetElementClass();
    ar.SetElementClass(RUNTIME_CLASS(CByteArray));
    m_SearchPatterns.LoadElements(ar, RUNTIME_CLASS(CObArray));
    m_Replacements.LoadElements(ar, RUNTIME_CLASS(CObArray));
    ar.SetElementClass(pSaved);
}

int CInstObjPatchFile::Validate()
{
    int r = CInstObjFile::Validate();
    if (r != ERR_OK)
        return r;
    int n = m_Targets.GetSize();
    if (m_SearchPatterns.GetSize() != n || m_Replacements.GetSize() != n)
        return ERR_PATCH_TABLES;
    for (int i = 0; i < n; i++)
    {
        // Loading never makes a null entry; code that builds tables by hand
        // might, and every entry is used.
        CObArray* pPatterns = m_SearchPatterns.GetList(i);
        CObArray* pReplacements = m_Replacements.GetList(i);
        if (pPatterns == nullptr || pReplacements == nullptr || pPatterns->GetSize() != pReplacements->GetSize())
            return ERR_PATCH_TABLES;
        for (int j = 0; j < pPatterns->GetSize(); j++)
            if (pPatterns->GetAt(j) == nullptr || pReplacements->GetAt(j) == nullptr)
                return ERR_PATCH_TABLES;
    }
    return ERR_OK;
}

BOOL CInstObjPatchFile::ApplyPatches(int i, CByteArray& bytes) const
{
    CObArray* pPatterns = m_SearchPatterns.GetList(i);
    for (int j = 0; j < pPatterns->GetSize(); j++)
    {
        const CByteArray* pPattern = m_SearchPatterns.GetEntry(i, j);
        const CByteArray* pReplacement = m_Replacements.GetEntry(i, j);
        if (pReplacement->GetSize() > pPattern->GetSize())
            return FALSE;
        int nPosition = 0;
        while (FindPattern(bytes.GetData(), (unsigned)bytes.GetSize(), &nPosition, *pPattern))
        {
            if (pReplacement->GetSize() > 0)
                memcpy(bytes.GetData() + nPosition, pReplacement->GetData(), pReplacement->GetSize());
            nPosition += pPattern->GetSize();
        }
    }
    return TRUE;
}
