// CString.
#include "framework/String.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "framework/CodePage.h"
#include "framework/Exceptions.h"
#include "framework/FaultHooks.h"

namespace
{
// Every empty string that owns no block points here.
char s_chNil = '\0';

int SafeStrlen(const char* psz)
{
    return psz != nullptr ? (int)strlen(psz) : 0;
}

bool IsSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}
}  // namespace

CString::CString() : m_pchData(&s_chNil), m_nDataLength(0), m_nAllocLength(0)
{
}

CString::CString(const CString& src) : CString()
{
    Append(src.m_pchData, src.m_nDataLength);
}

CString::CString(CString&& src) noexcept
    : m_pchData(src.m_pchData), m_nDataLength(src.m_nDataLength), m_nAllocLength(src.m_nAllocLength)
{
    src.m_pchData = &s_chNil;
    src.m_nDataLength = 0;
    src.m_nAllocLength = 0;
}

CString::CString(const char* psz) : CString()
{
    Append(psz, SafeStrlen(psz));
}

CString::CString(const char* pch, int nLength) : CString()
{
    Append(pch, nLength);
}

CString::CString(char ch, int nRepeat) : CString()
{
    if (nRepeat > 0 && Reserve(nRepeat, FALSE))
    {
        memset(m_pchData, (unsigned char)ch, nRepeat);
        m_nDataLength = nRepeat;
        m_pchData[nRepeat] = '\0';
    }
}

CString::~CString()
{
    Release();
}

void CString::Release()
{
    if (m_pchData != &s_chNil)
        free(m_pchData);
    m_pchData = &s_chNil;
    m_nDataLength = 0;
    m_nAllocLength = 0;
}

// Makes room for nLength characters plus the terminator. On exhausted memory
// the string keeps what it had and a memory exception is thrown.
BOOL CString::Reserve(int nLength, BOOL bKeep)
{
    if (nLength <= m_nAllocLength)
        return TRUE;
    if (nLength < 0 || nLength >= 0x7FFFFFF0)
    {
        AfxThrowMemoryException();
        return FALSE;
    }
    int nAlloc = nLength;
    if (bKeep && m_nAllocLength > 0 && nAlloc < m_nAllocLength + m_nAllocLength / 2 && m_nAllocLength < 0x3FFFFFF0)
        nAlloc = m_nAllocLength + m_nAllocLength / 2;  // appending in a loop stays linear
    char* p = FaultAllocationFails() ? nullptr
              : (char*)(m_pchData == &s_chNil ? malloc(nAlloc + 1) : realloc(m_pchData, nAlloc + 1));
    if (p == nullptr)
    {
        AfxThrowMemoryException();
        return FALSE;
    }
    if (m_pchData == &s_chNil)
        p[0] = '\0';
    m_pchData = p;
    m_nAllocLength = nAlloc;
    return TRUE;
}

CString& CString::operator=(const CString& src)
{
    if (this != &src)
    {
        if (src.m_nDataLength > m_nAllocLength)
        {
            CString copy(src);
            if (copy.m_nDataLength == src.m_nDataLength)
                *this = static_cast<CString&&>(copy);
        }
        else
        {
            memmove(m_pchData, src.m_pchData, src.m_nDataLength);
            m_nDataLength = src.m_nDataLength;
            if (m_pchData != &s_chNil)
                m_pchData[m_nDataLength] = '\0';
        }
    }
    return *this;
}

CString& CString::operator=(CString&& src) noexcept
{
    if (this != &src)
    {
        Release();
        m_pchData = src.m_pchData;
        m_nDataLength = src.m_nDataLength;
        m_nAllocLength = src.m_nAllocLength;
        src.m_pchData = &s_chNil;
        src.m_nDataLength = 0;
        src.m_nAllocLength = 0;
    }
    return *this;
}

CString& CString::operator=(const char* psz)
{
    // psz may point into this string.
    CString copy(psz);
    if (psz == nullptr || copy.m_nDataLength == SafeStrlen(psz))
        *this = static_cast<CString&&>(copy);
    return *this;
}

CString& CString::operator=(char ch)
{
    return *this = CString(ch, 1);
}

