// Command-line options and the usage message.
#include "shell/Shell.h"

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

void ShowUsage(const char* pszProgramPath)
{
    CString text;
    UsageText(pszProgramPath, text);
    MessageBoxA(nullptr, text, "Usage", MB_OK);
}
