// Making the installed saver the active one: "system.ini", the system's
// setting and the package's registry value.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "activation_support.h"
#include "registry_support.h"
#include "shell/Shell.h"
#include "support/TestSupport.h"
#include "win/stub_installer.h"

using namespace activation_test;
using namespace registry_test;

namespace
{
const char kDesktop[] = "Control Panel\\Desktop";

// The setting as stored: reading it back through the system always says
// "on" under Wine.
std::string ScreenSaveActive()
{
    DWORD type = 0;
    Bytes data;
    if (!GetValue(kDesktop, "ScreenSaveActive", type, data))
        return "<none>";
    return std::string(data.begin(), data.end()).c_str();
}
}  // namespace

TEST(Activation, WritesIniSettingAndRegistryValue)
{
    ScratchDir dir;
    ScratchKey key;
    std::string saverDir = dir / "Glimmer Screen Savers";
    ASSERT_TRUE(CreateDirectoryA(saverDir.c_str(), nullptr));
    std::string saver = saverDir + "\\glimmer long name.scr";
    ASSERT_TRUE(WriteFileBytes(saver, Text("saver")));
    ASSERT_NE(ShortPath(saver), saver) << "no short form to tell the two apart";

    const std::string sentinel = "C:\\sentinel.scr";
    const std::string iniBefore = IniSaver();
    DWORD activeType = 0;
    Bytes activeBefore;
    bool hadActive = GetValue(kDesktop, "ScreenSaveActive", activeType, activeBefore);

    struct
    {
        const char* what;
        stub::Variables variables;
        std::string ini;   // the entry afterwards
        bool value;        // the package's value was written
    } const cases[] = {
        {"everything, the path through a variable",
         {{"SaverDir", saverDir},
          {"SCRNSAVE.EXE", "<SaverDir>\\glimmer long name.scr"},
          {"AktSaverKey", key.Full("<Sub>")},
          {"Sub", "desk"},
          {"AktSaverValueName", "Glimmer Saver"}},
         ShortPath(saver),
         true},
        {"no key: only system.ini and the setting",
         {{"SCRNSAVE.EXE", saver}, {"AktSaverValueName", "Glimmer Saver"}},
         ShortPath(saver),
         false},
        {"no value name", {{"SCRNSAVE.EXE", saver}, {"AktSaverKey", key.Full("desk")}}, ShortPath(saver), false},
        {"a missing file keeps its long path",
         {{"SCRNSAVE.EXE", saverDir + "\\missing saver.scr"}},
         saverDir + "\\missing saver.scr",
         false},
        {"no path: the entry stays", {}, sentinel, false},
    };
    for (const auto& c : cases)
    {
        WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", sentinel.c_str(), "system.ini");
        ASSERT_TRUE(SetValue(kDesktop, "ScreenSaveActive", REG_SZ, Text("0")));
        DeleteTreeHkcu(key.Path("desk"));

        CInstaller script;
        stub::AddVariables(script, c.variables);
        g_pInstaller = &script;
        EXPECT_EQ(ActivateScreenSaver(), 0) << c.what;
        g_pInstaller = nullptr;

        EXPECT_EQ(IniSaver(), c.ini) << c.what;
        EXPECT_EQ(ScreenSaveActive(), "1") << c.what;
        DWORD type = 0;
        Bytes data;
        EXPECT_EQ(GetValue(key.Path("desk"), "Glimmer Saver", type, data), c.value) << c.what;
        if (c.value)
        {
            EXPECT_EQ(type, (DWORD)REG_SZ);
            EXPECT_EQ(std::string(data.begin(), data.end()).c_str(), std::string("Glimmer Saver"))
                << "the value holds its own name";
        }
    }

    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", iniBefore.empty() ? nullptr : iniBefore.c_str(), "system.ini");
    if (hadActive)
        SetValue(kDesktop, "ScreenSaveActive", activeType, activeBefore);
}
