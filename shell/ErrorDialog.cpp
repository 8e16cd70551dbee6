// The error dialog (template IDD_ERROR).
#include "resources/resource.h"
#include "shell/Shell.h"

namespace
{
int ShowError(int nCode, const CString& text)
{
    g_nErrorCode = nCode;
    if (g_bSilent)
        return 0;
    return (int)DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_ERROR), nullptr, ErrorDlgProc, (LPARAM)&text);
}
}  // namespace

// The message comes with the dialog: the text for the code of the run, or
// the load's own text.
INT_PTR CALLBACK ErrorDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    static const DialogText s_aTexts[] = {
        {TEXT_ARGS(IDS_ERROR_CAPTION), 0},
        {TEXT_ARGS(IDS_ERR_OK), IDOK},
    };
    switch (nMessage)
    {
    case WM_INITDIALOG:
        InitDialogTexts(hDlg, s_aTexts, sizeof s_aTexts / sizeof s_aTexts[0]);
        SetDlgItemTextA(hDlg, IDC_ERROR_TEXT, *(const CString*)lParam);
        return TRUE;
    case WM_COMMAND:
        EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

int ShowErrorDialog(int nCode)
{
    CString text;
    if (!g_bSilent)
        ErrorText(nCode, text);
    return ShowError(nCode, text);
}

int ShowLoadErrorDialog(int nCode)
{
    CString text;
    if (!g_bSilent)
        LoadText(nullptr, IDS_ERR_LOAD, text);
    return ShowError(nCode, text);
}
