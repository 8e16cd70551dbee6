// What the debug log says when a registry key cannot be opened and when a
// value cannot be written, as a debugger of the installer sees it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "registry_support.h"
#include "saver_test_config.h"

using namespace registry_test;

namespace
{
// Runs registry_log_probe.exe under a debugger loop; its debug strings.
std::vector<std::string> DebugStringsOf(const std::string& arguments, DWORD* pExitCode)
{
    std::string cmd = std::string("\"") + SAVER_TEST_BIN_DIR + "\\registry_log_probe.exe\" " + arguments;
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    std::vector<std::string> strings;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si,
                        &pi))
    {
        ADD_FAILURE() << "cannot start " << cmd << ": " << GetLastError();
        return strings;
    }
    for (;;)
    {
        DEBUG_EVENT ev;
        if (!WaitForDebugEvent(&ev, 30000))
            break;
        DWORD status = DBG_CONTINUE;
        if (ev.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT)
        {
            const OUTPUT_DEBUG_STRING_INFO& info = ev.u.DebugString;
            std::string text(info.nDebugStringLength, '\0');
            SIZE_T read = 0;
            ReadProcessMemory(pi.hProcess, info.lpDebugStringData, &text[0], text.size(), &read);
            text.resize(read);
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            if (text != "\n")
                strings.push_back(text);
        }
        else if (ev.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
                 ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            status = DBG_EXCEPTION_NOT_HANDLED;
        else if (ev.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT)
            CloseHandle(ev.u.CreateProcessInfo.hFile);
        else if (ev.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT)
            CloseHandle(ev.u.LoadDll.hFile);
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
        if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            break;
    }
    GetExitCodeProcess(pi.hProcess, pExitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return strings;
}

// The part of a LogSystemError line behind the system's text and the tab.
std::vector<std::string> Callers(const std::vector<std::string>& lines)
{
    std::vector<std::string> out;
    for (const std::string& line : lines)
    {
        size_t tab = line.find('\t');
        out.push_back(tab == std::string::npos ? line : "\t" + line.substr(tab + 1));
    }
    return out;
}
}  // namespace

TEST(RegistryLog, AFailedOpenAndAFailedWriteAreLogged)
{
    ScratchKey key;
    DWORD exitCode = 99;
    std::vector<std::string> lines = DebugStringsOf("open \"" + key.Path("locked") + "\"", &exitCode);
    EXPECT_EQ(exitCode, 0u);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_GT(lines[1].find('\t'), 0u) << "the system's message comes first";
    // The German text in Windows-1252: 0xD6 is the O with two dots.
    EXPECT_EQ(Callers(lines), (std::vector<std::string>{
                                  "\tRegCreateKeyEx " + key.Path("locked"),
                                  "\tMRegistry::Open()",
                                  "Fehler 5 beim \xD6" "ffnen der Registry (" + key.Path("locked") + ")",
                              }));
    EXPECT_FALSE(KeyExistsHkcu(key.Path("locked")));

    lines = DebugStringsOf("write \"" + key.Path() + "\"", &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(Callers(lines), (std::vector<std::string>{"\tRegSetValueEx value", "\tInstRgistry::SetByteArray"}));
}
