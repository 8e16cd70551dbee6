// The rollback proof: a script that creates, copies, moves and deletes keys
// and values is made to fail after each of its steps in turn; every time the
// whole tree under the test key must come back name for name, type for type
// and byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/FaultHooks.h"
#include "registry_support.h"

using namespace registry_test;

namespace
{
const std::string kMulti("one\0two <2>\0\0", 14);

void MakeStartingTree(const std::string& root)
{
    auto value = [&](const std::string& key, const std::string& name, DWORD type, const Bytes& data) {
        ASSERT_TRUE(SetValue(root + "\\" + key, name, type, data)) << key << "|" << name;
    };
    value("base\\keep", "", REG_SZ, Text("the default <with brackets>"));
    value("base\\keep", "bin", REG_BINARY, B({0, 1, 0xFE, 0xFF, 0}));
    value("base\\keep", "multi", REG_MULTI_SZ, Text(kMulti));
    value("base\\keep", "dw", REG_DWORD, Le32(0xC0FFEE));
    value("base\\keep", "exp", REG_EXPAND_SZ, Text("%SystemRoot%\\<NotAVariable>"));
    value("base\\tree", "", REG_SZ, Text("tree default"));
    value("base\\tree\\a\\b", "deep", REG_BINARY, B({7, 7, 7}));
    value("base\\tree\\a", "text", REG_SZ, Text("a <b> c"));
    ASSERT_TRUE(MakeKey(root + "\\base\\tree\\c"));
    value("base\\src2", "", REG_SZ, Text("src2 default"));
    value("base\\src2", "same", REG_DWORD, Le32(2));
    value("base\\dest", "", REG_SZ, Text("dest default <x>"));
    value("base\\dest", "same", REG_MULTI_SZ, Text(kMulti));
    value("base\\dest", "own", REG_SZ, Text("own"));
    value("base\\movetree", "m", REG_SZ, Text("m"));
    value("base\\movetree\\inner", "", REG_BINARY, B({1}));
    value("base\\deltree", "", REG_SZ, Text("<deleted default>"));
    value("base\\deltree\\x\\y", "y", REG_MULTI_SZ, Text(kMulti));
    ASSERT_TRUE(MakeKey(root + "\\base\\deltree\\empty"));
    value("base\\vals", "over", REG_BINARY, B({9, 8, 7}));
    value("base\\vals", "delme", REG_SZ, Text("<gone>"));
    value("base\\vals", "moveme", REG_DWORD, Le32(42));
}

struct Step
{
    const char* name;
    std::function<CInstObj*()> make;
};

// Paths go through the script's own variable, as a package would write them.
std::vector<Step> Steps()
{
    const std::string R = "<Root>";
    return {
        {"create keys", [=] { return NewKeyObject(3, {}, {R + "\\new\\a\\b", R + "\\base\\keep"}); }},
        {"copy a tree to a new place", [=] { return NewKeyObject(1, {R + "\\base\\tree"}, {R + "\\copytree"}); }},
        {"copy a key onto a key", [=] { return NewKeyObject(1, {R + "\\base\\src2"}, {R + "\\base\\dest"}); }},
        {"move a tree", [=] { return NewKeyObject(2, {R + "\\base\\movetree"}, {R + "\\new\\moved"}); }},
        {"delete a tree", [=] { return NewKeyObject(4, {}, {R + "\\base\\deltree"}); }},
        {"set a value of another type", [=] {
             return NewValueObject(3, {}, {R + "\\base\\vals", R + "\\new\\vals"}, "over", REG_SZ, Text("<Root>"));
         }},
        {"set new values", [=] {
             return NewValueObject(3, {}, {R + "\\base\\keep", R + "\\base\\tree\\a"}, "added", REG_MULTI_SZ,
                                   Text(std::string("x\0<Root>\0\0", 10)));
         }},
        {"overwrite binary data", [=] {
             return NewValueObject(3, {}, {R + "\\base\\keep"}, "bin", REG_BINARY, B({0xAA}));
         }},
        {"delete a value", [=] { return NewValueObject(4, {}, {R + "\\base\\vals"}, "delme", 0, {}); }},
        {"move a value", [=] {
             return NewValueObject(2, {R + "\\base\\vals"}, {R + "\\new\\vals2"}, "moveme", 0, {});
         }},
        {"copy a value", [=] {
             return NewValueObject(1, {R + "\\base\\keep", R + "\\base\\keep"}, {R + "\\base\\vals", R + "\\base\\dest"},
                                   "multi", 0, {});
         }},
        {"set a short path", [=] {
             return NewValueObject(3, {}, {R + "\\base\\keep"}, "exp", CInstObjRegValue::kTypeShortPath,
                                   Text("C:\\windows\\system32"));
         }},
        {"write into a copied tree", [=] {
             return NewValueObject(3, {}, {R + "\\copytree\\c"}, "late", REG_DWORD, Le32(1));
         }},
        {"delete a copied tree's branch", [=] { return NewKeyObject(4, {}, {R + "\\copytree\\a"}); }},
    };
}

int RunScript(const std::string& fullRoot, size_t nSteps, bool bFail)
{
    std::vector<Step> steps = Steps();
    CInstaller installer;
    EXPECT_EQ(installer.AddVariable("Root", fullRoot.c_str()), 0);
    for (size_t i = 0; i < nSteps; i++)
        installer.m_RegistryList.AddTail(steps[i].make());
    if (bFail)
        installer.m_RegistryList.AddTail(NewKeyObject(9, {}, {}));
    return installer.Run();
}
}  // namespace

