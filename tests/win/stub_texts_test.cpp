// The stub's texts: its resources, the lookup through package variables, the
// error text for each ErrorCode and the language question.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "resources/resource.h"
#include "saver_test_config.h"
#include "shell/Shell.h"
#include "win/stub_installer.h"

namespace
{
// The shell's text lookup, reading the string table of the built setup.exe
// and the variables of a script.
class StubTexts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SAVER_TEST_HAVE_SETUP)
            GTEST_SKIP() << "setup.exe is not built in this tree";
        m_module = LoadLibraryExA(SAVER_TEST_SETUP_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr) << SAVER_TEST_SETUP_EXE;
        g_hInstance = m_module;
        g_pInstaller = nullptr;
    }
    void TearDown() override
    {
        g_pInstaller = nullptr;
        g_hInstance = nullptr;
        g_strErrorMessage.Empty();
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }

    std::string Load(const char* name, UINT id)
    {
        CString text;
        return (const char*)LoadText(name, id, text);
    }

    HMODULE m_module = nullptr;
};
}  // namespace

TEST_F(StubTexts, StringTable)
{
    struct
    {
        const char* name;
        UINT id;
        const char* text;
    } const table[] = {
        {TEXT_ARGS(IDS_INSTALL_CAPTION), "GP Screensaver"},
        {TEXT_ARGS(IDS_INSTALL1), "You are presently installing the screensaver"},
        {TEXT_ARGS(IDS_INSTALL2), "now!"},
        {TEXT_ARGS(IDS_INSTALL3), "Do you wish to continue?"},
        {TEXT_ARGS(IDS_INSTALL_YES), "&Yes"},
        {TEXT_ARGS(IDS_INSTALL_NO), "&No"},
        {TEXT_ARGS(IDS_SUCCESS_CAPTION), "GP Screensaver"},
        {TEXT_ARGS(IDS_SUCCESS1), "The Glimmerpane Screensaver"},
        {TEXT_ARGS(IDS_SUCCESS2), "was installed successfully."},
        {TEXT_ARGS(IDS_WINSAVER), "Use this one as my active screensaver."},
        {TEXT_ARGS(IDS_SUCCESS_OK), "Ok"},
        {TEXT_ARGS(IDS_ERROR_CAPTION), "Installation failed"},
        {TEXT_ARGS(IDS_ERR_GENERAL), "An error occured"},
        {TEXT_ARGS(IDS_ERR_REGISTRY), "Could not create a registry key"},
        {TEXT_ARGS(IDS_ERR_DIR), "Could not create a folder"},
        {TEXT_ARGS(IDS_ERR_FILE), "Could not write a file"},
        {TEXT_ARGS(IDS_ERR_OK), "Ok"},
        {TEXT_ARGS(IDS_QUESTION_CAPTION), "GP Screensaver"},
        {TEXT_ARGS(IDS_QUESTION_LANGUAGE),
         "The %s version of this screensaver is already installed.\nThe screensaver you install right now, is in "
         "%s.\nDo you want to keep the current language?"},
        {TEXT_ARGS(IDS_QUESTION_YES), "&Yes"},
        {TEXT_ARGS(IDS_QUESTION_NO), "&No"},
        {TEXT_ARGS(IDS_PROGRESS_CAPTION), "GP Screensaver"},
        {TEXT_ARGS(IDS_PROGRESS_PRE), "Preparing installation"},
        {TEXT_ARGS(IDS_PROGRESS_REGISTRY), "Creating registry keys"},
        {TEXT_ARGS(IDS_PROGRESS_FILE), "Copying files"},
        {TEXT_ARGS(IDS_PROGRESS_POST), "Finalizing installation"},
        {TEXT_ARGS(IDS_PROGRESS_UNDO), "Restore original condition"},
        {nullptr, 147, "&Cancel"},
        {nullptr, 151, "Can't read the installation file!"},
    };
    for (const auto& row : table)
    {
        EXPECT_EQ(Load(row.name, row.id), row.text) << row.id;
        // Every string block carries the German language id.
        EXPECT_NE(FindResourceExA(m_module, RT_STRING, MAKEINTRESOURCEA(row.id / 16 + 1),
                                  MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)),
                  nullptr)
            << row.id;
    }
    EXPECT_EQ(Load(nullptr, 100), "") << "an id without text";
}