void CString::Empty()
{
    Release();
}

void CString::Append(const char* pch, int nLength)
{
    if (nLength <= 0)
        return;
    if (pch >= m_pchData && pch < m_pchData + m_nDataLength + 1)
    {
        // Appending part of itself: copy first, the block may move.
        CString copy(pch, nLength);
        if (copy.m_nDataLength == nLength)
            Append(copy.m_pchData, nLength);
        return;
    }
    if (nLength > 0x7FFFFFF0 - m_nDataLength)
    {
        AfxThrowMemoryException();
        return;
    }
    if (!Reserve(m_nDataLength + nLength, TRUE))
        return;
    memcpy(m_pchData + m_nDataLength, pch, nLength);
    m_nDataLength += nLength;
    m_pchData[m_nDataLength] = '\0';
}

CString& CString::operator+=(const CString& s)
{
    Append(s.m_pchData, s.m_nDataLength);
    return *this;
}

CString& CString::operator+=(const char* psz)
{
    Append(psz, SafeStrlen(psz));
    return *this;
}

CString& CString::operator+=(char ch)
{
    Append(&ch, 1);
    return *this;
}

CString operator+(const CString& a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}

CString operator+(const CString& a, const char* b)
{
    CString s(a);
    s += b;
    return s;
}

CString operator+(const char* a, const CString& b)
{
    CString s(a);
    s += b;
    return s;
}

CString operator+(const CString& a, char b)
{
    CString s(a);
    s += b;
    return s;
}

int CString::Compare(const char* psz) const
{
    if (psz == nullptr)
        psz = "";
    int nOther = (int)strlen(psz);
    int n = m_nDataLength < nOther ? m_nDataLength : nOther;
    int r = memcmp(m_pchData, psz, n);
    if (r != 0)
        return r;
    return m_nDataLength < nOther ? -1 : (m_nDataLength > nOther ? 1 : 0);
}

int CString::CompareNoCase(const char* psz) const
{
    if (psz == nullptr)
        psz = "";
    const BYTE* a = (const BYTE*)m_pchData;
    const BYTE* b = (const BYTE*)psz;
    const BYTE* aEnd = a + m_nDataLength;
    for (;; a++, b++)
    {
        if (a == aEnd)
            return *b == 0 ? 0 : -1;
        if (*b == 0)
            return 1;
        int d = (int)AnsiToLower(*a) - (int)AnsiToLower(*b);
        if (d != 0)
            return d;
    }
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, m_nDataLength - (nFirst < 0 ? 0 : nFirst));
}

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0)
        nFirst = 0;
    if (nFirst > m_nDataLength)
        nFirst = m_nDataLength;
    if (nCount < 0)
        nCount = 0;
    if (nCount > m_nDataLength - nFirst)
        nCount = m_nDataLength - nFirst;
    return CString(m_pchData + nFirst, nCount);
}

CString CString::Left(int nCount) const
{
    return Mid(0, nCount);
}

CString CString::Right(int nCount) const
{
    if (nCount < 0)
        nCount = 0;
    if (nCount > m_nDataLength)
        nCount = m_nDataLength;
    return CString(m_pchData + m_nDataLength - nCount, nCount);
}

void CString::MakeUpper()
{
    for (int i = 0; i < m_nDataLength; i++)
        m_pchData[i] = (char)AnsiToUpper((BYTE)m_pchData[i]);
}

void CString::MakeLower()
{
    for (int i = 0; i < m_nDataLength; i++)
        m_pchData[i] = (char)AnsiToLower((BYTE)m_pchData[i]);
}

void CString::TrimLeft()
{
    int n = 0;
    while (n < m_nDataLength && IsSpace(m_pchData[n]))
        n++;
    if (n > 0)
    {
        memmove(m_pchData, m_pchData + n, m_nDataLength - n + 1);
        m_nDataLength -= n;
    }
}

