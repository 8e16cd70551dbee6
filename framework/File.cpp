// CFile: what the Windows and POSIX versions share.
#include "framework/File.h"

IMPLEMENT_DYNAMIC(CFile, CObject)

CFile::CFile() : m_hFile(hFileNull)
{
}

CFile::~CFile()
{
    if (m_hFile != hFileNull)
        Abort();
}

void CFile::ThrowOsError(LONG lOsError) const
{
    AfxThrowFileException(OsErrorToCause(lOsError), lOsError, m_strFileName);
}

void CFile::ReportOpenError(CFileException* pError, LONG lOsError, const char* lpszFileName)
{
    if (pError == nullptr)
        return;
    pError->m_lOsError = lOsError;
    pError->m_cause = OsErrorToCause(lOsError);
    pError->m_strFileName = lpszFileName;
}