TEST(RegistryRollback, TheWholeScriptSucceedsAndChangesTheTree)
{
    ScratchKey key;
    MakeStartingTree(key.Path("r"));
    Export before = ExportTree(key.Path("r"));
    EXPECT_EQ(RunScript(key.Full("r"), Steps().size(), false), 0);
    Export after = ExportTree(key.Path("r"));
    EXPECT_NE(Differences(before, after), "");
    EXPECT_EQ(after.count("base\\deltree"), 0u);
    EXPECT_EQ(after.count("base\\movetree"), 0u);
    EXPECT_EQ(after["new\\moved\\inner"][""], before["base\\movetree\\inner"][""]);
    EXPECT_EQ(after["base\\dest"][""], before["base\\src2"][""]);
    EXPECT_EQ(after["base\\dest"]["own"], before["base\\dest"]["own"]);
    EXPECT_EQ(after["base\\vals"]["over"].type, (DWORD)REG_SZ);
    EXPECT_EQ(after["new\\vals2"]["moveme"], before["base\\vals"]["moveme"]);
    EXPECT_EQ(after.count("copytree\\a"), 0u);
}

TEST(RegistryRollback, AFailureAfterAnyStepRestoresTheTreeExactly)
{
    std::vector<Step> steps = Steps();
    for (size_t n = 0; n <= steps.size(); n++)
    {
        SCOPED_TRACE(n == 0 ? std::string("failure before any step")
                            : std::string("failure after \"") + steps[n - 1].name + "\"");
        ScratchKey key;
        MakeStartingTree(key.Path("r"));
        Export before = ExportTree(key.Path("r"));
        ASSERT_GT(before.size(), 10u);
        EXPECT_EQ(RunScript(key.Full("r"), n, true), ERR_FAILED);
        EXPECT_EQ(Differences(before, ExportTree(key.Path("r"))), "");
        // Nothing beside the tree either.
        EXPECT_EQ(ExportTree(key.Path()).size(), before.size() + 1);
    }
}

TEST(RegistryRollback, AFailureOfAnyChangeRestoresTheTreeExactly)
{
    // The k-th change the script makes to the registry fails, for every k in
    // turn: whatever a step had done before it, the rollback undoes.
    int nRolledBack = 0;
    for (unsigned k = 1;; k++)
    {
        SCOPED_TRACE("change " + std::to_string(k));
        ScratchKey key;
        MakeStartingTree(key.Path("r"));
        Export before = ExportTree(key.Path("r"));
        FaultFailChange(k, ERROR_ACCESS_DENIED);
        int r = RunScript(key.Full("r"), Steps().size(), false);
        bool bFailed = FaultChangeCount() >= k;
        FaultFailChange(0, 0);
        if (!bFailed)
        {
            EXPECT_EQ(r, ERR_OK);
            break;
        }
        // A value set on several keys reports its last key only: a failure
        // at an earlier one is no failure of the run.
        if (r == ERR_OK)
            continue;
        nRolledBack++;
        EXPECT_EQ(Differences(before, ExportTree(key.Path("r"))), "") << "result " << r;
    }
    EXPECT_GT(nRolledBack, 50);
}
