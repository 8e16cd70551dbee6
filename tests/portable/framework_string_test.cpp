// CString and the Windows-1252 conversions.
#include <gtest/gtest.h>

#include "framework/CodePage.h"
#include "framework/String.h"

TEST(CString, BuildsComparesAndSlices)
{
    CString s("Hello");
    s += ", ";
    s += CString("world");
    s += '!';
    EXPECT_EQ(s, "Hello, world!");
    EXPECT_EQ(s.GetLength(), 13);
    EXPECT_EQ(s.Left(5), "Hello");
    EXPECT_EQ(s.Mid(7, 5), "world");
    EXPECT_EQ(s.Mid(7), "world!");
    EXPECT_EQ(s.Right(6), "world!");
    EXPECT_EQ(s.Mid(20), "");
    EXPECT_EQ(s.Find('o'), 4);
    EXPECT_EQ(s.Find('o', 5), 8);
    EXPECT_EQ(s.Find("world"), 7);
    EXPECT_EQ(s.Find("word"), -1);
    EXPECT_EQ(s.ReverseFind('o'), 8);
    EXPECT_EQ(CString(nullptr), "");
    EXPECT_TRUE(CString().IsEmpty());
}

TEST(CString, KeepsEmbeddedZeroBytes)
{
    CString s("a\0b", 3);
    EXPECT_EQ(s.GetLength(), 3);
    CString t(s);
    EXPECT_EQ(t.GetLength(), 3);
    EXPECT_EQ(t[2], 'b');
}

TEST(CString, AppendsAndAssignsFromItself)
{
    CString s("abc");
    s += s;
    EXPECT_EQ(s, "abcabc");
    s = (const char*)s + 3;
    EXPECT_EQ(s, "abc");
    CString big('x', 1000);
    big += (const char*)big;
    EXPECT_EQ(big.GetLength(), 2000);
}

TEST(CString, ReplaceIsLeftToRightWithoutOverlap)
{
    struct Case
    {
        const char* text;
        const char* from;
        const char* to;
        const char* expected;
        int count;
    } cases[] = {
        {"aaaa", "aa", "b", "bb", 2},
        {"aaa", "aa", "x", "xa", 1},
        {"<A><A>", "<A>", "value", "valuevalue", 2},
        {"abc", "", "x", "abc", 0},
        {"abc", "d", "x", "abc", 0},
        {"abc", "b", "", "ac", 1},
        {"x", "x", "xx", "xx", 1},
    };
    for (const Case& c : cases)
    {
        CString s(c.text);
        EXPECT_EQ(s.Replace(c.from, c.to), c.count) << c.text;
        EXPECT_EQ(s, c.expected) << c.text;
    }
}

TEST(CString, TrimsWhiteSpace)
{
    CString s(" \t -s  \r\n");
    s.Trim();
    EXPECT_EQ(s, "-s");
    CString blank("   ");
    blank.Trim();
    EXPECT_TRUE(blank.IsEmpty());
}

TEST(CString, FormatsLikePrintf)
{
    CString s;
    s.Format("%s=%d (%05.1f) %%", "n", 42, 3.14159);
    EXPECT_EQ(s, "n=42 (003.1) %");
    CString longer;
    longer.Format("%s", std::string(5000, 'y').c_str());
    EXPECT_EQ(longer.GetLength(), 5000);
}

TEST(CString, GetBufferAndRelease)
{
    CString s;
    char* p = s.GetBuffer(10);
    ASSERT_NE(p, nullptr);
    snprintf(p, 11, "%s", "filled");
    s.ReleaseBuffer();
    EXPECT_EQ(s, "filled");
    s.GetBufferSetLength(3);
    EXPECT_EQ(s, "fil");
}

TEST(CString, CompareNoCaseFoldsWindows1252Letters)
{
    struct Case
    {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"SysDir", "sysdir", true},
        {"SYSDIR", "SysDir", true},
        {"\xC4rger", "\xE4RGER", true},          // Ä / ä
        {"\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF", true},  // Š Œ Ž Ÿ
        {"\xD7", "\xF7", false},                 // × and ÷ are no letters
        {"abc", "abd", false},
        {"abc", "ab", false},
        {"", "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CString(c.a).CompareNoCase(c.b) == 0, c.equal) << c.a << " / " << c.b;
    EXPECT_LT(CString("a").CompareNoCase("B"), 0);
}

TEST(CodePage, MapsTheHighRangeBothWays)
{
    for (int b = 0; b < 256; b++)
        EXPECT_EQ(UnicodeToAnsi(AnsiToUnicode((BYTE)b)), b) << b;
    EXPECT_EQ(AnsiToUnicode(0x80), 0x20ACu);
    EXPECT_EQ(UnicodeToAnsi(0x20AC), 0x80);
    EXPECT_EQ(UnicodeToAnsi(0x0100), -1);
    EXPECT_EQ(UnicodeToAnsi(0x4E2D), -1);
}

TEST(CodePage, Utf16ToAnsiStopsAtZeroAndMarksUnknown)
{
    const WORD text[] = {'A', 0x00E9, 0x20AC, 0x4E2D, 0xD83D, 0xDE00, 'z', 0, 'q'};
    EXPECT_EQ(AnsiFromUtf16(text, 9), "A\xE9\x80??z");
}

TEST(CodePage, Utf8RoundTripsAndRefusesWhatDoesNotFit)
{
    CString out;
    size_t bad = 99;
    ASSERT_TRUE(AnsiFromUtf8("Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC", 11, out, &bad));
    EXPECT_EQ(out, "Gr\xFC\xDF" "e \x80");
    EXPECT_EQ(Utf8FromAnsi(out), "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC");

    struct Case
    {
        const char* utf8;
        size_t badOffset;
    } refused[] = {
        {"ok \xE4\xB8\xAD", 3},  // a character Windows-1252 lacks
        {"\xC3", 0},             // cut short
        {"a\xC0\x80", 1},        // overlong
        {"\xFF", 0},
        {"ab\xED\xA0\x80", 2},   // a surrogate
    };
    for (const Case& c : refused)
    {
        EXPECT_FALSE(AnsiFromUtf8(c.utf8, strlen(c.utf8), out, &bad)) << c.utf8;
        EXPECT_EQ(bad, c.badOffset) << c.utf8;
    }
}
