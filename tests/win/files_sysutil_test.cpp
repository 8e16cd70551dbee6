// The file-system utilities and the debug log, on real files under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "debug_output.h"
#include "files_support.h"
#include "saver_test_config.h"
#include "sysutil/FileSystem.h"
#include "sysutil/FileVersion.h"
#include "sysutil/Log.h"

using namespace files_test;

TEST(FilesPaths, JoinRefusesWhatDoesNotFit)
{
    CString out("untouched");
    EXPECT_TRUE(JoinPath(out, "C:\\dir", "name"));
    EXPECT_STREQ(out, "C:\\dir\\name");
    EXPECT_TRUE(JoinPath(out, "C:\\dir\\", "name"));
    EXPECT_STREQ(out, "C:\\dir\\name");

    // 259 characters fit (with the terminating zero, 260); 260 do not.
    std::string dir = "C:\\" + Repeat('d', 250);  // 253 characters
    EXPECT_TRUE(JoinPath(out, dir.c_str(), "12345"));
    EXPECT_EQ(out.GetLength(), 259);
    out = "untouched";
    EXPECT_FALSE(JoinPath(out, dir.c_str(), "123456"));
    EXPECT_STREQ(out, "untouched");
}

TEST(FilesPaths, ComponentsOfAPath)
{
    struct Case
    {
        const char* path;
        std::vector<std::string> components;
    } const cases[] = {
        {"C:\\A\\B\\C", {"C:\\A\\", "C:\\A\\B\\", "C:\\A\\B\\C"}},
        {"C:\\A\\B\\", {"C:\\A\\", "C:\\A\\B\\"}},
        {"C:\\", {"C:\\"}},
        {"rel\\dir", {"rel\\", "rel\\dir"}},
        {"", {}},
    };
    for (const Case& c : cases)
    {
        std::vector<std::string> got;
        for (int n = 0; (n = NextPathComponent(c.path, n)) > 0;)
            got.push_back(std::string(c.path, n));
        EXPECT_EQ(got, c.components) << c.path;
    }
}

TEST(FilesPaths, ExistenceTests)
{
    ScratchDir dir;
    std::string file = dir / "f.txt";
    ASSERT_TRUE(MakeFile(file, "x"));
    EXPECT_TRUE(FileExists(file.c_str()));
    EXPECT_FALSE(IsDirectory(file.c_str()));
    EXPECT_FALSE(FileExists(dir.Path().c_str())) << "a directory counts as absent";
    EXPECT_TRUE(IsDirectory(dir.Path().c_str()));
    EXPECT_FALSE(FileExists((dir / "missing").c_str()));
    EXPECT_FALSE(IsDirectory((dir / "missing").c_str()));
}

TEST(FilesPaths, CreatePathMakesEveryMissingDirectory)
{
    ScratchDir dir;
    std::string deep = dir / "a\\b\\c";
    EXPECT_TRUE(CreatePath(deep.c_str()));
    EXPECT_TRUE(IsDirectory(deep.c_str()));
    EXPECT_TRUE(CreatePath(deep.c_str())) << "an existing path is fine";

    ASSERT_TRUE(MakeFile(dir / "file", "x"));
    EXPECT_FALSE(CreatePath((dir / "file\\sub").c_str()));
    EXPECT_FALSE(Exists(dir / "file\\sub"));
}

