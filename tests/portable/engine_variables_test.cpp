// Script variables: look-up, adding, and the expansion of references.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "objects/InstObjDefine.h"
#include "script/Installer.h"

namespace
{
const int kMaxExpanded = 1039;

// A define as the package brings it: straight onto the list, not validated.
void PackageDefine(CInstaller& script, const std::string& name, const std::string& value)
{
    CInstObjDefine* define = new CInstObjDefine;
    define->m_strName = CString(name.data(), (int)name.size());
    define->m_strValue = CString(value.data(), (int)value.size());
    script.m_DefineList.AddTail(define);
}

std::string Str(const CString& s)
{
    return std::string((const char*)s, (size_t)s.GetLength());
}

struct Expanded
{
    int code;
    std::string text;
};

Expanded Expand(CInstaller& script, const std::string& text)
{
    CString s(text.data(), (int)text.size());
    int code = script.ExpandString(s);
    return {code, Str(s)};
}

Expanded Expand(CInstaller& script, const std::string& text, int maxLength)
{
    CString s(text.data(), (int)text.size());
    int code = script.ExpandString(s, maxLength);
    return {code, Str(s)};
}

std::string Repeat(const std::string& s, int n)
{
    std::string r;
    r.reserve(s.size() * (size_t)n);
    for (int i = 0; i < n; i++)
        r += s;
    return r;
}

// The expansion as plainly as it can be written: each reference in turn
// replaces every occurrence of its text in the working copy. The same limit:
// a result of at most 1039 characters (the texts here are too short for the
// bound on the work).
Expanded Model(const std::vector<std::pair<std::string, std::string>>& defines, const std::string& text)
{
    auto lower = [](std::string s) {
        for (char& c : s)
            c = (char)tolower((unsigned char)c);
        return s;
    };
    std::string working = text, name;
    bool inside = false, any = false;
    for (char c : text)
    {
        if (c == '<')
        {
            if (inside)
                return {ERR_BAD_REFERENCE, text};
            inside = true;
            name.clear();
        }
        else if (c == '>')
        {
            if (!inside)
                return {ERR_BAD_REFERENCE, text};
            inside = false;
            const std::string* value = nullptr;
            for (auto& d : defines)
                if (lower(d.first) == lower(name))
                {
                    value = &d.second;
                    break;
                }
            if (value == nullptr)
                return {ERR_UNDEFINED_VARIABLE, text};
            any = true;
            std::string ref = "<" + name + ">", out;
            size_t from = 0;
            for (size_t i = working.find(ref); i != std::string::npos; i = working.find(ref, i + ref.size()))
            {
                out += working.substr(from, i - from) + *value;
                from = i + ref.size();
            }
            working = out + working.substr(from);
        }
        else if (inside)
            name += c;
    }
    if (any && working.size() > (size_t)kMaxExpanded)
        return {ERR_TOO_LONG, text};
    return {ERR_OK, working};
}
}  // namespace

