// The heap meter is not available on Windows: it reports nothing.
#include "bench/support/HeapMeter.h"

namespace HeapMeter
{
size_t Current()
{
    return 0;
}
size_t Peak()
{
    return 0;
}
void ResetPeak()
{
}
}  // namespace HeapMeter
