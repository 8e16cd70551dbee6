// The installer file format, shared by the stub that reads it and the packer
// that writes it.
//
// Installer file:  executable image | marker (15 bytes) | package stream.
// Package stream (numbers little-endian):
//   0   3  signature "akz"
//   3   1  version: 3 = body scrambled with the password and its checksum
//          verified; 1 = plain body (written when the password is empty)
//   4   4  length of the plain archive stream
//   8   4  Adler-32 of the compressed body before scrambling
//   12  ... body: the archive stream compressed with zlib, then scrambled;
//          it runs to the end of the file, so the package must come last
//          (in a signed installer: to the certificate table that a signing
//          tool appends behind it, see PeSignature.h).
#ifndef SCRIPT_PACKAGEFORMAT_H
#define SCRIPT_PACKAGEFORMAT_H

#include "framework/Collections.h"
#include "framework/WinTypes.h"

namespace PackageFormat
{
const UINT kHeaderSize = 12;
const UINT kMarkerSize = 15;
const BYTE kVersionScrambled = 3;
const BYTE kVersionPlain = 1;
// zlib's deflate cannot expand data more than this; a header that claims
// more is forged or damaged.
const unsigned kMaxInflateRatio = 1032;

// The password every installer's package is scrambled with.
extern const char kPassword[];
extern const char kSignature[];

struct Header
{
    BYTE signature[3];
    BYTE version;
    DWORD plainLength;
    DWORD checksum;
};

void EncodeHeader(const Header& header, BYTE out[kHeaderSize]);
void DecodeHeader(const BYTE in[kHeaderSize], Header& header);
BOOL HasSignature(const Header& header);

// The marker is kept in the program as three pieces and joined only here,
// at run time, so that the image never holds it in one piece and the search
// for it cannot stop inside the program itself.
void BuildMarker(CByteArray& marker);

// XORs every byte with every character of the password; its own inverse.
// FALSE, touching nothing, for an empty password.
BOOL Scramble(BYTE* pData, UINT nLength, const char* pszPassword);

DWORD Checksum(const BYTE* pData, UINT nLength);
}  // namespace PackageFormat

#endif
