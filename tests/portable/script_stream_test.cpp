// The script's stream form and the install objects' fields, byte for byte.
#include <gtest/gtest.h>

#include "objects/InstObjAction.h"
#include "objects/InstObjDefine.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjPatchFile.h"
#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "objects/InstObjShellLink.h"
#include "script/Installer.h"
#include "support/TestSupport.h"

namespace
{
class ScriptStreamTest : public ::testing::Test
{
protected:
    void SetUp() override { CInstaller::RegisterClasses(); }
};

Bytes Str(const std::string& s)
{
    return B({(int)s.size()}) + Text(s);
}

Bytes NewClass(const char* name)
{
    return B({0xFF, 0xFF, 0x01, 0x00}) + Le16((unsigned)strlen(name)) + Text(name);
}

Bytes EmptyLists(int n)
{
    Bytes b;
    for (int i = 0; i < n; i++)
        b = b + B({0x00, 0x00});
    return b;
}

CObject* OnlyElement(const CObList& list)
{
    return list.GetCount() == 1 ? list.GetHead() : nullptr;
}
}  // namespace

TEST_F(ScriptStreamTest, InstallObjectBaseStoresModeAndErrorTextName)
{
    CInstObj plain;
    EXPECT_EQ(Hex(StoreBytes([&](CArchive& ar) { plain.Serialize(ar); })), "00 00 00 00 00");
    CInstObj named;
    named.m_nMode = 0x01020304;
    named.m_strErrorTextName = "Err";
    EXPECT_EQ(Hex(StoreBytes([&](CArchive& ar) { named.Serialize(ar); })), "04 03 02 01 03 45 72 72");

    CInstaller installer;
    EXPECT_EQ(plain.Validate(), ERR_OK);
    EXPECT_EQ(plain.ExpandVariables(), ERR_OK);
    EXPECT_EQ(plain.Execute(&installer), ERR_OK);
    EXPECT_EQ(plain.m_pInstaller, &installer);
    EXPECT_EQ(plain.GetRecordUndo(), 1);
}

TEST_F(ScriptStreamTest, RegistryKeyObjectStreamForm)
{
    CInstObjRegistry key;
    key.m_nMode = MODE_CREATE;
    key.m_Targets.Add("HKEY_CURRENT_USER\\Software\\X");
    Bytes expected = Le32(3) + B({0x00}) + Le16(0) + Le16(1) + Str("HKEY_CURRENT_USER\\Software\\X");
    Bytes stored = StoreBytes([&](CArchive& ar) { key.Serialize(ar); });
    EXPECT_EQ(Hex(stored), Hex(expected));

    CInstObjRegistry back;
    EXPECT_FALSE(LoadBytes(stored, [&](CArchive& ar) {
                     ar.SetObjectSchema(1);
                     back.Serialize(ar);
                 }).failed);
    EXPECT_EQ(back.m_nMode, 3u);
    EXPECT_EQ(back.m_Sources.GetSize(), 0);
    ASSERT_EQ(back.m_Targets.GetSize(), 1);
    EXPECT_EQ(back.m_Targets[0], "HKEY_CURRENT_USER\\Software\\X");
}

TEST_F(ScriptStreamTest, RegistryValueObjectStreamForm)
{
    CInstObjRegValue value;
    value.m_nMode = MODE_DELETE;
    value.m_Targets.Add("HKEY_LOCAL_MACHINE\\Software\\X");
    value.m_strValueName = "V";
    Bytes expected = Le32(4) + B({0x00}) + Le16(0) + Le16(1) + Str("HKEY_LOCAL_MACHINE\\Software\\X") + Str("V") +
                     Le32(0) + Le16(0);
    EXPECT_EQ(Hex(StoreBytes([&](CArchive& ar) { value.Serialize(ar); })), Hex(expected));
}

