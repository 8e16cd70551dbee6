// The registry access classes on the real registry, each test under a key of
// its own: opening with the record of the first missing key, string reads,
// tree deletion, copies, and backups as undo records.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/Exceptions.h"
#include "framework/FaultHooks.h"
#include "registry/InstRegistry.h"
#include "registry_support.h"

using namespace registry_test;

namespace
{
std::vector<std::string> Strings(const CStringArray& a)
{
    std::vector<std::string> out;
    for (int i = 0; i < a.GetSize(); i++)
        out.push_back((const char*)a[i]);
    return out;
}
}  // namespace

TEST(RegistryPaths, SplitKeyPathGivesEveryLevel)
{
    struct Case
    {
        const char* path;
        std::vector<std::string> parts;
    } cases[] = {
        {"A\\B\\C", {"A", "A\\B", "A\\B\\C"}},
        {"A", {"A"}},
        {"", {""}},
        {"\\A", {"", "\\A"}},
        {"A\\", {"A", "A\\"}},
    };
    for (const Case& c : cases)
    {
        CStringArray out;
        InstRegistry::SplitKeyPath(c.path, out);
        EXPECT_EQ(Strings(out), c.parts) << c.path;
    }
}

TEST(RegistryPaths, RootPrefixNamesTheTwoRootsOnly)
{
    EXPECT_STREQ(InstRegistry::RootPrefix(HKEY_LOCAL_MACHINE), "HKEY_LOCAL_MACHINE\\");
    EXPECT_STREQ(InstRegistry::RootPrefix(HKEY_CURRENT_USER), "HKEY_CURRENT_USER\\");
    EXPECT_STREQ(InstRegistry::RootPrefix(HKEY_CLASSES_ROOT), "");
}

TEST(RegistryOpenKey, RecordsExactlyTheShallowestMissingKey)
{
    ScratchKey key;
    CInstaller installer;
    Recorder step(installer);
    {
        InstRegistry reg;
        ASSERT_TRUE(reg.OpenKey(HKEY_CURRENT_USER, key.Path("A\\B").c_str(), &step));
        EXPECT_STREQ(reg.GetPath(), key.Path("A\\B").c_str());
    }
    EXPECT_TRUE(KeyExistsHkcu(key.Path("A\\B")));
    EXPECT_EQ(UndoSummary(installer), std::vector<std::string>{"Key4 " + key.Full("A")});

    // Everything there already, or no undo target: nothing recorded.
    InstRegistry again;
    ASSERT_TRUE(again.OpenKey(HKEY_CURRENT_USER, key.Path("A\\B").c_str(), &step));
    InstRegistry untracked;
    ASSERT_TRUE(untracked.OpenKey(HKEY_CURRENT_USER, key.Path("C\\D").c_str(), nullptr));
    EXPECT_EQ(installer.m_UndoList.GetCount(), 1);

    RunUndo(installer);
    EXPECT_FALSE(KeyExistsHkcu(key.Path("A")));
    EXPECT_TRUE(KeyExistsHkcu(key.Path("C\\D")));
    EXPECT_EQ(installer.m_UndoList.GetCount(), 1);  // a record records nothing itself
}

TEST(RegistryOpenKey, WhatIsCreatedIsRecordedWhicheverAllocationFails)
{
    ScratchKey key;
    std::string path = key.Path("A\\B");
    for (unsigned n = 1;; n++)
    {
        SCOPED_TRACE("allocation " + std::to_string(n));
        CInstaller installer;
        Recorder step(installer);
        bool bOpened;
        bool bFailed;
        int nError;
        {
            InstRegistry reg;
            CExceptionScope scope;
            FaultFailAllocation(n);
            bOpened = reg.OpenKey(HKEY_CURRENT_USER, path.c_str(), &step);
            bFailed = FaultAllocationCount() >= n;
            FaultFailAllocation(0);
            nError = reg.GetError();
        }
        if (!bFailed)
        {
            EXPECT_TRUE(bOpened);
            EXPECT_EQ(installer.m_UndoList.GetCount(), 1);
            break;
        }
        EXPECT_FALSE(bOpened);
        EXPECT_EQ(nError, ERR_NO_MEMORY);
        EXPECT_FALSE(KeyExistsHkcu(key.Path("A")));
        EXPECT_EQ(installer.m_UndoList.GetCount(), 0);
    }
}

