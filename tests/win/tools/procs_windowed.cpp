// procs_windowed.exe: a program with a visible top-level window that ends
// with exit code 0 when the window is closed (a terminated copy ends with
// the code its terminator gives). Ends by itself after a minute.
#include <windows.h>

namespace
{
LRESULT CALLBACK WindowProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    if (nMessage == WM_DESTROY)
    {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, nMessage, wParam, lParam);
}
}  // namespace

int main()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ProcsWindowed";
    if (!RegisterClassA(&wc))
        return 3;
    HWND hWnd = CreateWindowA("ProcsWindowed", "procs helper", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                              wc.hInstance, nullptr);
    if (hWnd == nullptr)
        return 4;
    ShowWindow(hWnd, SW_SHOWNOACTIVATE);
    SetTimer(hWnd, 1, 60000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
    {
        if (msg.message == WM_TIMER)
            return 5;
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
