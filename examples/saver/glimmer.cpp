// Glimmer: a small screen saver. Two coloured outlines drift and bounce across
// the screen, trailing fading copies of themselves, while a few stars twinkle.
// Classes: CRandom, CBackBuffer, CGlimmerScene.
#include <windows.h>
#include "resource.h"
#include "saver_args.h"

namespace {

const char kClassName[] = "GlimmerSaverWindow";
const UINT_PTR kFrameTimer = 1;
const UINT kFrameMs = 30;
// The mouse may shiver a little on a desk without anyone touching it.
const int kMouseSlack = 4;

class CRandom
{
public:
  void Seed(DWORD seed) { m_state = seed ? seed : 0x9E3779B9u; }
  DWORD Next()
  {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
  }
  int Range(int lo, int hi) { return lo + (int)(Next() % (DWORD)(hi - lo + 1)); }
  float Unit() { return (float)(Next() >> 8) * (1.0f / 16777216.0f); }

private:
  DWORD m_state;
};

// A memory bitmap the size of the window: each frame is drawn there and copied
// to the screen in one BitBlt, so the lines do not flicker.
class CBackBuffer
{
public:
  CBackBuffer() : m_hdc(NULL), m_hBitmap(NULL), m_hOldBitmap(NULL), m_cx(0), m_cy(0) {}
  ~CBackBuffer() { Free(); }

  bool Create(HWND hwnd, int cx, int cy)
  {
    Free();
    if (cx <= 0 || cy <= 0)
      return false;
    HDC hdcWindow = GetDC(hwnd);
    if (!hdcWindow)
      return false;
    m_hdc = CreateCompatibleDC(hdcWindow);
    m_hBitmap = m_hdc ? CreateCompatibleBitmap(hdcWindow, cx, cy) : NULL;
    ReleaseDC(hwnd, hdcWindow);
    if (!m_hBitmap)
    {
      Free();
      return false;
    }
    m_hOldBitmap = (HBITMAP)SelectObject(m_hdc, m_hBitmap);
    m_cx = cx;
    m_cy = cy;
    PatBlt(m_hdc, 0, 0, cx, cy, BLACKNESS);
    return true;
  }

  void Free()
  {
    if (m_hdc && m_hOldBitmap)
      SelectObject(m_hdc, m_hOldBitmap);
    if (m_hBitmap)
      DeleteObject(m_hBitmap);
    if (m_hdc)
      DeleteDC(m_hdc);
    m_hdc = NULL;
    m_hBitmap = NULL;
    m_hOldBitmap = NULL;
    m_cx = m_cy = 0;
  }

  HDC Dc() const { return m_hdc; }
  int Width() const { return m_cx; }
  int Height() const { return m_cy; }

private:
  CBackBuffer(const CBackBuffer &);
  CBackBuffer &operator=(const CBackBuffer &);

  HDC m_hdc;
  HBITMAP m_hBitmap;
  HBITMAP m_hOldBitmap;
  int m_cx, m_cy;
};

// Hue 0..1535 around the colour wheel, level 0..256. The colours are mixed with
// a quarter of white so that they glow rather than glare.
COLORREF HueColor(int hue, int level)
{
  hue %= 1536;
  if (hue < 0)
    hue += 1536;
  int f = hue & 255;
  int r, g, b;
  switch (hue >> 8)
  {
    case 0: r = 255; g = f; b = 0; break;
    case 1: r = 255 - f; g = 255; b = 0; break;
    case 2: r = 0; g = 255; b = f; break;
    case 3: r = 0; g = 255 - f; b = 255; break;
    case 4: r = f; g = 0; b = 255; break;
    default: r = 255; g = 0; b = 255 - f; break;
  }
  r = 64 + r * 3 / 4;
  g = 64 + g * 3 / 4;
  b = 64 + b * 3 / 4;
  return RGB(r * level >> 8, g * level >> 8, b * level >> 8);
}

class CGlimmerScene
{
public:
  CGlimmerScene() : m_cx(0), m_cy(0), m_penWidth(1), m_starArm(1), m_starCount(0) {}

