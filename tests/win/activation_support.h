// What activation leaves behind, as the tests read it back.
#ifndef TESTS_WIN_ACTIVATION_SUPPORT_H
#define TESTS_WIN_ACTIVATION_SUPPORT_H

#include <windows.h>

#include <string>

namespace activation_test
{
// The saver named in system.ini, section "boot".
inline std::string IniSaver()
{
    char buf[1024] = "";
    GetPrivateProfileStringA("boot", "SCRNSAVE.EXE", "", buf, sizeof buf, "system.ini");
    return buf;
}

// The 8.3 form of an existing path; the path itself when it has none.
inline std::string ShortPath(const std::string& path)
{
    char buf[MAX_PATH] = "";
    DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf) : path;
}
}  // namespace activation_test

#endif
