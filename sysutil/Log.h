// The debug log: every line goes to the debugger output, and to the file
// "c:\instdbg.txt" while LogToFile is on.
#ifndef SYSUTIL_LOG_H
#define SYSUTIL_LOG_H

#include "framework/WinTypes.h"

// Off unless a debugging build or a test turns it on; nothing in the
// installer itself does.
extern BYTE LogToFile;

// The message is written as it stands (never taken as a format), followed by
// a line break.
void WriteLog(const char* pszMessage);
// Logs the system's text for the calling thread's last error, a tab, and
// pszText (what failed). The last error is the same afterwards.
void LogSystemError(const char* pszText);

#endif
