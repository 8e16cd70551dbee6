// The scan of the installer's command line, natively: which options a line
// asks for and when it is text that is no option.
#include <gtest/gtest.h>

#include "shell/CommandLine.h"

namespace
{
struct Case
{
    const char* line;
    BYTE silent, activate, language, help, usage;
};

TEST(CommandLineScan, TakesEachOptionOnceAndFindsWhatIsLeft)
{
    const Case cases[] = {
        {"", 0, 0, 0, 0, 0},
        {"  \t\r\n", 0, 0, 0, 0, 0},
        {"-s", 1, 0, 0, 0, 0},
        {"/S -A /l", 1, 1, 1, 0, 0},
        {"-s-a-l", 1, 1, 1, 0, 0},           // forms need no space between them
        {"-s -s", 1, 0, 0, 0, 1},            // one occurrence each: the second is left over
        {"-S -s", 1, 0, 0, 0, 1},            // "-s" is searched first, "-S" stays
        {"/silent", 1, 0, 0, 0, 1},          // found inside a word; "ilent" is left over
        {"-s foo /?", 1, 0, 0, 1, 0},        // help wins over left-over text
        {"-?", 0, 0, 0, 1, 0},
        {"-H", 0, 0, 0, 1, 0},
        {"install", 0, 0, 0, 0, 1},
        {"-x", 0, 0, 0, 0, 1},
        {"--s", 1, 0, 0, 0, 1},              // the first '-' is left over
        {"-", 0, 0, 0, 0, 1},
    };
    for (const Case& c : cases)
    {
        CommandLineOptions o;
        ScanCommandLine(c.line, o);
        EXPECT_EQ(c.silent, o.bSilent) << '"' << c.line << '"';
        EXPECT_EQ(c.activate, o.bActivate) << '"' << c.line << '"';
        EXPECT_EQ(c.language, o.bNewLanguage) << '"' << c.line << '"';
        EXPECT_EQ(c.help, o.bHelp) << '"' << c.line << '"';
        EXPECT_EQ(c.usage, o.bUsage) << '"' << c.line << '"';
    }
}

TEST(CommandLineScan, UsageNamesTheProgramAfterItsLastBackslashWhateverItsLength)
{
    CString text;
    UsageText("C:\\a\\b\\setup.exe", text);
    EXPECT_STREQ("Usage: setup.exe [-s] [-a] [-o] [-h]\n"
                 "       -s  silent install\n"
                 "       -a  use as active saver\n"
                 "       -l  if necessary use new language for the player\n"
                 "       -h  this message\n",
                 (const char*)text);
    std::string longName(5000, 'n');
    UsageText(("C:\\dir\\" + longName).c_str(), text);
    EXPECT_EQ(0, std::string((const char*)text).find("Usage: " + longName + " [-s]"));
}
}  // namespace
