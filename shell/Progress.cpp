// The two callbacks of the run: progress reports and the language question.
#include "resources/resource.h"
#include "shell/Shell.h"

int ShowProgress(unsigned nKind, unsigned a, unsigned b)
{
    // No progress display yet: the run goes on without one.
    return 0;
}

void FormatQuestion(const char* pszFormat, const char* pszInstalledLanguage, const char* pszNewLanguage,
                    CString& text)
{
    // The format may come from the package, so it is never handed to printf:
    // a stray conversion there would read arguments that do not exist.
    const char* const apszArgs[2] = {pszInstalledLanguage, pszNewLanguage};
    int nArg = 0;
    text.Empty();
    for (const char* p = pszFormat; *p != '\0'; p++)
    {
        if (p[0] == '%' && p[1] == '%')
        {
            text += '%';
            p++;
        }
        else if (p[0] == '%' && p[1] == 's' && nArg < 2)
        {
            text += apszArgs[nArg++];
            p++;
        }
        else
            text += *p;
    }
}

int AskLanguage(const char* pszNewLanguage, const char* pszInstalledLanguage)
{
    if (g_bSilent)
        return 0;
    CString format;
    LoadText(TEXT_ARGS(IDS_QUESTION_LANGUAGE), format);
    FormatQuestion(format, pszInstalledLanguage, pszNewLanguage, g_strQuestion);
    CString caption;
    LoadText(TEXT_ARGS(IDS_QUESTION_CAPTION), caption);
    // For now a message box: Yes keeps the installed language.
    int nResult = MessageBoxA(nullptr, g_strQuestion, caption, MB_YESNO | MB_SETFOREGROUND);
    return nResult == IDYES ? 0 : 1;
}
