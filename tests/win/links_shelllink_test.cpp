// Shell links: what is written, what is recorded, and what a rollback
// removes or puts back.
#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "files_support.h"
#include "framework/FaultHooks.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjShellLink.h"
#include "script/Installer.h"

using namespace files_test;

namespace
{
CInstObjShellLink* NewLink(DWORD nMode, const std::string& file, const std::string& target)
{
    CInstObjShellLink* p = new CInstObjShellLink;
    p->m_nMode = nMode;
    p->m_strFile = file.c_str();
    p->m_strTarget = target.c_str();
    return p;
}

// A step that fails after the others.
CInstObj* NewFailingStep()
{
    CInstObjDir* p = new CInstObjDir;
    p->m_nMode = 9;
    return p;
}

struct LinkFields
{
    std::string path, description, arguments, directory;
    bool loaded = false;
};

LinkFields ReadLink(const std::string& file)
{
    LinkFields f;
    CoInitialize(nullptr);
    IShellLinkA* pLink = nullptr;
    IPersistFile* pFile = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&pLink)) &&
        SUCCEEDED(pLink->QueryInterface(IID_IPersistFile, (void**)&pFile)))
    {
        WCHAR szWide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, szWide, MAX_PATH);
        if (SUCCEEDED(pFile->Load(szWide, STGM_READ)))
        {
            char sz[MAX_PATH];
            f.loaded = true;
            if (SUCCEEDED(pLink->GetPath(sz, MAX_PATH, nullptr, SLGP_RAWPATH)))
                f.path = sz;
            if (SUCCEEDED(pLink->GetDescription(sz, MAX_PATH)))
                f.description = sz;
            if (SUCCEEDED(pLink->GetArguments(sz, MAX_PATH)))
                f.arguments = sz;
            if (SUCCEEDED(pLink->GetWorkingDirectory(sz, MAX_PATH)))
                f.directory = sz;
        }
    }
    if (pFile != nullptr)
        pFile->Release();
    if (pLink != nullptr)
        pLink->Release();
    CoUninitialize();
    return f;
}

// The show command as the file holds it (the link header's field at 0x3C):
// Wine reads every link back as SW_SHOWNORMAL.
DWORD ShowCommandOf(const std::string& file)
{
    Bytes b = ReadAll(file);
    if (b.size() < 0x40)
        return 0xFFFFFFFF;
    return b[0x3C] | (b[0x3D] << 8) | (b[0x3E] << 16) | ((DWORD)b[0x3F] << 24);
}

class LinksShellLink : public ::testing::Test
{
protected:
    void TearDown() override { FaultFailChange(0, 0); }
    ScratchDir m_dir;
};
}  // namespace

TEST_F(LinksShellLink, WritesTheLinkAndRecordsItsRemoval)
{
    std::string file = m_dir / "Glimmer.lnk";
    std::string target = m_dir / "glimmer.scr";
    ASSERT_TRUE(MakeFile(target, "saver"));
    CInstaller installer;
    ASSERT_EQ(installer.AddVariable("Here", m_dir.Path().c_str()), 0);
    std::unique_ptr<CInstObjShellLink> link(NewLink(MODE_CREATE, "<Here>\\Glimmer.lnk", "<Here>\\glimmer.scr"));
    link->m_strVerb = "Glimmer <saver>";  // the description is not expanded
    link->m_strParameters = "/s <now>";
    link->m_strDirectory = "<Here>";
    link->m_nShowCmd = SW_SHOWMAXIMIZED;
    ASSERT_EQ(link->Execute(&installer), ERR_OK);

    LinkFields f = ReadLink(file);
    ASSERT_TRUE(f.loaded);
    EXPECT_EQ(f.path, target);
    EXPECT_EQ(f.description, "Glimmer <saver>");
    EXPECT_EQ(f.arguments, "/s <now>");
    EXPECT_EQ(f.directory, m_dir.Path());
    EXPECT_EQ(ShowCommandOf(file), (DWORD)SW_SHOWMAXIMIZED);

    ASSERT_EQ(installer.m_UndoList.GetCount(), 1);
    CInstObjDir* pRecord = (CInstObjDir*)installer.m_UndoList.GetHead();
    ASSERT_TRUE(pRecord->IsKindOf(RUNTIME_CLASS(CInstObjDir)));
    EXPECT_FALSE(pRecord->IsKindOf(RUNTIME_CLASS(CInstObjFile)));
    EXPECT_EQ(pRecord->m_nMode, (DWORD)MODE_DELETE);
    ASSERT_EQ(pRecord->m_Targets.GetSize(), 1);
    EXPECT_EQ(pRecord->m_Targets[0], file.c_str());
}

