// What the dialogs share: centring, and setting the texts when they open.
#include "shell/Shell.h"

void CenterDialog(HWND hWnd)
{
    HWND hReference = GetParent(hWnd);
    if (hReference == nullptr)
        hReference = GetDesktopWindow();
    RECT window;
    RECT reference;
    GetWindowRect(hWnd, &window);
    GetWindowRect(hReference, &reference);
    // A dialog larger than its reference gets a negative offset.
    int x = reference.left + ((reference.right - reference.left) - (window.right - window.left)) / 2;
    int y = reference.top + ((reference.bottom - reference.top) - (window.bottom - window.top)) / 2;
    SetWindowPos(hWnd, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE);
}

void InitDialogTexts(HWND hDlg, const DialogText* pTexts, int nCount)
{
    CenterDialog(hDlg);
    CString text;
    for (int i = 0; i < nCount; i++)
    {
        LoadText(pTexts[i].pszName, pTexts[i].nId, text);
        if (pTexts[i].nControl == 0)
            SetWindowTextA(hDlg, text);
        else
            SetDlgItemTextA(hDlg, pTexts[i].nControl, text);
    }
}
