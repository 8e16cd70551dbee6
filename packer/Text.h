// Conversions between the script's JSON text and the bytes of a package:
// UTF-8 and Windows-1252, hex, JSON pointers.
#ifndef PACKER_TEXT_H
#define PACKER_TEXT_H

#include <string>
#include <vector>

#include "framework/String.h"

namespace Packer
{
typedef std::vector<BYTE> ByteVector;

// UTF-8 to Windows-1252. False when a character has no place in the code
// page; *pError then says which and where.
bool ToAnsi(const std::string& utf8, CString& out, std::string* pError);
std::string ToUtf8(const CString& text);
std::string ToUtf8(const BYTE* p, size_t n);

// Lower-case hex, two digits a byte.
std::string ToHex(const BYTE* p, size_t n);
// Hex digits in pairs, either case; spaces between bytes are allowed. False
// with *pError set on anything else.
bool FromHex(const std::string& hex, ByteVector& out, std::string* pError);

// True when the bytes read well as text: no control characters but tab,
// line feed and carriage return.
bool IsPrintableText(const BYTE* p, size_t n);

// One reference token of a JSON pointer, escaped ("~" and "/").
std::string PointerToken(const std::string& token);
} // namespace Packer

#endif
