// Feeds untrusted bytes to the search for an installer's signature: the
// first four bytes give where the package starts, the rest is the file.
// Whatever its headers claim, the package must end inside the file, and
// never in front of its own start unless it runs to the end of the file.
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "script/PeSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    DWORD nStart = (DWORD)data[0] | (DWORD)data[1] << 8 | (DWORD)data[2] << 16 | (DWORD)data[3] << 24;
    std::vector<BYTE> file(data + 4, data + size);
    DWORD nLength = (DWORD)file.size();
    nStart %= nLength + 1;

    // The headers alone, in a buffer of their exact size.
    UINT nHead = nLength < PeSignature::kHeadSize ? nLength : PeSignature::kHeadSize;
    std::vector<BYTE> head(file.begin(), file.begin() + nHead);
    bool bSigned = false;
    DWORD nEnd = PeSignature::PackageEnd(head.data(), nHead, nStart, nLength, &bSigned);
    if (nEnd > nLength || (bSigned && nEnd < nStart) || (!bSigned && nEnd != nLength))
        abort();

    // The whole search, padding and all, on the file.
    CExceptionScope scope;
    CMemFile mem(file.empty() ? nullptr : file.data(), nLength, 0);
    mem.Seek((LONG)nStart, CFile::begin);
    bool bFound = false;
    DWORD nFound = PeSignature::FindPackageEnd(mem, &bFound);
    if (scope.Failed() || bFound != bSigned || nFound > nEnd || nFound + 7 < nEnd || mem.GetPosition() != nStart)
        abort();
    mem.Detach();
    return 0;
}