  void Reset(int cx, int cy, CRandom &rnd)
  {
    m_cx = cx > 1 ? cx : 1;
    m_cy = cy > 1 ? cy : 1;
    int shortSide = m_cx < m_cy ? m_cx : m_cy;
    m_penWidth = shortSide >= 384 ? shortSide / 384 : 1;
    m_starArm = shortSide >= 150 ? shortSide / 150 : 1;
    float speed = (float)shortSide / 160.0f;
    if (speed < 0.5f)
      speed = 0.5f;
    // Start the shapes apart on the colour wheel so they never look alike.
    int baseHue = rnd.Range(0, 1535);
    for (int s = 0; s < kShapes; s++)
    {
      Shape &shape = m_shapes[s];
      for (int c = 0; c < kCorners; c++)
      {
        Corner &corner = shape.corners[c];
        corner.x = rnd.Unit() * (float)(m_cx - 1);
        corner.y = rnd.Unit() * (float)(m_cy - 1);
        corner.dx = speed * (0.4f + 0.6f * rnd.Unit()) * (rnd.Next() & 1 ? 1.0f : -1.0f);
        corner.dy = speed * (0.4f + 0.6f * rnd.Unit()) * (rnd.Next() & 1 ? 1.0f : -1.0f);
      }
      shape.hue = (baseHue + s * 1536 / kShapes) % 1536;
      shape.head = 0;
      shape.filled = 0;
    }
    m_starCount = m_cx * m_cy / 20000;
    if (m_starCount < 4)
      m_starCount = 4;
    if (m_starCount > kMaxStars)
      m_starCount = kMaxStars;
    for (int i = 0; i < m_starCount; i++)
    {
      PlaceStar(m_stars[i], rnd);
      m_stars[i].phase = rnd.Range(0, 255);
    }
  }

  void Step(CRandom &rnd)
  {
    for (int s = 0; s < kShapes; s++)
    {
      Shape &shape = m_shapes[s];
      shape.head = (shape.head + 1) % kTrail;
      if (shape.filled < kTrail)
        shape.filled++;
      POINT *pts = shape.trail[shape.head];
      for (int c = 0; c < kCorners; c++)
      {
        Corner &corner = shape.corners[c];
        Bounce(corner.x, corner.dx, (float)(m_cx - 1));
        Bounce(corner.y, corner.dy, (float)(m_cy - 1));
        pts[c].x = (LONG)corner.x;
        pts[c].y = (LONG)corner.y;
      }
      pts[kCorners] = pts[0];
      shape.hue = (shape.hue + kHueStep) % 1536;
      shape.hues[shape.head] = shape.hue;
    }
    for (int i = 0; i < m_starCount; i++)
    {
      Star &star = m_stars[i];
      star.phase += star.speed;
      if (star.phase > 255)
        PlaceStar(star, rnd);
    }
  }

  void Draw(HDC hdc) const
  {
    PatBlt(hdc, 0, 0, m_cx, m_cy, BLACKNESS);
    for (int i = 0; i < m_starCount; i++)
      DrawStar(hdc, m_stars[i]);
    // Oldest copies first, so the bright head lies on top of its trail.
    for (int age = kTrail - 1; age >= 0; age -= kTrailSpacing)
    {
      for (int s = 0; s < kShapes; s++)
      {
        const Shape &shape = m_shapes[s];
        if (age >= shape.filled)
          continue;
        int slot = (shape.head - age + kTrail) % kTrail;
        int fade = kTrail - age;
        int level = 256 * fade * fade / (kTrail * kTrail);
        HPEN hPen = CreatePen(PS_SOLID, m_penWidth, HueColor(shape.hues[slot], level));
        HGDIOBJ hOld = SelectObject(hdc, hPen);
        Polyline(hdc, shape.trail[slot], kCorners + 1);
        SelectObject(hdc, hOld);
        DeleteObject(hPen);
      }
    }
  }

private:
  enum { kShapes = 2, kCorners = 4, kTrail = 25, kTrailSpacing = 3, kMaxStars = 80, kHueStep = 3 };

  struct Corner
  {
    float x, y, dx, dy;
  };
  struct Shape
  {
    Corner corners[kCorners];
    POINT trail[kTrail][kCorners + 1];
    int hues[kTrail];
    int head, filled, hue;
  };
  struct Star
  {
    int x, y, phase, speed, hue;
  };

  static void Bounce(float &pos, float &vel, float limit)
  {
    pos += vel;
    if (pos < 0.0f)
    {
      pos = -pos;
      vel = -vel;
    }
    else if (pos > limit)
    {
      pos = limit - (pos - limit);
      vel = -vel;
    }
    // A corner faster than the window is small can overshoot twice; pin it.
    if (pos < 0.0f)
      pos = 0.0f;
    if (pos > limit)
      pos = limit;
  }

