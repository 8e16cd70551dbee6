// Shared by the fuzz targets and the seed maker.
#include "fuzz/FuzzSupport.h"

#include <zlib.h>

#include "script/PackageFormat.h"

std::vector<BYTE> WrapPackage(const BYTE* pPlain, size_t nPlain)
{
    uLongf nBody = compressBound((uLong)nPlain);
    std::vector<BYTE> out(PackageFormat::kHeaderSize + nBody);
    compress(out.data() + PackageFormat::kHeaderSize, &nBody, pPlain, (uLong)nPlain);
    out.resize(PackageFormat::kHeaderSize + nBody);
    BYTE* pBody = out.data() + PackageFormat::kHeaderSize;
    PackageFormat::Header h = {{'a', 'k', 'z'}, PackageFormat::kVersionScrambled, (DWORD)nPlain,
                               PackageFormat::Checksum(pBody, (UINT)nBody)};
    PackageFormat::Scramble(pBody, (UINT)nBody, PackageFormat::kPassword);
    PackageFormat::EncodeHeader(h, out.data());
    return out;
}