TEST(FilesTree, CopyKeepsFilesTheTargetHasAndCopiesTheRest)
{
    ScratchDir dir;
    std::string src = dir / "src", dst = dir / "dst";
    ASSERT_TRUE(MakeDir(src) && MakeDir(src + "\\sub") && MakeDir(dst));
    ASSERT_TRUE(MakeFile(src + "\\a.txt", "new a") && MakeFile(src + "\\b.txt", "new b") &&
                MakeFile(src + "\\sub\\c.txt", "new c", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(MakeFile(dst + "\\a.txt", "old a"));

    EXPECT_EQ(CopyTree(src.c_str(), dst.c_str()), 0);
    EXPECT_EQ(ReadText(dst + "\\a.txt"), "old a");
    EXPECT_EQ(ReadText(dst + "\\b.txt"), "new b");
    EXPECT_EQ(ReadText(dst + "\\sub\\c.txt"), "new c");
    EXPECT_TRUE(Attributes(dst + "\\sub\\c.txt") & FILE_ATTRIBUTE_HIDDEN);

    // A target path that cannot be made gives 3, a missing source 8.
    EXPECT_EQ(CopyTree(src.c_str(), (dir / "bad|name").c_str()), 3);
    EXPECT_EQ(CopyTree((dir / "missing").c_str(), (dir / "t2").c_str()), 8);
}

TEST(FilesTree, DeleteTreeCases)
{
    ScratchDir dir;
    std::string base = dir / "Apps";
    auto build = [&] {
        MakeDir(base);
        MakeDir(base + "\\Vendor");
        MakeDir(base + "\\Vendor\\Tool");
        MakeDir(base + "\\Vendor\\Tool\\sub");
        MakeFile(base + "\\Vendor\\Tool\\t.txt", "t");
        MakeFile(base + "\\Vendor\\Tool\\sub\\s.txt", "s");
    };

    build();
    EXPECT_TRUE(DeleteTree(base.c_str(), "Vendor\\Tool", FALSE, TRUE));
    EXPECT_FALSE(Exists(base + "\\Vendor")) << "the empty parent goes too";
    EXPECT_TRUE(IsDirectory(base.c_str())) << "the base stays";

    // A parent that still holds something stays.
    build();
    MakeFile(base + "\\Vendor\\other.txt", "o");
    EXPECT_TRUE(DeleteTree(base.c_str(), "Vendor\\Tool", FALSE, TRUE));
    EXPECT_FALSE(Exists(base + "\\Vendor\\Tool"));
    EXPECT_TRUE(Exists(base + "\\Vendor\\other.txt"));
    DeleteFileA((base + "\\Vendor\\other.txt").c_str());
    RemoveDirectoryA((base + "\\Vendor").c_str());

    // With the strip flag the last name is a file name: its folder goes.
    build();
    EXPECT_TRUE(DeleteTree(base.c_str(), "Vendor\\Tool\\t.txt", TRUE, TRUE));
    EXPECT_FALSE(Exists(base + "\\Vendor"));

    // A path that would not fit deletes nothing.
    build();
    std::string longName = Repeat('x', MAX_PATH - base.size() - 2);
    EXPECT_FALSE(DeleteTree(base.c_str(), longName.c_str(), FALSE, TRUE));
    EXPECT_FALSE(DeleteTree((base + "\\Vendor").c_str(), (Repeat('y', MAX_PATH)).c_str(), TRUE, TRUE));
    EXPECT_TRUE(Exists(base + "\\Vendor\\Tool\\t.txt"));

    // A missing path is no failure; an empty relative path takes the base.
    EXPECT_TRUE(DeleteTree((dir / "missing").c_str(), "", FALSE, TRUE));
    EXPECT_TRUE(DeleteTree(base.c_str(), "", FALSE, TRUE));
    EXPECT_FALSE(Exists(base));

    // Read-only files stay unless forced.
    build();
    SetFileAttributesA((base + "\\Vendor\\Tool\\t.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteTree(base.c_str(), "", FALSE, TRUE));
    EXPECT_TRUE(Exists(base + "\\Vendor\\Tool\\t.txt"));
    EXPECT_TRUE(DeleteTree(base.c_str(), "", FALSE, TRUE, TRUE));
    EXPECT_FALSE(Exists(base));
}

TEST(FilesTree, PathsOfATreeMustFitWhereTheyGo)
{
    ScratchDir dir;
    std::string src = dir / "s";
    ASSERT_TRUE(MakeDir(src) && MakeDir(src + "\\sub"));
    std::string name = Repeat('n', 60);
    ASSERT_TRUE(MakeFile(src + "\\sub\\" + name, "x"));
    EXPECT_TRUE(TreePathsFit(src.c_str(), nullptr));
    EXPECT_TRUE(TreePathsFit(src.c_str(), (dir / "t").c_str()));
    // The file would land at other\sub\name: too long by one.
    std::string other = "C:\\" + Repeat('o', MAX_PATH - 3 - 5 - (int)name.size());
    EXPECT_EQ((other + "\\sub\\" + name).size(), (size_t)MAX_PATH);
    EXPECT_FALSE(TreePathsFit(src.c_str(), other.c_str()));
    other.pop_back();
    EXPECT_TRUE(TreePathsFit(src.c_str(), other.c_str()));
}

class FilesVersion : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HaveGlimmer())
            GTEST_SKIP() << "the sample saver is not built (" << GlimmerPath(false) << ")";
    }
    std::string Copy(const std::string& name, WORD a, WORD b, WORD c, WORD d, WORD lang = 0, bool noTable = false)
    {
        std::string path = m_dir / name;
        EXPECT_TRUE(MakeVersionedCopy(GlimmerPath(false), path, a, b, c, d, lang, noTable)) << name;
        return path;
    }
    ScratchDir m_dir;
};

TEST_F(FilesVersion, CompareFileVersionsTable)
{
    std::string en = GlimmerPath(false), de = GlimmerPath(true);
    std::string v1_10 = Copy("v1_10.scr", 1, 10, 0, 0);
    std::string v1_2_0_1 = Copy("v1_2_0_1.scr", 1, 2, 0, 1);
    std::string v0_9 = Copy("v0_9.scr", 0, 9, 9, 9);
    std::string plain = m_dir / "plain.txt";
    ASSERT_TRUE(MakeFile(plain, "no version here"));
    struct Case
    {
        std::string first, second;
        int expected;
    } const cases[] = {
        {en, de, 0},            // same version, other language
        {en, v1_10, -1},        // each half is a number: 2 < 10
        {v1_10, en, 1},
        {en, v1_2_0_1, -1},     // the low half decides when the high is equal
        {v1_2_0_1, en, 1},
        {v0_9, en, -1},
        {en, plain, -2},        // no version resource on either side gives -2
        {plain, en, -2},
        {en, m_dir / "missing.scr", -2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompareFileVersions(c.first.c_str(), c.second.c_str()), c.expected) << c.first << " vs "
                                                                                      << c.second;
}

TEST_F(FilesVersion, CompareFileLanguagesNamesBothLanguages)
{
    char first[256] = "", second[256] = "";
    EXPECT_EQ(CompareFileLanguages(GlimmerPath(false).c_str(), GlimmerPath(true).c_str(), first, second, 255), 1);
    EXPECT_STREQ(first, "English (United States)");
    EXPECT_STREQ(second, "German (Germany)");

    EXPECT_EQ(CompareFileLanguages(GlimmerPath(true).c_str(), GlimmerPath(true).c_str(), first, second, 255), 0);
    EXPECT_STREQ(first, "German (Germany)");

    std::string french = Copy("fr.scr", 1, 2, 0, 0, 0x040C);
    EXPECT_EQ(CompareFileLanguages(french.c_str(), GlimmerPath(false).c_str(), first, second, 255), 1);
    EXPECT_STREQ(first, "French (France)");

    // Without a translation table nothing can be compared; the buffers stay.
    std::string none = Copy("none.scr", 1, 2, 0, 0, 0, true);
    strcpy(first, "kept");
    strcpy(second, "kept too");
    EXPECT_EQ(CompareFileLanguages(none.c_str(), GlimmerPath(false).c_str(), first, second, 255), -2);
    EXPECT_EQ(CompareFileLanguages(GlimmerPath(false).c_str(), none.c_str(), first, second, 255), -2);
    EXPECT_STREQ(first, "kept");
    EXPECT_STREQ(second, "kept too");
}

namespace
{
// What files_log_probe.exe sends to the debugger output.
std::vector<std::string> DebugStringsOf(const std::string& arguments)
{
    return debug_output::DebugStringsOf("files_log_probe.exe", arguments);
}

const char kLogFile[] = "c:\\instdbg.txt";
}  // namespace

TEST(FilesLog, WithoutTheSwitchOnlyTheDebuggerHearsIt)
{
    std::vector<std::string> strings = DebugStringsOf("off \"100% sure %s %d, off\"");
    EXPECT_EQ(strings, (std::vector<std::string>{"100% sure %s %d, off", "\n"}));
    // (The other log test may have the file at this moment, never this line.)
    EXPECT_EQ(ReadText(kLogFile).find("sure %s %d, off"), std::string::npos);
}

TEST(FilesLog, WithTheSwitchTheFileGetsEachLineVerbatim)
{
    DeleteFileA(kLogFile);
    LogToFile = 1;
    WriteLog("first 50% %s");
    WriteLog("second");
    SetLastError(ERROR_FILE_NOT_FOUND);
    LogSystemError("opening the key");
    LogToFile = 0;
    WriteLog("not in the file");

    std::string text = ReadText(kLogFile);
    DeleteFileA(kLogFile);
    // A text-mode log: lines end in CR LF.
    ASSERT_EQ(text.compare(0, 22, "first 50% %s\r\nsecond\r\n"), 0) << text;
    std::string last = text.substr(22);
    // The system's text for the error, a tab, the caller's text.
    size_t tab = last.find('\t');
    ASSERT_NE(tab, std::string::npos) << last;
    EXPECT_GT(tab, 0u) << "the system's message comes first";
    EXPECT_EQ(last.substr(tab), "\topening the key\r\n");
    EXPECT_EQ(text.find("not in the file"), std::string::npos);
}
