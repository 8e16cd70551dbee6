// The directory object on real folders: every mode, the overwrite rule, the
// undo records it makes and what running them puts back.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "files_support.h"
#include "sysutil/FileSystem.h"

using namespace files_test;

namespace
{
// A scratch folder and an installer that owns every step executed through it.
class FilesDir : public ::testing::Test
{
protected:
    void SetUp() override { QuestionLog::Reset(0); }

    int Execute(CInstObj* p) { return Execute(m_installer, p); }
    static int Execute(CInstaller& installer, CInstObj* p)
    {
        installer.m_FileList.AddTail(p);
        return p->Execute(&installer);
    }
    std::string P(const std::string& rel) const { return m_dir / rel; }
    // The undo list with the scratch folder written as "~".
    std::vector<std::string> Undo(const CInstaller& installer) const
    {
        std::vector<std::string> out;
        for (std::string s : UndoSummary(installer))
        {
            for (size_t at; (at = s.find(m_dir.Path())) != std::string::npos;)
                s.replace(at, m_dir.Path().size(), "~");
            out.push_back(s);
        }
        return out;
    }
    std::vector<std::string> Undo() const { return Undo(m_installer); }

    // A small tree: files with attributes, a hidden subdirectory, an empty
    // one; with bReadOnly also a read-only file, which a step cannot delete.
    void MakeTree(const std::string& root, bool bReadOnly = true)
    {
        ASSERT_TRUE(MakeDir(root));
        ASSERT_TRUE(MakeFile(root + "\\top.txt", "top"));
        if (bReadOnly)
            ASSERT_TRUE(MakeFile(root + "\\ro.txt", "read only", FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(MakeDir(root + "\\sub", FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(MakeFile(root + "\\sub\\inner.bin", std::string("\0\x01\xff", 3), FILE_ATTRIBUTE_HIDDEN));
        ASSERT_TRUE(MakeDir(root + "\\sub\\deeper"));
        ASSERT_TRUE(MakeFile(root + "\\sub\\deeper\\leaf.txt", "leaf"));
        ASSERT_TRUE(MakeDir(root + "\\empty"));
    }

    ScratchDir m_dir;
    CInstaller m_installer;
};

class FilesDirVersions : public FilesDir
{
protected:
    void SetUp() override
    {
        FilesDir::SetUp();
        if (!HaveGlimmer())
            GTEST_SKIP() << "the sample saver is not built (" << GlimmerPath(false) << ")";
    }
};
}  // namespace

TEST_F(FilesDir, EmptyListsSucceedInEveryModeAndOtherModesFail)
{
    for (int mode = 1; mode <= 4; mode++)
        EXPECT_EQ(Execute(NewDir(mode, {}, {})), 0) << "mode " << mode;
    EXPECT_EQ(Execute(NewDir(5, {}, {})), 1);
    EXPECT_EQ(Execute(NewDir(0, {}, {})), 1);
    std::unique_ptr<CInstObjDir> alone(NewDir(3, {}, {}));
    EXPECT_EQ(alone->Execute(nullptr), 7);
    EXPECT_EQ(Execute(NewDir(1, {"a"}, {})), 34);
    EXPECT_EQ(Execute(NewDir(3, {}, {""})), 35);
    EXPECT_EQ(Execute(NewDir(3, {}, {"<Undefined>\\x"})), 9);
    EXPECT_TRUE(m_installer.m_UndoList.IsEmpty());
}

TEST_F(FilesDir, CreateRecordsTheFirstNewComponentAndSetsAttributes)
{
    ASSERT_TRUE(MakeDir(P("A")));
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN;
    EXPECT_EQ(Execute(NewDir(3, {}, {P("A\\B\\C")}, attributes)), 0);
    // The step's own record for the full path, then CreateDirTree's for the
    // topmost new directory; newest first.
    EXPECT_EQ(Undo(), (std::vector<std::string>{"Dir4 ~\\A\\B\\", "Dir4 ~\\A\\B\\C"}));
    EXPECT_EQ(Attributes(P("A\\B")), (DWORD)(FILE_ATTRIBUTE_DIRECTORY | attributes));
    EXPECT_EQ(Attributes(P("A\\B\\C")), (DWORD)(FILE_ATTRIBUTE_DIRECTORY | attributes));
    EXPECT_EQ(Attributes(P("A")), (DWORD)FILE_ATTRIBUTE_DIRECTORY) << "an existing directory keeps its own";
    RunUndo(m_installer);
    EXPECT_FALSE(Exists(P("A\\B")));
    EXPECT_TRUE(Exists(P("A")));

    // CreateDirTree on its own makes exactly one record, however deep.
    CInstaller installer;
    std::unique_ptr<CInstObjDir> step(NewDir(3, {}, {}));
    step->m_pInstaller = &installer;
    EXPECT_EQ(step->CreateDirTree(P("X\\Y\\Z").c_str()), 0);
    EXPECT_EQ(Undo(installer), (std::vector<std::string>{"Dir4 ~\\X\\"}));
    // An undo record records nothing.
    step->SetRecordUndo(0);
    EXPECT_EQ(step->CreateDirTree(P("Q\\R").c_str()), 0);
    EXPECT_EQ(installer.m_UndoList.GetCount(), 1);
    // A component that exists as a file stops the walk.
    ASSERT_TRUE(MakeFile(P("file"), "x"));
    EXPECT_EQ(step->CreateDirTree(P("file\\sub").c_str()), 1);
}

TEST_F(FilesDirVersions, FileCopyAndMoveFollowTheOverwriteRule)
{
    const WORD kSame = 0;  // keep the English translation
    struct Case
    {
        const char* name;
        int mode;
        int target;  // 0 none; 1 with a version resource; 2 a plain file
        WORD a, b;   // target version a.b.0.0
        WORD language;
        bool noTable;
        int answer;
        bool replaced;
        int questions;
        std::vector<std::string> undo;
    } const cases[] = {
        {"higher target kept", 1, 1, 1, 10, kSame, false, 1, false, 0, {}},
        {"higher target kept, source stays", 2, 1, 1, 10, kSame, false, 1, false, 0, {}},
        {"lower target replaced", 1, 1, 0, 9, kSame, false, 0, true, 0, {"File3 ~\\t.scr"}},
        {"lower target moved over", 2, 1, 0, 9, kSame, false, 0, true, 0, {"File3 ~\\t.scr", "File3 ~\\s.scr"}},
        {"same language replaced", 1, 1, 1, 2, kSame, false, 0, true, 0, {"File3 ~\\t.scr"}},
        {"other language, yes", 1, 1, 1, 2, 0x0407, false, 1, true, 1, {"File3 ~\\t.scr"}},
        {"other language, no", 1, 1, 1, 2, 0x0407, false, 0, false, 1, {}},
        {"no translation table: written, no question", 1, 1, 1, 2, 0, true, 0, true, 0, {"File3 ~\\t.scr"}},
        {"target without version", 1, 2, 0, 0, 0, false, 0, true, 0, {"File3 ~\\t.scr"}},
        {"missing target", 1, 0, 0, 0, 0, false, 0, true, 0, {"Dir4 ~\\t.scr"}},
        {"missing target, move", 2, 0, 0, 0, 0, false, 0, true, 0, {"Dir4 ~\\t.scr", "File3 ~\\s.scr"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string src = P("s.scr"), dst = P("t.scr");
        DeleteFileA(src.c_str());
        DeleteFileA(dst.c_str());
        ASSERT_TRUE(CopyFileA(GlimmerPath(false).c_str(), src.c_str(), FALSE));
        if (c.target == 1)
            ASSERT_TRUE(MakeVersionedCopy(GlimmerPath(false), dst, c.a, c.b, 0, 0, c.language, c.noTable));
        else if (c.target == 2)
            ASSERT_TRUE(MakeFile(dst, "plain"));
        Bytes before = ReadAll(dst);

        CInstaller installer;
        installer.SetQuestionCallback(QuestionLog::Ask);
        QuestionLog::Reset(c.answer);
        EXPECT_EQ(Execute(installer, NewDir(c.mode, {src}, {dst})), 0);
        EXPECT_EQ(ReadAll(dst) == ReadAll(GlimmerPath(false)), c.replaced);
        if (!c.replaced)
            EXPECT_EQ(ReadAll(dst), before);
        EXPECT_EQ(Exists(src), c.mode == 1 || !c.replaced);
        EXPECT_EQ(QuestionLog::s_nAsked, c.questions);
        if (c.questions > 0)
        {
            EXPECT_EQ(QuestionLog::s_strNew, "English (United States)");
            EXPECT_EQ(QuestionLog::s_strOld, "German (Germany)");
        }
        EXPECT_EQ(Undo(installer), c.undo);

        // The undo puts the files back as they were.
        RunUndo(installer);
        EXPECT_EQ(ReadAll(dst), before);
        EXPECT_EQ(Exists(dst), c.target != 0);
        EXPECT_EQ(ReadAll(src), ReadAll(GlimmerPath(false)));
    }
}

TEST_F(FilesDirVersions, LanguageQuestionIsAskedOnceAndRemembered)
{
    // What the shell does with "-l" and "-s": no question, a fixed answer.
    struct Case
    {
        const char* name;
        bool callback;
        BYTE ask, useNew;
        int answer;
        bool replaced;
        int questions;
    } const cases[] = {
        {"asked, yes", true, 1, 0, 1, true, 1},
        {"asked, no", true, 1, 0, 0, false, 1},
        {"-l", true, 0, 1, 0, true, 0},
        {"-s", true, 0, 0, 1, false, 0},
        {"no callback", false, 1, 0, 0, true, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CInstaller installer;
        if (c.callback)
            installer.SetQuestionCallback(QuestionLog::Ask);
        installer.m_bAskLanguage = c.ask;
        installer.m_bUseNewLanguage = c.useNew;
        QuestionLog::Reset(c.answer);
        std::vector<std::string> sources, targets;
        for (int i = 0; i < 3; i++)
        {
            std::string t = P("t" + std::to_string(i) + ".scr");
            ASSERT_TRUE(CopyFileA(GlimmerPath(true).c_str(), t.c_str(), FALSE));
            sources.push_back(GlimmerPath(false));
            targets.push_back(t);
        }
        // Two pairs in one step, one more in a second step.
        EXPECT_EQ(Execute(installer, NewDir(1, {sources[0], sources[1]}, {targets[0], targets[1]})), 0);
        EXPECT_EQ(Execute(installer, NewDir(1, {sources[2]}, {targets[2]})), 0);
        EXPECT_EQ(QuestionLog::s_nAsked, c.questions);
        for (const std::string& t : targets)
            EXPECT_EQ(ReadAll(t) == ReadAll(GlimmerPath(false)), c.replaced) << t;
    }
}

TEST_F(FilesDir, TreeCopyOntoAnExistingTreeKeepsItsFilesAndRollsBackExactly)
{
    MakeTree(P("src"));
    ASSERT_TRUE(MakeDir(P("dst")));
    ASSERT_TRUE(MakeFile(P("dst\\top.txt"), "mine"));
    ASSERT_TRUE(MakeDir(P("dst\\sub")));
    ASSERT_TRUE(MakeFile(P("dst\\sub\\own.txt"), "own", FILE_ATTRIBUTE_HIDDEN));
    Listing before = ListTree(P("dst"));

    EXPECT_EQ(Execute(NewDir(1, {P("src")}, {P("dst")})), 0);
    EXPECT_EQ(ReadText(P("dst\\top.txt")), "mine");
    EXPECT_EQ(ReadText(P("dst\\ro.txt")), "read only");
    EXPECT_EQ(ReadText(P("dst\\sub\\deeper\\leaf.txt")), "leaf");
    EXPECT_TRUE(IsDirectory(P("dst\\empty").c_str()));

    RunUndo(m_installer);
    EXPECT_EQ(Differences(before, ListTree(P("dst"))), "");
    EXPECT_EQ(ReadText(P("src\\top.txt")), "top");
}

TEST_F(FilesDir, TreeCopyToAMissingPathRollsBackEveryDirectoryItMade)
{
    MakeTree(P("src"));
    ASSERT_TRUE(MakeDir(P("out")));
    Listing before = ListTree(P("out"));
    EXPECT_EQ(Execute(NewDir(1, {P("src")}, {P("out\\new\\deeper\\copy")})), 0);
    EXPECT_EQ(ReadText(P("out\\new\\deeper\\copy\\sub\\deeper\\leaf.txt")), "leaf");
    RunUndo(m_installer);
    EXPECT_EQ(Differences(before, ListTree(P("out"))), "");
}

TEST_F(FilesDir, TreeDeleteRecordsEveryEntryAndRollbackRebuildsIt)
{
    MakeTree(P("tree"), false);
    ASSERT_TRUE(MakeFile(P("tree\\sub\\sys.txt"), "system", FILE_ATTRIBUTE_SYSTEM));
    Listing before = ListTree(m_dir.Path());
    EXPECT_EQ(Execute(NewDir(4, {}, {P("tree")})), 0);
    EXPECT_FALSE(Exists(P("tree")));

    // One re-create record per directory, one restore record per file; the
    // tree's own re-creation is the newest, so it runs first.
    std::vector<std::string> undo = Undo();
    int dirs = 0, files = 0;
    for (const std::string& s : undo)
        (s.compare(0, 5, "Dir3 ") == 0 ? dirs : files)++;
    EXPECT_EQ(dirs, 4);
    EXPECT_EQ(files, 4);
    ASSERT_FALSE(undo.empty());
    EXPECT_EQ(undo.front(), "Dir3 ~\\tree");

    RunUndo(m_installer);
    EXPECT_EQ(Differences(before, ListTree(m_dir.Path())), "");
}

TEST_F(FilesDir, TreeMoveRollsBackWithItsSourceDirectory)
{
    // Files lie directly in the moved directory: their restore records need
    // the directory itself back first, with its attributes.
    struct Case
    {
        const char* name;
        bool filesOnly;
        bool targetExists;
    } const cases[] = {
        {"to a new place", false, false},
        {"onto an existing tree", false, true},
        {"a hidden directory of files only", true, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        std::string src = dir / "src";
        if (c.filesOnly)
        {
            ASSERT_TRUE(MakeDir(src, FILE_ATTRIBUTE_HIDDEN));
            ASSERT_TRUE(MakeFile(src + "\\one.txt", "one"));
            ASSERT_TRUE(MakeFile(src + "\\two.txt", "two", FILE_ATTRIBUTE_HIDDEN));
        }
        else
            MakeTree(src, false);
        if (c.targetExists)
        {
            ASSERT_TRUE(MakeDir(dir / "dst"));
            ASSERT_TRUE(MakeFile(dir / "dst\\top.txt", "theirs"));
        }
        Listing before = ListTree(dir.Path());
        CInstaller installer;
        EXPECT_EQ(Execute(installer, NewDir(2, {src}, {dir / "dst"})), 0);
        EXPECT_FALSE(Exists(src));
        RunUndo(installer);
        EXPECT_EQ(Differences(before, ListTree(dir.Path())), "");
    }
}

TEST_F(FilesDir, DeleteCases)
{
    // A missing target is taken as a file whose bytes cannot be saved.
    EXPECT_EQ(Execute(NewDir(4, {}, {P("missing")})), 26);
    EXPECT_TRUE(m_installer.m_UndoList.IsEmpty());
    // As an undo record it simply fails to delete.
    CInstObjDir* record = NewDir(4, {}, {P("missing")});
    record->SetRecordUndo(0);
    EXPECT_EQ(Execute(record), 23);

    // A read-only file: the step refuses after saving it, the undo does not.
    ASSERT_TRUE(MakeFile(P("ro.txt"), "ro", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Execute(NewDir(4, {}, {P("ro.txt")})), 23);
    EXPECT_EQ(Undo(), (std::vector<std::string>{"File3 ~\\ro.txt"}));
    EXPECT_TRUE(Exists(P("ro.txt")));
    CInstObjDir* undoDelete = NewDir(4, {}, {P("ro.txt")});
    undoDelete->SetRecordUndo(0);
    EXPECT_EQ(Execute(undoDelete), 0);
    EXPECT_FALSE(Exists(P("ro.txt")));
}

TEST_F(FilesDir, TreeDeleteThatLeavesSomethingBehindFailsAndRollsBack)
{
    MakeTree(P("tree"));
    Listing before = ListTree(m_dir.Path());
    // ro.txt cannot be deleted by a step: the tree stays, and the step says so.
    EXPECT_EQ(Execute(NewDir(4, {}, {P("tree")})), 17);
    EXPECT_TRUE(Exists(P("tree\\ro.txt")));
    RunUndo(m_installer);
    EXPECT_EQ(Differences(before, ListTree(m_dir.Path())), "");
}

TEST_F(FilesDir, OverlongPathsAreRefusedBeforeAnythingChanges)
{
    MakeTree(P("src"));
    ASSERT_TRUE(MakeFile(P("f.txt"), "f"));
    // Long enough that the tree's deepest entry no longer fits below it.
    std::string longDir = P(Repeat('L', MAX_PATH - m_dir.Path().size() - 20));
    std::string tooLong = P(Repeat('x', MAX_PATH));
    Listing before = ListTree(m_dir.Path());
    struct Case
    {
        const char* name;
        CInstObj* step;
        int expected;
    } const cases[] = {
        {"file copy", NewDir(1, {P("f.txt")}, {tooLong}), 39},
        {"file copy from a long source", NewDir(1, {tooLong}, {P("g.txt")}), 39},
        {"file move", NewDir(2, {P("f.txt")}, {tooLong}), 39},
        {"tree copy", NewDir(1, {P("src")}, {longDir}), 39},
        {"tree move", NewDir(2, {P("src")}, {longDir}), 39},
        {"create", NewDir(3, {}, {tooLong}), 39},
        {"delete", NewDir(4, {}, {tooLong}), 39},
        {"file object", NewFile({tooLong}, Text("x")), 39},
        {"patch object", NewPatch({tooLong}, Text("x"), {{}}), 39},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Execute(c.step), c.expected);
        EXPECT_TRUE(m_installer.m_UndoList.IsEmpty());
        EXPECT_EQ(Differences(before, ListTree(m_dir.Path())), "");
    }
}

namespace
{
std::string ShortName(const std::string& path)
{
    char sz[MAX_PATH] = "";
    DWORD n = GetShortPathNameA(path.c_str(), sz, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(sz) : std::string();
}

std::string Upper(std::string s)
{
    for (char& c : s)
        c = (char)toupper((unsigned char)c);
    return s;
}
}  // namespace

// A move or copy whose target is its own source under another spelling would
// copy onto itself and, for a move, delete the only copy. It is refused
// before anything changes.
TEST_F(FilesDir, MoveOrCopyOntoItselfIsRefused)
{
    MakeTree(P("Long Folder Name"), false);
    ASSERT_TRUE(MakeFile(P("Long File Name.txt"), "the only copy"));
    std::string dir = P("Long Folder Name");
    std::string file = P("Long File Name.txt");
    std::string shortDir = ShortName(dir);
    std::string shortFile = ShortName(file);
    ASSERT_FALSE(shortDir.empty());
    ASSERT_NE(shortDir, dir) << "no short name to test with";
    Listing before = ListTree(m_dir.Path());

    const struct
    {
        const char* what;
        std::string source, target;
        int copyCode, moveCode;
    } cases[] = {
        {"folder, letter case", dir, Upper(dir), 18, 19},
        {"folder, closing backslash", dir, dir + "\\", 18, 19},
        {"folder, short name", dir, shortDir, 18, 19},
        {"folder, short name as the source", shortDir, dir, 18, 19},
        {"file, letter case", file, Upper(file), 21, 22},
        {"file, short name", file, shortFile, 21, 22},
    };
    for (const auto& c : cases)
    {
        for (int mode : {1, 2})
        {
            SCOPED_TRACE(std::string(c.what) + (mode == 1 ? ", copy" : ", move"));
            EXPECT_EQ(Execute(NewDir(mode, {c.source}, {c.target})), mode == 1 ? c.copyCode : c.moveCode);
            EXPECT_TRUE(m_installer.m_UndoList.IsEmpty());
            EXPECT_EQ(Differences(before, ListTree(m_dir.Path())), "");
        }
    }
}

namespace
{
// Wine shows a Unix symbolic link as a reparse point, and cannot make a
// junction itself (FSCTL_SET_REPARSE_POINT is not supported): the link is
// made by the Unix ln, which Wine starts like any program. False where that
// is not possible.
bool MakeUnixLink(const std::string& target, const std::string& link)
{
    typedef char*(CDECL * UnixName)(const WCHAR*);
    UnixName pfn = (UnixName)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (pfn == nullptr)
        return false;
    auto unix = [&](const std::string& path) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        char* p = pfn(wide);
        std::string s = p != nullptr ? p : "";
        HeapFree(GetProcessHeap(), 0, p);
        return s;
    };
    // The link does not exist yet: its folder's Unix name and its own name.
    size_t slash = link.rfind('\\');
    std::string command = "Z:\\bin\\ln -s \"" + unix(target) + "\" \"" + unix(link.substr(0, slash)) + "/" +
                          link.substr(slash + 1) + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA("Z:\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // The handle of a Unix process does not tell when it has ended.
    for (int i = 0; i < 100; i++, Sleep(20))
        if ((Attributes(link) & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && Attributes(link) != INVALID_FILE_ATTRIBUTES)
            return true;
    return false;
}
}  // namespace

// A tree that holds a link to a folder outside it: deleting, copying or
// moving it would reach through the link (and its undo records would save
// and delete what lies beyond). Each is refused before any change.
TEST_F(FilesDir, TreesHoldingALinkAreRefused)
{
    ASSERT_TRUE(MakeDir(P("outside")));
    ASSERT_TRUE(MakeFile(P("outside\\precious.txt"), "not the tree's"));
    MakeTree(P("tree"), false);
    if (!MakeUnixLink(P("outside"), P("tree\\sub\\link")))
        GTEST_SKIP() << "no way to make a link here";
    MakeTree(P("plain"), false);
    const struct
    {
        const char* what;
        int mode;
        std::string source, target;
        int expected;
    } cases[] = {
        {"delete", 4, "", P("tree"), 17},
        {"delete the link itself", 4, "", P("tree\\sub\\link"), 17},
        {"copy", 1, P("tree"), P("copy"), 18},
        {"move", 2, P("tree"), P("moved"), 19},
        {"copy onto a tree holding one", 1, P("plain"), P("tree"), 18},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<std::string> sources;
        if (!c.source.empty())
            sources.push_back(c.source);
        EXPECT_EQ(Execute(NewDir(c.mode, sources, {c.target})), c.expected);
        EXPECT_TRUE(m_installer.m_UndoList.IsEmpty());
        EXPECT_EQ(ReadText(P("outside\\precious.txt")), "not the tree's");
        EXPECT_TRUE(Exists(P("tree\\top.txt")));
        EXPECT_FALSE(Exists(P("copy")));
        EXPECT_FALSE(Exists(P("moved")));
    }
}
