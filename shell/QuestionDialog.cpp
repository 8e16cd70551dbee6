// The language question (template IDD_QUESTION): an installed saver of
// another language is kept or replaced.
#include "resources/resource.h"
#include "shell/Shell.h"

INT_PTR CALLBACK QuestionDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    static const DialogText s_aTexts[] = {
        {TEXT_ARGS(IDS_QUESTION_CAPTION), 0},
        {TEXT_ARGS(IDS_QUESTION_YES), IDOK},
        {TEXT_ARGS(IDS_QUESTION_NO), IDCANCEL},
    };
    switch (nMessage)
    {
    case WM_INITDIALOG:
        InitDialogTexts(hDlg, s_aTexts, sizeof s_aTexts / sizeof s_aTexts[0]);
        SetDlgItemTextA(hDlg, IDC_QUESTION_TEXT, g_strQuestion);
        return TRUE;
    case WM_COMMAND:
        // Yes is IDOK; No, Escape and the close box are IDCANCEL.
        EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void FormatQuestion(const char* pszFormat, const char* pszInstalledLanguage, const char* pszNewLanguage,
                    CString& text)
{
    // The format may come from the package, so it is never handed to printf:
    // a stray conversion there would read arguments that do not exist.
    const char* const apszArgs[2] = {pszInstalledLanguage, pszNewLanguage};
    int nArg = 0;
    text.Empty();
    for (const char* p = pszFormat; *p != '\0'; p++)
    {
        if (p[0] == '%' && p[1] == '%')
        {
            text += '%';
            p++;
        }
        else if (p[0] == '%' && p[1] == 's' && nArg < 2)
        {
            text += apszArgs[nArg++];
            p++;
        }
        else
            text += *p;
    }
}

int AskLanguage(const char* pszNewLanguage, const char* pszInstalledLanguage)
{
    if (g_bSilent)
        return 0;
    CString format;
    LoadText(TEXT_ARGS(IDS_QUESTION_LANGUAGE), format);
    FormatQuestion(format, pszInstalledLanguage, pszNewLanguage, g_strQuestion);
    // Only Yes keeps the installed language; a dialog that could not be
    // made counts as No, like Escape.
    INT_PTR nResult = DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_QUESTION), nullptr, QuestionDlgProc, 0);
    return nResult == IDOK ? 0 : 1;
}
