// A silent installation runs while its package is still being read. A
// package that turns out unreadable after the first steps have run fails
// with 1, and the undo leaves nothing behind.
#include <gtest/gtest.h>

#include <string>

#include "files_support.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "saver_test_config.h"
#include "win/stub_driver.h"
#include "win/stub_installer.h"

using namespace files_test;

namespace
{
// A class the stub does not know, as a newer packer might write one: the
// stub's reader stops there with an unknown class.
class CNewerStep : public CInstObjDefine
{
    DECLARE_SERIAL(CNewerStep)
};
IMPLEMENT_SERIAL(CNewerStep, CInstObjDefine, 1)

// A folder with carried files in it, then optionally the unknown step.
std::string MakeInstaller(const ScratchDir& out, const std::string& target, bool bBreaks)
{
    CInstaller script;
    stub::AddVariables(script, {{"Target", target}});
    CInstObjDir* dir = new CInstObjDir;
    dir->m_nMode = MODE_CREATE;
    dir->m_Targets.Add("<Target>\\Saver");
    script.m_PrepareList.AddTail(dir);
    for (int i = 0; i < 40; i++)
    {
        CInstObjFile* file = new CInstObjFile;
        file->m_nMode = MODE_CREATE;
        file->m_Targets.Add(("<Target>\\Saver\\part" + std::to_string(i) + ".bin").c_str());
        file->m_Content.SetSize(100000 + i);
        for (int k = 0; k < file->m_Content.GetSize(); k++)
            file->m_Content[k] = (BYTE)(k * 7 + i);
        script.m_FileList.AddTail(file);
    }
    if (bBreaks)
        script.m_FinishList2.AddTail(new CNewerStep);
    std::string path = out / (bBreaks ? "breaks.exe" : "whole.exe");
    EXPECT_TRUE(WriteFileBytes(path, stub::InstallerOf(script)));
    return path;
}
}  // namespace

TEST(StubBackground, APackageThatBreaksAfterItsFilesLeavesNothingBehind)
{
    if (!SAVER_TEST_HAVE_SETUP)
        GTEST_SKIP() << "setup.exe is not built in this tree";
    ScratchDir out, target;
    Listing before = ListTree(target.Path());

    stub::Run run = stub::RunProgram(MakeInstaller(out, target.Path(), true), "-s");
    EXPECT_EQ(run.exitCode, (DWORD)ERR_FAILED);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(Differences(before, ListTree(target.Path())), "");

    // The same package without the unknown step installs every file.
    run = stub::RunProgram(MakeInstaller(out, target.Path(), false), "-s");
    EXPECT_EQ(run.exitCode, (DWORD)ERR_OK);
    EXPECT_EQ(ReadAll(target / "Saver\\part39.bin").size(), 100039u);
}
