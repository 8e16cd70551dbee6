// The installer's command line: the options in their forms, the scan that
// takes them out of the line, and the usage text. Needs nothing of Windows,
// so the scan is tested and fuzzed natively too.
#ifndef SHELL_COMMANDLINE_H
#define SHELL_COMMANDLINE_H

#include "framework/String.h"
#include "framework/WinTypes.h"

// The forms of each option, in search order; null-terminated lists.
extern const char* const g_aSilentForms[];
extern const char* const g_aActivateForms[];
extern const char* const g_aLanguageForms[];
extern const char* const g_aHelpForms[];

// Finds the first form of the list that occurs anywhere in the command line
// (also inside a longer word) and blanks that one occurrence. TRUE if found.
BOOL TakeOption(CString& strCommandLine, const char* const* ppszForms);

// What a command line asks for.
struct CommandLineOptions
{
    BYTE bSilent;       // -s: no window, the ErrorCode is the exit code
    BYTE bActivate;     // -a: make the saver the active one
    BYTE bNewLanguage;  // -l: replace another language without asking
    BYTE bHelp;         // -h or -?: show the usage and install nothing
    BYTE bUsage;        // text that is no option (and no -h): the usage, exit 38
};

// Takes the options out of the command line in the order silent, activate,
// language, help, one occurrence each; whatever is left but white space is
// text that is no option. bHelp and bUsage are never both set.
void ScanCommandLine(const char* pszCommandLine, CommandLineOptions& options);

// The usage text for the program path (its name is what follows the last
// backslash).
void UsageText(const char* pszProgramPath, CString& text);

#endif
