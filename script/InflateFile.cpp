// CInflateFile.
#include "script/InflateFile.h"

#include <stdlib.h>
#include <string.h>

#include "framework/Exceptions.h"
#include "script/PackageFormat.h"

CInflateFile::CInflateFile(CFile* pSource, const CString& strPassword, DWORD nPlainLength)
    : m_pSource(pSource),
      m_strPassword(strPassword),
      m_pChunk((BYTE*)malloc(kChunk)),
      m_nPlainLength(nPlainLength),
      m_nPosition(0),
      m_bOpen(false),
      m_bEnd(false)
{
    memset(&m_z, 0, sizeof m_z);
    if (m_pChunk == nullptr || inflateInit(&m_z) != Z_OK)
    {
        AfxThrowMemoryException();
        return;
    }
    m_bOpen = true;
}

CInflateFile::~CInflateFile()
{
    Abort();
}

void CInflateFile::Fail()
{
    AfxThrowArchiveException(CArchiveException::generic, m_nPosition);
}

bool CInflateFile::FillInput()
{
    UINT n = m_pSource->Read(m_pChunk, kChunk);
    if (n == 0 || AfxExceptionPending())
        return false;
    PackageFormat::Scramble(m_pChunk, n, m_strPassword);
    m_z.next_in = m_pChunk;
    m_z.avail_in = n;
    return true;
}

UINT CInflateFile::Read(void* lpBuf, UINT nCount)
{
    if (nCount == 0 || !m_bOpen || AfxExceptionPending())
        return 0;
    // Never beyond the claimed length: the stream must end exactly there.
    if (nCount > m_nPlainLength - m_nPosition)
        nCount = m_nPlainLength - m_nPosition;
    m_z.next_out = (Bytef*)lpBuf;
    m_z.avail_out = nCount;
    while (m_z.avail_out > 0 && !m_bEnd)
    {
        if (m_z.avail_in == 0 && !FillInput())
        {
            if (!AfxExceptionPending())
                Fail();  // the body ends inside the stream
            return 0;
        }
        int z = inflate(&m_z, Z_NO_FLUSH);
        if (z == Z_STREAM_END)
            m_bEnd = true;
        else if (z == Z_MEM_ERROR)
        {
            AfxThrowMemoryException();
            return 0;
        }
        else if (z != Z_OK)
        {
            Fail();
            return 0;
        }
    }
    UINT nRead = nCount - m_z.avail_out;
    m_nPosition += nRead;
    // A stream that ends before its claimed length is damaged.
    if (m_bEnd && m_nPosition < m_nPlainLength)
        Fail();
    return nRead;
}

void CInflateFile::CheckRest()
{
    BYTE scratch[4096];
    while (m_bOpen && !AfxExceptionPending() && m_nPosition < m_nPlainLength)
        if (Read(scratch, sizeof scratch) == 0)
            break;
    // All claimed bytes are out; the stream must end with them, not go on.
    while (m_bOpen && !AfxExceptionPending() && !m_bEnd)
    {
        if (m_z.avail_in == 0 && !FillInput())
        {
            if (!AfxExceptionPending())
                Fail();
            return;
        }
        m_z.next_out = scratch;
        m_z.avail_out = 1;
        int z = inflate(&m_z, Z_NO_FLUSH);
        if (z == Z_STREAM_END && m_z.avail_out == 1)
            m_bEnd = true;
        else if (z != Z_OK || m_z.avail_out == 0)
            Fail();
    }
}

DWORD CInflateFile::Seek(LONG lOff, UINT nFrom)
{
    long long base = nFrom == begin ? 0 : (nFrom == current ? (long long)m_nPosition : (long long)m_nPlainLength);
    long long pos = base + lOff;
    if (pos < 0)
        pos = 0;
    if (pos > (long long)m_nPlainLength)
        pos = m_nPlainLength;
    return (DWORD)pos;
}

void CInflateFile::Write(const void*, UINT)
{
    AfxThrowFileException(CFileException::accessDenied);
}

void CInflateFile::Close()
{
    Abort();
}

void CInflateFile::Abort()
{
    if (m_bOpen)
        inflateEnd(&m_z);
    m_bOpen = false;
    free(m_pChunk);
    m_pChunk = nullptr;
}
