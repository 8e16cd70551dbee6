// The system variables as Windows gives them, and scripts run by the stub.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "objects/InstObjDefine.h"
#include "objects/InstObjDir.h"
#include "saver_test_config.h"
#include "script/Installer.h"
#include "support/TestSupport.h"
#include "win/stub_driver.h"
#include "win/stub_installer.h"

namespace
{
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

typedef std::vector<std::pair<std::string, std::string>> Variables;

Variables DefinesOf(const CInstaller& script)
{
    Variables vars;
    for (POSITION pos = script.m_DefineList.GetHeadPosition(); pos != nullptr;)
    {
        CInstObjDefine* define = (CInstObjDefine*)script.m_DefineList.GetNext(pos);
        vars.push_back({std::string(define->m_strName), std::string(define->m_strValue)});
    }
    return vars;
}

Variables SystemVariables()
{
    CInstaller script;
    script.DefineSystemVariables();
    return DefinesOf(script);
}

std::string WithoutBackslash(std::string s)
{
    if (!s.empty() && s.back() == '\\')
        s.pop_back();
    return s;
}

std::string SystemDir()
{
    char buf[MAX_PATH] = "";
    GetSystemDirectoryA(buf, MAX_PATH);
    return buf;
}

std::string WindowsDir()
{
    char buf[MAX_PATH] = "";
    GetWindowsDirectoryA(buf, MAX_PATH);
    return buf;
}

// The value of a string under the shell-folder key, "" when it has none.
std::string ShellFolder(const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    char buf[1040] = "";
    DWORD size = sizeof(buf) - 1;
    if (RegQueryValueExA(key, name, nullptr, nullptr, (BYTE*)buf, &size) != ERROR_SUCCESS)
        buf[0] = '\0';
    RegCloseKey(key);
    return buf;
}

void DeleteKeyTree(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    char name[256];
    for (;;)
    {
        DWORD size = sizeof(name);
        if (RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        DeleteKeyTree(key, name);
        HKEY stuck;  // a sub-key that cannot go would loop for ever
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &stuck) == ERROR_SUCCESS)
        {
            RegCloseKey(stuck);
            break;
        }
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
}

// While it lives, HKEY_CURRENT_USER of this process is a fresh, empty key.
class FakeCurrentUser
{
public:
    FakeCurrentUser()
    {
        m_path = "Software\\SaverSetupTests\\user" + std::to_string(GetCurrentProcessId());
        DeleteKeyTree(HKEY_CURRENT_USER, m_path);
        if (RegCreateKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                            nullptr) == ERROR_SUCCESS &&
            RegOverridePredefKey(HKEY_CURRENT_USER, m_key) == ERROR_SUCCESS)
            m_ok = true;
    }
    ~FakeCurrentUser()
    {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (m_key != nullptr)
            RegCloseKey(m_key);
        DeleteKeyTree(HKEY_CURRENT_USER, m_path);
    }
    bool Ok() const { return m_ok; }
    bool SetFolder(const char* name, const std::string& value)
    {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return false;
        LONG r = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + 1);
        RegCloseKey(key);
        return r == ERROR_SUCCESS;
    }

private:
    std::string m_path;
    HKEY m_key = nullptr;
    bool m_ok = false;
};

// Sets an environment variable for this process and puts it back later.
class EnvironmentOverride
{
public:
    EnvironmentOverride(const char* name, const char* value) : m_name(name)
    {
        char buf[32767];
        DWORD n = GetEnvironmentVariableA(name, buf, sizeof(buf));
        m_had = n > 0 && n < sizeof(buf);
        if (m_had)
            m_value = buf;
        SetEnvironmentVariableA(name, value);
    }
    ~EnvironmentOverride() { SetEnvironmentVariableA(m_name.c_str(), m_had ? m_value.c_str() : nullptr); }

private:
    std::string m_name, m_value;
    bool m_had = false;
};
}  // namespace

TEST(SystemVariables, HaveTheValuesWindowsGives)
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExA(&info));
    int osKind = info.dwPlatformId != VER_PLATFORM_WIN32_NT ? 0 : info.dwMajorVersion < 5 ? 3 : 4;
    EXPECT_EQ(CInstaller::GetOsKind(), osKind);

    char temp[MAX_PATH] = "";
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    ASSERT_EQ(std::string(temp).back(), '\\');
    char profile[MAX_PATH] = "";
    ASSERT_GT(GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH), 0u);

    Variables expected = {
        {"SysDir", WithoutBackslash(SystemDir())},
        {"SysProgDir", WithoutBackslash(osKind == 4 ? SystemDir() : WindowsDir())},
        {"TmpDir", WithoutBackslash(temp)},
        {"WinDir", WithoutBackslash(WindowsDir())},
        {"UserDir", WithoutBackslash(profile)},
        {"UserPrograms", WithoutBackslash(ShellFolder("Programs"))},
        {"UserStartMenu", WithoutBackslash(ShellFolder("Start Menu"))},
        {"UserStartup", WithoutBackslash(ShellFolder("Startup"))},
    };
    Variables actual = SystemVariables();
    EXPECT_EQ(actual, expected);
    EXPECT_NE(ShellFolder("Programs"), "") << "the prefix has no shell folders to compare with";
}