TEST_F(ScriptStreamTest, ScriptStoresItsListsInStreamOrderWithSharedNumbering)
{
    CInstaller script;
    CInstObjDefine* define = new CInstObjDefine;
    define->SetVariable("Abc", "x");
    script.m_DefineList.AddTail(define);
    for (int i = 0; i < 2; i++)
    {
        CInstObjDir* dir = new CInstObjDir;
        dir->m_nMode = MODE_CREATE;
        dir->m_Targets.Add(i == 0 ? "a" : "b");
        script.m_FileList.AddTail(dir);
    }
    CInstObjRegistry* key = new CInstObjRegistry;
    script.m_RegistryList.AddTail(key);
    script.m_UndoList.AddTail(new CInstObj);  // never stored

    Bytes dirFields = Le32(3) + B({0x00}) + Le32(0xFFFFFFFF) + Le16(0) + Le16(1);
    Bytes expected = Le32(1) + EmptyLists(1)                                               // check
                     + Le16(1) + NewClass("CInstObjDefine") + Le32(0) + B({0}) + Str("Abc") + Str("x")  // define
                     + EmptyLists(1)                                                       // prepare
                     + Le16(1) + NewClass("CInstObjRegistry") + Le32(0) + B({0}) + Le16(0) + Le16(0)    // registry
                     + Le16(2) + NewClass("CInstObjDir") + dirFields + Str("a")           // file: new class
                     + B({0x05, 0x80}) + dirFields + Str("b")                              // then class index 5
                     + EmptyLists(2);                                                      // finish 1 and 2
    Bytes stored = StoreBytes([&](CArchive& ar) { script.Serialize(ar); });
    EXPECT_EQ(Hex(stored), Hex(expected));

    // Loading and storing again gives the same bytes.
    CInstaller loaded;
    EXPECT_FALSE(LoadBytes(stored, [&](CArchive& ar) { loaded.Serialize(ar); }).failed);
    EXPECT_EQ(loaded.m_FileList.GetCount(), 2);
    EXPECT_TRUE(loaded.m_FileList.GetTail()->IsKindOf(RUNTIME_CLASS(CInstObjDir)));
    EXPECT_EQ(loaded.m_UndoList.GetCount(), 0);
    EXPECT_EQ(Hex(StoreBytes([&](CArchive& ar) { loaded.Serialize(ar); })), Hex(expected));
}

