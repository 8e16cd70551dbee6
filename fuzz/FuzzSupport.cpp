// Shared by the fuzz targets and the seed maker.
#include "fuzz/FuzzSupport.h"

#include <stdlib.h>
#include <zlib.h>

#include "framework/Archive.h"
#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"

bool StoreScript(CInstaller& script, std::vector<BYTE>& out)
{
    CExceptionScope scope;
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        script.Serialize(ar);
        ar.Close();
    }
    out.assign(file.GetBuffer(), file.GetBuffer() + file.GetLength());
    return !scope.Failed();
}

std::vector<BYTE> StoreLoadedScript(CInstaller& script)
{
    std::vector<BYTE> out;
    if (!StoreScript(script, out))
        abort();
    return out;
}

void InitPackageReading()
{
    static bool bDone = false;
    if (bDone)
        return;
    CInstaller::RegisterClasses();
    PackageArchive::SetMessageHandler(nullptr);
    bDone = true;
}

std::vector<BYTE> WrapPackage(const BYTE* pPlain, size_t nPlain)
{
    // A small window and hash keep deflate's set-up (hundreds of KB cleared
    // per call with the defaults) from dominating every execution.
    z_stream z = {};
    if (deflateInit2(&z, 1, Z_DEFLATED, 9, 1, Z_DEFAULT_STRATEGY) != Z_OK)
        abort();
    uLong nBound = deflateBound(&z, (uLong)nPlain);
    std::vector<BYTE> out(PackageFormat::kHeaderSize + nBound);
    z.next_in = const_cast<BYTE*>(pPlain);
    z.avail_in = (uInt)nPlain;
    z.next_out = out.data() + PackageFormat::kHeaderSize;
    z.avail_out = (uInt)nBound;
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        abort();
    uLong nBody = z.total_out;
    deflateEnd(&z);
    out.resize(PackageFormat::kHeaderSize + nBody);
    BYTE* pBody = out.data() + PackageFormat::kHeaderSize;
    PackageFormat::Header h = {{'a', 'k', 'z'}, PackageFormat::kVersionScrambled, (DWORD)nPlain,
                               PackageFormat::Checksum(pBody, (UINT)nBody)};
    PackageFormat::Scramble(pBody, (UINT)nBody, PackageFormat::kPassword);
    PackageFormat::EncodeHeader(h, out.data());
    return out;
}