TEST_F(StubTexts, IconAndVersion)
{
    // Icon group 112: a 16 x 16 and a 32 x 32 image of 16 colours.
    HRSRC group = FindResourceExA(m_module, RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_SETUP),
                                  MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    ASSERT_NE(group, nullptr);
    const BYTE* dir = (const BYTE*)LockResource(LoadResource(m_module, group));
    ASSERT_NE(dir, nullptr);
    ASSERT_EQ(dir[4] | dir[5] << 8, 2);
    for (int i = 0; i < 2; i++)
    {
        const BYTE* entry = dir + 6 + 14 * i;  // width, height, colours, ...
        EXPECT_EQ(entry[0], i == 0 ? 16 : 32);
        EXPECT_EQ(entry[1], i == 0 ? 16 : 32);
        EXPECT_EQ(entry[2], 16);
    }

    // The version block, in the same language, names the program.
    HRSRC version = FindResourceExA(m_module, RT_VERSION, MAKEINTRESOURCEA(1), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    ASSERT_NE(version, nullptr);
    const wchar_t* block = (const wchar_t*)LockResource(LoadResource(m_module, version));
    std::wstring text(block, SizeofResource(m_module, version) / sizeof(wchar_t));
    EXPECT_NE(text.find(L"040704e4"), std::wstring::npos);
    EXPECT_NE(text.find(std::wstring(L"OriginalFilename") + L'\0' + L"setup.exe"), std::wstring::npos);
}

namespace
{
// A dialog template as the resource holds it (DLGTEMPLATE, not the EX form).
struct Control
{
    int id;
    std::string cls;  // a predefined class by its atom's name, or the class name (any case)
    DWORD style;
    short x, y, cx, cy;
    std::wstring text;
};

struct Template
{
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::wstring caption, font;
    WORD points = 0;
    std::vector<Control> controls;
};

// A name or an ordinal: 0xFFFF and a WORD, or a zero-terminated string.
std::wstring NameOrOrdinal(const WORD*& p)
{
    if (*p == 0xFFFF)
    {
        WORD ordinal = p[1];
        p += 2;
        return L"#" + std::to_wstring(ordinal);
    }
    std::wstring s;
    while (*p != 0)
        s += (wchar_t)*p++;
    p++;
    return s;
}

bool ReadTemplate(HMODULE module, int id, Template& t)
{
    HRSRC res = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    if (res == nullptr)
        return false;
    const DLGTEMPLATE* d = (const DLGTEMPLATE*)LockResource(LoadResource(module, res));
    t.style = d->style;
    t.cx = d->cx;
    t.cy = d->cy;
    const WORD* p = (const WORD*)(d + 1);
    NameOrOrdinal(p);  // menu
    NameOrOrdinal(p);  // class
    t.caption = NameOrOrdinal(p);
    if (d->style & DS_SETFONT)
    {
        t.points = *p++;
        t.font = NameOrOrdinal(p);
    }
    for (int i = 0; i < d->cdit; i++)
    {
        p = (const WORD*)(((uintptr_t)p + 3) & ~(uintptr_t)3);
        const DLGITEMTEMPLATE* item = (const DLGITEMTEMPLATE*)p;
        Control c;
        c.id = item->id;
        c.style = item->style;
        c.x = item->x;
        c.y = item->y;
        c.cx = item->cx;
        c.cy = item->cy;
        p = (const WORD*)(item + 1);
        std::wstring cls = NameOrOrdinal(p);
        static const std::pair<const wchar_t*, const char*> atoms[] = {{L"#128", "BUTTON"}, {L"#130", "STATIC"}};
        c.cls = std::string(cls.begin(), cls.end());
        for (const auto& a : atoms)
            if (cls == a.first)
                c.cls = a.second;
        c.text = NameOrOrdinal(p);
        WORD extra = *p++;
        p = (const WORD*)((const BYTE*)p + extra);
        t.controls.push_back(c);
    }
    return true;
}
}  // namespace

TEST_F(StubTexts, DialogTemplates)
{
    const DWORD shown = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND |
                        DS_CENTERMOUSE | DS_CENTER | DS_3DLOOK | DS_NOFAILCREATE;
    const DWORD hidden = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    const DWORD kinds = 0x1F;  // the button and static kinds
    const std::wstring product = L"Glimmerpane for the Corvane\u00AE Trailkit (SM) service";
    struct
    {
        int id;
        DWORD style;
        short cx, cy;
        const wchar_t* caption;
        std::vector<Control> controls;
    } const table[] = {
        {IDD_SUCCESS, shown, 186, 77, L"Glimmerpane",
         {{IDOK, "BUTTON", BS_DEFPUSHBUTTON, 67, 56, 50, 14, L"OK"},
          {IDC_SUCCESS1, "STATIC", SS_CENTER, 7, 10, 174, 10, product},
          {IDC_SUCCESS2, "STATIC", SS_CENTER, 7, 40, 174, 8, L"was installed sucessfully !"},
          {IDC_ACTIVATE, "BUTTON", BS_CHECKBOX, 500, 500, 500, 500,
           L"Please indicate here whether you wish to use " + product + L" as your screensaver."},
          {IDC_SAVERNAME, "STATIC", SS_CENTER, 7, 26, 174, 8, L"SaverName"}}},
        {IDD_INSTALL, shown, 187, 95, L"Glimmerpane",
         {{IDYES, "BUTTON", BS_DEFPUSHBUTTON, 37, 74, 50, 14, L"&Yes"},
          {IDNO, "BUTTON", BS_PUSHBUTTON, 97, 74, 50, 14, L"&No"},
          {IDC_INSTALL1, "STATIC", SS_CENTER, 7, 7, 173, 19, L"You are presently installing\n" + product},
          {IDC_INSTALL2, "STATIC", SS_CENTER, 7, 40, 173, 11, L"now!"},
          {IDC_INSTALL3, "STATIC", SS_CENTER, 7, 55, 173, 11, L"Do you wish to continue ?"},
          {IDC_SAVERNAME, "STATIC", SS_CENTER, 7, 29, 173, 11, L"ScreenSaver"}}},
        {IDD_ERROR, hidden, 186, 95, L"Dialog",
         {{IDOK, "BUTTON", BS_DEFPUSHBUTTON, 67, 74, 50, 14, L"OK"},
          {IDC_ERROR_TEXT, "STATIC", SS_LEFT, 7, 7, 172, 56, L"Static"}}},
        {IDD_QUESTION, hidden, 186, 95, L"Dialog",
         {{IDOK, "BUTTON", BS_DEFPUSHBUTTON, 37, 74, 50, 14, L"OK"},
          {IDCANCEL, "BUTTON", BS_PUSHBUTTON, 97, 74, 50, 14, L"Abbrechen"},
          {IDC_QUESTION_TEXT, "STATIC", SS_LEFT, 7, 7, 172, 60, L"Static"}}},
        {IDD_PROGRESS, hidden, 249, 79, L"Dialog",
         {{IDC_PROGRESS_TEXT, "STATIC", SS_LEFT, 7, 7, 235, 20, L"Static"},
          {IDC_PROGRESS_BAR, "msctls_progress32", 0, 7, 36, 235, 12, L""}}},
    };
    for (const auto& want : table)
    {
        Template t;
        ASSERT_TRUE(ReadTemplate(m_module, want.id, t)) << "template " << want.id << " in language 1031";
        EXPECT_EQ(t.style & ~DS_SETFONT, want.style) << want.id;
        EXPECT_EQ(t.cx, want.cx) << want.id;
        EXPECT_EQ(t.cy, want.cy) << want.id;
        EXPECT_TRUE(t.caption == want.caption) << want.id;
        EXPECT_TRUE(t.font == L"MS Sans Serif") << want.id;
        EXPECT_EQ(t.points, 8) << want.id;
        ASSERT_EQ(t.controls.size(), want.controls.size()) << want.id;
        for (size_t i = 0; i < want.controls.size(); i++)
        {
            const Control& got = t.controls[i];
            const Control& c = want.controls[i];
            EXPECT_EQ(got.id, c.id) << want.id << " #" << i;
            EXPECT_EQ(lstrcmpiA(got.cls.c_str(), c.cls.c_str()), 0) << want.id << " #" << i << ": " << got.cls;
            EXPECT_EQ(std::vector<short>({got.x, got.y, got.cx, got.cy}), std::vector<short>({c.x, c.y, c.cx, c.cy}))
                << want.id << " control " << c.id;
            if (c.cls != "msctls_progress32")
                EXPECT_EQ(got.style & kinds, c.style) << want.id << " control " << c.id;
            EXPECT_TRUE(got.text == c.text) << want.id << " control " << c.id;
        }
    }

    // What the kinds leave out: the hidden check box is a multi-line tab
    // stop, the phase text is vertically centred, the bar smooth with a
    // border.
    Template success, progress;
    ASSERT_TRUE(ReadTemplate(m_module, IDD_SUCCESS, success));
    ASSERT_TRUE(ReadTemplate(m_module, IDD_PROGRESS, progress));
    EXPECT_EQ(success.controls[3].style & (BS_MULTILINE | WS_TABSTOP), (DWORD)(BS_MULTILINE | WS_TABSTOP));
    EXPECT_EQ(progress.controls[0].style & SS_CENTERIMAGE, (DWORD)SS_CENTERIMAGE);
    EXPECT_EQ(progress.controls[1].style & (WS_BORDER | PBS_SMOOTH), (DWORD)(WS_BORDER | PBS_SMOOTH));
}

TEST_F(StubTexts, PackageVariablesComeFirst)
{
    CInstaller script;
    stub::AddVariables(script, {{"ids_install1", "From the package"},
                                {"IDS_INSTALL2", ""},
                                {"IDS_ERR_REGISTRY", "Registry <not expanded>"}});
    g_pInstaller = &script;
    EXPECT_EQ(Load(TEXT_ARGS(IDS_INSTALL1)), "From the package") << "the name is matched without regard to case";
    EXPECT_EQ(Load(TEXT_ARGS(IDS_INSTALL2)), "") << "an empty variable still counts";
    EXPECT_EQ(Load(TEXT_ARGS(IDS_INSTALL3)), "Do you wish to continue?");
    EXPECT_EQ(Load(nullptr, IDS_ERR_LOAD), "Can't read the installation file!");

    CString text;
    EXPECT_EQ(PackageText("SaverName", text), "") << "no variable, no string table";
    EXPECT_EQ(PackageText("IDS_INSTALL1", text), "From the package");
    EXPECT_EQ(ErrorText(ERR_REG_OPEN, text), "Registry <not expanded>");
}

TEST_F(StubTexts, ErrorTextByCode)
{
    g_strErrorMessage = "Please close the old saver first.";
    for (int code = 0; code <= 38; code++)
    {
        const char* expected = "An error occured";
        if (code == 5 || (code >= 12 && code <= 16))
            expected = "Could not create a registry key";
        else if (code == 17 || code == 19 || code == 20)
            expected = "Could not create a folder";
        else if (code >= 21 && code <= 24)
            expected = "Could not write a file";
        else if (code == 29)
            expected = "Please close the old saver first.";
        CString text;
        EXPECT_EQ(ErrorText(code, text), expected) << code;
    }
    g_strErrorMessage.Empty();
    CString text;
    EXPECT_EQ(ErrorText(ERR_CHECK_VETO, text), "") << "a check without message";
}

TEST(StubQuestion, OnlyTwoStringsAreInserted)
{
    struct
    {
        const char* format;
        const char* text;
    } const cases[] = {
        {"The %s version is installed, this one is in %s.", "The German version is installed, this one is in English."},
        {"no conversion", "no conversion"},
        {"%s only", "German only"},
        {"%s %s %s", "German English %s"},
        {"100%% %s %d %n %s", "100% German %d %n English"},
        {"trailing %", "trailing %"},
    };
    for (const auto& c : cases)
    {
        CString text;
        FormatQuestion(c.format, "German", "English", text);
        EXPECT_EQ(text, c.text) << c.format;
    }
}
