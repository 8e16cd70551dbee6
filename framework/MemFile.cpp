// CMemFile.
#include "framework/MemFile.h"

#include <stdlib.h>
#include <string.h>

#include "framework/FaultHooks.h"

IMPLEMENT_DYNAMIC(CMemFile, CFile)

CMemFile::CMemFile(UINT nGrowBytes)
    : m_nGrowBytes(nGrowBytes),
      m_nPosition(0),
      m_nBufferSize(0),
      m_nFileSize(0),
      m_lpBuffer(nullptr),
      m_bAutoDelete(TRUE)
{
}

CMemFile::CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes) : CMemFile(nGrowBytes)
{
    Attach(lpBuffer, nBufferSize, nGrowBytes);
}

CMemFile::~CMemFile()
{
    if (m_lpBuffer != nullptr)
        Close();
    m_hFile = hFileNull;
}

void CMemFile::Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes)
{
    m_nGrowBytes = nGrowBytes;
    m_nPosition = 0;
    m_nBufferSize = nBufferSize;
    m_nFileSize = nGrowBytes == 0 ? nBufferSize : 0;
    m_lpBuffer = lpBuffer;
    m_bAutoDelete = FALSE;
}

BYTE* CMemFile::Detach()
{
    BYTE* lpBuffer = m_lpBuffer;
    m_lpBuffer = nullptr;
    m_nFileSize = 0;
    m_nBufferSize = 0;
    m_nPosition = 0;
    return lpBuffer;
}

BOOL CMemFile::Open(const char*, UINT, CFileException* pError)
{
    // A memory file has no name to open.
    if (pError != nullptr)
        pError->m_cause = CFileException::generic;
    return FALSE;
}

// Enlarges the block in whole steps of m_nGrowBytes.
void CMemFile::GrowFile(DWORD dwNewLen)
{
    if (dwNewLen <= m_nBufferSize)
        return;
    if (m_nGrowBytes == 0)
    {
        AfxThrowMemoryException();
        return;
    }
    DWORD nSteps = (dwNewLen - m_nBufferSize + m_nGrowBytes - 1) / m_nGrowBytes;
    // Still whole steps, but at least half the block more each time: growing
    // a large file step by step would copy it over and over.
    DWORD nHalf = (m_nBufferSize / 2 + m_nGrowBytes - 1) / m_nGrowBytes;
    if (nSteps < nHalf)
        nSteps = nHalf;
    unsigned long long nNew = (unsigned long long)m_nBufferSize + (unsigned long long)nSteps * m_nGrowBytes;
    if (nNew > 0xFFFFFFFFull)
    {
        AfxThrowMemoryException();
        return;
    }
    BYTE* lpNew = FaultAllocationFails() ? nullptr : (BYTE*)realloc(m_lpBuffer, (size_t)nNew);
    if (lpNew == nullptr)
    {
        AfxThrowMemoryException();
        return;
    }
    m_lpBuffer = lpNew;
    m_nBufferSize = (DWORD)nNew;
}

DWORD CMemFile::Seek(LONG lOff, UINT nFrom)
{
    if (AfxExceptionPending())
        return 0;
    long long base = nFrom == begin ? 0 : (nFrom == current ? (long long)m_nPosition : (long long)m_nFileSize);
    long long pos = base + lOff;
    if (pos < 0 || pos > 0xFFFFFFFFll)
    {
        AfxThrowFileException(CFileException::badSeek);
        return 0;
    }
    m_nPosition = (DWORD)pos;
    return m_nPosition;
}

DWORD CMemFile::GetLength() const
{
    return m_nFileSize;
}

DWORD CMemFile::GetPosition() const
{
    return m_nPosition;
}

UINT CMemFile::Read(void* lpBuf, UINT nCount)
{
    if (nCount == 0 || AfxExceptionPending() || m_nPosition >= m_nFileSize)
        return 0;
    UINT nRead = m_nFileSize - m_nPosition < nCount ? (UINT)(m_nFileSize - m_nPosition) : nCount;
    memcpy(lpBuf, m_lpBuffer + m_nPosition, nRead);
    m_nPosition += nRead;
    return nRead;
}

void CMemFile::Write(const void* lpBuf, UINT nCount)
{
    if (nCount == 0 || AfxExceptionPending())
        return;
    if (nCount > 0xFFFFFFFFu - m_nPosition)
    {
        AfxThrowMemoryException();
        return;
    }
    if (m_nPosition + nCount > m_nBufferSize)
    {
        GrowFile(m_nPosition + nCount);
        if (AfxExceptionPending())
            return;
    }
    if (m_nPosition > m_nFileSize)  // a seek past the end leaves a gap of zeros
        memset(m_lpBuffer + m_nFileSize, 0, m_nPosition - m_nFileSize);
    memcpy(m_lpBuffer + m_nPosition, lpBuf, nCount);
    m_nPosition += nCount;
    if (m_nPosition > m_nFileSize)
        m_nFileSize = m_nPosition;
}

void CMemFile::Flush()
{
}

void CMemFile::Close()
{
    if (m_lpBuffer != nullptr && m_bAutoDelete)
        free(m_lpBuffer);
    m_lpBuffer = nullptr;
    m_nBufferSize = 0;
    m_nFileSize = 0;
    m_nPosition = 0;
}

void CMemFile::Abort()
{
    Close();
}
