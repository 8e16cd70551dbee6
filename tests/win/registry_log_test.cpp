// What the debug log says when a registry key cannot be opened and when a
// value cannot be written, as a debugger of the installer sees it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "debug_output.h"
#include "registry_support.h"
#include "saver_test_config.h"

using namespace registry_test;

namespace
{
// What registry_log_probe.exe sends to the debugger output, without the
// bare line breaks the log writes after each line.
std::vector<std::string> DebugStringsOf(const std::string& arguments, DWORD* pExitCode)
{
    std::vector<std::string> strings;
    for (const std::string& text : debug_output::DebugStringsOf("registry_log_probe.exe", arguments, pExitCode))
        if (text != "\n")
            strings.push_back(text);
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
