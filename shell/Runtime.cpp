// Library functions that setup.exe replaces by smaller ones of its own. Each
// library version would bring in far more than the stub uses: the stub must
// stay small, since every user downloads it.
#include <stddef.h>
#include <stdlib.h>
#include <zlib.h>

#include "framework/FaultHooks.h"

// operator new and delete: plain malloc and free. Exhausted memory gives
// null, which every caller checks (the code is compiled with -fcheck-new);
// the throwing versions would bring the exception and name-demangling
// machinery along. Test builds can make them fail on purpose.
void* operator new(size_t nSize)
{
    return FaultAllocationFails() ? nullptr : malloc(nSize != 0 ? nSize : 1);
}

void* operator new[](size_t nSize)
{
    return FaultAllocationFails() ? nullptr : malloc(nSize != 0 ? nSize : 1);
}

void operator delete(void* p) noexcept
{
    free(p);
}

void operator delete[](void* p) noexcept
{
    free(p);
}

void operator delete(void* p, size_t) noexcept
{
    free(p);
}

void operator delete[](void* p, size_t) noexcept
{
    free(p);
}

// The stub reads packages and never writes one, but the package archive's
// storing path names compress, and with it all of deflate. It refuses here.
extern "C" int ZEXPORT compress(Bytef* pDest, uLongf* pnDestLength, const Bytef* pSource, uLong nSourceLength)
{
    return Z_STREAM_ERROR;
}

extern "C" uLong ZEXPORT compressBound(uLong nSourceLength)
{
    return nSourceLength + (nSourceLength >> 12) + (nSourceLength >> 14) + (nSourceLength >> 25) + 13;
}

#ifdef SAVER_ZLIB_PREBUILT
// Only when inflate comes from the prebuilt libz.a (the zlib source was
// missing): that inflate reads gzip streams too and so refers to CRC-32. It
// never calls it for packages, which are zlib streams checked with Adler-32.
// zlib's version carries 8 KB of tables; this one computes the same value bit
// by bit. The inflate built from source has no gzip support and needs none.
extern "C" uLong ZEXPORT crc32(uLong nCrc, const Bytef* pData, uInt nLength)
{
    if (pData == nullptr)
        return 0;
    unsigned long c = ~nCrc & 0xFFFFFFFFul;
    while (nLength-- > 0)
    {
        c ^= *pData++;
        for (int k = 0; k < 8; k++)
            c = (c >> 1) ^ (0xEDB88320ul & (0ul - (c & 1)));
    }
    return ~c & 0xFFFFFFFFul;
}
#endif
