// Text conversions of the script format.
#include "packer/Text.h"

#include <stdio.h>

#include "framework/CodePage.h"

namespace Packer
{
bool ToAnsi(const std::string& utf8, CString& out, std::string* pError)
{
    size_t nBad = 0;
    if (::AnsiFromUtf8(utf8.data(), utf8.size(), out, &nBad))
        return true;
    if (pError != nullptr)
    {
        // The offending character, decoded for the message (the JSON parser
        // has already refused ill-formed UTF-8).
        const BYTE* p = (const BYTE*)utf8.data() + nBad;
        size_t nLeft = utf8.size() - nBad;
        unsigned cp = p[0];
        size_t n = cp >= 0xF0 ? 4 : cp >= 0xE0 ? 3 : cp >= 0xC0 ? 2 : 1;
        if (n > nLeft)
            n = nLeft;
        if (n > 1)
        {
            cp &= 0xFF >> (n + 1);
            for (size_t i = 1; i < n; i++)
                cp = (cp << 6) | (p[i] & 0x3F);
        }
        char code[16];
        snprintf(code, sizeof code, "U+%04X", cp);
        *pError = std::string("the character ") + code + " '" + utf8.substr(nBad, n) + "' at byte " +
                  std::to_string(nBad) + " has no place in Windows-1252";
    }
    return false;
}

std::string ToUtf8(const CString& text)
{
    CString s = ::Utf8FromAnsi(text);
    return std::string((const char*)s, (size_t)s.GetLength());
}

std::string ToUtf8(const BYTE* p, size_t n)
{
    return ToUtf8(CString((const char*)p, (int)n));
}

std::string ToHex(const BYTE* p, size_t n)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string s(n * 2, '0');
    for (size_t i = 0; i < n; i++)
    {
        s[2 * i] = kDigits[p[i] >> 4];
        s[2 * i + 1] = kDigits[p[i] & 15];
    }
    return s;
}

namespace
{
int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

bool FromHex(const std::string& hex, ByteVector& out, std::string* pError)
{
    out.clear();
    out.reserve(hex.size() / 2);
    size_t i = 0;
    while (i < hex.size())
    {
        if (hex[i] == ' ')
        {
            i++;
            continue;
        }
        int hi = DigitValue(hex[i]);
        int lo = i + 1 < hex.size() ? DigitValue(hex[i + 1]) : -1;
        if (hi < 0 || lo < 0)
        {
            if (pError != nullptr)
            {
                size_t bad = hi < 0 ? i : i + 1;
                *pError = bad < hex.size()
                              ? "not a hex digit at character " + std::to_string(bad) + ": '" + hex[bad] + "'"
                              : std::string("odd number of hex digits");
            }
            return false;
        }
        out.push_back((BYTE)(hi * 16 + lo));
        i += 2;
    }
    return true;
}

bool IsPrintableText(const BYTE* p, size_t n)
{
    for (size_t i = 0; i < n; i++)
    {
        BYTE b = p[i];
        if (b == '\t' || b == '\n' || b == '\r')
            continue;
        // Controls, DEL, and the five bytes the code page leaves unassigned.
        if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            return false;
    }
    return true;
}

std::string PointerToken(const std::string& token)
{
    std::string s;
    for (char c : token)
    {
        if (c == '~')
            s += "~0";
        else if (c == '/')
            s += "~1";
        else
            s += c;
    }
    return s;
}
} // namespace Packer
