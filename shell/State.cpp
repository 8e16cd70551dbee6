// The shell's process-wide state.
#include "shell/Shell.h"

HINSTANCE g_hInstance = nullptr;
CInstaller* g_pInstaller = nullptr;
int g_nErrorCode = 0;
BYTE g_bSilent = FALSE;
BYTE g_bActivate = FALSE;
CString g_strErrorMessage;
CString g_strQuestion;
HWND g_hProgressDlg = nullptr;
