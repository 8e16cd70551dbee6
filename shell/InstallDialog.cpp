// The confirmation dialog (template IDD_INSTALL).
#include "resources/resource.h"
#include "shell/Shell.h"

INT_PTR CALLBACK InstallDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    static const DialogText s_aTexts[] = {
        {TEXT_ARGS(IDS_INSTALL_CAPTION), 0},        {TEXT_ARGS(IDS_INSTALL1), IDC_INSTALL1},
        {TEXT_ARGS(IDS_INSTALL2), IDC_INSTALL2},    {TEXT_ARGS(IDS_INSTALL3), IDC_INSTALL3},
        {TEXT_ARGS(IDS_INSTALL_YES), IDYES},        {TEXT_ARGS(IDS_INSTALL_NO), IDNO},
    };
    switch (nMessage)
    {
    case WM_INITDIALOG:
    {
        InitDialogTexts(hDlg, s_aTexts, sizeof s_aTexts / sizeof s_aTexts[0]);
        // The saver's name comes from the package only.
        CString name;
        SetDlgItemTextA(hDlg, IDC_SAVERNAME, PackageText("SaverName", name));
        return TRUE;
    }
    case WM_COMMAND:
        // Yes, No, and IDCANCEL for Escape and the close box.
        EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

int ShowInstallDialog()
{
    return (int)DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_INSTALL), nullptr, InstallDlgProc, 0);
}
