// The walks over the "Counters" list and the performance data block.
#include "sysutil/PerfData.h"

#include <string.h>

namespace
{
typedef unsigned long long Offset;  // wide enough that no sum of two DWORDs wraps

// The layouts of the performance data, as byte offsets of their fields.
const Offset kBlockTotalLength = 20;  // PERF_DATA_BLOCK
const Offset kBlockHeaderLength = 24;
const Offset kBlockNumObjects = 28;
const Offset kBlockMinSize = 32;
const Offset kObjectTotalLength = 0;  // PERF_OBJECT_TYPE
const Offset kObjectDefinitionLength = 4;
const Offset kObjectHeaderLength = 8;
const Offset kObjectNumCounters = 32;
const Offset kObjectNumInstances = 40;
const Offset kObjectMinSize = 44;
const Offset kCounterSize = 40;  // PERF_COUNTER_DEFINITION
const Offset kCounterIndex = 4;
const Offset kCounterOffset = 36;
const Offset kInstanceLength = 0;  // PERF_INSTANCE_DEFINITION
const Offset kInstanceNameOffset = 16;
const Offset kInstanceNameLength = 20;
const Offset kInstanceMinSize = 24;
const Offset kCounterBlockMinSize = 4;  // PERF_COUNTER_BLOCK: its ByteLength

const char kExtension[] = ".exe";
const char kUnknownName[] = "unknown";

DWORD ReadDword(const BYTE* p)
{
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

bool EqualsNoCase(const char* psz, size_t n, const char* pszName)
{
    size_t nName = strlen(pszName);
    if (n != nName)
        return false;
    for (size_t i = 0; i < n; i++)
    {
        char c = psz[i];
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
        if (c != pszName[i])
            return false;
    }
    return true;
}

bool AllDigits(const char* psz, size_t n)
{
    if (n == 0)
        return false;
    for (size_t i = 0; i < n; i++)
        if (psz[i] < '0' || psz[i] > '9')
            return false;
    return true;
}

// The instance name as the process list shows it.
void NameEntry(TaskEntry& entry, const BYTE* pWide, int nChars, PerfNameConverter pfnConvert)
{
    char szName[MAX_PATH];
    int n = pfnConvert(pWide, nChars, szName, (int)sizeof(szName));
    if (n < 0 || n >= (int)sizeof(szName))
    {
        memcpy(entry.szProcessName, kUnknownName, sizeof(kUnknownName));
        return;
    }
    // The name, the extension and the terminator must all fit.
    if ((size_t)n + sizeof(kExtension) > sizeof(entry.szProcessName))
        return;
    memcpy(entry.szProcessName, szName, (size_t)n);
    memcpy(entry.szProcessName + n, kExtension, sizeof(kExtension));
}
}  // namespace

bool FindProcessCounterIndexes(const char* pData, size_t nSize, char* pszObjectIndex, size_t nObjectIndex,
                               DWORD* pdwIdCounter)
{
    const char* pPrevious = nullptr;
    size_t nPrevious = 0;
    size_t nObject = 0;
    const char* pObject = nullptr;
    bool bHaveId = false;
    DWORD dwId = 0;
    size_t i = 0;
    while (i < nSize)
    {
        // One string: up to its terminator, or to the end of the block.
        const char* psz = pData + i;
        const void* pEnd = memchr(psz, 0, nSize - i);
        size_t n = pEnd != nullptr ? (size_t)((const char*)pEnd - psz) : nSize - i;
        if (n == 0)
            break;
        if (pPrevious != nullptr && AllDigits(pPrevious, nPrevious))
        {
            if (EqualsNoCase(psz, n, "process") && nPrevious < nObjectIndex)
            {
                pObject = pPrevious;
                nObject = nPrevious;
            }
            else if (EqualsNoCase(psz, n, "id process"))
            {
                // Indexes are small; a run of digits that does not fit in
                // 32 bits names nothing.
                Offset v = 0;
                for (size_t k = 0; k < nPrevious && v <= 0xFFFFFFFFull; k++)
                    v = v * 10 + (Offset)(pPrevious[k] - '0');
                bHaveId = v <= 0xFFFFFFFFull;
                dwId = (DWORD)v;
            }
        }
        pPrevious = psz;
        nPrevious = n;
        i += n + 1;
    }
    if (pObject == nullptr || !bHaveId)
        return false;
    memcpy(pszObjectIndex, pObject, nObject);
    pszObjectIndex[nObject] = 0;
    *pdwIdCounter = dwId;
    return true;
}

DWORD WalkPerfProcesses(const BYTE* pData, size_t nSize, DWORD dwIdCounter, TaskEntry* pEntries, DWORD nMax,
                        PerfNameConverter pfnConvert)
{
    // The block: its signature, and its own length within what was read.
    static const BYTE kSignature[8] = {'P', 0, 'E', 0, 'R', 0, 'F', 0};
    if (pData == nullptr || nSize < kBlockMinSize || memcmp(pData, kSignature, sizeof(kSignature)) != 0)
        return 0;
    Offset end = ReadDword(pData + kBlockTotalLength);
    if (end > nSize)
        return 0;
    if (ReadDword(pData + kBlockNumObjects) == 0)
        return 0;

    // The first object type, wholly inside the block.
    Offset obj = ReadDword(pData + kBlockHeaderLength);
    if (obj < kBlockMinSize || obj + kObjectMinSize > end)
        return 0;
    const BYTE* pObj = pData + obj;
    Offset objEnd = obj + ReadDword(pObj + kObjectTotalLength);
    Offset defEnd = obj + ReadDword(pObj + kObjectDefinitionLength);
    Offset counters = obj + ReadDword(pObj + kObjectHeaderLength);
    Offset nCounters = ReadDword(pObj + kObjectNumCounters);
    LONG nInstances = (LONG)ReadDword(pObj + kObjectNumInstances);
    if (objEnd > end || defEnd > objEnd || counters < obj + kObjectMinSize ||
        counters + nCounters * kCounterSize > defEnd)
        return 0;

    // The counter that holds the process id: where in each counter block.
    Offset idOffset = 0;
    bool bFound = false;
    for (Offset k = 0; k < nCounters && !bFound; k++)
    {
        const BYTE* pCounter = pData + counters + k * kCounterSize;
        if (ReadDword(pCounter + kCounterIndex) == dwIdCounter)
        {
            idOffset = ReadDword(pCounter + kCounterOffset);
            bFound = true;
        }
    }
    if (!bFound || nInstances <= 0)
        return 0;

    DWORD n = (Offset)nInstances < nMax ? (DWORD)nInstances : nMax;
    Offset inst = defEnd;
    for (DWORD i = 0; i < n; i++)
    {
        // The instance definition with its name, then its counter block.
        bool bGood = inst + kInstanceMinSize <= objEnd;
        Offset instLength = 0, nameOffset = 0, nameLength = 0, block = 0, blockEnd = 0;
        if (bGood)
        {
            const BYTE* pInst = pData + inst;
            instLength = ReadDword(pInst + kInstanceLength);
            nameOffset = ReadDword(pInst + kInstanceNameOffset);
            nameLength = ReadDword(pInst + kInstanceNameLength);
            block = inst + instLength;
            bGood = instLength >= kInstanceMinSize && nameOffset >= kInstanceMinSize &&
                    nameOffset + nameLength <= instLength && block + kCounterBlockMinSize <= objEnd;
        }
        if (bGood)
        {
            blockEnd = block + ReadDword(pData + block);
            bGood = blockEnd >= block + kCounterBlockMinSize && blockEnd <= objEnd && block + idOffset + 4 <= blockEnd;
        }
        if (!bGood)
        {
            memset(pEntries, 0, sizeof(TaskEntry) * i);
            return 0;
        }
        // The name ends at its terminator or with its length.
        const BYTE* pName = pData + inst + nameOffset;
        Offset nChars = 0;
        while (nChars < nameLength / 2 && (pName[2 * nChars] != 0 || pName[2 * nChars + 1] != 0))
            nChars++;
        TaskEntry& entry = pEntries[i];
        NameEntry(entry, pName, nChars < MAX_PATH ? (int)nChars : MAX_PATH, pfnConvert);
        DWORD dwId = ReadDword(pData + block + idOffset);
        entry.dwProcessId = dwId != 0 ? dwId : kIdleProcessId;
        inst = blockEnd;
    }
    return n;
}
