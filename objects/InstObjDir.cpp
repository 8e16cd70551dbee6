// CInstObjDir: stream form, validation, expansion, undo set-up.
#include "objects/InstObjDir.h"

#include "framework/Exceptions.h"
#include "framework/File.h"

IMPLEMENT_SERIAL(CInstObjDir, CInstObj, 1)

CInstObjDir::CInstObjDir() : m_dwAttributes(kNoAttributes)
{
}

void CInstObjDir::Serialize(CArchive& ar)
{
    CInstObj::Serialize(ar);
    if (ar.IsStoring())
    {
        ar << m_dwAttributes;
        m_Sources.Serialize(ar);
        m_Targets.Serialize(ar);
    }
    else if (m_nSchema == 1)
    {
        ar >> m_dwAttributes;
        m_Sources.Serialize(ar);
        m_Targets.Serialize(ar);
    }
}

int CInstObjDir::Validate()
{
    int r = CInstObj::Validate();
    if (r != ERR_OK)
        return r;
    if (m_nMode == MODE_COPY || m_nMode == MODE_MOVE)
    {
        if (m_Sources.GetSize() != m_Targets.GetSize())
            return ERR_DIR_LIST_LENGTH;
        for (int i = 0; i < m_Sources.GetSize(); i++)
            if (m_Sources[i].IsEmpty())
                return ERR_EMPTY_PATH;
    }
    for (int i = 0; i < m_Targets.GetSize(); i++)
        if (m_Targets[i].IsEmpty())
            return ERR_EMPTY_PATH;
    return ERR_OK;
}

int CInstObjDir::ExpandVariables()
{
    int r = ExpandAll(m_Sources);
    return r != ERR_OK ? r : ExpandAll(m_Targets);
}

int CInstObjDir::InitUndo(const CString& strPath, int nKind)
{
    if (nKind != MODE_CREATE && nKind != MODE_DELETE)
        return ERR_UNDO_MODE;
    SetRecordUndo(0);
    m_nMode = (DWORD)nKind;
    CExceptionScope scope;
    if (m_Targets.Add(strPath) < 0 || scope.Failed())
        return ERR_NO_MEMORY;
    int r = Validate();  // may itself run out of memory
    return scope.Failed() ? ERR_NO_MEMORY : r;
}

int CInstObjDir::ReadFileBytes(const CString& strPath, CByteArray& bytes)
{
    CExceptionScope scope;
    CFile file;
    if (!file.Open(strPath, CFile::modeRead | CFile::shareCompat | CFile::typeBinary))
        return scope.GetExceptionOf(RUNTIME_CLASS(CMemoryException)) != nullptr ? ERR_NO_MEMORY : ERR_FAILED;
    DWORD dwLength = file.SeekToEnd();
    file.SeekToBegin();
    if (!scope.Failed() && bytes.SetSize((int)dwLength) && file.Read(bytes.GetData(), dwLength) == dwLength &&
        !scope.Failed())
        return ERR_OK;
    return scope.GetExceptionOf(RUNTIME_CLASS(CMemoryException)) != nullptr ? ERR_NO_MEMORY : ERR_FAILED;
}
