// Library functions that setup.exe replaces by smaller ones of its own. Each
// library version would bring in far more than the stub uses: the stub must
// stay small, since every user downloads it.
#include <stddef.h>
#include <stdlib.h>
#include <zlib.h>

// operator new and delete: plain malloc and free. Exhausted memory gives
// null, which every caller checks (the code is compiled with -fcheck-new);
// the throwing versions would bring the exception and name-demangling
// machinery along.
void* operator new(size_t nSize)
{
    return malloc(nSize != 0 ? nSize : 1);
}

void* operator new[](size_t nSize)
{
    return malloc(nSize != 0 ? nSize : 1);
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

// CRC-32 checks gzip streams only; packages are zlib streams, checked with
// Adler-32, so inflate never calls this for them. Were it handed a gzip
// stream, no check would match and inflate would report damaged data.
extern "C" uLong ZEXPORT crc32(uLong nCrc, const Bytef* pData, uInt nLength)
{
    return 0;
}