TEST(SystemVariables, UserDirFallsBackToWinDir)
{
    EnvironmentOverride unset("USERPROFILE", nullptr);
    Variables vars = SystemVariables();
    ASSERT_EQ(vars.size(), 8u);
    EXPECT_EQ(vars[4].first, "UserDir");
    EXPECT_EQ(vars[4].second, vars[3].second);

    EnvironmentOverride root("USERPROFILE", "C:\\");
    vars = SystemVariables();
    ASSERT_EQ(vars.size(), 8u);
    EXPECT_EQ(vars[4].second, "C:");
}

// A missing shell-folder key is created and gives empty values; present
// values lose one closing backslash.
TEST(SystemVariables, ShellFoldersFromTheUsersKey)
{
    FakeCurrentUser user;
    ASSERT_TRUE(user.Ok());
    Variables vars = SystemVariables();
    ASSERT_EQ(vars.size(), 8u);
    EXPECT_EQ(vars[5], std::make_pair(std::string("UserPrograms"), std::string()));
    EXPECT_EQ(vars[6], std::make_pair(std::string("UserStartMenu"), std::string()));
    EXPECT_EQ(vars[7], std::make_pair(std::string("UserStartup"), std::string()));
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_TRUE(user.SetFolder("Programs", "C:\\Fake\\Programs\\"));
    ASSERT_TRUE(user.SetFolder("Start Menu", "C:\\Fake\\Start Menu\\\\"));
    ASSERT_TRUE(user.SetFolder("Startup", std::string(1040, 'x')));  // does not fit the buffer
    vars = SystemVariables();
    ASSERT_EQ(vars.size(), 8u);
    EXPECT_EQ(vars[5].second, "C:\\Fake\\Programs");
    EXPECT_EQ(vars[6].second, "C:\\Fake\\Start Menu\\");
    EXPECT_EQ(vars[7].second, "");
}

namespace
{
CInstObjDir* NewDir(const char* target)
{
    CInstObjDir* dir = new CInstObjDir;
    dir->m_nMode = MODE_CREATE;
    dir->m_Targets.Add(target);
    return dir;
}
}  // namespace

TEST(StubRun, ScriptWithVariablesRunsSilently)
{
    if (!SAVER_TEST_HAVE_SETUP || GetFileAttributesA(SAVER_TEST_SETUP_EXE) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "setup.exe is not built";
    CInstaller::RegisterClasses();
    ScratchDir dir;
    // A dir object whose Execute is still the refusing one never gets to
    // its variables; the case that needs it waits until it is built.
    CInstaller probe;
    CInstObjDir* probeDir = NewDir("<Undefined>\\x");
    probe.m_FileList.AddTail(probeDir);
    bool dirBuilt = probeDir->Execute(&probe) == ERR_UNDEFINED_VARIABLE;

    const struct
    {
        const char* what;
        const char* target;  // of a dir step in the file list, if any
        DWORD mode;
        bool needsDir;
        DWORD exitCode;
    } cases[] = {
        {"defines that refer to WinDir and to each other", nullptr, 0, false, ERR_OK},
        {"a step that fails reaches the exit code", "<AppDir>\\never", 99, false, ERR_FAILED},
        {"a step that refers to an undefined variable", "<Undefined>\\x", MODE_CREATE, true, ERR_UNDEFINED_VARIABLE},
    };
    for (const auto& c : cases)
    {
        if (c.needsDir && !dirBuilt)
            continue;
        CInstaller script;
        stub::AddVariables(script,
                           {{"AppDir", "<WinDir>\\Saver"}, {"AppFile", "<AppDir>\\saver.scr"}, {"Greeting", "Hello"}});
        if (c.target != nullptr)
        {
            CInstObjDir* step = NewDir(c.target);
            step->m_nMode = c.mode;
            script.m_FileList.AddTail(step);
        }
        std::string program = dir / "setup.exe";
        ASSERT_TRUE(WriteFileBytes(program, stub::InstallerOf(script))) << c.what;
        EXPECT_EQ(stub::RunProgram(program, "-s", {}, 60000).exitCode, c.exitCode) << c.what;
    }
}
