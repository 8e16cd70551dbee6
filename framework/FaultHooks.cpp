// Fault hooks of the test builds.
#include "framework/FaultHooks.h"

#ifdef SAVER_FAULT_HOOKS

#include <atomic>

namespace
{
// Counters are atomic: a reader thread may allocate while the run does.
std::atomic<unsigned> s_nFailAllocationAt(0);
std::atomic<unsigned> s_nAllocations(0);
std::atomic<unsigned> s_nFailChangeAt(0);
std::atomic<unsigned> s_nChanges(0);
std::atomic<DWORD> s_dwChangeError(0);
}  // namespace

void FaultFailAllocation(unsigned nNth)
{
    s_nAllocations.store(0);
    s_nFailAllocationAt.store(nNth);
}

bool FaultAllocationFails()
{
    unsigned nAt = s_nFailAllocationAt.load(std::memory_order_relaxed);
    unsigned n = s_nAllocations.fetch_add(1, std::memory_order_relaxed) + 1;
    return nAt != 0 && n >= nAt;
}

unsigned FaultAllocationCount()
{
    return s_nAllocations.load();
}

void FaultFailChange(unsigned nKth, DWORD dwError)
{
    s_nChanges.store(0);
    s_dwChangeError.store(dwError);
    s_nFailChangeAt.store(nKth);
}

bool FaultChangeFails(DWORD* pdwError)
{
    unsigned nAt = s_nFailChangeAt.load(std::memory_order_relaxed);
    unsigned n = s_nChanges.fetch_add(1, std::memory_order_relaxed) + 1;
    if (nAt == 0 || n != nAt)
        return false;
    if (pdwError != nullptr)
        *pdwError = s_dwChangeError.load();
    return true;
}

unsigned FaultChangeCount()
{
    return s_nChanges.load();
}

#endif
