// The shell's dialogs, driven like a user: each runs from the templates and
// texts of the built setup.exe while a second thread reads its controls and
// presses its buttons.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <string>

#include "dialogs_support.h"
#include "resources/resource.h"
#include "saver_test_config.h"
#include "shell/Shell.h"
#include "win/stub_installer.h"

using dialogs::ItemText;
using dialogs::RunDialog;
using dialogs::Text;

namespace
{
const char kCaption[] = "GP Screensaver";

int ThreadCount()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {sizeof entry};
    int n = 0;
    for (BOOL ok = Thread32First(snap, &entry); ok; ok = Thread32Next(snap, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            n++;
    CloseHandle(snap);
    return n;
}

class Dialogs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SAVER_TEST_HAVE_SETUP)
            GTEST_SKIP() << "setup.exe is not built in this tree";
        m_module = LoadLibraryExA(SAVER_TEST_SETUP_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr) << SAVER_TEST_SETUP_EXE;
        // The progress bar's class, loaded the way setup.exe loads it.
        HMODULE comctl = LoadLibraryA("comctl32.dll");
        ASSERT_NE(comctl, nullptr);
        auto init = (void(WINAPI*)())GetProcAddress(comctl, "InitCommonControls");
        ASSERT_NE(init, nullptr);
        init();
        g_hInstance = m_module;
        g_pInstaller = &m_script;
        g_bSilent = FALSE;
        g_bActivate = FALSE;
    }
    void TearDown() override
    {
        g_pInstaller = nullptr;
        g_hInstance = nullptr;
        g_bSilent = FALSE;
        g_bActivate = FALSE;
        g_nErrorCode = 0;
        g_strErrorMessage.Empty();
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }

    CInstaller m_script;
    HMODULE m_module = nullptr;
};

// A user's answer to a dialog.
struct Answer
{
    const char* what;
    void (*act)(HWND);
};
const Answer kYes = {"Yes button", [](HWND d) { dialogs::Click(d, IDYES); }};
const Answer kNo = {"No button", [](HWND d) { dialogs::Click(d, IDNO); }};
const Answer kOk = {"button 1", [](HWND d) { dialogs::Click(d, IDOK); }};
const Answer kCancel = {"button 2", [](HWND d) { dialogs::Click(d, IDCANCEL); }};
const Answer kEscape = {"Escape", dialogs::PressEscape};
const Answer kClose = {"close box", dialogs::CloseBox};
}  // namespace

TEST_F(Dialogs, ConfirmationTextsAndAnswers)
{
    // The package's text wins, whatever the case of its name; no SaverName
    // leaves its line empty.
    stub::AddVariables(m_script, {{"ids_install1", "Installing <not expanded>"}});
    struct
    {
        Answer answer;
        INT_PTR result;
    } const cases[] = {{kYes, IDYES}, {kNo, IDNO}, {kEscape, IDCANCEL}, {kClose, IDCANCEL}};
    for (const auto& c : cases)
    {
        std::string texts;
        INT_PTR result = RunDialog(kCaption, ShowInstallDialog, [&](HWND dlg) {
            if (dlg == nullptr)
                return;
            for (int id : {IDC_INSTALL1, IDC_SAVERNAME, IDC_INSTALL2, IDC_INSTALL3, IDYES, IDNO})
                texts += ItemText(dlg, id) + "|";
            c.answer.act(dlg);
        });
        EXPECT_EQ(texts, "Installing <not expanded>||now!|Do you wish to continue?|&Yes|&No|") << c.answer.what;
        EXPECT_EQ(result, c.result) << c.answer.what;
    }
}

TEST_F(Dialogs, SuccessEndsOnlyThroughItsButtonAndSetsActivation)
{
    stub::AddVariables(m_script, {{"SaverName", "Glimmer"}});
    // The hidden check box starts ticked; each click turns it over.
    for (int clicks = 0; clicks < 3; clicks++)
    {
        std::string texts;
        bool stayedOpen = false;
        bool hidden = false;
        g_bActivate = !(clicks % 2 == 0);
        INT_PTR result = RunDialog(kCaption, ShowSuccessDialog, [&](HWND dlg) {
            if (dlg == nullptr)
                return;
            for (int id : {IDC_SUCCESS1, IDC_SAVERNAME, IDC_SUCCESS2, IDOK, IDC_ACTIVATE})
                texts += ItemText(dlg, id) + "|";
            RECT client, box;
            GetClientRect(dlg, &client);
            GetWindowRect(GetDlgItem(dlg, IDC_ACTIVATE), &box);
            MapWindowPoints(nullptr, dlg, (POINT*)&box, 2);
            hidden = box.left >= client.right && box.top >= client.bottom;
            dialogs::PressEscape(dlg);
            dialogs::CloseBox(dlg);
            PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
            stayedOpen = !dialogs::WaitGone(dlg, 500);
            for (int i = 0; i < clicks; i++)
                dialogs::Click(dlg, IDC_ACTIVATE);
            dialogs::Click(dlg, IDOK);
        });
        EXPECT_EQ(texts, "The Glimmerpane Screensaver|Glimmer|was installed successfully.|Ok|"
                         "Use this one as my active screensaver.|");
        EXPECT_TRUE(hidden) << "the check box lies outside the dialog";
        EXPECT_TRUE(stayedOpen) << "Escape, the close box and Cancel do nothing";
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(g_bActivate, clicks % 2 == 0) << clicks << " clicks";
    }
}