TEST(RegistryOpenKey, APathBeyondTheBufferIsRefusedNotCut)
{
    ScratchKey key;
    // Wine itself takes paths of up to 260 characters; the buffer holds 263.
    // The cut-off path would name another key.
    std::string fits = key.Path(std::string(100, 'a') + "\\" + std::string(100, 'b'));
    fits += "\\" + std::string(260 - fits.size() - 1, 'k');
    std::string over = fits + std::string(264 - fits.size(), 'x');
    CInstaller installer;
    Recorder step(installer);
    InstRegistry a, b;
    EXPECT_TRUE(a.OpenKey(HKEY_CURRENT_USER, fits.c_str(), &step));
    FaultFailChange(0, 0);
    EXPECT_FALSE(b.OpenKey(HKEY_CURRENT_USER, over.c_str(), &step));
    EXPECT_EQ(b.GetError(), ERR_TOO_LONG);
    EXPECT_EQ(FaultChangeCount(), 0u);  // refused before the system was asked
    EXPECT_STREQ(b.GetPath(), "");
    EXPECT_EQ(installer.m_UndoList.GetCount(), 1);
}

TEST(RegistryMRegistry, OpenCreatesAndStringReadsFailCleanly)
{
    ScratchKey key;
    RegistryInfo info;
    ASSERT_EQ(info.Open(HKEY_CURRENT_USER, key.Path("new\\deep").c_str()), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExistsHkcu(key.Path("new\\deep")));
    EXPECT_EQ(info.CloseSubKey(), ERROR_SUCCESS);  // none open

    ASSERT_TRUE(SetValue(key.Path("new\\deep"), "text", REG_SZ, Text("hello")));
    ASSERT_TRUE(SetValue(key.Path("new\\deep"), "raw", REG_BINARY, Text("abc")));
    char buffer[16];
    struct Case
    {
        const char* name;
        DWORD size;
        LONG result;
        const char* text;
    } cases[] = {
        {"text", sizeof(buffer), ERROR_SUCCESS, "hello"},
        {"raw", sizeof(buffer), ERROR_SUCCESS, "abc"},  // no zero of its own: one is put behind
        {"missing", sizeof(buffer), ERROR_FILE_NOT_FOUND, ""},
        {"text", 4, ERROR_MORE_DATA, ""},
        {"raw", 3, ERROR_MORE_DATA, ""},  // fills the buffer without a terminator
    };
    for (const Case& c : cases)
    {
        memset(buffer, 'x', sizeof(buffer));
        EXPECT_EQ(info.GetString(info.GetKey(), c.name, buffer, c.size), c.result) << c.name << " " << c.size;
        EXPECT_STREQ(buffer, c.text) << c.name << " " << c.size;
    }

    // ReadString: from the key or a sub-key; always true, empty on failure.
    RegistryInfo parent;
    ASSERT_EQ(parent.Open(HKEY_CURRENT_USER, key.Path("new").c_str()), ERROR_SUCCESS);
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_TRUE(parent.ReadString("deep", "text", buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(parent.GetSubKey(), nullptr);
    EXPECT_TRUE(parent.ReadString("", "missing", buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "");
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_TRUE(parent.ReadString("nokey", "text", buffer, sizeof(buffer)));
    EXPECT_STREQ(buffer, "");
}

TEST(RegistryDeleteKeyTree, RemovesNestedTreesAndRefusesWhatIsNotThere)
{
    ScratchKey key;
    for (const char* k : {"T\\a\\b\\c", "T\\a\\d", "T\\e", "Other"})
        ASSERT_TRUE(MakeKey(key.Path(k)));
    ASSERT_TRUE(SetValue(key.Path("T\\a\\b\\c"), "v", REG_DWORD, Le32(7)));
    RegistryInfo info;
    ASSERT_EQ(info.Open(HKEY_CURRENT_USER, key.Path().c_str()), ERROR_SUCCESS);
    EXPECT_TRUE(info.DeleteKeyTree("T"));
    EXPECT_FALSE(KeyExistsHkcu(key.Path("T")));
    EXPECT_TRUE(KeyExistsHkcu(key.Path("Other")));
    EXPECT_FALSE(info.DeleteKeyTree("T"));
    // The empty name would be the key itself.
    EXPECT_FALSE(info.DeleteKeyTree(""));
    EXPECT_TRUE(KeyExistsHkcu(key.Path("Other")));
}

TEST(RegistryCopy, ValuesAndTreesAreCopiedAndOtherValuesKept)
{
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path("S"), "", REG_SZ, Text("default")));
    ASSERT_TRUE(SetValue(key.Path("S"), "same", REG_DWORD, Le32(1)));
    ASSERT_TRUE(SetValue(key.Path("S\\sub\\deeper"), "bin", REG_BINARY, B({0, 1, 2, 0xFF})));
    ASSERT_TRUE(SetValue(key.Path("D"), "same", REG_SZ, Text("overwritten")));
    ASSERT_TRUE(SetValue(key.Path("D"), "own", REG_SZ, Text("kept")));

    InstRegistry source, target;
    ASSERT_TRUE(source.OpenKey(HKEY_CURRENT_USER, key.Path("S").c_str(), nullptr));
    ASSERT_TRUE(target.OpenKey(HKEY_CURRENT_USER, key.Path("D").c_str(), nullptr));
    EXPECT_TRUE(source.CopyRecursiveTo(&target));
    EXPECT_FALSE(source.CopyRecursiveTo(nullptr));

    Export s = ExportTree(key.Path("S"));
    Export d = ExportTree(key.Path("D"));
    EXPECT_EQ(d[""][""], s[""][""]);
    EXPECT_EQ(d[""]["same"], s[""]["same"]);
    EXPECT_EQ(d[""]["own"].data, Text("kept"));
    EXPECT_EQ(d["sub\\deeper"], s["sub\\deeper"]);

    // One value; a missing one is no copy.
    InstRegistry other;
    ASSERT_TRUE(other.OpenKey(HKEY_CURRENT_USER, key.Path("E").c_str(), nullptr));
    EXPECT_TRUE(source.CopyValuesTo("same", &other));
    EXPECT_FALSE(source.CopyValuesTo("missing", &other));
    EXPECT_EQ(ExportTree(key.Path("E"))[""], (std::map<std::string, Value>{{"same", s[""]["same"]}}));
}

TEST(RegistryBackup, AnEmptyKeyIsOneCreateRecord)
{
    ScratchKey key;
    ASSERT_TRUE(MakeKey(key.Path("Empty")));
    CInstaller installer;
    Recorder step(installer);
    InstRegistry reg;
    ASSERT_TRUE(reg.OpenKey(HKEY_CURRENT_USER, key.Path().c_str(), nullptr));
    EXPECT_TRUE(reg.BackupSubKeyTree("Empty", key.Full("Empty").c_str(), &step));
    EXPECT_EQ(UndoSummary(installer), std::vector<std::string>{"Key3 " + key.Full("Empty")});
    EXPECT_EQ(reg.GetSubKey(), nullptr);
    ASSERT_TRUE(DeleteTreeHkcu(key.Path("Empty")));
    RunUndo(installer);
    EXPECT_TRUE(KeyExistsHkcu(key.Path("Empty")));
    EXPECT_EQ(installer.m_UndoList.GetCount(), 1);
    // No installer: nothing to record, and that is no failure.
    EXPECT_TRUE(reg.BackupSubKeyTree("Empty", key.Full("Empty").c_str(), nullptr));
}

TEST(RegistryBackup, TheTreeComesBackKeyFirstWithTheDefaultValueAndAngleBrackets)
{
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path("T"), "", REG_SZ, Text("the default")));
    ASSERT_TRUE(SetValue(key.Path("T"), "angle", REG_SZ, Text("<NoSuchVariable>\\x")));
    ASSERT_TRUE(SetValue(key.Path("T\\a"), "multi", REG_MULTI_SZ, Text(std::string("one\0two\0\0", 9))));
    ASSERT_TRUE(SetValue(key.Path("T\\a\\b"), "dw", REG_DWORD, Le32(0x12345678)));
    ASSERT_TRUE(MakeKey(key.Path("T\\c")));
    Export before = ExportTree(key.Path("T"));

    CInstaller installer;
    Recorder step(installer);
    {
        InstRegistry reg;
        ASSERT_TRUE(reg.OpenKey(HKEY_CURRENT_USER, key.Path().c_str(), nullptr));
        ASSERT_TRUE(reg.BackupSubKeyTree("T", key.Full("T").c_str(), &step));
        ASSERT_TRUE(reg.DeleteKeyTree("T"));
    }
    // Newest first: each key comes before its values and its sub-keys, so
    // the undo makes it before it fills it.
    std::vector<std::string> summary = UndoSummary(installer);
    ASSERT_EQ(summary.size(), 8u);  // four keys, four values
    EXPECT_EQ(summary[0], "Key3 " + key.Full("T"));
    auto pathOf = [](const std::string& record) {
        std::string rest = record.substr(record.find(' ') + 1);
        return rest.substr(0, rest.find('|'));
    };
    for (size_t i = 0; i < summary.size(); i++)
    {
        if (summary[i].compare(0, 5, "Key3 ") != 0)
            continue;
        std::string key3 = pathOf(summary[i]);
        for (size_t j = 0; j < i; j++)
        {
            std::string inner = pathOf(summary[j]);
            EXPECT_FALSE(inner == key3 || inner.compare(0, key3.size() + 1, key3 + "\\") == 0)
                << summary[j] << " runs before " << summary[i];
        }
    }

    RunUndo(installer);
    EXPECT_EQ(Differences(before, ExportTree(key.Path("T"))), "");
}