TEST_F(LinksShellLink, AFailedSaveRecordsNothing)
{
    struct Case
    {
        const char* what;
        std::string file;
        unsigned failChange;  // 0: no fault
    } cases[] = {
        {"missing folder", m_dir / "missing\\x.lnk", 0},
        {"the save refused", m_dir / "refused.lnk", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        CInstaller installer;
        std::unique_ptr<CInstObjShellLink> link(NewLink(MODE_CREATE, c.file, "C:\\windows\\notepad.exe"));
        FaultFailChange(c.failChange, ERROR_ACCESS_DENIED);
        EXPECT_EQ(link->Execute(&installer), ERR_LINK);
        FaultFailChange(0, 0);
        EXPECT_TRUE(installer.m_UndoList.IsEmpty());
        EXPECT_FALSE(Exists(c.file));
    }
}

TEST_F(LinksShellLink, ChecksAndModesThatWriteNothing)
{
    std::string file = m_dir / "x.lnk";
    struct Case
    {
        DWORD mode;
        std::string file, target;
        int expected;
    } cases[] = {
        {MODE_DELETE, file, "C:\\t.exe", ERR_OK},
        {MODE_DELETE, file, "<Nowhere>\\t.exe", ERR_UNDEFINED_VARIABLE},  // still expanded
        {MODE_DELETE, "", "", ERR_EMPTY_FILE_NAME},                       // and validated
        {MODE_CREATE, file, "", ERR_EMPTY_LINK_TARGET},
        {MODE_COPY, file, "C:\\t.exe", ERR_FAILED},
        {MODE_CREATE, m_dir / Repeat('l', 260) + ".lnk", "C:\\t.exe", ERR_TOO_LONG},
    };
    for (const Case& c : cases)
    {
        CInstaller installer;
        std::unique_ptr<CInstObjShellLink> link(NewLink(c.mode, c.file, c.target));
        EXPECT_EQ(link->Execute(&installer), c.expected) << c.mode << " " << c.target;
        EXPECT_TRUE(installer.m_UndoList.IsEmpty());
        EXPECT_FALSE(Exists(file));
    }
    std::unique_ptr<CInstObjShellLink> link(NewLink(MODE_CREATE, file, "C:\\t.exe"));
    EXPECT_EQ(link->Execute(nullptr), ERR_NO_INSTALLER);
}

TEST_F(LinksShellLink, ARollbackRemovesANewLinkAndRestoresAnOldOne)
{
    std::string fresh = m_dir / "new.lnk";
    std::string old = m_dir / "old.lnk";
    ASSERT_TRUE(MakeFile(old, "the user's own link"));
    CInstaller installer;
    installer.m_FinishList1.AddTail(NewLink(MODE_CREATE, fresh, "C:\\windows\\notepad.exe"));
    installer.m_FinishList1.AddTail(NewLink(MODE_CREATE, old, "C:\\windows\\notepad.exe"));
    installer.m_FinishList1.AddTail(NewFailingStep());
    EXPECT_EQ(installer.Run(), ERR_FAILED);
    EXPECT_FALSE(Exists(fresh));
    EXPECT_EQ(ReadText(old), "the user's own link");
}

TEST_F(LinksShellLink, WithoutRecordingTheLinkIsWrittenAlone)
{
    std::string file = m_dir / "x.lnk";
    CInstaller installer;
    std::unique_ptr<CInstObjShellLink> link(NewLink(MODE_CREATE, file, "C:\\windows\\notepad.exe"));
    link->SetRecordUndo(0);
    EXPECT_EQ(link->Execute(&installer), ERR_OK);
    EXPECT_TRUE(Exists(file));
    EXPECT_TRUE(installer.m_UndoList.IsEmpty());
}