TEST_F(Dialogs, ErrorTextByCode)
{
    stub::AddVariables(m_script, {{"IDS_ERR_DIR", "Package: no folder"}});
    struct
    {
        int code;
        const char* message;  // of the failed check
        const char* text;
    } const cases[] = {
        {13, "", "Could not create a registry key"},
        {18, "", "An error occured"},
        {20, "", "Package: no folder"},
        {22, "", "Could not write a file"},
        {29, "Close Glimmer first. <not expanded>", "Close Glimmer first. <not expanded>"},
        {29, "", ""},
    };
    for (const auto& c : cases)
    {
        g_strErrorMessage = c.message;
        std::string caption, text, button;
        INT_PTR result = RunDialog(
            "Installation failed", [&] { return (INT_PTR)ShowErrorDialog(c.code); },
            [&](HWND dlg) {
                if (dlg == nullptr)
                    return;
                text = ItemText(dlg, IDC_ERROR_TEXT);
                button = ItemText(dlg, IDOK);
                kOk.act(dlg);
            });
        EXPECT_EQ(text, c.text) << c.code;
        EXPECT_EQ(button, "Ok") << c.code;
        EXPECT_EQ(result, IDOK) << c.code;
        EXPECT_EQ(g_nErrorCode, c.code);
    }

    // A package that cannot be read has a text of its own.
    std::string text;
    RunDialog(
        "Installation failed", [] { return (INT_PTR)ShowLoadErrorDialog(10); },
        [&](HWND dlg) {
            if (dlg == nullptr)
                return;
            text = ItemText(dlg, IDC_ERROR_TEXT);
            kOk.act(dlg);
        });
    EXPECT_EQ(text, "Can't read the installation file!");
    EXPECT_EQ(g_nErrorCode, 10);
}

TEST_F(Dialogs, SilentShowsNothing)
{
    g_bSilent = TRUE;
    bool shown = true;
    RunDialog(
        "Installation failed",
        [] {
            EXPECT_EQ(ShowErrorDialog(13), 0);
            EXPECT_EQ(AskLanguage("English", "German"), 0) << "silent keeps the installed language";
            return (INT_PTR)0;
        },
        [&](HWND dlg) { shown = dlg != nullptr; }, 1000);
    EXPECT_FALSE(shown);
    EXPECT_EQ(g_nErrorCode, 13) << "the code is stored all the same";

    int threads = ThreadCount();
    for (unsigned kind = 1; kind <= 5; kind++)
        EXPECT_EQ(ShowProgress(kind, 0, 2), 0);
    EXPECT_EQ(g_hProgressDlg, nullptr);
    EXPECT_EQ(ThreadCount(), threads) << "no progress thread";
}

TEST_F(Dialogs, LanguageQuestionNamesTheInstalledLanguageFirst)
{
    struct
    {
        Answer answer;
        int result;
    } const cases[] = {{kOk, 0}, {kCancel, 1}, {kEscape, 1}, {kClose, 1}};
    for (const auto& c : cases)
    {
        std::string texts;
        int result = (int)RunDialog(
            kCaption, [] { return (INT_PTR)AskLanguage("English (United States)", "German (Germany)"); },
            [&](HWND dlg) {
                if (dlg == nullptr)
                    return;
                for (int id : {IDC_QUESTION_TEXT, IDOK, IDCANCEL})
                    texts += ItemText(dlg, id) + "|";
                c.answer.act(dlg);
            });
        EXPECT_EQ(texts,
                  "The German (Germany) version of this screensaver is already installed.\n"
                  "The screensaver you install right now, is in English (United States).\n"
                  "Do you want to keep the current language?|&Yes|&No|")
            << c.answer.what;
        EXPECT_EQ(result, c.result) << c.answer.what << ": 0 keeps the installed language";
    }
}

