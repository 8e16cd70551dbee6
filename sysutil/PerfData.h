// The task list of running processes, and the walks over the two blocks of
// data that Windows NT describes its processes with: the "Counters" list of
// the performance library (index, name, index, name, ...) and the
// performance data of the process object. Both are data the system hands
// over: every offset and length is bounded by the block, and a block that
// does not hold together gives nothing. Portable, so that the walks build
// and are tested natively too.
#ifndef SYSUTIL_PERFDATA_H
#define SYSUTIL_PERFDATA_H

#include <stddef.h>

#include "framework/WinTypes.h"

// One running process.
struct TaskEntry
{
    DWORD dwProcessId;  // on Windows NT a process id of 0 is listed as kIdleProcessId
#ifdef _WIN32
    HWND hWindow;  // a top-level window of the process, null when none was found
#else
    void* hWindow;
#endif
    char szProcessName[MAX_PATH];  // executable name with extension, no folder
    char szWindowTitle[64];        // title of hWindow, empty when it has none
};

// The size of the task list.
const DWORD kTaskListSize = 512;
// How the performance data lists process id 0 (Idle and _Total share it).
const DWORD kIdleProcessId = 0xFFFFFFFE;

// Finds, in the "Counters" list (zero-terminated strings, an index in
// decimal before each name, an empty string at the end), the index of the
// object "process" as text and that of the counter "id process" as a
// number; names are compared without regard to letter case, and a later
// entry replaces an earlier one. False, and nothing usable, unless both are
// found with an index of digits that fits pszObjectIndex.
bool FindProcessCounterIndexes(const char* pData, size_t nSize, char* pszObjectIndex, size_t nObjectIndex,
                               DWORD* pdwIdCounter);

// Converts nChars UTF-16 characters (little-endian, at pWide, not aligned)
// into pszOut, nOut bytes with the terminator; returns the length written
// without the terminator, or -1 when the conversion fails or does not fit.
typedef int (*PerfNameConverter)(const BYTE* pWide, int nChars, char* pszOut, int nOut);

// Walks the first object type of a performance data block: finds the
// counter with the index dwIdCounter, then fills up to nMax entries from the
// first on, one per instance, with the instance name plus ".exe" (empty
// when that does not fit, "unknown" when the conversion fails) and the
// process id (kIdleProcessId for 0). Returns how many it filled; 0, with
// the entries left zero, when the block lacks the signature, the counter or
// any instance, or when anything in it lies outside the block or outside
// the part that encloses it.
DWORD WalkPerfProcesses(const BYTE* pData, size_t nSize, DWORD dwIdCounter, TaskEntry* pEntries, DWORD nMax,
                        PerfNameConverter pfnConvert);

#endif
