// Driving the shell's dialogs from a test, the way a user would: a second
// thread waits for the dialog by its caption, reads its controls, presses
// its buttons and takes a picture of it, while this thread runs the dialog.
#ifndef TESTS_WIN_DIALOGS_SUPPORT_H
#define TESTS_WIN_DIALOGS_SUPPORT_H

#include <windows.h>
#include <zlib.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "saver_test_config.h"

namespace dialogs
{
// A visible dialog of this process with the caption, waited for at most
// nMs; null when none came.
inline HWND WaitForDialog(const char* caption, DWORD nMs = 10000)
{
    for (DWORD waited = 0;; waited += 20)
    {
        HWND wnd = FindWindowA("#32770", caption);
        DWORD pid = 0;
        if (wnd != nullptr)
            GetWindowThreadProcessId(wnd, &pid);
        if (wnd != nullptr && pid == GetCurrentProcessId() && IsWindowVisible(wnd))
            return wnd;
        if (waited >= nMs)
            return nullptr;
        Sleep(20);
    }
}

// Waits at most nMs for the window to go.
inline bool WaitGone(HWND wnd, DWORD nMs = 5000)
{
    for (DWORD waited = 0; IsWindow(wnd); waited += 20)
    {
        if (waited >= nMs)
            return false;
        Sleep(20);
    }
    return true;
}

inline std::string Text(HWND wnd)
{
    char buf[4096] = "";
    GetWindowTextA(wnd, buf, sizeof buf);
    return buf;
}

inline std::string ItemText(HWND dlg, int id)
{
    HWND item = GetDlgItem(dlg, id);
    return item != nullptr ? Text(item) : "<no control " + std::to_string(id) + ">";
}

// The user's ways of answering a dialog.
inline void Click(HWND dlg, int id)
{
    SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
}

inline void PressEscape(HWND dlg)
{
    PostMessageA(dlg, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(dlg, WM_KEYUP, VK_ESCAPE, 0);
}

inline void CloseBox(HWND dlg)
{
    PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Writes the window's picture, as the screen shows it, to shots\NAME.png in
// the build tree.
inline bool SaveShot(HWND wnd, const char* name)
{
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    RECT r;
    GetWindowRect(wnd, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    std::vector<BYTE> bgra((size_t)w * h * 4);
    GetDIBits(mem, bmp, 0, h, bgra.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);

    // PNG: 8-bit RGB rows, each behind filter byte 0.
    std::vector<BYTE> raw;
    for (int y = 0; y < h; y++)
    {
        raw.push_back(0);
        for (int x = 0; x < w; x++)
        {
            const BYTE* p = &bgra[((size_t)y * w + x) * 4];
            raw.insert(raw.end(), {p[2], p[1], p[0]});
        }
    }
    uLongf packedSize = compressBound((uLong)raw.size());
    std::vector<BYTE> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), (uLong)raw.size(), 9) != Z_OK)
        return false;
    packed.resize(packedSize);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    auto be32 = [](std::string& s, uint32_t v) {
        for (int k = 3; k >= 0; k--)
            s += (char)(v >> (8 * k));
    };
    auto chunk = [&](const char* type, const std::string& data) {
        be32(png, (uint32_t)data.size());
        std::string body = std::string(type, 4) + data;
        png += body;
        be32(png, (uint32_t)crc32(0, (const Bytef*)body.data(), (uInt)body.size()));
    };
    std::string header;
    be32(header, (uint32_t)w);
    be32(header, (uint32_t)h);
    header += std::string("\x08\x02\x00\x00\x00", 5);
    chunk("IHDR", header);
    chunk("IDAT", std::string(packed.begin(), packed.end()));
    chunk("IEND", "");

    std::string dir = std::string(SAVER_TEST_BINARY_DIR) + "\\shots";
    CreateDirectoryA(dir.c_str(), nullptr);
    HANDLE file = CreateFileA((dir + "\\" + name + ".png").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, png.data(), (DWORD)png.size(), &written, nullptr);
    CloseHandle(file);
    return ok && written == png.size();
}

// Runs show() here, a modal dialog, while drive(dialog) runs on a second
// thread once the dialog with the caption is on screen (with a null window
// when none came within nWaitMs). A dialog that drive leaves open is ended
// with OK and then Cancel, so that a failing test does not hang. Returns
// show()'s result.
inline INT_PTR RunDialog(const char* caption, const std::function<INT_PTR()>& show,
                         const std::function<void(HWND)>& drive, DWORD nWaitMs = 10000)
{
    std::thread driver([&] {
        HWND wnd = WaitForDialog(caption, nWaitMs);
        drive(wnd);
        if (wnd == nullptr)
            return;
        for (int id : {IDOK, IDCANCEL})
        {
            if (WaitGone(wnd, 3000))
                return;
            PostMessageA(wnd, WM_COMMAND, id, 0);
        }
        WaitGone(wnd, 3000);
    });
    INT_PTR result = show();
    driver.join();
    return result;
}
}  // namespace dialogs

#endif
