// CFile on Win32 file handles.
#include "framework/File.h"

namespace
{
HANDLE H(intptr_t h)
{
    return (HANDLE)h;
}
}  // namespace

int CFile::OsErrorToCause(LONG lOsError)
{
    switch (lOsError)
    {
    case NO_ERROR:
        return CFileException::none;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE:
        return CFileException::fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return CFileException::badPath;
    case ERROR_TOO_MANY_OPEN_FILES:
        return CFileException::tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return CFileException::accessDenied;
    case ERROR_CURRENT_DIRECTORY:
        return CFileException::removeCurrentDir;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK:
        return CFileException::badSeek;
    case ERROR_SHARING_VIOLATION:
        return CFileException::sharingViolation;
    case ERROR_LOCK_VIOLATION:
        return CFileException::lockViolation;
    case ERROR_HANDLE_EOF:
        return CFileException::endOfFile;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return CFileException::diskFull;
    default:
        return CFileException::generic;
    }
}

BOOL CFile::Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    if (m_hFile != hFileNull)
        Abort();
    m_strFileName = lpszFileName;

    DWORD dwAccess = 0;
    switch (nOpenFlags & 3)
    {
    case modeRead:
        dwAccess = GENERIC_READ;
        break;
    case modeWrite:
        dwAccess = GENERIC_WRITE;
        break;
    default:
        dwAccess = GENERIC_READ | GENERIC_WRITE;
        break;
    }
    DWORD dwShare = 0;
    switch (nOpenFlags & 0x70)
    {
    case shareDenyWrite:
        dwShare = FILE_SHARE_READ;
        break;
    case shareDenyRead:
        dwShare = FILE_SHARE_WRITE;
        break;
    case shareDenyNone:
        dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default:  // compatibility and exclusive: no sharing
        break;
    }
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, (nOpenFlags & modeNoInherit) == 0};
    DWORD dwCreate = OPEN_EXISTING;
    if (nOpenFlags & modeCreate)
        dwCreate = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    HANDLE h = CreateFileA(lpszFileName, dwAccess, dwShare, &sa, dwCreate, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
    {
        ReportOpenError(pError, (LONG)GetLastError(), lpszFileName);
        return FALSE;
    }
    m_hFile = (intptr_t)h;
    return TRUE;
}

DWORD CFile::Seek(LONG lOff, UINT nFrom)
{
    if (AfxExceptionPending())
        return 0;
    DWORD dwNew = SetFilePointer(H(m_hFile), lOff, nullptr, (DWORD)nFrom);
    if (dwNew == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    {
        ThrowOsError((LONG)GetLastError());
        return 0;
    }
    return dwNew;
}

DWORD CFile::GetLength() const
{
    if (AfxExceptionPending())
        return 0;
    DWORD dwLen = GetFileSize(H(m_hFile), nullptr);
    if (dwLen == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
    {
        ThrowOsError((LONG)GetLastError());
        return 0;
    }
    return dwLen;
}

DWORD CFile::GetPosition() const
{
    if (AfxExceptionPending())
        return 0;
    DWORD dwPos = SetFilePointer(H(m_hFile), 0, nullptr, FILE_CURRENT);
    if (dwPos == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    {
        ThrowOsError((LONG)GetLastError());
        return 0;
    }
    return dwPos;
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    if (nCount == 0 || AfxExceptionPending())
        return 0;
    DWORD dwRead = 0;
    if (!ReadFile(H(m_hFile), lpBuf, nCount, &dwRead, nullptr))
    {
        ThrowOsError((LONG)GetLastError());
        return 0;
    }
    return dwRead;
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    if (nCount == 0 || AfxExceptionPending())
        return;
    DWORD dwWritten = 0;
    if (!WriteFile(H(m_hFile), lpBuf, nCount, &dwWritten, nullptr))
        ThrowOsError((LONG)GetLastError());
    else if (dwWritten != nCount)
        AfxThrowFileException(CFileException::diskFull, -1, m_strFileName);
}

void CFile::Flush()
{
    if (m_hFile == hFileNull || AfxExceptionPending())
        return;
    if (!FlushFileBuffers(H(m_hFile)))
        ThrowOsError((LONG)GetLastError());
}

void CFile::Close()
{
    BOOL bOk = TRUE;
    if (m_hFile != hFileNull)
        bOk = CloseHandle(H(m_hFile));
    m_hFile = hFileNull;
    if (!bOk && !AfxExceptionPending())
        ThrowOsError((LONG)GetLastError());
}

void CFile::Abort()
{
    if (m_hFile != hFileNull)
        CloseHandle(H(m_hFile));
    m_hFile = hFileNull;
}