TEST(RegistryBackup, AValueIsRecordedWithItsTypeAndBytesOrAsMissing)
{
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path(), "bin", REG_BINARY, B({1, 2, 3})));
    CInstaller installer;
    Recorder step(installer);
    InstRegistry reg;
    ASSERT_TRUE(reg.OpenKey(HKEY_CURRENT_USER, key.Path().c_str(), nullptr));
    EXPECT_TRUE(reg.BackupValue(key.Full().c_str(), "bin", &step));
    EXPECT_TRUE(reg.BackupValue(key.Full().c_str(), "none", &step));
    EXPECT_EQ(UndoSummary(installer), (std::vector<std::string>{"Value4 " + key.Full() + "|none",
                                                                "Value3 " + key.Full() + "|bin|3|01 02 03"}));
}

TEST(RegistryBackup, AnAllocationThatFailsAnywhereFailsTheBackup)
{
    ScratchKey key;
    ASSERT_TRUE(SetValue(key.Path("T\\a\\b"), "v1", REG_SZ, Text("one")));
    ASSERT_TRUE(SetValue(key.Path("T\\a"), "v2", REG_SZ, Text("two")));
    ASSERT_TRUE(SetValue(key.Path("T"), "v3", REG_SZ, Text("three")));
    // Every allocation of the walk, the deepest ones included, in turn.
    for (unsigned n = 1;; n++)
    {
        SCOPED_TRACE("allocation " + std::to_string(n));
        CInstaller installer;
        Recorder step(installer);
        InstRegistry reg;
        ASSERT_TRUE(reg.OpenKey(HKEY_CURRENT_USER, key.Path().c_str(), nullptr));
        CString strFull = key.Full("T").c_str();
        FaultFailAllocation(n);
        bool bDone;
        {
            CExceptionScope scope;
            bDone = reg.BackupSubKeyTree("T", strFull, &step);
        }
        bool bFailed = FaultAllocationCount() >= n;
        FaultFailAllocation(0);
        if (!bFailed)
        {
            EXPECT_TRUE(bDone);
            EXPECT_EQ(installer.m_UndoList.GetCount(), 6);
            break;
        }
        EXPECT_FALSE(bDone);
        EXPECT_EQ(reg.GetError(), ERR_NO_MEMORY);
    }
}
