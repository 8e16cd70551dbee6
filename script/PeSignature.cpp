// Finding an Authenticode signature in an installer file.
#include "script/PeSignature.h"

#include <stdlib.h>
#include <zlib.h>

#include "framework/Exceptions.h"
#include "script/PackageFormat.h"

namespace
{
const UINT kMaxPadding = 7;
const UINT kCertificateEntry = 4;
const DWORD kMinTableSize = 8;  // one certificate's own header

DWORD Get16(const BYTE* p)
{
    return (DWORD)p[0] | (DWORD)p[1] << 8;
}

DWORD Get32(const BYTE* p)
{
    return Get16(p) | Get16(p + 2) << 16;
}
}  // namespace

namespace PeSignature
{
bool ReadCertificateTable(const BYTE* pHead, UINT nHead, Table& table)
{
    // DOS header: "MZ" ... the offset of the image header at 0x3c.
    if (pHead == nullptr || nHead < 0x40 || pHead[0] != 'M' || pHead[1] != 'Z')
        return false;
    unsigned long long pe = Get32(pHead + 0x3c);
    // "PE\0\0", the 20-byte file header, then the optional header.
    unsigned long long optional = pe + 24;
    if (optional + 2 > nHead)
        return false;
    const BYTE* p = pHead + pe;
    if (p[0] != 'P' || p[1] != 'E' || p[2] != 0 || p[3] != 0)
        return false;
    DWORD nOptional = Get16(p + 20);
    DWORD magic = Get16(pHead + optional);
    unsigned long long count, dirs;
    if (magic == 0x10b)  // PE32
    {
        count = optional + 92;
        dirs = optional + 96;
    }
    else if (magic == 0x20b)  // PE32+
    {
        count = optional + 108;
        dirs = optional + 112;
    }
    else
        return false;
    unsigned long long entry = dirs + 8 * kCertificateEntry;
    // The entry must lie inside the optional header and the bytes given.
    if (count + 4 > nHead || Get32(pHead + count) <= kCertificateEntry || entry + 8 > optional + nOptional ||
        entry + 8 > nHead)
        return false;
    table.offset = Get32(pHead + entry);
    table.size = Get32(pHead + entry + 4);
    return table.offset != 0 && table.size != 0;
}

DWORD PackageEnd(const BYTE* pHead, UINT nHead, DWORD nStart, DWORD nLength, bool* pSigned)
{
    Table table;
    bool bSigned = ReadCertificateTable(pHead, nHead, table) && table.size >= kMinTableSize &&
                   table.offset >= nStart && table.offset <= nLength &&
                   (unsigned long long)table.offset + table.size == nLength;
    if (pSigned != nullptr)
        *pSigned = bSigned;
    return bSigned ? table.offset : nLength;
}

DWORD StripPadding(CFile& file, DWORD nStart, DWORD nEnd)
{
    using namespace PackageFormat;
    if (nEnd < nStart || nEnd - nStart <= kHeaderSize || AfxExceptionPending())
        return nEnd;
    BYTE rawHeader[kHeaderSize];
    file.Seek((LONG)nStart, CFile::begin);
    if (file.Read(rawHeader, kHeaderSize) != kHeaderSize || AfxExceptionPending())
        return nEnd;
    Header header;
    DecodeHeader(rawHeader, header);
    // Only a scrambled body has a checksum to tell padding from its own
    // zero bytes; any other inflates up to its stream's end and ignores
    // what follows.
    if (!HasSignature(header) || header.version != kVersionScrambled)
        return nEnd;

    DWORD nBody = nEnd - nStart - kHeaderSize;
    UINT nTail = nBody < kMaxPadding ? (UINT)nBody : kMaxPadding;
    BYTE tail[kMaxPadding];
    file.Seek((LONG)(nEnd - nTail), CFile::begin);
    if (file.Read(tail, nTail) != nTail || AfxExceptionPending())
        return nEnd;
    UINT nZeros = 0;
    while (nZeros < nTail && tail[nTail - 1 - nZeros] == 0)
        nZeros++;
    if (nZeros == 0)
        return nEnd;

    // The checksum of everything in front of the zero bytes, then grown by
    // one zero byte at a time; the longest body that matches wins.
    const UINT kChunk = 64 * 1024;
    BYTE* pChunk = (BYTE*)malloc(kChunk);
    if (pChunk == nullptr)
        return nEnd;
    uLong checksum = adler32(0, nullptr, 0);
    DWORD nLeft = nBody - nZeros;
    file.Seek((LONG)(nStart + kHeaderSize), CFile::begin);
    while (nLeft > 0 && !AfxExceptionPending())
    {
        UINT nRead = file.Read(pChunk, nLeft < kChunk ? (UINT)nLeft : kChunk);
        if (nRead == 0)
            break;
        Scramble(pChunk, nRead, kPassword);
        checksum = adler32(checksum, pChunk, nRead);
        nLeft -= nRead;
    }
    free(pChunk);
    if (nLeft > 0 || AfxExceptionPending())
        return nEnd;
    DWORD nFound = nEnd;
    UINT nMatch = nZeros + 1;  // none yet
    if ((DWORD)checksum == header.checksum)
        nMatch = nZeros;
    for (UINT i = 1; i <= nZeros; i++)
    {
        BYTE b = 0;
        Scramble(&b, 1, kPassword);
        checksum = adler32(checksum, &b, 1);
        if ((DWORD)checksum == header.checksum)
            nMatch = nZeros - i;
    }
    if (nMatch <= nZeros)
        nFound = nEnd - nMatch;
    return nFound;
}

DWORD FindPackageEnd(CFile& file, bool* pSigned)
{
    if (pSigned != nullptr)
        *pSigned = false;
    DWORD nStart = file.GetPosition();
    DWORD nLength = file.GetLength();
    if (AfxExceptionPending())
        return nLength;
    BYTE* pHead = (BYTE*)malloc(kHeadSize);
    if (pHead == nullptr)
        return nLength;
    file.SeekToBegin();
    UINT nHead = file.Read(pHead, kHeadSize);
    bool bSigned = false;
    DWORD nEnd = AfxExceptionPending() ? nLength : PackageEnd(pHead, nHead, nStart, nLength, &bSigned);
    free(pHead);
    if (bSigned)
        nEnd = StripPadding(file, nStart, nEnd);
    if (!AfxExceptionPending())
        file.Seek((LONG)nStart, CFile::begin);
    if (pSigned != nullptr)
        *pSigned = bSigned;
    return nEnd;
}
}  // namespace PeSignature
