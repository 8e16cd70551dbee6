// The rollback proof: a script that creates folders, copies, moves and
// deletes files and trees and writes carried files is made to fail after
// each of its steps in turn; every time, the whole tree under the test folder
// must come back byte for byte and attribute for attribute.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "files_support.h"
#include "framework/FaultHooks.h"

using namespace files_test;

namespace
{
const DWORD kReadOnly = FILE_ATTRIBUTE_READONLY;
const DWORD kHidden = FILE_ATTRIBUTE_HIDDEN;
const DWORD kSystem = FILE_ATTRIBUTE_SYSTEM;

void MakeStartingTree(const std::string& root)
{
    auto dir = [&](const std::string& rel, DWORD a = 0) { ASSERT_TRUE(MakeDir(Join(root, rel), a)) << rel; };
    auto file = [&](const std::string& rel, const std::string& text, DWORD a = 0) {
        ASSERT_TRUE(MakeFile(Join(root, rel), text, a)) << rel;
    };
    ASSERT_TRUE(MakeDir(root));
    dir("base");
    file("base\\keep.txt", "user's own keep.txt", kSystem);
    file("base\\x.txt", "x");
    dir("base\\tree");
    file("base\\tree\\t1.txt", "tree one");
    file("base\\tree\\ro.txt", "read-only in tree", kReadOnly);
    dir("base\\tree\\sub", kHidden);
    file("base\\tree\\sub\\t2.bin", std::string("\0\1\2\3", 4));
    dir("base\\existing");
    file("base\\existing\\t1.txt", "existing one, not replaced");
    file("base\\moveme.txt", "move me", kHidden);
    dir("base\\movetree");
    file("base\\movetree\\m1.txt", "m1");
    dir("base\\movetree\\inner");
    file("base\\movetree\\inner\\m2.txt", "m2", kHidden);
    file("base\\del.txt", "delete me", kHidden);
    dir("base\\deltree", kSystem);
    file("base\\deltree\\d1.txt", "d1", kSystem | kHidden);
    dir("base\\deltree\\empty");
    dir("base\\deltree\\full");
    file("base\\deltree\\full\\d2.txt", "d2");
    file("base\\patched.txt", "old patched");
    file("base\\over_src.txt", "over source");
    file("base\\over_dst.txt", "over target", kHidden);
    if (HaveGlimmer())
        ASSERT_TRUE(MakeVersionedCopy(GlimmerPath(false), Join(root, "base\\saver.scr"), 1, 0, 0, 0));
    else
        file("base\\saver.scr", "an old saver");
}

typedef std::function<CInstObj*()> StepMaker;

struct Step
{
    const char* name;
    StepMaker make;
};

// Paths go through the script's own variable, as a package would write them.
std::vector<Step> Steps()
{
    const std::string R = "<Root>";
    std::string saver = HaveGlimmer() ? GlimmerPath(false) : std::string();
    return {
        {"create folders", [=] { return NewDir(3, {}, {R + "\\new\\a\\b"}, kHidden); }},
        {"write a carried file", [=] {
             return NewFile({R + "\\new\\a\\b\\carried.txt", R + "\\base\\keep.txt"}, Text("carried"), kReadOnly);
         }},
        {"copy a file", [=] { return NewDir(1, {R + "\\base\\x.txt"}, {R + "\\new\\x.txt"}); }},
        {"copy a tree to a new place", [=] { return NewDir(1, {R + "\\base\\tree"}, {R + "\\copytree"}); }},
        {"copy a tree onto a tree", [=] { return NewDir(1, {R + "\\base\\tree"}, {R + "\\base\\existing"}); }},
        {"move a file", [=] { return NewDir(2, {R + "\\base\\moveme.txt"}, {R + "\\new\\moved.txt"}); }},
        {"move a tree", [=] { return NewDir(2, {R + "\\base\\movetree"}, {R + "\\new\\movedtree"}); }},
        {"delete a file", [=] { return NewDir(4, {}, {R + "\\base\\del.txt"}); }},
        {"delete a tree", [=] { return NewDir(4, {}, {R + "\\base\\deltree"}); }},
        {"write patched variants", [=] {
             return NewPatch({R + "\\base\\patched.txt", R + "\\new\\p2.txt"}, Text("VARIANT"),
                             {{{Text("V"), Text("1")}}, {{Text("V"), Text("2")}}});
         }},
        {"upgrade a versioned file", [=] {
             if (saver.empty())
                 return (CInstObj*)NewFile({R + "\\base\\saver.scr"}, Text("a new saver"));
             return (CInstObj*)NewDir(1, {saver}, {R + "\\base\\saver.scr"});
         }},
        {"move a file onto a file", [=] {
             return NewDir(2, {R + "\\base\\over_src.txt"}, {R + "\\base\\over_dst.txt"});
         }},
        {"write into a copied tree", [=] { return NewFile({R + "\\copytree\\sub\\added.txt"}, Text("added")); }},
    };
}

// The undo records of the tree steps compose paths as they walk, so the
// proof gives memory back when the undo begins (the progress restart): a
// step that ran out of memory has freed what it held by then.
int GiveMemoryBackForTheUndo(unsigned kind, unsigned, unsigned)
{
    if (kind == 3)
        FaultFailAllocation(0);
    return 0;
}

// Runs the first nSteps steps and then, if bFail, a step that fails.
int RunScript(const std::string& root, size_t nSteps, bool bFail)
{
    std::vector<Step> steps = Steps();
    CInstaller installer;
    EXPECT_EQ(installer.AddVariable("Root", root.c_str()), 0);
    for (size_t i = 0; i < nSteps; i++)
        installer.m_FileList.AddTail(steps[i].make());
    if (bFail)
        installer.m_FileList.AddTail(NewDir(9, {}, {}));
    return installer.Run();
}

class FilesRollback : public ::testing::Test
{
protected:
    PrivateTemp m_temp;  // TMP while the test runs
    ScratchDir m_dir;
};
}  // namespace

