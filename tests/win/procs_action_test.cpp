// The action step: its checks, and a file opened through the shell.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "files_support.h"
#include "objects/InstObjAction.h"
#include "saver_test_config.h"
#include "script/Installer.h"

using namespace files_test;

namespace
{
CInstObjAction* NewAction(DWORD nMode, const char* pszVerb, const char* pszFile)
{
    CInstObjAction* p = new CInstObjAction;
    p->m_nMode = nMode;
    p->m_strVerb = pszVerb;
    p->m_strFile = pszFile;
    return p;
}

// Waits for the shell's program to have written its record.
std::string WaitForText(const std::string& path)
{
    for (int i = 0; i < 200; i++)
    {
        std::string text = ReadText(path);
        if (text.find("cwd=") != std::string::npos && text.back() == '\n')
            return text;
        Sleep(50);
    }
    return ReadText(path);
}
}  // namespace

TEST(ProcsAction, ChecksComeBeforeTheWork)
{
    struct Case
    {
        DWORD mode;
        const char* verb;
        const char* file;
        int expected;
    } cases[] = {
        {MODE_SHELL_VERB, "explore", "x.txt", ERR_VERB},
        {MODE_SHELL_VERB, "", "x.txt", ERR_VERB},
        {MODE_SHELL_VERB, "open", "", ERR_EMPTY_FILE_NAME},
        {5, "", "", ERR_EMPTY_FILE_NAME},  // the empty file is found before the mode
        {5, "", "x.txt", ERR_FAILED},
        {MODE_CLOSE_PROCESSES, "", "", ERR_EMPTY_FILE_NAME},
        {MODE_SHELL_VERB, "open", "<Undefined>\\x.txt", ERR_UNDEFINED_VARIABLE},
    };
    for (const Case& c : cases)
    {
        CInstaller installer;
        std::unique_ptr<CInstObjAction> action(NewAction(c.mode, c.verb, c.file));
        EXPECT_EQ(action->Execute(&installer), c.expected) << c.mode << " '" << c.verb << "' '" << c.file << "'";
        EXPECT_TRUE(installer.m_UndoList.IsEmpty());
    }
    std::unique_ptr<CInstObjAction> action(NewAction(5, "", ""));
    EXPECT_EQ(action->Execute(nullptr), ERR_NO_INSTALLER);
}

TEST(ProcsAction, OpensAFileThroughTheShell)
{
    ScratchDir dir;
    std::string program = std::string(SAVER_TEST_BIN_DIR) + SAVER_TEST_SEP + "procs_record.exe";
    struct Case
    {
        const char* verb;
        bool withDirectory;
    } cases[] = {{"Open", true}, {"open", false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.verb);
        std::string out = dir / (c.withDirectory ? "with.txt" : "without.txt");
        CInstaller installer;
        ASSERT_EQ(installer.AddVariable("Bin", SAVER_TEST_BIN_DIR), 0);
        std::unique_ptr<CInstObjAction> action(NewAction(MODE_SHELL_VERB, c.verb, "<Bin>\\procs_record.exe"));
        action->m_strParameters = ("\"" + out + "\" one two").c_str();
        if (c.withDirectory)
            action->m_strDirectory = dir.Path().c_str();
        action->m_nShowCmd = SW_HIDE;
        ASSERT_EQ(action->Execute(&installer), ERR_OK);
        EXPECT_EQ(action->m_strVerb, "open");
        EXPECT_EQ(action->m_strFile, program.c_str());
        EXPECT_TRUE(installer.m_UndoList.IsEmpty());
        char szOwn[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, szOwn);
        // No folder given: the shell's program starts in ours.
        std::string cwd = c.withDirectory ? dir.Path() : szOwn;
        EXPECT_EQ(WaitForText(out), "one\ntwo\ncwd=" + cwd + "\n");
    }
}