TEST_F(ScriptStreamTest, LoadingEdgeCases)
{
    Bytes define = NewClass("CInstObjDefine") + Le32(0) + B({0}) + Str("N") + Str("v");
    struct Case
    {
        const char* what;
        Bytes bytes;
        bool failed;
        int defines;
    } cases[] = {
        {"version 2 gives an empty script", Le32(2) + Le16(1) + define, false, 0},
        {"all counts 0", Le32(1) + EmptyLists(7), false, 0},
        {"escaped count", Le32(1) + EmptyLists(1) + B({0xFF, 0xFF}) + Le32(1) + define + EmptyLists(5), false, 1},
        {"null element", Le32(1) + EmptyLists(1) + Le16(1) + B({0, 0}) + EmptyLists(5), true, 0},
        {"repeated reference", Le32(1) + EmptyLists(1) + Le16(2) + define + B({0x02, 0x00}) + EmptyLists(5), true, 1},
        {"element of another class", Le32(1) + Le16(1) + B({0xFF, 0xFF, 0, 0, 10, 0}) + Text("CByteArray") + Le16(0) +
                                         EmptyLists(6),
         true, 0},
        {"truncated inside an object", Le32(1) + EmptyLists(1) + Le16(1) + NewClass("CInstObjDefine") + Le32(0), true, 1},
        {"count beyond the stream", Le32(1) + B({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), true, 0},
    };
    for (const Case& c : cases)
    {
        CInstaller script;
        LoadResult r = LoadBytes(c.bytes, [&](CArchive& ar) { script.Serialize(ar); });
        EXPECT_EQ(r.failed, c.failed) << c.what;
        if (c.failed)
            EXPECT_EQ(r.exceptionClass, "CArchiveException") << c.what;
        EXPECT_EQ(script.m_DefineList.GetCount(), c.defines) << c.what;
        EXPECT_EQ(script.m_CheckList.GetCount() + script.m_FileList.GetCount(), 0) << c.what;
    }
}

TEST_F(ScriptStreamTest, EveryObjectClassRoundTripsItsFields)
{
    CInstaller script;
    CInstObjFile* file = new CInstObjFile;
    file->m_nMode = MODE_CREATE;
    file->m_strErrorTextName = "E";
    file->m_dwAttributes = 0x21;
    file->m_Targets.Add("<WinDir>\\x.scr");
    for (int i = 0; i < 300; i++)
        file->m_Content.Add((BYTE)i);
    script.m_FileList.AddTail(file);

    CInstObjPatchFile* patch = new CInstObjPatchFile;
    patch->m_Targets.Add("t1");
    patch->m_Content.Add('A');
    for (CPatchTable* table : {&patch->m_SearchPatterns, &patch->m_Replacements})
    {
        CObArray* list = new CObArray;
        CByteArray* bytes = new CByteArray;
        bytes->Add(table == &patch->m_SearchPatterns ? 0x80 : 0x81);
        list->Add(bytes);
        table->Add(list);
    }
    script.m_FileList.AddTail(patch);

    CInstObjRegValue* value = new CInstObjRegValue;
    value->SetTextValue("HKEY_CURRENT_USER\\S", "Name", "data", 1);
    script.m_RegistryList.AddTail(value);

    CInstObjShellLink* link = new CInstObjShellLink;
    link->m_nMode = MODE_CREATE;
    link->m_strVerb = "description";
    link->m_strFile = "l.lnk";
    link->m_strParameters = "-p";
    link->m_strDirectory = "d";
    link->m_nShowCmd = 7;
    link->m_strTarget = "t.exe";
    script.m_FinishList2.AddTail(link);

    Bytes stored = StoreBytes([&](CArchive& ar) { script.Serialize(ar); });
    CInstaller loaded;
    ASSERT_FALSE(LoadBytes(stored, [&](CArchive& ar) { loaded.Serialize(ar); }).failed);
    EXPECT_EQ(Hex(StoreBytes([&](CArchive& ar) { loaded.Serialize(ar); })), Hex(stored));

    ASSERT_EQ(loaded.m_FileList.GetCount(), 2);
    CInstObjFile* file2 = (CInstObjFile*)loaded.m_FileList.GetHead();
    EXPECT_EQ(file2->m_dwAttributes, 0x21u);
    EXPECT_EQ(file2->m_strErrorTextName, "E");
    EXPECT_EQ(file2->m_Content.GetSize(), 300);
    CInstObjPatchFile* patch2 = (CInstObjPatchFile*)loaded.m_FileList.GetTail();
    ASSERT_TRUE(patch2->IsKindOf(RUNTIME_CLASS(CInstObjPatchFile)));
    EXPECT_EQ(patch2->m_Replacements.GetEntry(0, 0)->GetAt(0), 0x81);
    CInstObjShellLink* link2 = (CInstObjShellLink*)OnlyElement(loaded.m_FinishList2);
    ASSERT_NE(link2, nullptr);
    EXPECT_EQ(link2->m_nShowCmd, 7);
    EXPECT_EQ(link2->m_strTarget, "t.exe");
    EXPECT_EQ(link2->m_strDirectory, "d");
}

TEST_F(ScriptStreamTest, PatchTablesHoldByteArraysOnly)
{
    // A patch object whose pattern list holds a define instead of bytes.
    Bytes fileFields = Le32(0) + B({0}) + Le32(0xFFFFFFFF) + Le16(0) + Le16(1) + Str("t") + Le16(0);
    Bytes stream = Le32(1) + EmptyLists(4) + Le16(1) + NewClass("CInstObjPatchFile") + fileFields + Le16(1) +
                   B({0xFF, 0xFF, 0, 0, 8, 0}) + Text("CObArray") + Le16(1) + NewClass("CInstObjDefine") + Le32(0) +
                   B({0}) + Str("N") + Str("v") + Le16(0) + EmptyLists(2);
    CInstaller script;
    LoadResult r = LoadBytes(stream, [&](CArchive& ar) { script.Serialize(ar); });
    EXPECT_EQ(r.archiveCause, CArchiveException::badClass);
}

TEST_F(ScriptStreamTest, ValidationTables)
{
    struct Case
    {
        const char* what;
        CInstObj* object;
        int expected;
    };
    auto dir = [](DWORD mode, std::initializer_list<const char*> sources, std::initializer_list<const char*> targets) {
        CInstObjDir* d = new CInstObjDir;
        d->m_nMode = mode;
        for (const char* s : sources)
            d->m_Sources.Add(s);
        for (const char* t : targets)
            d->m_Targets.Add(t);
        return d;
    };
    auto key = [](DWORD mode, std::initializer_list<const char*> sources, std::initializer_list<const char*> targets) {
        CInstObjRegistry* k = new CInstObjRegistry;
        k->m_nMode = mode;
        for (const char* s : sources)
            k->m_Sources.Add(s);
        for (const char* t : targets)
            k->m_Targets.Add(t);
        return k;
    };
    auto action = [](DWORD mode, const char* verb, const char* file) {
        CInstObjAction* a = new CInstObjAction;
        a->m_nMode = mode;
        a->m_strVerb = verb;
        a->m_strFile = file;
        return a;
    };
    CInstObjDefine* emptyDefine = new CInstObjDefine;
    CInstObjRegValue* unnamed = new CInstObjRegValue;
    unnamed->m_Targets.Add("HKEY_CURRENT_USER\\X");
    CInstObjShellLink* noTarget = new CInstObjShellLink;
    noTarget->m_nMode = MODE_CREATE;
    noTarget->m_strFile = "x.lnk";
    CInstObjShellLink* noFile = new CInstObjShellLink;
    CInstObjPatchFile* patch = new CInstObjPatchFile;
    patch->m_Targets.Add("t");

    Case cases[] = {
        {"dir: empty lists", dir(MODE_COPY, {}, {}), ERR_OK},
        {"dir: lengths differ", dir(MODE_COPY, {"a", "b"}, {"c"}), ERR_DIR_LIST_LENGTH},
        {"dir: empty source", dir(MODE_MOVE, {""}, {"c"}), ERR_EMPTY_PATH},
        {"dir: empty target", dir(MODE_CREATE, {}, {"a", ""}), ERR_EMPTY_PATH},
        {"dir: create ignores sources", dir(MODE_CREATE, {"", "x"}, {"a"}), ERR_OK},
        {"key: lower-case root", key(MODE_CREATE, {}, {"hkey_current_user\\Software"}), ERR_OK},
        {"key: other root", key(MODE_CREATE, {}, {"HKEY_CLASSES_ROOT\\x"}), ERR_REG_ROOT},
        {"key: root without backslash", key(MODE_CREATE, {}, {"HKEY_CURRENT_USER"}), ERR_REG_ROOT},
        {"key: copy lengths differ", key(MODE_COPY, {"HKEY_CURRENT_USER\\a", "HKEY_CURRENT_USER\\b"},
                                         {"HKEY_CURRENT_USER\\c"}),
         ERR_REG_LIST_LENGTH},
        {"key: create ignores sources", key(MODE_CREATE, {"nothing"}, {"HKEY_LOCAL_MACHINE\\a"}), ERR_OK},
        {"value: empty name", unnamed, ERR_EMPTY_NAME},
        {"define: empty name", emptyDefine, ERR_EMPTY_NAME},
        {"action: verb in capitals", action(MODE_SHELL_VERB, "Print", "f"), ERR_OK},
        {"action: unknown verb", action(MODE_SHELL_VERB, "run", "f"), ERR_VERB},
        {"action: verb unchecked when closing", action(MODE_CLOSE_PROCESSES, "", "p.exe"), ERR_OK},
        {"action: empty file before mode", action(5, "", ""), ERR_EMPTY_FILE_NAME},
        {"link: empty target", noTarget, ERR_EMPTY_LINK_TARGET},
        {"link: empty file first", noFile, ERR_EMPTY_FILE_NAME},
        {"patch: tables shorter than targets", patch, ERR_PATCH_TABLES},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.object->Validate(), c.expected) << c.what;
        delete c.object;
    }
}

