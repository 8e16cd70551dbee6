// Drives a Glimmer build the way Windows does and checks what it shows:
// the no-options box, the full-screen window and how it ends, and the preview
// inside a window of ours. Needs a display (under Wine: an X server).
//
// Usage: glimmer_drive PATH-TO-SCR en|de
// Prints one line per check and "N passed, N failed". Exit code 0 when all
// pass, 77 when no window can be created here.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "expect.h"

namespace {

const char kSaverClass[] = "GlimmerSaverWindow";
const char kHostClass[] = "GlimmerDriveHost";
const DWORD kWaitMs = 5000;

const char *g_saverPath = NULL;

// Handles messages for our own windows while waiting: the saver's preview
// window sends to its parent, which lives on this thread.
void Pump(DWORD ms)
{
  DWORD start = GetTickCount();
  for (;;)
  {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
    {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms)
      return;
    MsgWaitForMultipleObjects(0, NULL, FALSE, ms - elapsed < 20 ? ms - elapsed : 20, QS_ALLINPUT);
  }
}

class CSaverProcess
{
public:
  CSaverProcess() { ZeroMemory(&m_pi, sizeof m_pi); }
  ~CSaverProcess()
  {
    if (m_pi.hProcess)
    {
      if (IsRunning())
        TerminateProcess(m_pi.hProcess, 99);
      CloseHandle(m_pi.hProcess);
      CloseHandle(m_pi.hThread);
    }
  }

  bool Start(const char *args)
  {
    char cmdLine[MAX_PATH + 128];
    _snprintf(cmdLine, sizeof cmdLine, "\"%s\" %s", g_saverPath, args);
    cmdLine[sizeof cmdLine - 1] = 0;
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    return CreateProcessA(NULL, cmdLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &m_pi) != 0;
  }

  bool IsRunning() const { return WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT; }

  // True when the process ended within ms; its exit code goes to *code.
  bool WaitExit(DWORD ms, DWORD *code)
  {
    DWORD start = GetTickCount();
    while (IsRunning())
    {
      if (GetTickCount() - start >= ms)
        return false;
      Pump(20);
    }
    GetExitCodeProcess(m_pi.hProcess, code);
    return true;
  }

  DWORD Id() const { return m_pi.dwProcessId; }

private:
  CSaverProcess(const CSaverProcess &);
  CSaverProcess &operator=(const CSaverProcess &);
  PROCESS_INFORMATION m_pi;
};

struct FindRequest
{
  DWORD pid;
  const char *className;
  const char *title;
  HWND found;
};

BOOL CALLBACK FindTopWindow(HWND hwnd, LPARAM lParam)
{
  FindRequest *req = (FindRequest *)lParam;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != req->pid || !IsWindowVisible(hwnd))
    return TRUE;
  char text[128];
  GetClassNameA(hwnd, text, sizeof text);
  if (strcmp(text, req->className) != 0)
    return TRUE;
  if (req->title)
  {
    GetWindowTextA(hwnd, text, sizeof text);
    if (strcmp(text, req->title) != 0)
      return TRUE;
  }
  req->found = hwnd;
  return FALSE;
}

// Polls until the process shows a visible top-level window of that class.
HWND WaitForWindow(const CSaverProcess &proc, const char *className, const char *title)
{
  DWORD start = GetTickCount();
  for (;;)
  {
    FindRequest req = { proc.Id(), className, title, NULL };
    EnumWindows(FindTopWindow, (LPARAM)&req);
    if (req.found || GetTickCount() - start >= kWaitMs || !proc.IsRunning())
      return req.found;
    Pump(50);
  }
}

