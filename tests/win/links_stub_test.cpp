// Links and shell actions in an installer run silently: the link is made
// and the file opened; when a later step fails, the rollback removes the
// link, and what the shell started stays done.
#include <gtest/gtest.h>

#include <string>

#include "files_support.h"
#include "objects/InstObjAction.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjShellLink.h"
#include "saver_test_config.h"
#include "win/stub_driver.h"
#include "win/stub_installer.h"

using namespace files_test;

namespace
{
std::string MakeInstaller(const ScratchDir& dir, bool bFails)
{
    CInstaller script;
    stub::AddVariables(script, {{"Here", dir.Path()}, {"Bin", SAVER_TEST_BIN_DIR}});
    CInstObjShellLink* link = new CInstObjShellLink;
    link->m_nMode = MODE_CREATE;
    link->m_strFile = "<Here>\\Readme.lnk";
    link->m_strTarget = "<Here>\\readme.txt";
    script.m_FinishList1.AddTail(link);
    CInstObjAction* open = new CInstObjAction;
    open->m_nMode = MODE_SHELL_VERB;
    open->m_strVerb = "open";
    open->m_strFile = "<Bin>\\procs_record.exe";
    open->m_strParameters = ("\"" + (dir / "opened.txt") + "\"").c_str();
    open->m_nShowCmd = SW_HIDE;
    script.m_FinishList1.AddTail(open);
    if (bFails)
    {
        CInstObjDir* fails = new CInstObjDir;
        fails->m_nMode = 9;
        script.m_FinishList2.AddTail(fails);
    }
    std::string path = dir / (bFails ? "fails.exe" : "works.exe");
    EXPECT_TRUE(WriteFileBytes(path, stub::InstallerOf(script)));
    return path;
}

bool WaitFor(const std::string& path)
{
    for (int i = 0; i < 200 && !Exists(path); i++)
        Sleep(50);
    return Exists(path);
}
}  // namespace

TEST(LinksStub, ALinkGoesWithTheRollbackAndTheOpenedFileStays)
{
    if (!SAVER_TEST_HAVE_SETUP)
        GTEST_SKIP() << "setup.exe is not built in this tree";
    struct Case
    {
        bool fails;
        DWORD exitCode;
        bool linkStays;
    } cases[] = {{false, ERR_OK, true}, {true, ERR_FAILED, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fails ? "a later step fails" : "all steps succeed");
        ScratchDir dir;
        stub::Run run = stub::RunProgram(MakeInstaller(dir, c.fails), "-s");
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_EQ(Exists(dir / "Readme.lnk"), c.linkStays);
        EXPECT_TRUE(WaitFor(dir / "opened.txt"));
    }
}