TEST_F(ScriptStreamTest, ActionStoresTheVerbInLowerCase)
{
    CInstObjAction action;
    action.m_nMode = MODE_SHELL_VERB;
    action.m_strVerb = "PrOpErTiEs";
    action.m_strFile = "f";
    EXPECT_EQ(action.Validate(), ERR_OK);
    EXPECT_EQ(action.m_strVerb, "properties");
}

TEST_F(ScriptStreamTest, RegistryPathOperations)
{
    struct Case
    {
        const char* path;
        HKEY root;
        const char* stripped;
        const char* last;
        const char* parent;
    } cases[] = {
        {"HKEY_CURRENT_USER\\Software\\X\\Y", HKEY_CURRENT_USER, "Software\\X\\Y", "Y", "Software\\X"},
        {"HKEY_CURRENT_USER\\X", HKEY_CURRENT_USER, "X", "X", ""},
        {"hkey_local_machine\\A\\B", HKEY_LOCAL_MACHINE, "A\\B", "B", "A"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(CInstObjRegistry::RootKeyOf(c.path), c.root) << c.path;
        EXPECT_EQ(CInstObjRegistry::StripRoot(c.path), c.stripped) << c.path;
        EXPECT_EQ(CInstObjRegistry::LastKeyName(c.path), c.last) << c.path;
        EXPECT_EQ(CInstObjRegistry::ParentKeyPath(c.path), c.parent) << c.path;
    }
}

TEST_F(ScriptStreamTest, UndoRecordSetUps)
{
    CInstObjRegistry key;
    EXPECT_EQ(key.InitUndo("HKEY_CURRENT_USER\\A", 5), ERR_UNDO_MODE);
    EXPECT_EQ(key.m_Targets.GetSize(), 0);
    EXPECT_EQ(key.InitUndo("HKEY_CURRENT_USER\\A", MODE_DELETE), ERR_OK);

    CInstObjRegValue text;
    EXPECT_EQ(text.SetTextValue("HKEY_CURRENT_USER\\A", "n", "abc", 3), ERR_VALUE_TYPE);
    EXPECT_EQ(text.SetTextValue("HKEY_CURRENT_USER\\A", "n", "abc", 1), ERR_OK);
    EXPECT_EQ(text.m_Data.GetSize(), 3);  // no terminating zero
    EXPECT_EQ(text.m_nMode, (DWORD)MODE_CREATE);

    CInstObjRegValue restore;
    CByteArray saved;
    saved.Add(1);
    saved.Add(0);
    // A record may restore a key's unnamed default value.
    EXPECT_EQ(restore.InitRestoreUndo("HKEY_CURRENT_USER\\A", "", saved, 4), ERR_OK);
    EXPECT_EQ(restore.m_Data.GetSize(), 2);

    CInstObjRegValue remove;
    EXPECT_EQ(remove.InitDeleteUndo("HKEY_CURRENT_USER\\A", "n", 3), ERR_UNDO_MODE);
    EXPECT_EQ(remove.InitDeleteUndo("HKEY_CURRENT_USER\\A", "n", 4), ERR_OK);

    CInstObjDir dir;
    EXPECT_EQ(dir.InitUndo("C:\\x", 2), ERR_UNDO_MODE);
    EXPECT_EQ(dir.InitUndo("", MODE_DELETE), ERR_EMPTY_PATH);

    CInstObjFile file;
    EXPECT_EQ(file.InitFileUndo("C:\\f", saved), ERR_OK);
    EXPECT_EQ(file.m_nMode, (DWORD)MODE_CREATE);
    EXPECT_EQ(file.m_Content.GetSize(), 2);
}

TEST(FindPattern, SearchTable)
{
    auto fill = [](CByteArray& a, const char* s) {
        for (const char* p = s; *p; p++)
            a.Add((BYTE)*p);
    };
    struct Case
    {
        const char* data;
        const char* pattern;
        int start;
        bool found;
        int position;
    } cases[] = {
        {"XXXataDf", "XXataDf", 0, true, 1},      // restart one byte after a failed attempt
        {"abcabd", "abd", 0, true, 3},
        {"aaab", "aab", 0, true, 1},
        {"abc", "abcd", 0, false, 0},            // cut off by the end
        {"abcab", "ab", 1, true, 3},
        {"abc", "a", 3, false, 0},               // start at the end
        {"abc", "a", 99, false, 0},              // start beyond the data
        {"abc", "a", -1, false, 0},
        {"\x7F\x80\xFF", "\x80\xFF", 0, true, 1},
        {"", "a", 0, false, 0},
    };
    for (const Case& c : cases)
    {
        CByteArray pattern;
        fill(pattern, c.pattern);
        int position = c.start;
        EXPECT_EQ(CInstObj::FindPattern((const BYTE*)c.data, (unsigned)strlen(c.data), &position, pattern), c.found)
            << c.data << " / " << c.pattern;
        EXPECT_EQ(position, c.position) << c.data << " / " << c.pattern;
    }
    CByteArray empty;
    int position = 2;
    EXPECT_FALSE(CInstObj::FindPattern((const BYTE*)"abc", 3, &position, empty));
    EXPECT_EQ(position, 2);  // unchanged
}

TEST(PatchFile, ReplacesWithoutOverlapAndKeepsTheLength)
{
    struct Case
    {
        const char* content;
        const char* pattern;
        const char* replacement;
        bool ok;
        const char* result;
    } cases[] = {
        {"AAAA", "AA", "BB", true, "BBBB"},
        {"AAAA", "AA", "B", true, "BABA"},
        {"xAAxAAxAA", "AA", "CC", true, "xCCxCCxCC"},
        {"AAAA", "AA", "", true, "AAAA"},
        {"AAAA", "AA", "BBB", false, "AAAA"},
        {"a\x90\xFFz", "\x90\xFF", "\x01\x02", true, "a\x01\x02z"},
    };
    for (const Case& c : cases)
    {
        CInstObjPatchFile patch;
        patch.m_Targets.Add("t");
        CObArray* patterns = new CObArray;
        CObArray* replacements = new CObArray;
        CByteArray* p = new CByteArray;
        p->Copy((const BYTE*)c.pattern, (int)strlen(c.pattern));
        CByteArray* r = new CByteArray;
        r->Copy((const BYTE*)c.replacement, (int)strlen(c.replacement));
        patterns->Add(p);
        replacements->Add(r);
        patch.m_SearchPatterns.Add(patterns);
        patch.m_Replacements.Add(replacements);
        CByteArray work;
        work.Copy((const BYTE*)c.content, (int)strlen(c.content));
        EXPECT_EQ(patch.ApplyPatches(0, work) != FALSE, c.ok) << c.content;
        if (c.ok)
            EXPECT_EQ(std::string((const char*)work.GetData(), work.GetSize()), c.result) << c.content;
    }
}
