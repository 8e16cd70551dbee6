// The usage message box.
#include <windows.h>

#include "shell/Shell.h"

void ShowUsage(const char* pszProgramPath)
{
    CString text;
    UsageText(pszProgramPath, text);
    MessageBoxA(nullptr, text, "Usage", MB_OK);
}
