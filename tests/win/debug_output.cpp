// A debugger loop that reads a tool's debug output.
#include "debug_output.h"

#include <gtest/gtest.h>

#include "saver_test_config.h"

namespace debug_output
{
std::vector<std::string> DebugStringsOf(const std::string& tool, const std::string& arguments, DWORD* pExitCode)
{
    std::string cmd = std::string("\"") + SAVER_TEST_BIN_DIR + "\\" + tool + "\" " + arguments;
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
    if (pExitCode != nullptr)
        GetExitCodeProcess(pi.hProcess, pExitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return strings;
}
}  // namespace debug_output
