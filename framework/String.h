// CString: a narrow, length-counted string of Windows-1252 text.
#ifndef FRAMEWORK_STRING_H
#define FRAMEWORK_STRING_H

#include <stdarg.h>

#include "framework/WinTypes.h"

#if defined(__GNUC__)
#define AFX_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define AFX_PRINTF(fmt, args)
#endif

class CString
{
public:
    CString();
    CString(const CString& src);
    CString(CString&& src) noexcept;
    CString(const char* psz);  // null gives the empty string
    CString(const char* pch, int nLength);
    CString(char ch, int nRepeat);
    ~CString();

    CString& operator=(const CString& src);
    CString& operator=(CString&& src) noexcept;
    CString& operator=(const char* psz);
    CString& operator=(char ch);

    int GetLength() const { return m_nDataLength; }
    BOOL IsEmpty() const { return m_nDataLength == 0; }
    void Empty();

    char GetAt(int nIndex) const { return m_pchData[nIndex]; }
    char operator[](int nIndex) const { return m_pchData[nIndex]; }
    void SetAt(int nIndex, char ch) { m_pchData[nIndex] = ch; }
    operator const char*() const { return m_pchData; }

    CString& operator+=(const CString& s);
    CString& operator+=(const char* psz);
    CString& operator+=(char ch);
    void Append(const char* pch, int nLength);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);
    friend CString operator+(const CString& a, char b);

    // Byte-wise comparison; negative, zero or positive.
    int Compare(const char* psz) const;
    // Comparison that ignores the letter case of Windows-1252 text. The code
    // page has no lead bytes, so every byte is one character.
    int CompareNoCase(const char* psz) const;

    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Left(int nCount) const;
    CString Right(int nCount) const;

    void MakeUpper();
    void MakeLower();
    void TrimLeft();
    void TrimRight();
    void Trim()
    {
        TrimRight();
        TrimLeft();
    }

    // Index of the first match at or after nStart, or -1.
    int Find(char ch, int nStart = 0) const;
    int Find(const char* pszSub, int nStart = 0) const;
    int ReverseFind(char ch) const;

    // Replaces every non-overlapping occurrence, left to right; returns the count.
    int Replace(const char* pszOld, const char* pszNew);
    int Replace(char chOld, char chNew);

    void Format(const char* pszFormat, ...) AFX_PRINTF(2, 3);
    void FormatV(const char* pszFormat, va_list args);

    // Direct access for APIs that fill a buffer: at least nMinBufLength
    // characters plus a terminator. Null when memory is exhausted.
    char* GetBuffer(int nMinBufLength);
    // Ends direct access; -1 takes the length up to the first zero byte.
    void ReleaseBuffer(int nNewLength = -1);
    char* GetBufferSetLength(int nNewLength);

private:
    BOOL Reserve(int nLength, BOOL bKeep);
    void Release();

    char* m_pchData;
    int m_nDataLength;
    int m_nAllocLength;
};

inline bool operator==(const CString& a, const CString& b)
{
    return a.GetLength() == b.GetLength() && a.Compare(b) == 0;
}
inline bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
inline bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return !(a == b); }
inline bool operator!=(const CString& a, const char* b) { return !(a == b); }
inline bool operator!=(const char* a, const CString& b) { return !(a == b); }
inline bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }

#endif
