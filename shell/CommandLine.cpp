// Command-line options and the usage text.
#include "shell/CommandLine.h"

const char* const g_aSilentForms[] = {"-s", "-S", "/s", "/S", nullptr};
const char* const g_aActivateForms[] = {"-a", "-A", "/a", "/A", nullptr};
const char* const g_aLanguageForms[] = {"-l", "-L", "/l", "/L", nullptr};
const char* const g_aHelpForms[] = {"-h", "-H", "/h", "/H", "-?", "/?", nullptr};

BOOL TakeOption(CString& strCommandLine, const char* const* ppszForms)
{
    // Every form starts with '-' or '/', which no multibyte code page uses
    // as a trail byte, so a byte search finds exactly the characters.
    for (; *ppszForms != nullptr; ppszForms++)
    {
        int nAt = strCommandLine.Find(*ppszForms);
        if (nAt < 0)
            continue;
        for (const char* p = *ppszForms; *p != '\0'; p++, nAt++)
            strCommandLine.SetAt(nAt, ' ');
        return TRUE;
    }
    return FALSE;
}

void ScanCommandLine(const char* pszCommandLine, CommandLineOptions& options)
{
    CString strLine(pszCommandLine);
    options.bSilent = (BYTE)TakeOption(strLine, g_aSilentForms);
    options.bActivate = (BYTE)TakeOption(strLine, g_aActivateForms);
    options.bNewLanguage = (BYTE)TakeOption(strLine, g_aLanguageForms);
    options.bHelp = (BYTE)TakeOption(strLine, g_aHelpForms);
    options.bUsage = FALSE;
    if (!options.bHelp)
    {
        strLine.Trim();
        options.bUsage = (BYTE)!strLine.IsEmpty();
    }
}

void UsageText(const char* pszProgramPath, CString& text)
{
    const char* pszName = pszProgramPath;
    for (const char* p = pszProgramPath; *p != '\0'; p++)
        if (*p == '\\')
            pszName = p + 1;
    // The format line names -l as "[-o]"; the text stays as it has always read.
    text = "Usage: ";
    text += pszName;
    text += " [-s] [-a] [-o] [-h]\n"
            "       -s  silent install\n"
            "       -a  use as active saver\n"
            "       -l  if necessary use new language for the player\n"
            "       -h  this message\n";
}
