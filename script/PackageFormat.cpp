// The installer file format.
#include "script/PackageFormat.h"

#include <string.h>
#include <zlib.h>

namespace PackageFormat
{
const char kPassword[] = "Quill";
const char kSignature[] = "akz";

namespace
{
// Volatile, so that the compiler cannot fold the three pieces into one
// constant.
const char* volatile s_markerParts[3] = {"XX", "ataDfOnigeB", "YY"};
}  // namespace

void EncodeHeader(const Header& header, BYTE out[kHeaderSize])
{
    memcpy(out, header.signature, 3);
    out[3] = header.version;
    for (int i = 0; i < 4; i++)
    {
        out[4 + i] = (BYTE)(header.plainLength >> (8 * i));
        out[8 + i] = (BYTE)(header.checksum >> (8 * i));
    }
}

void DecodeHeader(const BYTE in[kHeaderSize], Header& header)
{
    memcpy(header.signature, in, 3);
    header.version = in[3];
    header.plainLength = 0;
    header.checksum = 0;
    for (int i = 3; i >= 0; i--)
    {
        header.plainLength = (header.plainLength << 8) | in[4 + i];
        header.checksum = (header.checksum << 8) | in[8 + i];
    }
}

BOOL HasSignature(const Header& header)
{
    return memcmp(header.signature, kSignature, 3) == 0;
}

void BuildMarker(CByteArray& marker)
{
    marker.RemoveAll();
    for (const char* pPart : s_markerParts)
        for (const char* p = pPart; *p != '\0'; p++)
            marker.Add((BYTE)*p);
}

BOOL Scramble(BYTE* pData, UINT nLength, const char* pszPassword)
{
    if (pszPassword == nullptr || *pszPassword == '\0')
        return FALSE;
    // XOR with each character in turn equals XOR with all of them at once.
    BYTE key = 0;
    for (const char* p = pszPassword; *p != '\0'; p++)
        key ^= (BYTE)*p;
    // A machine word at a time: this runs over every byte of the package
    // twice while it is read.
    const size_t keys = (size_t)-1 / 0xFF * key;
    UINT i = 0;
    for (; nLength - i >= sizeof keys; i += sizeof keys)
    {
        size_t word;
        memcpy(&word, pData + i, sizeof word);
        word ^= keys;
        memcpy(pData + i, &word, sizeof word);
    }
    for (; i < nLength; i++)
        pData[i] ^= key;
    return TRUE;
}

DWORD Checksum(const BYTE* pData, UINT nLength)
{
    return (DWORD)adler32(1, pData, nLength);
}
}  // namespace PackageFormat
