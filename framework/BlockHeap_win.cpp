// The arrays' memory on Windows: small blocks from the C library, large
// ones from a heap of their own that keeps its first kCommittedFloor bytes
// committed, whatever is freed.
#include "framework/BlockHeap.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace
{
// Blocks of this size and more are large: file contents, not the arrays of
// a few strings or pointers that most objects hold.
const size_t kLargeBlock = 4096;
// More than the contents of the files an installation holds at a time while
// it reads and writes; committed, not touched.
const SIZE_T kCommittedFloor = 8u << 20;

HANDLE volatile s_hHeap;  // zero before any code runs

// Made at the first use, which may come from any thread or from a static
// constructor; a thread that loses the race drops its own heap. Without a
// heap of its own the process heap serves, for every large block alike.
HANDLE LargeBlockHeap()
{
    HANDLE hHeap = s_hHeap;
    if (hHeap != nullptr)
        return hHeap;
    HANDLE hNew = HeapCreate(0, kCommittedFloor, 0);
    if (hNew == nullptr)
        hNew = GetProcessHeap();
    hHeap = (HANDLE)InterlockedCompareExchangePointer((PVOID volatile*)&s_hHeap, hNew, nullptr);
    if (hHeap == nullptr)
        return hNew;
    if (hNew != GetProcessHeap())
        HeapDestroy(hNew);
    return hHeap;
}
}  // namespace

void* AfxReallocBlock(void* p, size_t nOld, size_t nNew)
{
    bool bLarge = nNew >= kLargeBlock;
    if (p != nullptr && (nOld >= kLargeBlock) == bLarge)
        return bLarge ? HeapReAlloc(LargeBlockHeap(), 0, p, nNew) : realloc(p, nNew);
    void* pNew = bLarge ? HeapAlloc(LargeBlockHeap(), 0, nNew) : malloc(nNew);
    if (pNew != nullptr && p != nullptr)
    {
        // From one heap to the other.
        memcpy(pNew, p, nOld < nNew ? nOld : nNew);
        AfxFreeBlock(p, nOld);
    }
    return pNew;
}

void AfxFreeBlock(void* p, size_t n)
{
    if (p == nullptr)
        return;
    if (n >= kLargeBlock)
        HeapFree(LargeBlockHeap(), 0, p);
    else
        free(p);
}