TEST(Variables, ExpandStringTable)
{
    CInstaller script;
    PackageDefine(script, "WinDir", "C:\\WINDOWS");
    PackageDefine(script, "App", "Saver");
    PackageDefine(script, "Chain", "<App>-x");
    PackageDefine(script, "Empty", "");
    PackageDefine(script, "TmpDir", "D:\\Pkg");
    PackageDefine(script, "Left", "x<B");
    PackageDefine(script, "Right", ">y");
    PackageDefine(script, "B", "b");
    PackageDefine(script, "Nul", std::string("a\0b", 3));
    // System variables come after the package's.
    ASSERT_EQ(script.AddVariable("TmpDir", "C:\\Temp"), ERR_OK);
    ASSERT_EQ(script.AddVariable("SysDir", "C:\\WINDOWS\\SYSTEM"), ERR_OK);

    const struct
    {
        const char* what;
        std::string text;
        int code;
        std::string result;  // for failures: the text itself
    } cases[] = {
        {"no brackets", "C:\\plain\\path.txt", ERR_OK, "C:\\plain\\path.txt"},
        {"empty text", "", ERR_OK, ""},
        {"other letter case, replaced as written", "<windir>\\x;<WINDIR>", ERR_OK, "C:\\WINDOWS\\x;C:\\WINDOWS"},
        {"system variable", "<SysDir>\\saver.scr", ERR_OK, "C:\\WINDOWS\\SYSTEM\\saver.scr"},
        {"package variable hides the system one", "<TmpDir>", ERR_OK, "D:\\Pkg"},
        {"empty value", "[<Empty>]", ERR_OK, "[]"},
        {"value with a zero byte", "<Nul>!", ERR_OK, std::string("a\0b!", 4)},
        {"> outside a reference", "a>b", ERR_BAD_REFERENCE, "a>b"},
        {"> after a good reference", "<App>>", ERR_BAD_REFERENCE, "<App>>"},
        {"< inside a reference", "<Win<Dir>", ERR_BAD_REFERENCE, "<Win<Dir>"},
        {"unknown name", "<WinDir>\\<Nope>", ERR_UNDEFINED_VARIABLE, "<WinDir>\\<Nope>"},
        {"empty name", "<>", ERR_UNDEFINED_VARIABLE, "<>"},
        {"name with a zero byte", std::string("<App\0x>", 7), ERR_UNDEFINED_VARIABLE, std::string("<App\0x>", 7)},
        {"first error wins", "<Nope>>", ERR_UNDEFINED_VARIABLE, "<Nope>>"},
        {"unclosed reference at the end", "x\\<WinDir", ERR_OK, "x\\<WinDir"},
        {"unclosed after a reference", "<App>\\<WinDir", ERR_OK, "Saver\\<WinDir"},
        {"value holds the text of a later reference", "<Chain>/<App>", ERR_OK, "Saver-x/Saver"},
        {"one level deep", "<Chain>", ERR_OK, "<App>-x"},
        {"repeated references", "<App><App>.<App>", ERR_OK, "SaverSaver.Saver"},
        {"repeat finds text a later value brought", "<App><Chain><App>", ERR_OK, "SaverSaver-xSaver"},
        {"values join into a later reference", "<Left><Right><B>", ERR_OK, "xbyb"},
    };
    for (const auto& c : cases)
    {
        Expanded e = Expand(script, c.text);
        EXPECT_EQ(e.code, c.code) << c.what;
        EXPECT_EQ(e.text, c.result) << c.what;
    }
}

TEST(Variables, EmptyNameOnlyFromThePackage)
{
    CInstaller script;
    EXPECT_EQ(script.AddVariable("", "x"), ERR_EMPTY_NAME);
    EXPECT_EQ(script.m_DefineList.GetCount(), 0);
    EXPECT_EQ(Expand(script, "<>").code, ERR_UNDEFINED_VARIABLE);

    PackageDefine(script, "", "nothing");
    Expanded e = Expand(script, "[<>]");
    EXPECT_EQ(e.code, ERR_OK);
    EXPECT_EQ(e.text, "[nothing]");
    // Executing it is no validation.
    EXPECT_EQ(((CInstObj*)script.m_DefineList.GetHead())->Execute(&script), ERR_OK);
}

TEST(Variables, LookupFindsTheFirstNameInAnyCase)
{
    CInstaller script;
    PackageDefine(script, "SysDir", "first");
    PackageDefine(script, "SYSDIR", "second");
    PackageDefine(script, "\xC4rger", "umlaut");  // Windows-1252 capital A umlaut
    CString value("untouched");
    for (const char* name : {"SysDir", "sysdir", "sYsDiR"})
    {
        EXPECT_TRUE(script.LookupVariable(name, value)) << name;
        EXPECT_EQ(Str(value), "first") << name;
    }
    EXPECT_TRUE(script.LookupVariable("\xE4rger", value));
    EXPECT_EQ(Str(value), "umlaut");
    value = "untouched";
    EXPECT_FALSE(script.LookupVariable("SysDi", value));
    EXPECT_FALSE(script.LookupVariable(CString("SysDir\0x", 8), value));
    EXPECT_EQ(Str(value), "untouched");
}

