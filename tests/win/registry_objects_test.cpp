// The key and value objects on the real registry, each test under a key of
// its own: every mode, its codes, and the undo records it leaves.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/FaultHooks.h"
#include "registry/InstRegistry.h"
#include "registry_support.h"
#include "support/TestSupport.h"

using namespace registry_test;

namespace
{
typedef std::unique_ptr<CInstObj> Owned;

const DWORD kShortPath = CInstObjRegValue::kTypeShortPath;
}  // namespace

TEST(RegistryObjects, RefusalsComeBeforeAnyChange)
{
    ScratchKey key;
    const std::string k = key.Full("made");
    const std::string longKey = key.Full(std::string(300, 'L'));
    struct Case
    {
        const char* name;
        CInstObj* object;
        int code;
    } cases[] = {
        {"key: another root", NewKeyObject(3, {}, {k, "HKEY_CLASSES_ROOT\\SaverSetupTests"}), ERR_REG_ROOT},
        {"key: lists of different length", NewKeyObject(1, {k, k}, {k}), ERR_REG_LIST_LENGTH},
        {"key: unknown mode", NewKeyObject(5, {}, {k}), ERR_FAILED},
        {"key: a path beyond the buffer", NewKeyObject(3, {}, {k, longKey}), ERR_TOO_LONG},
        {"key: a source beyond the buffer", NewKeyObject(1, {longKey}, {k}), ERR_TOO_LONG},
        {"key: a name beyond the buffer", NewKeyObject(4, {}, {key.Full(std::string(260, 'N'))}), ERR_TOO_LONG},
        {"value: empty name", NewValueObject(3, {}, {k}, "", REG_SZ, Text("x")), ERR_EMPTY_NAME},
        {"value: empty name, delete", NewValueObject(4, {}, {k}, "", REG_SZ, {}), ERR_EMPTY_NAME},
        {"value: empty name, copy", NewValueObject(1, {k}, {k}, "", REG_SZ, {}), ERR_EMPTY_NAME},
        {"value: another root", NewValueObject(3, {}, {"HKEY_USERS\\x"}, "v", REG_SZ, {}), ERR_REG_ROOT},
        {"value: lists of different length", NewValueObject(2, {k}, {}, "v", REG_SZ, {}), ERR_REG_LIST_LENGTH},
        {"value: check mode", NewValueObject(8, {}, {k}, "v", REG_SZ, {}), ERR_FAILED},
        {"value: a path beyond the buffer", NewValueObject(3, {}, {longKey}, "v", REG_SZ, {}), ERR_TOO_LONG},
        {"value: an undefined variable", NewValueObject(3, {}, {k}, "v", REG_SZ, Text("<Nothing>")),
         ERR_UNDEFINED_VARIABLE},
    };
    for (const Case& c : cases)
    {
        Owned owned(c.object);
        CInstaller installer;
        EXPECT_EQ(Execute(installer, c.object), c.code) << c.name;
        EXPECT_FALSE(KeyExistsHkcu(key.Path("made"))) << c.name;
        EXPECT_EQ(installer.m_UndoList.GetCount(), 0) << c.name;
    }
}

TEST(RegistryKeyObject, CreateAcceptsEitherCaseAndRecordsTheFirstMissingKey)
{
    ScratchKey key;
    ASSERT_TRUE(MakeKey(key.Path("old")));
    std::string lower = "hkey_current_user\\" + key.Path("new\\deep");
    Owned step(NewKeyObject(3, {"no root at all"}, {lower, key.Full("old")}));
    CInstaller installer;
    EXPECT_EQ(Execute(installer, step.get()), ERR_OK);
    EXPECT_TRUE(KeyExistsHkcu(key.Path("new\\deep")));
    EXPECT_EQ(UndoSummary(installer), std::vector<std::string>{"Key4 HKEY_CURRENT_USER\\" + key.Path("new")});
    RunUndo(installer);
    EXPECT_FALSE(KeyExistsHkcu(key.Path("new")));
    EXPECT_TRUE(KeyExistsHkcu(key.Path("old")));
}

