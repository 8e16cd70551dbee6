// Counts the bytes the process holds on the heap, and their peak, by standing
// in for glibc's allocator entry points. Native benchmarks only.
#ifndef BENCH_SUPPORT_HEAPMETER_H
#define BENCH_SUPPORT_HEAPMETER_H

#include <stddef.h>

namespace HeapMeter
{
size_t Current();
size_t Peak();
void ResetPeak();
}  // namespace HeapMeter

#endif
