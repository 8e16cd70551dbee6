// The dialogs under the stub's manifest: run from setup.exe's templates in
// the activation context its manifest makes (common controls 6, visual
// styles), they answer as they do without it; pictures of both looks go to
// shots\NAME-styled.png and shots\NAME-classic.png in the build tree.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "dialogs_support.h"
#include "resources/resource.h"
#include "saver_test_config.h"
#include "shell/Shell.h"
#include "win/stub_installer.h"

using dialogs::RunDialog;

namespace
{
const char kCaption[] = "GP Screensaver";

// The activation context of setup.exe's manifest, active on this thread
// (and on the threads it starts) while the object lives.
class StubContext
{
public:
    StubContext()
    {
        ACTCTXA context = {sizeof(context)};
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = SAVER_TEST_SETUP_EXE;
        context.lpResourceName = MAKEINTRESOURCEA(1);
        m_hContext = CreateActCtxA(&context);
        if (m_hContext != INVALID_HANDLE_VALUE && !ActivateActCtx(m_hContext, &m_cookie))
        {
            ReleaseActCtx(m_hContext);
            m_hContext = INVALID_HANDLE_VALUE;
        }
    }
    ~StubContext()
    {
        if (m_hContext == INVALID_HANDLE_VALUE)
            return;
        DeactivateActCtx(0, m_cookie);
        ReleaseActCtx(m_hContext);
    }
    bool Active() const { return m_hContext != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_hContext = INVALID_HANDLE_VALUE;
    ULONG_PTR m_cookie = 0;
};

// The common controls as this thread sees them, initialised: the file they
// were loaded from, upper case.
std::string LoadCommonControls()
{
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    if (comctl == nullptr)
        return std::string();
    auto init = (void(WINAPI*)())GetProcAddress(comctl, "InitCommonControls");
    if (init != nullptr)
        init();
    char sz[MAX_PATH] = "";
    GetModuleFileNameA(comctl, sz, MAX_PATH);
    CharUpperA(sz);
    return sz;
}

class ManifestLook : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        if (!SAVER_TEST_HAVE_SETUP)
            GTEST_SKIP() << "setup.exe is not built in this tree";
        m_module = LoadLibraryExA(SAVER_TEST_SETUP_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr) << SAVER_TEST_SETUP_EXE;
        g_hInstance = m_module;
        g_pInstaller = &m_script;
        g_bSilent = FALSE;
        g_bActivate = FALSE;
        stub::AddVariables(m_script, {{"SaverName", "Glimmer"}});
        g_strErrorMessage = "Glimmer is already installed.";
    }
    void TearDown() override
    {
        g_pInstaller = nullptr;
        g_hInstance = nullptr;
        g_bActivate = FALSE;
        g_nErrorCode = 0;
        g_strErrorMessage.Empty();
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }

    CInstaller m_script;
    HMODULE m_module = nullptr;
};
}  // namespace

TEST_P(ManifestLook, TheDialogsAnswerAsBeforeAndArePictured)
{
    bool bStyled = GetParam();
    std::unique_ptr<StubContext> context;
    if (bStyled)
    {
        context.reset(new StubContext);
        ASSERT_TRUE(context->Active()) << GetLastError();
    }
    // The manifest's common controls 6 come from the side-by-side store.
    std::string comctl = LoadCommonControls();
    EXPECT_EQ(comctl.find("\\WINSXS\\") != std::string::npos, bStyled) << comctl;
    std::string suffix = bStyled ? "-styled" : "-classic";

    struct
    {
        const char* name;
        const char* caption;
        INT_PTR (*show)();
        int button;
        INT_PTR expected;
    } const dialogs[] = {
        {"confirmation", kCaption, [] { return (INT_PTR)ShowInstallDialog(); }, IDNO, IDNO},
        {"success", kCaption, [] { return (INT_PTR)ShowSuccessDialog(); }, IDOK, IDOK},
        {"error", "Installation failed", [] { return (INT_PTR)ShowErrorDialog(13); }, IDOK, IDOK},
        // Yes keeps the installed language (0), the other button takes the new one.
        {"question", kCaption, [] { return (INT_PTR)AskLanguage("English (United States)", "German (Germany)"); },
         IDOK, 0},
        {"question", kCaption, [] { return (INT_PTR)AskLanguage("English (United States)", "German (Germany)"); },
         IDCANCEL, 1},
    };
    for (const auto& d : dialogs)
    {
        SCOPED_TRACE(d.name);
        bool bSaved = false;
        INT_PTR result = RunDialog(d.caption, d.show, [&](HWND dlg) {
            ASSERT_NE(dlg, nullptr);
            bSaved = dialogs::SaveShot(dlg, (d.name + suffix).c_str());
            dialogs::Click(dlg, d.button);
        });
        EXPECT_TRUE(bSaved);
        EXPECT_EQ(result, d.expected);
    }
    // The success dialog's hidden box is ticked in either look.
    EXPECT_TRUE(g_bActivate);

    ShowProgress(1, 0, 10);
    ASSERT_NE(g_hProgressDlg, nullptr);
    ShowProgress(4, 3, 0);
    for (int i = 0; i < 4; i++)
        ShowProgress(5, 0, 0);
    HWND bar = GetDlgItem(g_hProgressDlg, IDC_PROGRESS_BAR);
    ASSERT_NE(bar, nullptr) << "the bar's class exists in this look";
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 4);
    EXPECT_TRUE(dialogs::SaveShot(g_hProgressDlg, ("progress" + suffix).c_str()));
    ShowProgress(2, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(Looks, ManifestLook, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Styled" : "Classic");
                         });