HWND CreateHost(int cx, int cy, bool visible)
{
  return CreateWindowExA(0, kHostClass, "Glimmer host", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                         40, 40, cx, cy, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

void CheckConfigure(const char *noOptionsText)
{
  HWND owner = CreateHost(300, 200, false);
  char ownerArg[32];
  _snprintf(ownerArg, sizeof ownerArg, "%lu", (unsigned long)(UINT_PTR)owner);
  static const struct
  {
    const char *form;
    bool passesOwner;
  } cases[] = {
    { "", false }, { "/c", false }, { "-C", false }, { "/c:", true }, { "/C ", true }, { "/x", false },
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
  {
    char args[64];
    _snprintf(args, sizeof args, "%s%s", cases[i].form, cases[i].passesOwner ? ownerArg : "");
    char what[160];
    char detail[320] = "";
    CSaverProcess proc;
    _snprintf(what, sizeof what, "\"%s\" shows the no-options box", args);
    if (!proc.Start(args))
    {
      Expect(false, what, "cannot start");
      continue;
    }
    HWND box = WaitForWindow(proc, "#32770", "Glimmer");
    char text[256] = "";
    if (box)
    {
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
      _snprintf(detail, sizeof detail, "text \"%s\"", text);
    }
    Expect(box && strcmp(text, noOptionsText) == 0, what, box ? detail : "no box");
    if (!box)
      continue;
    if (cases[i].passesOwner)
    {
      _snprintf(what, sizeof what, "\"%s\" box is owned by the given window", args);
      Expect(GetWindow(box, GW_OWNER) == owner, what, "");
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    DWORD code = 99;
    bool ended = proc.WaitExit(kWaitMs, &code);
    _snprintf(what, sizeof what, "\"%s\" ends with 0 after OK", args);
    _snprintf(detail, sizeof detail, ended ? "exit code %lu" : "still running", code);
    Expect(ended && code == 0, what, detail);
  }
  DestroyWindow(owner);
}

// Grabs the whole virtual screen as 32-bit pixels.
class CScreenGrab
{
public:
  CScreenGrab() : m_bits(NULL), m_count(0) {}
  ~CScreenGrab() { delete[] m_bits; }

  bool Take(const RECT &rc)
  {
    int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    delete[] m_bits;
    m_count = cx * cy;
    m_bits = new DWORD[m_count];
    HDC hdcScreen = GetDC(NULL);
    HDC hdcMem = CreateCompatibleDC(hdcScreen);
    HBITMAP hbm = CreateCompatibleBitmap(hdcScreen, cx, cy);
    HGDIOBJ old = SelectObject(hdcMem, hbm);
    BitBlt(hdcMem, 0, 0, cx, cy, hdcScreen, rc.left, rc.top, SRCCOPY);
    SelectObject(hdcMem, old);
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = -cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    bool ok = GetDIBits(hdcMem, hbm, 0, cy, m_bits, &bi, DIB_RGB_COLORS) == cy;
    DeleteObject(hbm);
    DeleteDC(hdcMem);
    ReleaseDC(NULL, hdcScreen);
    return ok;
  }

  int Lit() const
  {
    int n = 0;
    for (int i = 0; i < m_count; i++)
      n += (m_bits[i] & 0xFFFFFF) != 0;
    return n;
  }

  int Differences(const CScreenGrab &other) const
  {
    int n = 0;
    for (int i = 0; i < m_count && i < other.m_count; i++)
      n += (m_bits[i] & 0xFFFFFF) != (other.m_bits[i] & 0xFFFFFF);
    return n;
  }

private:
  CScreenGrab(const CScreenGrab &);
  CScreenGrab &operator=(const CScreenGrab &);
  DWORD *m_bits;
  int m_count;
};

enum EndBy { END_KEY, END_CLICK, END_MOVE };

void CheckFullScreen()
{
  RECT screen;
  screen.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  screen.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  static const struct
  {
    const char *args;
    EndBy endBy;
    const char *endName;
  } cases[] = {
    { "/s", END_KEY, "a key" }, { "-S", END_CLICK, "a click" }, { "/S", END_MOVE, "a mouse move" },
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
  {
    const char *args = cases[i].args;
    char what[160];
    char detail[160] = "";
    CSaverProcess proc;
    _snprintf(what, sizeof what, "\"%s\" opens a topmost window over the virtual screen", args);
    if (!proc.Start(args))
    {
      Expect(false, what, "cannot start");
      continue;
    }
    HWND hwnd = WaitForWindow(proc, kSaverClass, "Glimmer");
    RECT rc = { 0, 0, 0, 0 };
    if (hwnd)
      GetWindowRect(hwnd, &rc);
    bool topmost = hwnd && (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    _snprintf(detail, sizeof detail, "%s, rect %ld,%ld-%ld,%ld", topmost ? "topmost" : "not topmost",
              rc.left, rc.top, rc.right, rc.bottom);
    Expect(hwnd && topmost && EqualRect(&rc, &screen), what, hwnd ? detail : "no window");
    if (!hwnd)
      continue;

    // Let a few frames pass, then look at the screen twice.
    Pump(400);
    CScreenGrab first, second;
    bool grabbed = first.Take(screen);
    Pump(300);
    grabbed = grabbed && second.Take(screen);
    int lit = first.Lit();
    int changed = first.Differences(second);
    _snprintf(what, sizeof what, "\"%s\" draws something that moves", args);
    _snprintf(detail, sizeof detail, "%d pixels lit, %d changed", lit, changed);
    Expect(grabbed && lit > 0 && changed > 0, what, detail);

    // A shiver of the mouse within the slack must not end it. The first move
    // may be swallowed as the one Windows sends when the window appears.
    POINT cursor;
    GetCursorPos(&cursor);
    int cx = cursor.x - screen.left, cy = cursor.y - screen.top;
    PostMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(cx + 2, cy));
    PostMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(cx + 2, cy - 3));
    Pump(300);
    _snprintf(what, sizeof what, "\"%s\" keeps running when the mouse moves 3 pixels", args);
    Expect(proc.IsRunning(), what, "");

    switch (cases[i].endBy)
    {
      case END_KEY:
        PostMessageA(hwnd, WM_KEYDOWN, VK_SPACE, 0x00390001);
        break;
      case END_CLICK:
        PostMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cx, cy));
        break;
      case END_MOVE:
        PostMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(cx + 40, cy + 40));
        break;
    }
    DWORD code = 99;
    bool ended = proc.WaitExit(kWaitMs, &code);
    _snprintf(what, sizeof what, "\"%s\" ends with 0 on %s", args, cases[i].endName);
    _snprintf(detail, sizeof detail, ended ? "exit code %lu" : "still running", code);
    Expect(ended && code == 0, what, detail);
  }
}

void CheckPreview()
{
  static const char *forms[] = { "/p %lu", "/p:%lu", "-P %lu" };
  for (size_t i = 0; i < sizeof forms / sizeof forms[0]; i++)
  {
    HWND host = CreateHost(200, 160, true);
    char args[64];
    _snprintf(args, sizeof args, forms[i], (unsigned long)(UINT_PTR)host);
    char what[160];
    char detail[160] = "";
    CSaverProcess proc;
    _snprintf(what, sizeof what, "\"%s\" draws in a child filling the given window", args);
    if (!proc.Start(args))
    {
      Expect(false, what, "cannot start");
      DestroyWindow(host);
      continue;
    }
    HWND child = NULL;
    DWORD start = GetTickCount();
    while (!(child = FindWindowExA(host, NULL, kSaverClass, NULL)) && GetTickCount() - start < kWaitMs &&
           proc.IsRunning())
      Pump(50);
    RECT hostRc = { 0, 0, 0, 0 }, childRc = { 0, 0, 0, 0 };
    GetClientRect(host, &hostRc);
    if (child)
      GetClientRect(child, &childRc);
    _snprintf(detail, sizeof detail, "child %ldx%ld, host %ldx%ld", childRc.right, childRc.bottom, hostRc.right,
              hostRc.bottom);
    Expect(child && EqualRect(&hostRc, &childRc), what, child ? detail : "no child window");
    Pump(300);
    _snprintf(what, sizeof what, "\"%s\" keeps running while the window lives", args);
    Expect(proc.IsRunning(), what, "");

    DestroyWindow(host);
    DWORD code = 99;
    bool ended = proc.WaitExit(kWaitMs, &code);
    _snprintf(what, sizeof what, "\"%s\" ends with 0 when the window goes away", args);
    _snprintf(detail, sizeof detail, ended ? "exit code %lu" : "still running", code);
    Expect(ended && code == 0, what, detail);
  }
}

void CheckQuietExits()
{
  // A handle that names no window; handles are even, so an odd one never does.
  char bogus[32];
  unsigned long value = 0x7FFF1235;
  while (IsWindow((HWND)(UINT_PTR)value))
    value += 2;
  _snprintf(bogus, sizeof bogus, "/p %lu", value);
  static const struct
  {
    const char *args;
    DWORD code;
  } fixed[] = { { "/p", 1 }, { "/p 0", 1 }, { "/a 0", 0 } };
  for (size_t i = 0; i < sizeof fixed / sizeof fixed[0] + 1; i++)
  {
    const char *args = i < sizeof fixed / sizeof fixed[0] ? fixed[i].args : bogus;
    DWORD want = i < sizeof fixed / sizeof fixed[0] ? fixed[i].code : 1;
    char what[160];
    char detail[64];
    CSaverProcess proc;
    _snprintf(what, sizeof what, "\"%s\" ends at once with %lu and no window", args, want);
    if (!proc.Start(args))
    {
      Expect(false, what, "cannot start");
      continue;
    }
    DWORD code = 99;
    bool ended = proc.WaitExit(kWaitMs, &code);
    _snprintf(detail, sizeof detail, ended ? "exit code %lu" : "still running", code);
    Expect(ended && code == want, what, detail);
  }
}

} // namespace

int main(int argc, char **argv)
{
  if (argc != 3 || (strcmp(argv[2], "en") != 0 && strcmp(argv[2], "de") != 0))
  {
    fprintf(stderr, "usage: glimmer_drive PATH-TO-SCR en|de\n");
    return 2;
  }
  g_saverPath = argv[1];
  const char *noOptions = strcmp(argv[2], "de") == 0 ? "Dieser Bildschirmschoner hat keine Einstellungen."
                                                     : "This screen saver has no options that you can set.";
  WNDCLASSA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
  wc.lpszClassName = kHostClass;
  HWND probe = RegisterClassA(&wc) ? CreateHost(100, 100, false) : NULL;
  if (!probe || GetSystemMetrics(SM_CXSCREEN) <= 0)
  {
    printf("skipped: no display to create windows on\n");
    return 77;
  }
  DestroyWindow(probe);

  CheckConfigure(noOptions);
  CheckFullScreen();
  CheckPreview();
  CheckQuietExits();
  return Verdict();
}
