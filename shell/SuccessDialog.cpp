// The success dialog (template IDD_SUCCESS). Its check box, "use as my
// active screen saver", lies outside the dialog and starts ticked: OK makes
// the saver the active one.
#include "resources/resource.h"
#include "shell/Shell.h"

INT_PTR CALLBACK SuccessDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    static const DialogText s_aTexts[] = {
        {TEXT_ARGS(IDS_SUCCESS_CAPTION), 0},     {TEXT_ARGS(IDS_SUCCESS1), IDC_SUCCESS1},
        {TEXT_ARGS(IDS_SUCCESS2), IDC_SUCCESS2}, {TEXT_ARGS(IDS_SUCCESS_OK), IDOK},
        {TEXT_ARGS(IDS_WINSAVER), IDC_ACTIVATE},
    };
    switch (nMessage)
    {
    case WM_INITDIALOG:
    {
        CheckDlgButton(hDlg, IDC_ACTIVATE, BST_CHECKED);
        InitDialogTexts(hDlg, s_aTexts, sizeof s_aTexts / sizeof s_aTexts[0]);
        CString name;
        SetDlgItemTextA(hDlg, IDC_SAVERNAME, PackageText("SaverName", name));
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam))
        {
        case IDOK:
            g_bActivate = IsDlgButtonChecked(hDlg, IDC_ACTIVATE) == BST_CHECKED;
            EndDialog(hDlg, IDOK);
            break;
        case IDC_ACTIVATE:
            // Not an automatic check box: a click turns it over here.
            CheckDlgButton(hDlg, IDC_ACTIVATE,
                           IsDlgButtonChecked(hDlg, IDC_ACTIVATE) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            break;
        }
        // Escape and the close box do nothing: only OK ends the dialog.
        return TRUE;
    }
    return FALSE;
}

int ShowSuccessDialog()
{
    return (int)DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_SUCCESS), nullptr, SuccessDlgProc, 0);
}
