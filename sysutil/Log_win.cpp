// The debug log.
#include "sysutil/Log.h"

#include <string.h>

#include "framework/String.h"
#include "sysutil/Handles.h"

BYTE LogToFile = 0;

namespace
{
const char kLogFile[] = "c:\\instdbg.txt";
}  // namespace

void WriteLog(const char* pszMessage)
{
    if (pszMessage == nullptr)
        pszMessage = "";
    if (LogToFile)
    {
        // Opened and closed for every line, so that a crash loses nothing
        // written before it.
        CStdioHandle log(fopen(kLogFile, "a+"));
        if (log.IsValid())
        {
            fputs(pszMessage, log);
            fputs("\n", log);
        }
    }
    OutputDebugStringA(pszMessage);
    OutputDebugStringA("\n");
}

void LogSystemError(const char* pszText)
{
    DWORD dwError = GetLastError();
    char* pszSystem = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&pszSystem, 0, nullptr);
    CLocalMemory system(pszSystem);
    if (pszText == nullptr)
        pszText = "";
    CString strLine;
    strLine.Format("%s\t%s", pszSystem != nullptr ? pszSystem : "", pszText);
    WriteLog(strLine);
    // Logging a failure leaves its error for the caller to read.
    SetLastError(dwError);
}
