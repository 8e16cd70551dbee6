// Runs a test tool under a debugger loop and collects what it sends to the
// debugger output (OutputDebugStringA), in order.
#ifndef TESTS_WIN_DEBUG_OUTPUT_H
#define TESTS_WIN_DEBUG_OUTPUT_H

#include <windows.h>

#include <string>
#include <vector>

namespace debug_output
{
// Starts BIN_DIR\<tool> with the arguments; each debug string without its
// closing zero bytes. *pExitCode (if given) gets the tool's exit code.
std::vector<std::string> DebugStringsOf(const std::string& tool, const std::string& arguments,
                                        DWORD* pExitCode = nullptr);
}  // namespace debug_output

#endif