TEST_F(Dialogs, ProgressRangeStepsAndPhases)
{
    auto bar = [] { return GetDlgItem(g_hProgressDlg, IDC_PROGRESS_BAR); };
    auto range = [&] {
        PBRANGE r = {};
        SendMessageA(bar(), PBM_GETRANGE, FALSE, (LPARAM)&r);
        return std::to_string(r.iLow) + ".." + std::to_string(r.iHigh) + " at " +
               std::to_string(SendMessageA(bar(), PBM_GETPOS, 0, 0));
    };
    auto phase = [] { return ItemText(g_hProgressDlg, IDC_PROGRESS_TEXT); };

    // Reports that come before the start are ignored.
    ShowProgress(4, 2, 0);
    ShowProgress(5, 0, 0);
    EXPECT_EQ(g_hProgressDlg, nullptr);

    // Twice: a closed window is opened again by the next start.
    for (int round = 0; round < 2; round++)
    {
        ShowProgress(1, 0, 2);
        ASSERT_NE(g_hProgressDlg, nullptr);
        HWND dlg = g_hProgressDlg;
        EXPECT_TRUE(IsWindowVisible(dlg));
        EXPECT_EQ(Text(dlg), kCaption);
        EXPECT_EQ(phase(), "Preparing installation");
        EXPECT_EQ(range(), "0..2 at 0");
        ShowProgress(5, 0, 0);
        ShowProgress(5, 0, 0);
        EXPECT_EQ(range(), "0..2 at 2");

        struct
        {
            unsigned id;
            const char* text;
        } const phases[] = {
            {2, "Creating registry keys"},     {3, "Copying files"},
            {1, "Preparing installation"},     {4, "Finalizing installation"},
            {5, "Restore original condition"}, {7, "Finalizing installation"},
            {0, "Finalizing installation"},
        };
        for (const auto& p : phases)
        {
            ShowProgress(4, p.id, 0);
            EXPECT_EQ(phase(), p.text) << "phase " << p.id;
        }

        // A new range; the bar holds 16-bit bounds.
        ShowProgress(3, 10, 70000);
        EXPECT_EQ(range(), "10..4464 at 10");
        ShowProgress(5, 0, 0);
        EXPECT_EQ(range(), "10..4464 at 11");

        ShowProgress(2, 0, 0);
        EXPECT_EQ(g_hProgressDlg, nullptr);
        EXPECT_FALSE(IsWindow(dlg));
    }
}

TEST_F(Dialogs, NoTemplateMeansNoWindowAndNoWait)
{
    // This test program carries no dialog templates.
    g_hInstance = GetModuleHandleA(nullptr);
    DWORD start = GetTickCount();
    EXPECT_EQ(ShowProgress(1, 0, 2), 0);
    EXPECT_LT(GetTickCount() - start, 2000u) << "no wait for a window that cannot come";
    EXPECT_EQ(g_hProgressDlg, nullptr);
    ShowProgress(5, 0, 0);
    ShowProgress(2, 0, 0);

    EXPECT_EQ(ShowInstallDialog(), -1);
    EXPECT_EQ(ShowErrorDialog(13), -1);
    EXPECT_EQ(AskLanguage("English", "German"), 1);
    g_bActivate = TRUE;
    EXPECT_EQ(ShowSuccessDialog(), -1);
    EXPECT_TRUE(g_bActivate) << "left alone";

    // With the templates back, the next start opens the window.
    g_hInstance = m_module;
    ShowProgress(1, 0, 2);
    EXPECT_NE(g_hProgressDlg, nullptr);
    ShowProgress(2, 0, 0);
}

// Pictures of the five dialogs as the user sees them, for the README.
TEST_F(Dialogs, Screenshots)
{
    stub::AddVariables(m_script, {{"SaverName", "Glimmer"}});
    g_strErrorMessage = "Glimmer is already installed.";
    struct
    {
        const char* name;
        const char* caption;
        INT_PTR (*show)();
        int button;
    } const shots[] = {
        {"confirmation", kCaption, [] { return (INT_PTR)ShowInstallDialog(); }, IDNO},
        {"success", kCaption, [] { return (INT_PTR)ShowSuccessDialog(); }, IDOK},
        {"error", "Installation failed", [] { return (INT_PTR)ShowErrorDialog(13); }, IDOK},
        {"question", kCaption, [] { return (INT_PTR)AskLanguage("English (United States)", "German (Germany)"); },
         IDOK},
    };
    for (const auto& s : shots)
    {
        bool saved = false;
        RunDialog(s.caption, s.show, [&](HWND dlg) {
            if (dlg == nullptr)
                return;
            saved = dialogs::SaveShot(dlg, s.name);
            dialogs::Click(dlg, s.button);
        });
        EXPECT_TRUE(saved) << s.name;
    }
    ShowProgress(1, 0, 10);
    ShowProgress(4, 3, 0);
    for (int i = 0; i < 4; i++)
        ShowProgress(5, 0, 0);
    EXPECT_TRUE(dialogs::SaveShot(g_hProgressDlg, "progress"));
    ShowProgress(2, 0, 0);
}
