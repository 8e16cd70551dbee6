// Runs setup.exe (or an installer made from it) as a child process, answers
// the message boxes it shows, and reports the boxes and the full exit code.
// Also builds installers: the stub, the marker and a package of a script.
#ifndef TESTS_WIN_STUB_DRIVER_H
#define TESTS_WIN_STUB_DRIVER_H

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace stub
{
// A top-level window the child showed.
struct Box
{
    std::string className;
    std::string caption;
    std::string text;  // the non-empty texts of its static controls, in
                       // the template's order, joined by '|'
};

struct Run
{
    DWORD exitCode = 0;
    bool started = false;
    DWORD startError = 0;   // why the program could not be started
    bool timedOut = false;  // the child was ended by the driver
    std::vector<Box> boxes;
    // Progress windows, as first seen: they are watched, never answered.
    std::vector<Box> progress;
};

// The boxes are answered in order, one button id each (IDYES, IDNO, IDOK).
// An answer of 0 closes the box through its close box (WM_CLOSE).
// A box beyond the answers is closed with its first button of Cancel, No,
// OK, so that a wrong expectation fails instead of hanging.
inline Run RunProgram(const std::string& exe, const std::string& args, std::vector<int> answers = {},
                      DWORD timeoutMs = 30000)
{
    Run run;
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    std::string cmd = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
    // A program file that another process has just written may still be
    // held for a moment (seen under Wine on a loaded machine): try again
    // briefly before giving up.
    for (int attempt = 0; !run.started && attempt < 10; attempt++)
    {
        if (attempt > 0)
            Sleep(200);
        std::string line = cmd;
        run.started = CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != FALSE;
        if (!run.started)
            run.startError = GetLastError();
    }
    if (!run.started)
        return run;

    struct Scan
    {
        DWORD pid;
        std::vector<HWND> windows;
    } scan = {pi.dwProcessId, {}};
    std::set<HWND> handled;
    size_t nextAnswer = 0;
    DWORD waited = 0;
    while (WaitForSingleObject(pi.hProcess, 50) == WAIT_TIMEOUT)
    {
        waited += 50;
        if (waited > timeoutMs)
        {
            TerminateProcess(pi.hProcess, 0xDEAD);
            WaitForSingleObject(pi.hProcess, 5000);
            run.timedOut = true;
            break;
        }
        scan.windows.clear();
        EnumWindows(
            [](HWND wnd, LPARAM p) -> BOOL {
                Scan* s = (Scan*)p;
                DWORD pid = 0;
                GetWindowThreadProcessId(wnd, &pid);
                if (pid == s->pid && IsWindowVisible(wnd))
                    s->windows.push_back(wnd);
                return TRUE;
            },
            (LPARAM)&scan);
        for (HWND wnd : scan.windows)
        {
            if (!handled.insert(wnd).second)
                continue;
            Box box;
            char buf[4096];
            GetClassNameA(wnd, buf, sizeof buf);
            box.className = buf;
            GetWindowTextA(wnd, buf, sizeof buf);
            box.caption = buf;
            struct Children
            {
                std::vector<HWND> statics;
                bool progressBar = false;
            } children;
            EnumChildWindows(
                wnd,
                [](HWND child, LPARAM p) -> BOOL {
                    Children* c = (Children*)p;
                    char cls[64];
                    GetClassNameA(child, cls, sizeof cls);
                    if (lstrcmpiA(cls, "Static") == 0)
                        c->statics.push_back(child);
                    else if (lstrcmpiA(cls, "msctls_progress32") == 0)
                        c->progressBar = true;
                    return TRUE;
                },
                (LPARAM)&children);
            // A window that the program was closing while it was read (the
            // progress window as the run ends: hidden first, then its
            // children go) is not a box, even if it showed no progress bar.
            if (!IsWindow(wnd) || !IsWindowVisible(wnd))
            {
                handled.erase(wnd);
                continue;
            }
            const std::vector<HWND>& statics = children.statics;
            for (HWND s : statics)
            {
                GetWindowTextA(s, buf, sizeof buf);
                if (buf[0] == '\0')
                    continue;
                if (!box.text.empty())
                    box.text += "|";
                box.text += buf;
            }
            if (children.progressBar)
            {
                run.progress.push_back(box);
                continue;
            }
            run.boxes.push_back(box);

            int button = 0;
            if (nextAnswer < answers.size())
                button = answers[nextAnswer++];
            else
                for (int id : {IDCANCEL, IDNO, IDOK})
                    if (GetDlgItem(wnd, id) != nullptr)
                    {
                        button = id;
                        break;
                    }
            if (button != 0)
                PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(wnd, button));
            else
                PostMessageA(wnd, WM_CLOSE, 0, 0);
        }
    }
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}
}  // namespace stub

#endif
