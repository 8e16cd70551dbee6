// Finding an Authenticode signature in an installer file.
//
// A signing tool appends the certificate table (the image's security
// directory, data directory 4, whose "address" is a file offset) to the end
// of the file, behind the package, and pads the file with up to 7 zero bytes
// before it so that the table starts on a multiple of 8. The package then no
// longer runs to the end of the file: it ends where the padding begins.
//
// Only a table that starts at or behind the package stream and reaches
// exactly the end of the file cuts the package short; any other (none, one
// that points into the stub, outside the file, or ends before the file does)
// is ignored, and the package runs to the end of the file as it always did.
// The checksum still covers every byte the package keeps, so a forged table
// can shorten a package but never make a damaged one pass.
#ifndef SCRIPT_PESIGNATURE_H
#define SCRIPT_PESIGNATURE_H

#include "framework/File.h"
#include "framework/WinTypes.h"

namespace PeSignature
{
// How much of the file's start ReadCertificateTable looks at: the image
// headers of every stub this project makes lie well within it.
const UINT kHeadSize = 4096;

struct Table
{
    DWORD offset;  // from the start of the file
    DWORD size;
};

// Reads the certificate table's entry from the image headers at the start
// of a file (PE32 or PE32+). False where the bytes are no image, the headers
// do not fit in them, or the entry is empty.
bool ReadCertificateTable(const BYTE* pHead, UINT nHead, Table& table);

// Where a package stream that starts at nStart ends in a file of nLength
// bytes whose first nHead bytes are pHead: the certificate table's offset
// when a table as described above lies behind the package, else nLength.
// pSigned (if given) says which.
DWORD PackageEnd(const BYTE* pHead, UINT nHead, DWORD nStart, DWORD nLength, bool* pSigned = nullptr);

// The end of a signed package stream without the signing tool's padding:
// of the zero bytes (at most 7) in front of nEnd, those that the body's
// checksum does not cover. The file's position is left anywhere. Returns
// nEnd where nothing is to be dropped (no scrambled body, no zero bytes, or
// no length matches the checksum: the archive then reports the damage).
DWORD StripPadding(CFile& file, DWORD nStart, DWORD nEnd);

// The end of the package that starts at the file's current position, by
// the rules above, with the padding stripped; leaves the file where it
// was. pSigned (if given) says whether a signature was found.
DWORD FindPackageEnd(CFile& file, bool* pSigned = nullptr);
}  // namespace PeSignature

#endif
