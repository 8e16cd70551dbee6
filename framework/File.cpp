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
