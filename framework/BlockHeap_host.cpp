// The arrays' memory natively: the C library's own, where the sanitizers
// watch it.
#include "framework/BlockHeap.h"

#include <stdlib.h>

void* AfxReallocBlock(void* p, size_t, size_t nNew)
{
    return realloc(p, nNew);
}

void AfxFreeBlock(void* p, size_t)
{
    free(p);
}
