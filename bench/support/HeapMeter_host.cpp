// The heap meter on glibc: every allocation entry point counts its block's
// usable size and forwards to glibc's own implementation.
#include "bench/support/HeapMeter.h"

#include <errno.h>
#include <malloc.h>
#include <string.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
}

namespace
{
size_t s_current = 0;
size_t s_peak = 0;

void* Counted(void* p)
{
    if (p != nullptr)
    {
        s_current += malloc_usable_size(p);
        if (s_current > s_peak)
            s_peak = s_current;
    }
    return p;
}

void Uncount(void* p)
{
    if (p != nullptr)
        s_current -= malloc_usable_size(p);
}
}  // namespace

namespace HeapMeter
{
size_t Current()
{
    return s_current;
}
size_t Peak()
{
    return s_peak;
}
void ResetPeak()
{
    s_peak = s_current;
}
}  // namespace HeapMeter

extern "C" {
void* malloc(size_t n)
{
    return Counted(__libc_malloc(n));
}

void* calloc(size_t n, size_t size)
{
    return Counted(__libc_calloc(n, size));
}

void* realloc(void* p, size_t n)
{
    Uncount(p);
    void* q = __libc_realloc(p, n);
    if (q == nullptr && n != 0)
        return Counted(p), nullptr;  // the old block stays
    return Counted(q);
}

void free(void* p)
{
    Uncount(p);
    __libc_free(p);
}

void* memalign(size_t alignment, size_t n)
{
    return Counted(__libc_memalign(alignment, n));
}

void* aligned_alloc(size_t alignment, size_t n)
{
    return Counted(__libc_memalign(alignment, n));
}

int posix_memalign(void** pp, size_t alignment, size_t n)
{
    void* p = Counted(__libc_memalign(alignment, n));
    if (p == nullptr)
        return ENOMEM;
    *pp = p;
    return 0;
}
}
