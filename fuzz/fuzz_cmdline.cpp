// The scan of the installer's command line. The input, up to its first zero
// byte, is the command line. The scan is compared with a plain model that
// does what the options promise, one option after the other:
//   - each option is taken at the first place where the first of its forms
//     that occurs at all stands, also inside a longer word, once;
//   - what is taken is blanked, so a later option never finds a form that
//     overlaps one taken before;
//   - whatever is left, apart from white space, is text that is no option,
//     unless help was asked for;
//   - the usage text names the program after its last backslash and grows
//     with any length of path.
#include <stdlib.h>
#include <string.h>

#include <string>

#include "shell/CommandLine.h"

namespace
{
void Check(bool b)
{
    if (!b)
        abort();
}

bool TakeModel(std::string& line, const char* const* forms)
{
    for (; *forms != nullptr; forms++)
    {
        size_t at = line.find(*forms);
        if (at == std::string::npos)
            continue;
        line.replace(at, strlen(*forms), strlen(*forms), ' ');
        return true;
    }
    return false;
}

bool IsBlank(const std::string& s)
{
    return s.find_first_not_of(" \t\n\r\v\f") == std::string::npos;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string line((const char*)data, strnlen((const char*)data, size));

    CommandLineOptions options;
    ScanCommandLine(line.c_str(), options);

    std::string rest = line;
    bool bSilent = TakeModel(rest, g_aSilentForms);
    bool bActivate = TakeModel(rest, g_aActivateForms);
    bool bLanguage = TakeModel(rest, g_aLanguageForms);
    bool bHelp = TakeModel(rest, g_aHelpForms);
    bool bUsage = !bHelp && !IsBlank(rest);
    Check(options.bSilent == bSilent && options.bActivate == bActivate && options.bNewLanguage == bLanguage &&
          options.bHelp == bHelp && options.bUsage == bUsage);

    // The same bytes as a program path.
    CString text;
    UsageText(line.c_str(), text);
    size_t slash = line.rfind('\\');
    std::string name = slash == std::string::npos ? line : line.substr(slash + 1);
    std::string expected = "Usage: " + name + " [-s] [-a] [-o] [-h]\n";
    Check((size_t)text.GetLength() > expected.size() &&
          memcmp((const char*)text, expected.data(), expected.size()) == 0);
    return 0;
}