TEST(RegistryKeyObject, DeleteTakesTheLastNameBelowItsParent)
{
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path("X\\Y\\Z"), "v", REG_SZ, Text("z")));
    ASSERT_TRUE(MakeKey(key.Path("X\\Other")));
    Export before = ExportTree(key.Path());
    Owned step(NewKeyObject(4, {}, {key.Full("X\\Y")}));
    CInstaller installer;
    EXPECT_EQ(Execute(installer, step.get()), ERR_OK);
    EXPECT_FALSE(KeyExistsHkcu(key.Path("X\\Y")));
    EXPECT_TRUE(KeyExistsHkcu(key.Path("X\\Other")));
    RunUndo(installer);
    EXPECT_EQ(Differences(before, ExportTree(key.Path())), "");
}

TEST(RegistryKeyObject, DeleteFailuresGoOnWithTheOtherTargets)
{
    ScratchKey key;
    ASSERT_TRUE(MakeKey(key.Path("gone")));
    ASSERT_TRUE(MakeKey(key.Path("kept\\child")));
    struct Case
    {
        const char* name;
        std::string target;
        int code;
    } cases[] = {
        // Its parent is created (and recorded for deletion) first.
        {"a missing key below a missing parent", key.Full("noparent\\missing"), ERR_REG_DELETE_TREE},
        // A path that ends in a backslash names no key: the parent stays.
        {"a trailing backslash", key.Full("kept\\"), ERR_REG_DELETE_TREE},
    };
    for (const Case& c : cases)
    {
        Owned step(NewKeyObject(4, {}, {c.target, key.Full("gone")}));
        CInstaller installer;
        ASSERT_TRUE(MakeKey(key.Path("gone")));
        EXPECT_EQ(Execute(installer, step.get()), c.code) << c.name;
        EXPECT_FALSE(KeyExistsHkcu(key.Path("gone"))) << c.name;
        EXPECT_TRUE(KeyExistsHkcu(key.Path("kept\\child"))) << c.name;
        if (std::string(c.name).find("parent") != std::string::npos)
        {
            EXPECT_TRUE(KeyExistsHkcu(key.Path("noparent")));
            EXPECT_EQ(UndoSummary(installer).back(), "Key4 " + key.Full("noparent"));
        }
        RunUndo(installer);
        EXPECT_FALSE(KeyExistsHkcu(key.Path("noparent"))) << c.name;
    }
}

TEST(RegistryKeyObject, NoAllocationFailureLosesATree)
{
    // Whichever allocation fails, the step changes nothing that its records
    // cannot bring back; memory stops it before the second target.
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path("T\\a\\b"), "v", REG_SZ, Text("deep")));
    ASSERT_TRUE(SetValue(key.Path("T"), "w", REG_BINARY, B({1, 2})));
    ASSERT_TRUE(SetValue(key.Path("U"), "u", REG_DWORD, Le32(3)));
    Export before = ExportTree(key.Path());
    std::string t = key.Full("T"), u = key.Full("U");
    for (unsigned n = 1;; n++)
    {
        SCOPED_TRACE("allocation " + std::to_string(n));
        Owned step(NewKeyObject(4, {}, {t, u}));
        CInstaller installer;
        FaultFailAllocation(n);
        int r = Execute(installer, step.get());
        bool bFailed = FaultAllocationCount() >= n;
        FaultFailAllocation(0);
        if (!bFailed)
        {
            EXPECT_EQ(r, ERR_OK);
            EXPECT_FALSE(KeyExistsHkcu(key.Path("T")));
            RunUndo(installer);
            EXPECT_EQ(Differences(before, ExportTree(key.Path())), "");
            break;
        }
        EXPECT_EQ(r, ERR_NO_MEMORY);
        EXPECT_TRUE(KeyExistsHkcu(key.Path("U")));
        RunUndo(installer);
        EXPECT_EQ(Differences(before, ExportTree(key.Path())), "");
    }
}

