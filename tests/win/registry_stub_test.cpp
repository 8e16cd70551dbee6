// A check object in an installer: a key that must not exist, named through
// a variable of the script, stops the installation with the check's message;
// a silent one ends with 29 while the package is still being read.
#include <gtest/gtest.h>

#include <string>

#include "objects/InstObjDefine.h"
#include "registry_support.h"
#include "saver_test_config.h"
#include "win/stub_driver.h"
#include "win/stub_installer.h"

using namespace registry_test;

namespace
{
// A class the stub does not know: its reader stops there, so an installer
// that reached it would fail with 1.
class CUnknownStep : public CInstObjDefine
{
    DECLARE_SERIAL(CUnknownStep)
};
IMPLEMENT_SERIAL(CUnknownStep, CInstObjDefine, 1)

const char kMessage[] = "Already there: <not expanded>";

std::string MakeInstaller(const ScratchDir& out, const ScratchKey& key, bool bBreaks)
{
    CInstaller script;
    stub::AddVariables(script, {{"Installed", key.Path("installed")}, {"AlreadyInstalled", kMessage}});
    CInstObjRegistry* check = NewKeyObject(8, {}, {key.Full("absent"), "HKEY_CURRENT_USER\\<Installed>"});
    check->m_strErrorTextName = "AlreadyInstalled";
    script.m_CheckList.AddTail(check);
    // Would leave a trace if the installation went on.
    script.m_RegistryList.AddTail(NewKeyObject(3, {}, {key.Full("made")}));
    for (int i = 0; i < 20; i++)
    {
        CInstObjRegValue* value = NewValueObject(3, {}, {key.Full("made")}, "v" + std::to_string(i), REG_BINARY,
                                                 Bytes(200000, (BYTE)i));
        script.m_RegistryList.AddTail(value);
    }
    if (bBreaks)
        script.m_FinishList2.AddTail(new CUnknownStep);
    std::string path = out / (bBreaks ? "breaks.exe" : "whole.exe");
    EXPECT_TRUE(WriteFileBytes(path, stub::InstallerOf(script)));
    return path;
}
}  // namespace

TEST(RegistryStub, ACheckStopsTheInstallationWithItsMessage)
{
    if (!SAVER_TEST_HAVE_SETUP)
        GTEST_SKIP() << "setup.exe is not built in this tree";
    ScratchDir out;
    ScratchKey key;
    ASSERT_TRUE(MakeKey(key.Path("installed")));

    // Silent: 29, decided before the broken end of the package is reached.
    stub::Run run = stub::RunProgram(MakeInstaller(out, key, true), "-s");
    EXPECT_EQ(run.exitCode, (DWORD)ERR_CHECK_VETO);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_FALSE(KeyExistsHkcu(key.Path("made")));

    // Interactive: the error box shows the check's text as it stands.
    run = stub::RunProgram(MakeInstaller(out, key, false), "", {IDYES, IDOK});
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_NE(run.boxes[1].text.find(kMessage), std::string::npos) << run.boxes[1].text;
    EXPECT_FALSE(KeyExistsHkcu(key.Path("made")));

    // Without the key the same installer installs.
    ASSERT_TRUE(DeleteTreeHkcu(key.Path("installed")));
    run = stub::RunProgram(MakeInstaller(out, key, false), "-s");
    EXPECT_EQ(run.exitCode, (DWORD)ERR_OK);
    DWORD type;
    Bytes data;
    EXPECT_TRUE(GetValue(key.Path("made"), "v19", type, data));
    EXPECT_EQ(data.size(), 200000u);
}
