// CFile on POSIX descriptors, for the native build.
#include "framework/File.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int CFile::OsErrorToCause(LONG lOsError)
{
    switch (lOsError)
    {
    case 0:
        return CFileException::none;
    case ENOENT:
    case EBADF:
        return CFileException::fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return CFileException::badPath;
    case EMFILE:
    case ENFILE:
        return CFileException::tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return CFileException::accessDenied;
    case ESPIPE:
    case EINVAL:
        return CFileException::badSeek;
    case ENOSPC:
    case EDQUOT:
        return CFileException::diskFull;
    case EIO:
        return CFileException::hardIO;
    default:
        return CFileException::generic;
    }
}

BOOL CFile::Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    if (m_hFile != hFileNull)
        Abort();
    m_strFileName = lpszFileName;

    int flags = O_CLOEXEC;
    switch (nOpenFlags & 3)
    {
    case modeRead:
        flags |= O_RDONLY;
        break;
    case modeWrite:
        flags |= O_WRONLY;
        break;
    default:
        flags |= O_RDWR;
        break;
    }
    if (nOpenFlags & modeCreate)
        flags |= (nOpenFlags & modeNoTruncate) ? O_CREAT : (O_CREAT | O_TRUNC);

    int fd = open(lpszFileName, flags, 0666);
    if (fd >= 0)
    {
        // A directory opens for reading on POSIX but is no file to us.
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
        {
            close(fd);
            fd = -1;
            errno = EISDIR;
        }
    }
    if (fd < 0)
    {
        ReportOpenError(pError, errno, lpszFileName);
        return FALSE;
    }
    m_hFile = fd;
    return TRUE;
}

DWORD CFile::Seek(LONG lOff, UINT nFrom)
{
    if (AfxExceptionPending())
        return 0;
    int whence = nFrom == begin ? SEEK_SET : (nFrom == current ? SEEK_CUR : SEEK_END);
    off_t pos = lseek((int)m_hFile, lOff, whence);
    if (pos < 0 || pos > (off_t)0xFFFFFFFF)
    {
        ThrowOsError(pos < 0 ? errno : EFBIG);
        return 0;
    }
    return (DWORD)pos;
}

DWORD CFile::GetLength() const
{
    if (AfxExceptionPending())
        return 0;
    struct stat st;
    if (fstat((int)m_hFile, &st) != 0)
    {
        ThrowOsError(errno);
        return 0;
    }
    if (st.st_size > (off_t)0xFFFFFFFF)
    {
        ThrowOsError(EFBIG);
        return 0;
    }
    return (DWORD)st.st_size;
}

DWORD CFile::GetPosition() const
{
    if (AfxExceptionPending())
        return 0;
    off_t pos = lseek((int)m_hFile, 0, SEEK_CUR);
    if (pos < 0)
    {
        ThrowOsError(errno);
        return 0;
    }
    return (DWORD)pos;
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    if (nCount == 0 || AfxExceptionPending())
        return 0;
    UINT nDone = 0;
    while (nDone < nCount)
    {
        ssize_t n = read((int)m_hFile, (char*)lpBuf + nDone, nCount - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            ThrowOsError(errno);
            return 0;
        }
        if (n == 0)
            break;
        nDone += (UINT)n;
    }
    return nDone;
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    if (nCount == 0 || AfxExceptionPending())
        return;
    UINT nDone = 0;
    while (nDone < nCount)
    {
        ssize_t n = write((int)m_hFile, (const char*)lpBuf + nDone, nCount - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            ThrowOsError(n < 0 ? errno : ENOSPC);
            return;
        }
        nDone += (UINT)n;
    }
}

void CFile::Flush()
{
    // Written data is with the kernel already; durability is not asked for.
}

void CFile::Close()
{
    int r = 0;
    if (m_hFile != hFileNull)
        r = close((int)m_hFile);
    m_hFile = hFileNull;
    if (r != 0 && !AfxExceptionPending())
        ThrowOsError(errno);
}

void CFile::Abort()
{
    if (m_hFile != hFileNull)
        close((int)m_hFile);
    m_hFile = hFileNull;
}