TEST(RegistryKeyObject, CheckStopsAtTheFirstExistingKey)
{
    ScratchKey key;
    ASSERT_TRUE(MakeKey(key.Path("there")));
    struct Case
    {
        std::vector<std::string> targets;
        int code;
    } cases[] = {
        {{key.Full("a"), key.Full("there"), "HKEY_CLASSES_ROOT\\never tested"}, ERR_REG_ROOT},
        {{key.Full("a"), key.Full("there"), key.Full("b\\never tested")}, ERR_KEY_EXISTS},
        {{key.Full("a"), key.Full("b")}, ERR_NO_KEY_EXISTS},
        {{}, ERR_OK},
    };
    for (const Case& c : cases)
    {
        Owned step(NewKeyObject(8, {}, c.targets));
        CInstaller installer;
        EXPECT_EQ(Execute(installer, step.get()), c.code) << c.targets.size();
        EXPECT_EQ(installer.m_UndoList.GetCount(), 0);
        EXPECT_FALSE(KeyExistsHkcu(key.Path("a")));
    }
}

TEST(RegistryKeyObject, CopyAndMoveOfTrees)
{
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path("S"), "v", REG_SZ, Text("source")));
    ASSERT_TRUE(SetValue(key.Path("S\\sub"), "w", REG_DWORD, Le32(9)));
    ASSERT_TRUE(SetValue(key.Path("D"), "v", REG_SZ, Text("target")));
    Export before = ExportTree(key.Path());

    Owned copy(NewKeyObject(1, {key.Full("S"), key.Full("S")}, {key.Full("D"), key.Full("new\\D2")}));
    CInstaller installer;
    EXPECT_EQ(Execute(installer, copy.get()), ERR_OK);
    Export s = ExportTree(key.Path("S"));
    EXPECT_EQ(Differences(s, ExportTree(key.Path("D"))), "");
    EXPECT_EQ(Differences(s, ExportTree(key.Path("new\\D2"))), "");
    RunUndo(installer);
    // The existing target's own values come back; a key the copy added to
    // it stays, as do the values it added.
    Export after = ExportTree(key.Path());
    EXPECT_EQ(after["D"]["v"], before["D"]["v"]);
    EXPECT_EQ(after.count("D\\sub"), 1u);
    EXPECT_EQ(after.count("new"), 0u);
    ASSERT_TRUE(DeleteTreeHkcu(key.Path("D\\sub")));

    Owned move(NewKeyObject(2, {key.Full("S")}, {key.Full("M")}));
    CInstaller mover;
    EXPECT_EQ(Execute(mover, move.get()), ERR_OK);
    EXPECT_FALSE(KeyExistsHkcu(key.Path("S")));
    EXPECT_EQ(Differences(s, ExportTree(key.Path("M"))), "");
    RunUndo(mover);
    EXPECT_EQ(Differences(before, ExportTree(key.Path())), "");
}

TEST(RegistryKeyObject, ATreeIsNotCopiedOrMovedIntoItself)
{
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path("S\\sub"), "v", REG_SZ, Text("x")));
    Export before = ExportTree(key.Path());
    struct Case
    {
        int mode;
        std::string source, target;
    } cases[] = {
        {1, key.Full("S"), key.Full("S\\sub\\copy")},
        {2, key.Full("S"), "hkey_current_user\\" + key.Path("s")},
        {2, key.Full("S\\sub"), key.Full("S\\sub")},
    };
    for (const Case& c : cases)
    {
        Owned step(NewKeyObject(c.mode, {c.source}, {c.target}));
        CInstaller installer;
        EXPECT_EQ(Execute(installer, step.get()), ERR_REG_COPY) << c.target;
        EXPECT_EQ(Differences(before, ExportTree(key.Path())), "") << c.target;
    }
}