  void PlaceStar(Star &star, CRandom &rnd) const
  {
    star.x = rnd.Range(0, m_cx - 1);
    star.y = rnd.Range(0, m_cy - 1);
    star.phase = 0;
    star.speed = rnd.Range(3, 9);
    star.hue = rnd.Range(0, 1535);
  }

  void DrawStar(HDC hdc, const Star &star) const
  {
    // Rises and falls once per life: 0 -> 256 -> 0.
    int level = star.phase < 128 ? star.phase * 2 : (255 - star.phase) * 2;
    if (level <= 0)
      return;
    COLORREF tint = HueColor(star.hue, 256);
    COLORREF color = RGB((GetRValue(tint) + 255) / 2 * level >> 8,
                         (GetGValue(tint) + 255) / 2 * level >> 8,
                         (GetBValue(tint) + 255) / 2 * level >> 8);
    int arm = m_starArm * level >> 8;
    HPEN hPen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ hOld = SelectObject(hdc, hPen);
    // LineTo leaves out the end point, hence the + 1.
    MoveToEx(hdc, star.x - arm, star.y, NULL);
    LineTo(hdc, star.x + arm + 1, star.y);
    MoveToEx(hdc, star.x, star.y - arm, NULL);
    LineTo(hdc, star.x, star.y + arm + 1);
    SelectObject(hdc, hOld);
    DeleteObject(hPen);
  }

  int m_cx, m_cy;
  int m_penWidth;
  int m_starArm;
  int m_starCount;
  Shape m_shapes[kShapes];
  Star m_stars[kMaxStars];
};

// One saver window per process, so its state can live here.
struct SaverState
{
  bool fullScreen;
  HWND hwndPreviewParent;
  POINT startCursor;
  bool sawFirstMouseMove;
  bool closing;
  CRandom rnd;
  CBackBuffer back;
  CGlimmerScene scene;
};
SaverState g_saver;

void LoadText(HINSTANCE hInstance, UINT id, char *buffer, int size, const char *fallback)
{
  if (LoadStringA(hInstance, id, buffer, size) > 0)
    return;
  lstrcpynA(buffer, fallback, size);
}

void RequestClose(HWND hwnd)
{
  if (g_saver.closing)
    return;
  g_saver.closing = true;
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

void ResizeScene(HWND hwnd)
{
  RECT rc;
  GetClientRect(hwnd, &rc);
  if (rc.right == g_saver.back.Width() && rc.bottom == g_saver.back.Height())
    return;
  g_saver.back.Create(hwnd, rc.right, rc.bottom);
  g_saver.scene.Reset(rc.right, rc.bottom, g_saver.rnd);
}

LRESULT CALLBACK SaverWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  switch (msg)
  {
    case WM_CREATE:
      ResizeScene(hwnd);
      SetTimer(hwnd, kFrameTimer, kFrameMs, NULL);
      return 0;

    case WM_SIZE:
      ResizeScene(hwnd);
      return 0;

    case WM_TIMER:
      // The preview's parent belongs to another program. Should its end not
      // reach us as WM_DESTROY, this notices it within a frame.
      if (!g_saver.fullScreen && !IsWindow(g_saver.hwndPreviewParent))
      {
        DestroyWindow(hwnd);
        return 0;
      }
      if (g_saver.back.Dc())
      {
        g_saver.scene.Step(g_saver.rnd);
        g_saver.scene.Draw(g_saver.back.Dc());
        InvalidateRect(hwnd, NULL, FALSE);
      }
      return 0;

    case WM_ERASEBKGND:
      return 1;

    case WM_PAINT:
    {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      if (g_saver.back.Dc())
        BitBlt(hdc, 0, 0, g_saver.back.Width(), g_saver.back.Height(), g_saver.back.Dc(), 0, 0, SRCCOPY);
      else
        FillRect(hdc, &ps.rcPaint, (HBRUSH)GetStockObject(BLACK_BRUSH));
      EndPaint(hwnd, &ps);
      return 0;
    }

    case WM_SETCURSOR:
      if (g_saver.fullScreen)
      {
        SetCursor(NULL);
        return TRUE;
      }
      break;

    case WM_MOUSEMOVE:
      if (g_saver.fullScreen)
      {
        // Windows sends one move when the window appears under the cursor.
        if (!g_saver.sawFirstMouseMove)
        {
          g_saver.sawFirstMouseMove = true;
          return 0;
        }
        POINT pt = { (short)LOWORD(lParam), (short)HIWORD(lParam) };
        ClientToScreen(hwnd, &pt);
        int dx = pt.x - g_saver.startCursor.x;
        int dy = pt.y - g_saver.startCursor.y;
        if (dx > kMouseSlack || dx < -kMouseSlack || dy > kMouseSlack || dy < -kMouseSlack)
          RequestClose(hwnd);
        return 0;
      }
      break;

    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
      if (g_saver.fullScreen)
      {
        RequestClose(hwnd);
        return 0;
      }
      break;

    case WM_ACTIVATEAPP:
      if (g_saver.fullScreen && !wParam)
        RequestClose(hwnd);
      break;

    case WM_SYSCOMMAND:
      // Asked to start the screen saver while it is running: it already is.
      if (g_saver.fullScreen && (wParam & 0xFFF0) == SC_SCREENSAVE)
        return 0;
      break;

    case WM_DESTROY:
      KillTimer(hwnd, kFrameTimer);
      g_saver.back.Free();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool RegisterSaverClass(HINSTANCE hInstance)
{
  WNDCLASSA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = SaverWndProc;
  wc.hInstance = hInstance;
  wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
  wc.lpszClassName = kClassName;
  // No class cursor: the full-screen window hides it, the preview uses its parent's.
  return RegisterClassA(&wc) != 0;
}

int RunMessageLoop()
{
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0)
  {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return (int)msg.wParam;
}

int RunFullScreen(HINSTANCE hInstance)
{
  // Cover every monitor. Windows 95 knows no virtual screen and answers 0.
  int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
  int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int cx = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  int cy = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (cx <= 0 || cy <= 0)
  {
    x = y = 0;
    cx = GetSystemMetrics(SM_CXSCREEN);
    cy = GetSystemMetrics(SM_CYSCREEN);
  }
  g_saver.fullScreen = true;
  GetCursorPos(&g_saver.startCursor);
  char title[64];
  LoadText(hInstance, IDS_DESCRIPTION, title, sizeof title, "Glimmer");
  HWND hwnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, title, WS_POPUP,
                              x, y, cx, cy, NULL, NULL, hInstance, NULL);
  if (!hwnd)
    return 1;
  // Windows 95 then keeps Ctrl+Alt+Del and Alt+Tab from getting past the saver.
  BOOL wasRunning = FALSE;
  SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE, &wasRunning, 0);
  ShowCursor(FALSE);
  ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
  UpdateWindow(hwnd);
  int result = RunMessageLoop();
  ShowCursor(TRUE);
  SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, &wasRunning, 0);
  return result;
}