TEST_F(FilesRollback, TheWholeScriptSucceedsAndChangesTheTree)
{
    std::string root = m_dir / "full";
    MakeStartingTree(root);
    Listing before = ListTree(root);
    EXPECT_EQ(RunScript(root, Steps().size(), false), 0);
    EXPECT_NE(Differences(before, ListTree(root)), "");
    EXPECT_EQ(ReadText(root + "\\base\\keep.txt"), "carried");
    EXPECT_EQ(ReadText(root + "\\base\\existing\\t1.txt"), "existing one, not replaced");
    EXPECT_EQ(ReadText(root + "\\new\\movedtree\\inner\\m2.txt"), "m2");
    EXPECT_FALSE(Exists(root + "\\base\\deltree"));
    EXPECT_EQ(ReadText(root + "\\base\\patched.txt"), "1ARIANT");
    EXPECT_EQ(ReadText(root + "\\new\\p2.txt"), "2ARIANT");
    EXPECT_EQ(ReadText(root + "\\copytree\\sub\\added.txt"), "added");
    EXPECT_EQ(CountTempFiles(), 0);
}

TEST_F(FilesRollback, AFailureAfterAnyStepRestoresTheTreeExactly)
{
    std::vector<Step> steps = Steps();
    for (size_t n = 0; n <= steps.size(); n++)
    {
        SCOPED_TRACE(n == 0 ? std::string("failure before any step")
                            : std::string("failure after \"") + steps[n - 1].name + "\"");
        std::string root = m_dir / ("r" + std::to_string(n));
        MakeStartingTree(root);
        Listing before = ListTree(root);
        EXPECT_EQ(RunScript(root, n, true), 1);
        EXPECT_EQ(Differences(before, ListTree(root)), "");
        EXPECT_EQ(CountTempFiles(), 0);
    }
}

// The same script, made to run out of memory at each allocation of each step
// in turn: step by step, N = 1, 2, 3 ... until the step succeeds, every run
// that does not succeed must end with ERR_NO_MEMORY and leave the tree as it
// was. The step that succeeded leaves the state the next one starts from.
// (Undoing the earlier steps after a later failure is the test above.)
TEST_F(FilesRollback, RunningOutOfMemoryAnywhereRestoresTheTreeExactly)
{
    std::string root = m_dir / "memory";
    MakeStartingTree(root);
    std::vector<Step> steps = Steps();
    unsigned nRuns = 0;
    for (const Step& step : steps)
    {
        SCOPED_TRACE(step.name);
        Listing before = ListTree(root);
        unsigned n = 1;
        for (;; n++)
        {
            ASSERT_LT(n, 5000u);
            nRuns++;
            std::unique_ptr<CInstaller> installer(new CInstaller);
            ASSERT_EQ(installer->AddVariable("Root", root.c_str()), 0);
            installer->m_FileList.AddTail(step.make());
            installer->SetProgressCallback(GiveMemoryBackForTheUndo);
            FaultFailAllocation(n);
            int r = installer->Run();
            FaultFailAllocation(0);
            if (r == 0)
                break;
            ASSERT_EQ(r, 2) << "allocation " << n;
            ASSERT_EQ(Differences(before, ListTree(root)), "") << "allocation " << n;
            ASSERT_EQ(CountTempFiles(), 0) << "allocation " << n;
        }
        EXPECT_GT(n, 1u) << "the step allocates nothing: the proof covered nothing";
    }
    EXPECT_EQ(ReadText(root + "\\copytree\\sub\\added.txt"), "added");
    EXPECT_EQ(ReadText(root + "\\new\\p2.txt"), "2ARIANT");
    printf("[ proof    ] %u runs over %u steps\n", nRuns, (unsigned)steps.size());
}