TEST(RegistryValueObject, SetWritesTheBytesAsHeld)
{
    ScratchKey key;
    CInstaller installer;
    ASSERT_EQ(installer.AddVariable("Dir", "C:\\Saver"), ERR_OK);
    struct Case
    {
        const char* name;
        DWORD type;
        Bytes data;
        Bytes stored;  // as the W calls read it back
    } cases[] = {
        // Three bytes, no terminator: the system stores three characters.
        {"sz", REG_SZ, Text("abc"), Text(std::string("a\0b\0c\0", 6))},
        {"expanded", REG_EXPAND_SZ, Text("<Dir>\\x"),
         Text(std::string("C\0:\0\\\0S\0a\0v\0e\0r\0\\\0x\0", 20))},
        {"multi", REG_MULTI_SZ, Text(std::string("a\0<Dir>\0\0", 9)),
         Text(std::string("a\0\0\0C\0:\0\\\0S\0a\0v\0e\0r\0\0\0\0\0", 24))},
        {"binary", REG_BINARY, Text("<Dir>"), Text("<Dir>")},
        {"dword", REG_DWORD, Le32(0x3C3E), Le32(0x3C3E)},
    };
    for (const Case& c : cases)
    {
        std::unique_ptr<CInstObjRegValue> step(NewValueObject(3, {}, {key.Full()}, c.name, c.type, c.data));
        EXPECT_EQ(Execute(installer, step.get()), ERR_OK) << c.name;
        EXPECT_EQ(Hex(GetValueW(key.Path(), c.name)), Hex(c.stored)) << c.name;
        if (c.type == REG_SZ)
            EXPECT_EQ(step->m_Data.GetSize(), 3);
    }

    // Text data goes to no fixed buffer: beyond the 1039 characters of a
    // key path it is written whole.
    std::string text(1500, 't');
    Owned step(NewValueObject(3, {}, {key.Full()}, "long", REG_SZ, Text(text + "<Dir>")));
    EXPECT_EQ(Execute(installer, step.get()), ERR_OK);
    DWORD type;
    Bytes data;
    ASSERT_TRUE(GetValue(key.Path(), "long", type, data));
    EXPECT_EQ(std::string(data.begin(), data.end()), text + "C:\\Saver");
}

TEST(RegistryValueObject, TheShortPathTypeWritesTheShortFormOrTheTextAsREG_SZ)
{
    ScratchKey key;
    ScratchDir dir;
    std::string longPath = dir / "a rather long folder name";
    ASSERT_TRUE(CreateDirectoryA(longPath.c_str(), nullptr));
    char shortPath[MAX_PATH];
    DWORD n = GetShortPathNameA(longPath.c_str(), shortPath, MAX_PATH);
    ASSERT_GT(n, 0u);
    std::string missing = dir / "no such folder at all";
    struct Case
    {
        std::string path, written;
    } cases[] = {{longPath, std::string(shortPath, n)}, {missing, missing}};
    for (const Case& c : cases)
    {
        std::unique_ptr<CInstObjRegValue> step(NewValueObject(3, {}, {key.Full()}, "p", kShortPath, Text(c.path)));
        CInstaller installer;
        EXPECT_EQ(Execute(installer, step.get()), ERR_OK);
        EXPECT_EQ(step->m_dwValueType, (DWORD)REG_SZ);
        DWORD type = 0;
        Bytes data;
        ASSERT_TRUE(GetValue(key.Path(), "p", type, data));
        EXPECT_EQ(type, (DWORD)REG_SZ);
        std::string text(data.begin(), data.end());
        EXPECT_EQ(text.substr(0, text.find('\0')), c.written);
    }
}

TEST(RegistryValueObject, SetReturnsTheOutcomeOfTheLastTarget)
{
    ScratchKey key;
    Owned step(NewValueObject(3, {}, {key.Full("first"), key.Full("second")}, "v", REG_DWORD, Le32(1)));
    CInstaller installer;
    FaultFailChange(1, ERROR_ACCESS_DENIED);  // opening the first key
    int r = Execute(installer, step.get());
    FaultFailChange(0, 0);
    EXPECT_EQ(r, ERR_OK);
    EXPECT_FALSE(KeyExistsHkcu(key.Path("first")));
    DWORD type;
    Bytes data;
    EXPECT_TRUE(GetValue(key.Path("second"), "v", type, data));

    Owned reverse(NewValueObject(3, {}, {key.Full("third"), key.Full("fourth")}, "v", REG_DWORD, Le32(1)));
    FaultFailChange(3, ERROR_ACCESS_DENIED);  // opening the second, after the first key and its value
    r = Execute(installer, reverse.get());
    FaultFailChange(0, 0);
    EXPECT_EQ(r, ERR_REG_OPEN);
}

