// The installer's shell: process-wide state, command-line options, the text
// lookup, the dialogs, the two callbacks of the run and the activation of
// the installed screen saver.
#ifndef SHELL_SHELL_H
#define SHELL_SHELL_H

#include "framework/String.h"
#include "shell/CommandLine.h"
#include "framework/WinTypes.h"

class CInstaller;

// --- Process-wide state ----------------------------------------------------
extern HINSTANCE g_hInstance;       // module of the templates and string resources
extern CInstaller* g_pInstaller;    // the one script, from start to end of WinMain
extern int g_nErrorCode;            // result of the load, then of the run
extern BYTE g_bSilent;              // no dialog, no callback, no question
extern BYTE g_bActivate;            // make the saver the active one after success
extern CString g_strErrorMessage;   // message of a failed check, for the error dialog
extern CString g_strQuestion;       // the language question as shown
extern HWND g_hProgressDlg;         // the progress dialog, null while there is none

// --- Command line ----------------------------------------------------------
// Exit codes besides the ErrorCode of a silent installation.
enum
{
    EXIT_OK = 0,
    EXIT_NO_MEMORY = 1,  // the script object could not be allocated
    EXIT_USAGE = 38      // text on the command line that is no option
};

// The usage box (the text comes from UsageText).
void ShowUsage(const char* pszProgramPath);

// --- Texts -----------------------------------------------------------------
// Expands to the text name and the resource id of a text: the name is the
// macro's own name, the id its value.
#define TEXT_ARGS(id) #id, id

// The text for a name: the value of the package variable of that name
// (unexpanded), else string resource nId. A null name goes straight to the
// string table. Returns text.
CString& LoadText(const char* pszName, UINT nId, CString& text);
// The value of the package variable, or empty.
CString& PackageText(const char* pszName, CString& text);
// The error dialog's message for an ErrorCode of the run.
CString& ErrorText(int nCode, CString& text);

// --- Dialogs ---------------------------------------------------------------
// Each dialog comes from its template in the resources, and sets its caption
// and every control text when it opens.

// One text a dialog sets: its text name and string id, and the control
// (0 for the caption).
struct DialogText
{
    const char* pszName;
    UINT nId;
    int nControl;
};
// Centres the dialog and sets its texts.
void InitDialogTexts(HWND hDlg, const DialogText* pTexts, int nCount);
// Moves the window to the middle of its parent (of the screen when it has
// none) and keeps it above other windows; its size stays.
void CenterDialog(HWND hWnd);

INT_PTR CALLBACK InstallDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SuccessDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ErrorDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK QuestionDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam);

// Confirmation: IDYES goes on with the installation; IDNO or IDCANCEL
// decline; -1 when the dialog could not be made.
int ShowInstallDialog();
// Success; leaves g_bActivate as the user chose. -1 when the dialog could
// not be made (g_bActivate is then left alone).
int ShowSuccessDialog();
// Stores nCode in g_nErrorCode and shows the error for it; in silent mode
// shows nothing and returns 0. -1 when the dialog could not be made.
int ShowErrorDialog(int nCode);
// The same for a package that could not be read: the text is IDS_ERR_LOAD
// whatever the code.
int ShowLoadErrorDialog(int nCode);

// --- Callbacks of the run --------------------------------------------------
// The progress dialog runs in a thread of its own, started by the first
// report; the window appears within 5 seconds or the run goes on without it.
int ShowProgress(unsigned nKind, unsigned a, unsigned b);
// The progress thread: makes the dialog and pumps its messages until the
// dialog is closed.
void ProgressThread(void* pArg);
// 0 keeps the installed language, 1 takes the new one.
int AskLanguage(const char* pszNewLanguage, const char* pszInstalledLanguage);
// The question text: the first "%s" of the format becomes the installed
// language, the second the new one, "%%" a percent sign; everything else,
// other conversions included, stands as it is.
void FormatQuestion(const char* pszFormat, const char* pszInstalledLanguage, const char* pszNewLanguage,
                    CString& text);

// --- Activation ------------------------------------------------------------
// Makes the installed saver the system's screen saver: "system.ini", the
// system setting and the package's registry value. 0, or ERR_NO_MEMORY.
int ActivateScreenSaver();

#endif