// The length limit: a text with references may expand to 1039 characters,
// the longest registry key path; texts without references are left alone.
TEST(Variables, LongTexts)
{
    CInstaller script;
    PackageDefine(script, "A", "a");
    PackageDefine(script, "Long", std::string(1000, 'L'));
    PackageDefine(script, "E", "");
    PackageDefine(script, "Lt", "<");

    std::string fits = "<Long>" + std::string(kMaxExpanded - 1000, 'x');
    Expanded e = Expand(script, fits);
    EXPECT_EQ(e.code, ERR_OK);
    EXPECT_EQ(e.text.size(), (size_t)kMaxExpanded);

    std::string over = fits + "y";
    e = Expand(script, over);
    EXPECT_EQ(e.code, ERR_TOO_LONG);
    EXPECT_EQ(e.text, over);

    std::string plain(100000, 'p');
    e = Expand(script, plain);
    EXPECT_EQ(e.code, ERR_OK);
    EXPECT_EQ(e.text, plain);

    // Longer than the limit before, short after.
    e = Expand(script, Repeat("<E>", 10000) + "<A>");
    EXPECT_EQ(e.code, ERR_OK);
    EXPECT_EQ(e.text, "a");
    // The same through the working copy, since a value holds a "<".
    e = Expand(script, "<Lt>" + Repeat("<E>", 10000));
    EXPECT_EQ(e.code, ERR_OK);
    EXPECT_EQ(e.text, "<");

    // A text still open at its end is no reference: nothing is expanded.
    std::string open = std::string(5000, 'o') + "<A";
    e = Expand(script, open);
    EXPECT_EQ(e.code, ERR_OK);
    EXPECT_EQ(e.text, open);
}

// Only the result is held to the limit, whatever the text goes through on
// the way; the limit is the caller's, and none for the text data of registry
// values.
TEST(Variables, TheLimitAppliesToTheResult)
{
    CInstaller script;
    PackageDefine(script, "A", Repeat("<B>", 400));
    PackageDefine(script, "B", "");
    PackageDefine(script, "Long", std::string(1000, 'L'));
    PackageDefine(script, "Big", std::string(600 * 1024, 'G'));
    PackageDefine(script, "Twice", "<Long><Long>");
    PackageDefine(script, "Ping", "<Pong>");
    PackageDefine(script, "Pong", "<Ping>");
    const int none = CInstaller::kExpandUnlimited;
    const int key = CInstaller::kMaxExpandedLength;

    const struct
    {
        const char* what;
        std::string text;
        int limit;
        int code;
        size_t length;  // of the result
    } cases[] = {
        {"1,200 characters on the way, 2 at the end", "x<A><B>y", key, ERR_OK, 2},
        {"the same without a limit", "x<A><B>y", none, ERR_OK, 2},
        {"long value data", "<Long>;<Long>", none, ERR_OK, 2001},
        {"the same as a key path", "<Long>;<Long>", key, ERR_TOO_LONG, 0},
        {"a value that brings references, no limit", "<Twice><Long>", none, ERR_OK, 3000},
        {"the same as a key path", "<Twice><Long>", key, ERR_TOO_LONG, 0},
        {"a path limit, at it", std::string(259, 'p') + "<B>", 259, ERR_OK, 259},
        {"a path limit, one beyond", std::string(260, 'p') + "<B>", 259, ERR_TOO_LONG, 0},
        {"a limit of 0", "<B>", 0, ERR_OK, 0},
        {"a limit of 0, one character", "<B>x", 0, ERR_TOO_LONG, 0},
        {"no limit still has a bound", "<Big><Big>", none, ERR_TOO_LONG, 0},
        {"no limit, values refer to each other", Repeat("<Ping><Pong>", 5000), none, ERR_TOO_LONG, 0},
    };
    for (const auto& c : cases)
    {
        Expanded e = Expand(script, c.text, c.limit);
        EXPECT_EQ(e.code, c.code) << c.what;
        if (c.code == ERR_OK)
            EXPECT_EQ(e.text.size(), c.length) << c.what;
        else
            EXPECT_EQ(e.text, c.text) << c.what;
    }
    EXPECT_EQ(Expand(script, "x<A><B>y", key).text, "xy");
}