int RunPreview(HINSTANCE hInstance, HWND hwndParent)
{
  if (!hwndParent || !IsWindow(hwndParent))
    return 1;
  RECT rc;
  GetClientRect(hwndParent, &rc);
  g_saver.fullScreen = false;
  g_saver.hwndPreviewParent = hwndParent;
  HWND hwnd = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, rc.right, rc.bottom,
                              hwndParent, NULL, hInstance, NULL);
  if (!hwnd)
    return 1;
  return RunMessageLoop();
}

int ShowNoOptions(HINSTANCE hInstance, HWND hwndOwner)
{
  if (hwndOwner && !IsWindow(hwndOwner))
    hwndOwner = NULL;
  char caption[64];
  char text[256];
  LoadText(hInstance, IDS_DESCRIPTION, caption, sizeof caption, "Glimmer");
  LoadText(hInstance, IDS_NO_OPTIONS, text, sizeof text, "This screen saver has no options.");
  MessageBoxA(hwndOwner, text, caption, MB_OK | MB_ICONINFORMATION);
  return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR cmdLine, int)
{
  SaverArgs args = ParseSaverArgs(cmdLine);
  switch (args.mode)
  {
    case SAVER_CONFIGURE:
      return ShowNoOptions(hInstance, (HWND)args.hwnd);
    case SAVER_PASSWORD:
      // Glimmer keeps no password of its own.
      return 0;
    default:
      break;
  }
  g_saver.rnd.Seed(GetTickCount() ^ (GetCurrentProcessId() << 16));
  if (!RegisterSaverClass(hInstance))
    return 1;
  if (args.mode == SAVER_PREVIEW)
    return RunPreview(hInstance, (HWND)args.hwnd);
  return RunFullScreen(hInstance);
}
