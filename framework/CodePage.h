// Windows-1252, the code page of all text in a package, and its conversions.
#ifndef FRAMEWORK_CODEPAGE_H
#define FRAMEWORK_CODEPAGE_H

#include <stddef.h>

#include "framework/String.h"

// The Unicode code point of a Windows-1252 byte. The five bytes that the code
// page leaves unassigned map to the C1 controls of the same value, as Windows
// maps them.
unsigned AnsiToUnicode(BYTE ch);
// The Windows-1252 byte of a code point, or -1 when the code page has none.
int UnicodeToAnsi(unsigned codePoint);

BYTE AnsiToLower(BYTE ch);
BYTE AnsiToUpper(BYTE ch);

// UTF-16 text to Windows-1252; characters the code page lacks become '?'.
// Stops at the first zero character, as a zero-terminated string would.
CString AnsiFromUtf16(const WORD* pch, size_t nLength);

// Strict UTF-8 to Windows-1252: false when the text is not well-formed UTF-8
// or holds a character that Windows-1252 lacks; *pnBadOffset then gives the
// byte offset of the offending sequence.
BOOL AnsiFromUtf8(const char* pch, size_t nLength, CString& out, size_t* pnBadOffset);
CString Utf8FromAnsi(const CString& text);

#endif