// Many references with long values are refused, also when values refer to
// each other and would multiply the text with every step (bench/expand_bench
// times them).
TEST(Variables, ManyReferencesStayFast)
{
    CInstaller script;
    PackageDefine(script, "Long", std::string(1000, 'L'));
    PackageDefine(script, "Ping", "<Pong>");
    PackageDefine(script, "Pong", "<Ping>");
    std::string chain;
    for (char c = 'a'; c <= 'z'; c++)
    {
        PackageDefine(script, std::string(1, c), c == 'z' ? "z" : Repeat(std::string("<") + (char)(c + 1) + ">", 2));
        chain += std::string("<") + c + ">";
    }
    const struct
    {
        const char* what;
        std::string text;
        int code;
    } cases[] = {
        {"10,000 long values", Repeat("<Long>", 10000), ERR_TOO_LONG},
        {"10,000 references that keep trading places", Repeat("<Ping><Pong>", 5000), ERR_TOO_LONG},
        {"values that double the text with every step", chain, ERR_TOO_LONG},
    };
    for (const auto& c : cases)
    {
        Expanded e = Expand(script, c.text);
        EXPECT_EQ(e.code, c.code) << c.what;
        EXPECT_EQ(e.text, c.text) << c.what;
    }
}

// The quick paths against the plain step-by-step replacement, on texts and
// values made of little else than brackets and a few names.
TEST(Variables, ExpansionMatchesThePlainAlgorithm)
{
    std::mt19937 random(4711);
    const char alphabet[] = {'<', '>', 'a', 'B', 'b', 'x', '\\'};
    auto randomText = [&](int maxLength, int bracketsPercent) {
        std::string s;
        int n = (int)(random() % (unsigned)(maxLength + 1));
        for (int i = 0; i < n; i++)
        {
            if ((int)(random() % 100) < bracketsPercent)
                s += alphabet[random() % 2];
            else
                s += alphabet[2 + random() % 5];
        }
        return s;
    };
    int nExpanded = 0;
    for (int round = 0; round < 20000; round++)
    {
        std::vector<std::pair<std::string, std::string>> defines;
        CInstaller script;
        int nDefines = (int)(random() % 5);
        for (int i = 0; i < nDefines; i++)
        {
            std::string name = randomText(2, 0);
            std::string value = randomText(8, round % 2 == 0 ? 0 : 40);
            defines.push_back({name, value});
            PackageDefine(script, name, value);
        }
        // Texts that are mostly well formed, so that many of them expand.
        std::string text;
        int nPieces = (int)(random() % 6);
        for (int i = 0; i < nPieces; i++)
        {
            if (random() % 3 != 0 && !defines.empty())
            {
                std::string name = defines[random() % defines.size()].first;
                if (random() % 2)
                    for (char& c : name)
                        c = (char)toupper((unsigned char)c);
                text += "<" + name + ">";
            }
            else
                text += randomText(3, 20);
        }
        Expanded expected = Model(defines, text);
        Expanded actual = Expand(script, text);
        ASSERT_EQ(actual.code, expected.code) << "text " << text << " round " << round;
        ASSERT_EQ(actual.text, expected.text) << "text " << text << " round " << round;
        if (expected.code == ERR_OK && expected.text != text)
            nExpanded++;
    }
    EXPECT_GT(nExpanded, 5000);
}
