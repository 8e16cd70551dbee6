// Windows-1252 tables and conversions.
#include "framework/CodePage.h"

namespace
{
// Code points of the bytes 0x80 to 0x9F; the rest of the code page equals
// Latin-1.
const WORD kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

unsigned AnsiToUnicode(BYTE ch)
{
    return ch >= 0x80 && ch < 0xA0 ? kHigh[ch - 0x80] : ch;
}

int UnicodeToAnsi(unsigned codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return (int)codePoint;
    for (int i = 0; i < 32; i++)
        if (kHigh[i] == codePoint)
            return 0x80 + i;
    return -1;
}

BYTE AnsiToLower(BYTE ch)
{
    if ((ch >= 'A' && ch <= 'Z') || (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7))
        return (BYTE)(ch + 0x20);
    switch (ch)
    {
    case 0x8A:  // S caron
    case 0x8C:  // OE
    case 0x8E:  // Z caron
        return (BYTE)(ch + 0x10);
    case 0x9F:  // Y diaeresis
        return 0xFF;
    default:
        return ch;
    }
}

BYTE AnsiToUpper(BYTE ch)
{
    if ((ch >= 'a' && ch <= 'z') || (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7))
        return (BYTE)(ch - 0x20);
    switch (ch)
    {
    case 0x9A:
    case 0x9C:
    case 0x9E:
        return (BYTE)(ch - 0x10);
    case 0xFF:
        return 0x9F;
    default:
        return ch;
    }
}

CString AnsiFromUtf16(const WORD* pch, size_t nLength)
{
    CString s;
    for (size_t i = 0; i < nLength && pch[i] != 0; i++)
    {
        unsigned cp = pch[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < nLength && pch[i + 1] >= 0xDC00 && pch[i + 1] <= 0xDFFF)
            i++;  // a surrogate pair is one character, and never in the code page
        int ch = UnicodeToAnsi(cp);
        s += (char)(ch >= 0 ? ch : '?');
    }
    return s;
}

BOOL AnsiFromUtf8(const char* pch, size_t nLength, CString& out, size_t* pnBadOffset)
{
    const BYTE* p = (const BYTE*)pch;
    CString s;
    size_t i = 0;
    while (i < nLength)
    {
        size_t start = i;
        unsigned cp = p[i++];
        int nMore = 0;
        unsigned min = 0;
        if (cp >= 0xF0 && cp <= 0xF4)
            nMore = 3, cp &= 0x07, min = 0x10000;
        else if (cp >= 0xE0)
            nMore = cp <= 0xEF ? 2 : -1, cp &= 0x0F, min = 0x800;
        else if (cp >= 0xC2)
            nMore = 1, cp &= 0x1F, min = 0x80;
        else if (cp >= 0x80)
            nMore = -1;
        for (int k = 0; k < nMore; k++)
        {
            if (i >= nLength || (p[i] & 0xC0) != 0x80)
            {
                nMore = -1;
                break;
            }
            cp = (cp << 6) | (p[i++] & 0x3F);
        }
        int ch = nMore < 0 || cp < min || (cp >= 0xD800 && cp <= 0xDFFF) ? -1 : UnicodeToAnsi(cp);
        if (ch < 0)
        {
            if (pnBadOffset != nullptr)
                *pnBadOffset = start;
            return FALSE;
        }
        s += (char)ch;
    }
    out = s;
    return TRUE;
}

CString Utf8FromAnsi(const CString& text)
{
    CString s;
    for (int i = 0; i < text.GetLength(); i++)
    {
        unsigned cp = AnsiToUnicode((BYTE)text[i]);
        if (cp < 0x80)
            s += (char)cp;
        else if (cp < 0x800)
        {
            s += (char)(0xC0 | (cp >> 6));
            s += (char)(0x80 | (cp & 0x3F));
        }
        else
        {
            s += (char)(0xE0 | (cp >> 12));
            s += (char)(0x80 | ((cp >> 6) & 0x3F));
            s += (char)(0x80 | (cp & 0x3F));
        }
    }
    return s;
}
