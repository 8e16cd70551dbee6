// The memory under the framework's arrays: realloc and free, with large
// blocks on a heap of their own on Windows.
//
// An installation reads each file's bytes into an array of their own while
// the file before is written and then dropped, so blocks of tens of
// kilobytes come and go all the time, among small ones that stay (the
// targets of the undo records). On the C library's heap the small ones
// split the holes the large ones leave, every new large block is carved
// from fresh memory, and the top of the heap is given back to the system
// whenever a block there is freed: every page of every file's bytes faulted
// in anew, which in a virtual machine doubled the cost of reading a
// package. Large blocks alone on a heap that keeps a floor committed reuse
// their own holes instead.
#ifndef FRAMEWORK_BLOCKHEAP_H
#define FRAMEWORK_BLOCKHEAP_H

#include <stddef.h>

// As realloc for block p of nOld bytes (p null and nOld 0 for a new one),
// made nNew bytes long (nNew > 0): null when there is no memory, which
// leaves p as it was. The sizes say which heap a block is on.
void* AfxReallocBlock(void* p, size_t nOld, size_t nNew);
// As free, for block p of n bytes from AfxReallocBlock, or null.
void AfxFreeBlock(void* p, size_t n);

#endif
