// The confirmation, success and error dialogs, for now as message boxes with
// the dialogs' texts.
#include "resources/resource.h"
#include "shell/Shell.h"

namespace
{
int ShowBox(const CString& text, const char* pszCaptionName, UINT nCaptionId, UINT nType)
{
    CString caption;
    LoadText(pszCaptionName, nCaptionId, caption);
    return MessageBoxA(nullptr, text, caption, nType | MB_SETFOREGROUND);
}

// One line of text, then a line break.
void AddLine(CString& text, const char* pszName, UINT nId)
{
    CString line;
    text += LoadText(pszName, nId, line);
    text += '\n';
}

// The saver's name comes from the package only.
void AddSaverName(CString& text)
{
    CString name;
    text += PackageText("SaverName", name);
    text += '\n';
}

int ShowError(int nCode, const CString& text)
{
    g_nErrorCode = nCode;
    if (g_bSilent)
        return 0;
    return ShowBox(text, TEXT_ARGS(IDS_ERROR_CAPTION), MB_OK);
}
}  // namespace

int ShowInstallDialog()
{
    CString text;
    AddLine(text, TEXT_ARGS(IDS_INSTALL1));
    AddSaverName(text);
    AddLine(text, TEXT_ARGS(IDS_INSTALL2));
    text += '\n';
    CString question;
    text += LoadText(TEXT_ARGS(IDS_INSTALL3), question);
    return ShowBox(text, TEXT_ARGS(IDS_INSTALL_CAPTION), MB_YESNO);
}

void ShowSuccessDialog()
{
    CString text;
    AddLine(text, TEXT_ARGS(IDS_SUCCESS1));
    AddSaverName(text);
    CString line;
    text += LoadText(TEXT_ARGS(IDS_SUCCESS2), line);
    ShowBox(text, TEXT_ARGS(IDS_SUCCESS_CAPTION), MB_OK);
    // The dialog's "use as active screen saver" box starts ticked.
    g_bActivate = TRUE;
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
