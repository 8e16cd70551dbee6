// Listing the running processes and closing them by executable name: on
// the Windows 95 family through the toolhelp snapshot, on Windows NT
// through the performance data (with the debug privilege, so that other
// users' processes can be ended too).
#ifndef SYSUTIL_PROCESSES_H
#define SYSUTIL_PROCESSES_H

#include "framework/WinTypes.h"
#include "sysutil/PerfData.h"

enum CloseResult
{
    CLOSE_OK = 0,
    CLOSE_UNSUPPORTED = 1,  // neither of the two system families
    CLOSE_NOT_ENDED = 11    // a matching process was opened but not terminated
};

// Every process whose executable name equals pszName (letter case ignored)
// is handled in list order, with a pause of 50 ms after each: in the asking
// pass (bTerminate false) one with a top-level window is sent WM_CLOSE and
// one without is terminated; in the terminating pass every one is
// terminated. A process that cannot be opened is passed over. Diagnostics
// go to standard output.
int CloseProcessesByName(const char* pszName, BOOL bTerminate);

// Fill entries from the first one on, at most nLimit, and return how many;
// 0 when the system does not tell. The performance data fills one entry
// fewer than nLimit.
DWORD ListTasksToolhelp(TaskEntry* pEntries, DWORD nLimit);
DWORD ListTasksPerfData(TaskEntry* pEntries, DWORD nLimit);

// Enables SeDebugPrivilege for this process on Windows NT; TRUE at once on
// the Windows 95 family.
BOOL EnableDebugPrivilege();

// Gives each entry the last top-level window (and its title) that belongs
// to its process, a visible one before any hidden one.
void AssignTaskWindows(TaskEntry* pEntries, DWORD nCount);

#endif
