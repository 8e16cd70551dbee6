// The walks over the process data that Windows NT hands over: the
// "Counters" list and a performance data block. Every input is given to
// both; whatever it holds, neither may read outside it, and the entries a
// walk fills must be sound (names terminated, nothing beyond the count).
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "sysutil/PerfData.h"

namespace
{
// The counter index of the process id in the seeds.
const DWORD kIdCounter = 784;

int AsciiConvert(const BYTE* pWide, int nChars, char* pszOut, int nOut)
{
    if (nChars >= nOut)
        return -1;
    for (int i = 0; i < nChars; i++)
    {
        if (pWide[2 * i + 1] != 0 || pWide[2 * i] >= 0x80)
            return -1;
        pszOut[i] = (char)pWide[2 * i];
    }
    pszOut[nChars] = 0;
    return nChars;
}

void Check(bool b)
{
    if (!b)
        abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exact copies, so that the sanitizer sees every read past the end.
    std::vector<char> list(data, data + size);
    char szObject[16];
    DWORD dwId = 0;
    if (FindProcessCounterIndexes(list.data(), list.size(), szObject, sizeof(szObject), &dwId))
        Check(strlen(szObject) > 0 && strlen(szObject) < sizeof(szObject));

    std::vector<BYTE> block(data, data + size);
    static TaskEntry entries[kTaskListSize];
    memset(entries, 0, sizeof(entries));
    DWORD nMax = kTaskListSize - 1;
    DWORD n = WalkPerfProcesses(block.data(), block.size(), kIdCounter, entries, nMax, AsciiConvert);
    Check(n <= nMax);
    for (DWORD i = 0; i < kTaskListSize; i++)
    {
        const TaskEntry& e = entries[i];
        if (i < n)
        {
            Check(memchr(e.szProcessName, 0, sizeof(e.szProcessName)) != nullptr);
            Check(e.dwProcessId != 0);
        }
        else
        {
            Check(e.dwProcessId == 0 && e.szProcessName[0] == 0);
        }
    }
    return 0;
}
