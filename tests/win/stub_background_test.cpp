// A silent installation runs while its package is still being read. A
// package that turns out unreadable after the first steps have run fails
// with 1, and the undo leaves nothing behind. Nobody can write the program
// file while its package is read.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "files_support.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "saver_test_config.h"
#include "win/stub_driver.h"
#include "framework/File.h"
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

// A define that, as it is read, tries to open the program file for
// writing (every sharing allowed) and tells whether it could.
std::string g_probedPath;
std::vector<std::string> g_probes;

class CWriterProbe : public CInstObjDefine
{
    DECLARE_SERIAL(CWriterProbe)
public:
    void Serialize(CArchive& ar) override
    {
        CInstObjDefine::Serialize(ar);
        if (ar.IsStoring())
            return;
        HANDLE h = CreateFileA(g_probedPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        g_probes.push_back(std::string((const char*)m_strName) +
                           (h != INVALID_HANDLE_VALUE ? ": written" : GetLastError() == ERROR_SHARING_VIOLATION
                                                                          ? ": refused"
                                                                          : ": other error"));
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};
IMPLEMENT_SERIAL(CWriterProbe, CInstObjDefine, 1)

bool CanWrite(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

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

// The checksum is taken over the file in one pass and the body inflated in
// a second: were the file written in between, the steps would come from
// bytes that were never checked. Whole or in the background, the package is
// read from a file nobody can write until the script lets go of it.
TEST(StubBackground, NobodyWritesTheProgramFileWhileItsPackageIsRead)
{
    CInstaller::RegisterClasses();
    AfxRegisterClass(RUNTIME_CLASS(CWriterProbe));
    ScratchDir out;
    g_probedPath = out / "probed.exe";
    CInstaller packed;
    for (CObList* pList : {&packed.m_DefineList, &packed.m_FinishList2})
    {
        CWriterProbe* pProbe = new CWriterProbe;
        pProbe->SetVariable(pList == &packed.m_DefineList ? "define" : "finish", "");
        pList->AddTail(pProbe);
    }
    ASSERT_TRUE(WriteFileBytes(g_probedPath, Text("MZ image") + stub::MarkerBytes() + stub::PackageOf(packed)));

    for (bool bBackground : {false, true})
    {
        g_probes.clear();
        {
            CInstaller script;
            int r = bBackground ? script.BeginLoadPackage(g_probedPath.c_str()) : script.LoadPackage(g_probedPath.c_str());
            ASSERT_EQ(r, ERR_OK);
            EXPECT_EQ(script.Run(), ERR_OK);
            EXPECT_EQ(g_probes, (std::vector<std::string>{"define: refused", "finish: refused"})) << bBackground;
            // Readers are welcome meanwhile.
            CFile reader;
            EXPECT_TRUE(reader.Open(g_probedPath.c_str(), CFile::modeRead | CFile::shareDenyWrite)) << bBackground;
        }
        EXPECT_TRUE(CanWrite(g_probedPath)) << bBackground;
    }
}

// The stub opens its own file so: a running program's file is open for the
// loader already, and that does not stand in the way.
TEST(StubBackground, ARunningProgramOpensItsOwnFileDenyingWriters)
{
    char szPath[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, szPath, MAX_PATH), 0u);
    CFile self;
    ASSERT_TRUE(self.Open(szPath, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary));
    BYTE mz[2] = {0, 0};
    EXPECT_EQ(self.Read(mz, 2), 2u);
    EXPECT_EQ(mz[0], 'M');
    EXPECT_FALSE(CanWrite(szPath));
}
