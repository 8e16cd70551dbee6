// CInstObjFile: stream form, undo set-up and the file writer.
#include "objects/InstObjFile.h"

#include "framework/Exceptions.h"

IMPLEMENT_SERIAL(CInstObjFile, CInstObjDir, 1)

void CInstObjFile::Serialize(CArchive& ar)
{
    CInstObjDir::Serialize(ar);
    if (ar.IsStoring() || m_nSchema == 1)
        m_Content.Serialize(ar);
}

void CInstObjFile::ReleaseCarriedData()
{
    m_Content.RemoveAll();
}

int CInstObjFile::InitFileUndo(const CString& strPath, const CByteArray& bytes)
{
    // A record that lost its bytes would write an empty file back.
    SetRecordUndo(0);
    m_nMode = MODE_CREATE;
    CExceptionScope scope;
    if (m_Targets.Add(strPath) < 0 || !m_Content.Append(bytes) || scope.Failed())
        return ERR_NO_MEMORY;
    int r = Validate();  // may itself run out of memory
    return scope.Failed() ? ERR_NO_MEMORY : r;
}