void CString::TrimRight()
{
    int n = m_nDataLength;
    while (n > 0 && IsSpace(m_pchData[n - 1]))
        n--;
    if (n < m_nDataLength)
    {
        m_nDataLength = n;
        m_pchData[n] = '\0';
    }
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0)
        nStart = 0;
    if (nStart >= m_nDataLength)
        return -1;
    const void* p = memchr(m_pchData + nStart, (unsigned char)ch, m_nDataLength - nStart);
    return p != nullptr ? (int)((const char*)p - m_pchData) : -1;
}

int CString::Find(const char* pszSub, int nStart) const
{
    int nSub = SafeStrlen(pszSub);
    if (nStart < 0)
        nStart = 0;
    if (nSub == 0)
        return nStart <= m_nDataLength ? nStart : -1;
    for (int i = nStart; i + nSub <= m_nDataLength; i++)
    {
        const char* p = (const char*)memchr(m_pchData + i, (unsigned char)pszSub[0], m_nDataLength - nSub - i + 1);
        if (p == nullptr)
            return -1;
        i = (int)(p - m_pchData);
        if (memcmp(p, pszSub, nSub) == 0)
            return i;
    }
    return -1;
}

int CString::ReverseFind(char ch) const
{
    for (int i = m_nDataLength - 1; i >= 0; i--)
        if (m_pchData[i] == ch)
            return i;
    return -1;
}

int CString::Replace(const char* pszOld, const char* pszNew)
{
    int nOld = SafeStrlen(pszOld);
    if (nOld == 0)
        return 0;
    int nCount = 0;
    for (int i = Find(pszOld); i >= 0; i = Find(pszOld, i + nOld))
        nCount++;
    if (nCount == 0)
        return 0;
    // pszNew may point into this string: build the result separately.
    int nNew = SafeStrlen(pszNew);
    CString result;
    if (!result.Reserve(m_nDataLength + nCount * (nNew - nOld), FALSE))
        return 0;
    int nFrom = 0;
    for (int i = Find(pszOld); i >= 0; i = Find(pszOld, i + nOld))
    {
        result.Append(m_pchData + nFrom, i - nFrom);
        result.Append(pszNew, nNew);
        nFrom = i + nOld;
    }
    result.Append(m_pchData + nFrom, m_nDataLength - nFrom);
    *this = static_cast<CString&&>(result);
    return nCount;
}

int CString::Replace(char chOld, char chNew)
{
    int nCount = 0;
    for (int i = 0; i < m_nDataLength; i++)
        if (m_pchData[i] == chOld)
        {
            m_pchData[i] = chNew;
            nCount++;
        }
    return nCount;
}

void CString::Format(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
}

void CString::FormatV(const char* pszFormat, va_list args)
{
    va_list copy;
    va_copy(copy, args);
#ifdef _WIN32
    // msvcrt's own printf family; its snprintf does not report the length.
    int n = _vscprintf(pszFormat, copy);
#else
    int n = vsnprintf(nullptr, 0, pszFormat, copy);
#endif
    va_end(copy);
    if (n < 0)
        return;
    CString result;
    char* p = result.GetBuffer(n);
    if (p == nullptr)
        return;
#ifdef _WIN32
    _vsnprintf(p, n + 1, pszFormat, args);
#else
    vsnprintf(p, n + 1, pszFormat, args);
#endif
    result.ReleaseBuffer(n);
    *this = static_cast<CString&&>(result);
}

char* CString::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength < m_nDataLength)
        nMinBufLength = m_nDataLength;
    if (nMinBufLength == 0 && m_pchData == &s_chNil)
        nMinBufLength = 1;  // callers may write the terminator
    if (!Reserve(nMinBufLength, TRUE))
        return nullptr;
    return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (m_pchData == &s_chNil)
        return;
    if (nNewLength < 0)
        nNewLength = (int)strnlen(m_pchData, m_nAllocLength);
    if (nNewLength > m_nAllocLength)
        nNewLength = m_nAllocLength;
    m_nDataLength = nNewLength;
    m_pchData[nNewLength] = '\0';
}

char* CString::GetBufferSetLength(int nNewLength)
{
    char* p = GetBuffer(nNewLength);
    if (p != nullptr)
    {
        m_nDataLength = nNewLength;
        m_pchData[nNewLength] = '\0';
    }
    return p;
}
