// operator new of the test programs: plain malloc, so that the allocation
// fault hook can make it hand back null as the stub's own operator new does.
// The project's code is compiled with -fcheck-new and checks for null; the
// tests and GoogleTest allocate only while the hook is disarmed.
#include <stdlib.h>

#include <new>

#include "framework/FaultHooks.h"

namespace
{
void* Allocate(size_t nSize)
{
    if (FaultAllocationFails())
        return nullptr;
    return malloc(nSize != 0 ? nSize : 1);
}
}  // namespace

void* operator new(size_t nSize)
{
    return Allocate(nSize);
}

void* operator new[](size_t nSize)
{
    return Allocate(nSize);
}

void* operator new(size_t nSize, const std::nothrow_t&) noexcept
{
    return Allocate(nSize);
}

void* operator new[](size_t nSize, const std::nothrow_t&) noexcept
{
    return Allocate(nSize);
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

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    free(p);
}
