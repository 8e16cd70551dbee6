// The file and patch-file objects on real files: writing carried bytes, the
// overwrite rule, restore records and the temporary copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "files_support.h"

using namespace files_test;

namespace
{
class FilesWrite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QuestionLog::Reset(0);
    }
    // The temporary copy never outlives a step.
    void TearDown() override
    {
        EXPECT_EQ(CountTempFiles(), 0) << "gpi*.tmp left behind";
    }

    int Execute(CInstObj* p)
    {
        m_installer.m_FileList.AddTail(p);
        return p->Execute(&m_installer);
    }
    std::string P(const std::string& rel) const { return m_dir / rel; }
    std::vector<std::string> Undo() const
    {
        std::vector<std::string> out;
        for (std::string s : UndoSummary(m_installer))
        {
            for (size_t at; (at = s.find(m_dir.Path())) != std::string::npos;)
                s.replace(at, m_dir.Path().size(), "~");
            out.push_back(s);
        }
        return out;
    }
    PrivateTemp m_temp;  // TMP while the test runs
    ScratchDir m_dir;
    CInstaller m_installer;
};

const DWORD kHidden = FILE_ATTRIBUTE_HIDDEN;
}  // namespace

TEST_F(FilesWrite, WritesEveryTargetAndRecordsHowToUndoIt)
{
    ASSERT_TRUE(MakeFile(P("old.txt"), "old bytes", FILE_ATTRIBUTE_SYSTEM));
    Listing before = ListTree(m_dir.Path());
    EXPECT_EQ(Execute(NewFile({P("new.txt"), P("old.txt")}, Text("carried"), kHidden)), 0);
    EXPECT_EQ(ReadText(P("new.txt")), "carried");
    EXPECT_EQ(ReadText(P("old.txt")), "carried");
    EXPECT_EQ(Attributes(P("new.txt")) & kHidden, kHidden);
    EXPECT_EQ(Attributes(P("old.txt")) & (kHidden | FILE_ATTRIBUTE_SYSTEM), kHidden);
    EXPECT_EQ(Undo(), (std::vector<std::string>{"File3 ~\\old.txt", "Dir4 ~\\new.txt"}));

    // The restore record holds the old bytes and attributes.
    CInstObjFile* restore = (CInstObjFile*)m_installer.m_UndoList.GetHead();
    EXPECT_EQ(std::string((const char*)restore->m_Content.GetData(), restore->m_Content.GetSize()), "old bytes");
    EXPECT_EQ(restore->m_dwAttributes & FILE_ATTRIBUTE_SYSTEM, (DWORD)FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(restore->GetRecordUndo(), 0);

    RunUndo(m_installer);
    EXPECT_EQ(Differences(before, ListTree(m_dir.Path())), "");
}

TEST_F(FilesWrite, EmptyContentWritesEmptyFiles)
{
    ASSERT_TRUE(MakeFile(P("full.txt"), "something"));
    EXPECT_EQ(Execute(NewFile({P("a.txt"), P("full.txt")}, Bytes())), 0);
    EXPECT_TRUE(Exists(P("a.txt")));
    EXPECT_TRUE(ReadAll(P("a.txt")).empty());
    EXPECT_TRUE(ReadAll(P("full.txt")).empty());
    // Restoring an empty file writes an empty file, too.
    ASSERT_TRUE(MakeFile(P("empty.txt"), ""));
    CInstaller installer;
    CInstObjFile* step = NewFile({P("empty.txt")}, Text("filled"));
    installer.m_FileList.AddTail(step);
    EXPECT_EQ(step->Execute(&installer), 0);
    RunUndo(installer);
    EXPECT_TRUE(Exists(P("empty.txt")));
    EXPECT_TRUE(ReadAll(P("empty.txt")).empty());
}

TEST_F(FilesWrite, ReadOnlyTargetFailsAfterItsRestoreRecord)
{
    ASSERT_TRUE(MakeFile(P("ro.txt"), "protected", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFile(P("first.txt"), "first"));
    Listing before = ListTree(m_dir.Path());
    EXPECT_EQ(Execute(NewFile({P("first.txt"), P("ro.txt"), P("never.txt")}, Text("new"))), 1);
    EXPECT_EQ(ReadText(P("first.txt")), "new") << "targets before the failure stay written";
    EXPECT_EQ(ReadText(P("ro.txt")), "protected");
    EXPECT_FALSE(Exists(P("never.txt"))) << "later targets are not touched";
    EXPECT_EQ(Undo(), (std::vector<std::string>{"File3 ~\\ro.txt", "File3 ~\\first.txt"}));
    RunUndo(m_installer);
    EXPECT_EQ(Differences(before, ListTree(m_dir.Path())), "");
}

TEST_F(FilesWrite, RestoreRecordPutsTheOldFileBackWhateverIsOnDisk)
{
    if (!HaveGlimmer())
        GTEST_SKIP() << "the sample saver is not built";
    // An upgrade from 1.0 to 1.2 that fails later: the user's 1.0 comes back,
    // even though the file on disk is newer, and even if it is read-only now,
    // and nobody is asked about languages in the middle of a rollback.
    struct Case
    {
        const char* name;
        WORD language;
        DWORD attributes;
    } const cases[] = {
        {"same language", 0, 0},
        {"other language", 0x0407, 0},
        {"new file made read-only", 0, FILE_ATTRIBUTE_READONLY},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string target = P("saver.scr");
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(MakeVersionedCopy(GlimmerPath(false), target, 1, 0, 0, 0, c.language));
        Listing before = ListTree(m_dir.Path());

        CInstaller installer;
        installer.SetQuestionCallback(QuestionLog::Ask);
        QuestionLog::Reset(0);
        CInstObjFile* step = NewFile({target}, ReadAll(GlimmerPath(false)), c.attributes);
        installer.m_FileList.AddTail(step);
        installer.m_FileList.AddTail(NewDir(9, {}, {}));  // fails
        EXPECT_EQ(installer.Run(), 1);
        EXPECT_EQ(QuestionLog::s_nAsked, 0);
        EXPECT_EQ(Differences(before, ListTree(m_dir.Path())), "");
    }
}

TEST_F(FilesWrite, OverwriteRuleOnCarriedBytes)
{
    if (!HaveGlimmer())
        GTEST_SKIP() << "the sample saver is not built";
    Bytes carried = ReadAll(GlimmerPath(false));  // 1.2.0.0, English
    struct Case
    {
        const char* name;
        WORD a, b, language;
        bool noTable;
        int answer;
        bool written;
        int questions;
    } const cases[] = {
        {"installed is higher", 1, 10, 0, false, 1, false, 0},
        {"installed is lower", 1, 1, 0, false, 0, true, 0},
        {"equal, same language", 1, 2, 0, false, 0, true, 0},
        {"equal, other language, keep", 1, 2, 0x0407, false, 0, false, 1},
        {"equal, other language, replace", 1, 2, 0x0407, false, 1, true, 1},
        {"equal, no translation table", 1, 2, 0, true, 0, true, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::string target = P("t.scr");
        ASSERT_TRUE(MakeVersionedCopy(GlimmerPath(false), target, c.a, c.b, 0, 0, c.language, c.noTable));
        Bytes before = ReadAll(target);
        CInstaller installer;
        installer.SetQuestionCallback(QuestionLog::Ask);
        QuestionLog::Reset(c.answer);
        CInstObjFile* step = NewFile({target}, carried);
        installer.m_FileList.AddTail(step);
        EXPECT_EQ(step->Execute(&installer), 0);
        EXPECT_EQ(ReadAll(target), c.written ? carried : before);
        EXPECT_EQ(installer.m_UndoList.GetCount(), c.written ? 1 : 0);
        EXPECT_EQ(QuestionLog::s_nAsked, c.questions);
    }
}

TEST_F(FilesWrite, PatchVariantsPerTarget)
{
    Bytes content = Text("AAAA-xyz-\x80\xff-AAAA");
    struct Case
    {
        const char* name;
        PatchList patches;
        std::string expected;
    } const cases[] = {
        {"AA to BB", {{Text("AA"), Text("BB")}}, "BBBB-xyz-\x80\xff-BBBB"},
        {"AA to B", {{Text("AA"), Text("B")}}, "BABA-xyz-\x80\xff-BABA"},
        {"empty replacement", {{Text("xyz"), Bytes()}}, "AAAA-xyz-\x80\xff-AAAA"},
        {"high bytes", {{B({0x80, 0xFF}), Text("hi")}}, "AAAA-xyz-hi-AAAA"},
        {"later pairs see earlier results", {{Text("AA"), Text("BB")}, {Text("BBB"), Text("ccc")}},
         "cccB-xyz-\x80\xff-cccB"},
        {"no pairs", {}, "AAAA-xyz-\x80\xff-AAAA"},
    };
    std::vector<std::string> targets;
    std::vector<PatchList> tables;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
    {
        targets.push_back(P("t" + std::to_string(i)));
        tables.push_back(cases[i].patches);
    }
    CInstObjPatchFile* step = NewPatch(targets, content, tables);
    step->m_dwAttributes = kHidden;  // not applied by this object
    EXPECT_EQ(Execute(step), 0);
    for (size_t i = 0; i < targets.size(); i++)
    {
        EXPECT_EQ(ReadText(targets[i]), cases[i].expected) << cases[i].name;
        EXPECT_EQ(Attributes(targets[i]) & kHidden, 0u);
    }
    EXPECT_EQ(std::string((const char*)step->m_Content.GetData(), step->m_Content.GetSize()),
              std::string(content.begin(), content.end()));
    EXPECT_EQ(m_installer.m_UndoList.GetCount(), (int)targets.size());
}

TEST_F(FilesWrite, PatchFailures)
{
    ASSERT_TRUE(MakeFile(P("t1"), "before"));
    Listing before = ListTree(m_dir.Path());
    // A replacement longer than its pattern ends the object before that
    // target; the earlier one stays written until the undo.
    EXPECT_EQ(Execute(NewPatch({P("t0"), P("t1")}, Text("AAAA"),
                               {{{Text("A"), Text("b")}}, {{Text("AA"), Text("BBB")}}})),
              1);
    EXPECT_EQ(ReadText(P("t0")), "bbbb");
    EXPECT_EQ(ReadText(P("t1")), "before");
    RunUndo(m_installer);
    EXPECT_EQ(Differences(before, ListTree(m_dir.Path())), "");

    // Tables that do not match the targets, or a null entry, change nothing.
    CInstObjPatchFile* uneven = NewPatch({P("a"), P("b")}, Text("x"), {{}});
    EXPECT_EQ(Execute(uneven), 37);
    CInstObjPatchFile* holes = NewPatch({P("a")}, Text("x"), {{{Text("x"), Text("y")}}});
    CObArray* list = (CObArray*)holes->m_Replacements.GetAt(0);
    delete list->GetAt(0);
    list->SetAt(0, nullptr);
    EXPECT_EQ(Execute(holes), 37);
    EXPECT_FALSE(Exists(P("a")));
}
