// The progress dialog (template IDD_PROGRESS), shown while the script runs.
// It lives in a thread of its own, which makes it and pumps its messages;
// the main thread, busy with the run, drives it with SendMessageA only, so
// each update is done when the call returns.
#include "framework/Thread.h"
#include "resources/resource.h"
#include "shell/Shell.h"

#include <commctrl.h>

namespace
{
CThread g_progressThread;
// Set by the progress thread once it has tried to make the window.
CAutoEvent g_windowTried;

// How long the run waits for the progress window before it goes on without.
const DWORD kWindowWaitMs = 5000;

void SetUpBar(HWND hDlg, unsigned nFrom, unsigned nTo)
{
    // The control holds 16-bit bounds.
    SendDlgItemMessageA(hDlg, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(nFrom & 0xFFFF, nTo & 0xFFFF));
    SendDlgItemMessageA(hDlg, IDC_PROGRESS_BAR, PBM_SETSTEP, 1, 0);
    SendDlgItemMessageA(hDlg, IDC_PROGRESS_BAR, PBM_SETPOS, nFrom, 0);
}

void SetPhase(HWND hDlg, unsigned nPhase)
{
    static const DialogText s_aPhases[] = {
        {TEXT_ARGS(IDS_PROGRESS_PRE), IDC_PROGRESS_TEXT},      {TEXT_ARGS(IDS_PROGRESS_REGISTRY), IDC_PROGRESS_TEXT},
        {TEXT_ARGS(IDS_PROGRESS_FILE), IDC_PROGRESS_TEXT},     {TEXT_ARGS(IDS_PROGRESS_POST), IDC_PROGRESS_TEXT},
        {TEXT_ARGS(IDS_PROGRESS_UNDO), IDC_PROGRESS_TEXT},
    };
    // Phases 1 to 5; any other is the last part of the installation.
    unsigned nIndex = nPhase >= 1 && nPhase <= 5 ? nPhase - 1 : 3;
    CString text;
    LoadText(s_aPhases[nIndex].pszName, s_aPhases[nIndex].nId, text);
    SendDlgItemMessageA(hDlg, IDC_PROGRESS_TEXT, WM_SETTEXT, 0, (LPARAM)(const char*)text);
}
}  // namespace

INT_PTR CALLBACK ProgressDlgProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    static const DialogText s_aTexts[] = {
        {TEXT_ARGS(IDS_PROGRESS_CAPTION), 0},
        {TEXT_ARGS(IDS_PROGRESS_PRE), IDC_PROGRESS_TEXT},
    };
    switch (nMessage)
    {
    case WM_INITDIALOG:
        InitDialogTexts(hDlg, s_aTexts, sizeof s_aTexts / sizeof s_aTexts[0]);
        break;
    case WM_CLOSE:
        DestroyWindow(hDlg);
        break;
    case WM_DESTROY:
        // The thread has nothing left to do once its window is gone.
        PostQuitMessage(0);
        break;
    }
    return FALSE;
}

void ProgressThread(void* pArg)
{
    HWND hDlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, ProgressDlgProc, 0);
    g_hProgressDlg = hDlg;
    g_windowTried.Set();
    if (hDlg == nullptr)
        return;
    ShowWindow(hDlg, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
    {
        if (IsWindow(hDlg) && IsDialogMessageA(hDlg, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int ShowProgress(unsigned nKind, unsigned a, unsigned b)
{
    if (g_bSilent)
        return 0;
    HWND hDlg = g_hProgressDlg;
    if (hDlg == nullptr)
    {
        // Only the first report of a run opens the window. A thread that
        // did not finish making one in time is still held: the run goes on
        // without progress display.
        if (nKind != 1 || !g_windowTried.IsValid() || !g_progressThread.Start(ProgressThread, nullptr))
            return 0;
        if (!g_windowTried.Wait(kWindowWaitMs))
            return 0;
        hDlg = g_hProgressDlg;
        if (hDlg == nullptr)
        {
            // No window: the thread has ended.
            g_progressThread.Join();
            return 0;
        }
        SetUpBar(hDlg, a, b);
        return 0;
    }
    switch (nKind)
    {
    case 3:
        SetUpBar(hDlg, a, b);
        break;
    case 4:
        SetPhase(hDlg, a);
        break;
    case 5:
        SendDlgItemMessageA(hDlg, IDC_PROGRESS_BAR, PBM_STEPIT, 0, 0);
        break;
    default:
        // The end of the run, or a new start while the window is open.
        SendMessageA(hDlg, WM_CLOSE, 0, 0);
        g_hProgressDlg = nullptr;
        g_progressThread.Join();
        break;
    }
    return 0;
}