TEST(RegistryValueObject, AValueOfAnotherTypeComesBackWithItsTypeAndBytes)
{
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path(), "v", REG_BINARY, B({0xDE, 0xAD, 0, 0xBE})));
    ASSERT_TRUE(SetValue(key.Path(), "", REG_SZ, Text("the <default>")));
    Export before = ExportTree(key.Path());
    Owned set(NewValueObject(3, {}, {key.Full()}, "v", REG_SZ, Text("text now")));
    CInstaller installer;
    EXPECT_EQ(Execute(installer, set.get()), ERR_OK);
    EXPECT_EQ(UndoSummary(installer),
              std::vector<std::string>{"Value3 " + key.Full() + "|v|3|DE AD 00 BE"});
    // The default value, saved by a record with an empty name.
    {
        InstRegistry reg;
        ASSERT_TRUE(reg.OpenKey(HKEY_CURRENT_USER, key.Path().c_str(), nullptr));
        Recorder recorder(installer);
        ASSERT_TRUE(reg.BackupValue(key.Full().c_str(), "", &recorder));
        ASSERT_TRUE(reg.DeleteValue(""));
    }
    RunUndo(installer);
    EXPECT_EQ(Differences(before, ExportTree(key.Path())), "");
}

TEST(RegistryValueObject, DeleteCopyAndMove)
{
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path("S"), "v", REG_MULTI_SZ, Text(std::string("a\0b\0\0", 5))));
    ASSERT_TRUE(SetValue(key.Path("D"), "v", REG_DWORD, Le32(5)));
    Export before = ExportTree(key.Path());
    struct Case
    {
        const char* name;
        CInstObj* object;
        int code;
    } cases[] = {
        {"copy", NewValueObject(1, {key.Full("S")}, {key.Full("D")}, "v", 0, {}), ERR_OK},
        {"copy a missing value", NewValueObject(1, {key.Full("S")}, {key.Full("D")}, "none", 0, {}), ERR_REG_COPY},
        {"move", NewValueObject(2, {key.Full("S")}, {key.Full("new")}, "v", 0, {}), ERR_OK},
        {"move within its key", NewValueObject(2, {key.Full("S")}, {key.Full("s")}, "v", 0, {}), ERR_REG_COPY},
        {"delete", NewValueObject(4, {}, {key.Full("D")}, "v", 0, {}), ERR_OK},
        // Its key is made first, and recorded for deletion.
        {"delete a missing value", NewValueObject(4, {}, {key.Full("nokey")}, "v", 0, {}), ERR_REG_DELETE_VALUE},
    };
    for (const Case& c : cases)
    {
        Owned owned(c.object);
        CInstaller installer;
        EXPECT_EQ(Execute(installer, c.object), c.code) << c.name;
        Export after = ExportTree(key.Path());
        if (std::string(c.name) == "copy")
            EXPECT_EQ(after["D"]["v"], before["S"]["v"]);
        if (std::string(c.name) == "move")
        {
            EXPECT_EQ(after["new"]["v"], before["S"]["v"]);
            EXPECT_EQ(after["S"].count("v"), 0u);
        }
        RunUndo(installer);
        EXPECT_EQ(Differences(before, ExportTree(key.Path())), "") << c.name;
    }
}

TEST(RegistryValueObject, RecordsAreExecutedAsRecordedWithoutExpansion)
{
    ScratchKey key;
    CInstaller installer;
    // A restore record of a text with angle brackets, of the default value.
    CInstObjRegValue* restore = new CInstObjRegValue;
    CByteArray bytes;
    bytes.Copy((const BYTE*)"<Undefined>", 11);
    ASSERT_EQ(restore->InitRestoreUndo(key.Full("<k>").c_str(), "", bytes, REG_SZ), ERR_OK);
    ASSERT_EQ(installer.AddUndo(restore), ERR_OK);
    RunUndo(installer);
    DWORD type;
    Bytes data;
    ASSERT_TRUE(GetValue(key.Path("<k>"), "", type, data));
    EXPECT_EQ(std::string(data.begin(), data.end()), "<Undefined>");
}
