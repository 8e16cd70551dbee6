// The stub's texts: its resources, the lookup through package variables, the
// error text for each ErrorCode and the language question.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

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
