// DLLs planted beside a program under the names of system DLLs the stub
// uses (version.dll, comctl32.dll) are not loaded by the stub's loader nor
// by the stub itself. Each planted DLL leaves a marker file when it is
// loaded; a plain LoadLibraryA beside them shows that this system would
// take them from the program's folder.
//
// Wine prefers its own build of a system DLL to one found in a program's
// folder; the programs here are told to prefer the found one, as Windows
// does (the setting means nothing to Windows).
#include <gtest/gtest.h>
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "files_support.h"
#include "saver_test_config.h"
#include "win/stub_driver.h"
#include "win/stub_installer.h"

using namespace files_test;

namespace
{
const char* const kPlanted[] = {"version.dll", "comctl32.dll"};

std::string PlantedSource(const char* name)
{
    return SAVER_TEST_BINARY_DIR SAVER_TEST_SEP "planted" SAVER_TEST_SEP + std::string(name);
}

// Copies the planted DLLs into the folder; false when they are not built.
bool Plant(const ScratchDir& dir)
{
    for (const char* name : kPlanted)
        if (!CopyFileA(PlantedSource(name).c_str(), (dir / name).c_str(), FALSE))
            return false;
    return true;
}

// Makes Wine prefer a DLL found in the folder of the program of this file
// name while the object lives (Wine's per-program DLL overrides, below
// HKEY_CURRENT_USER; the process's environment would not reach a child's
// loader).
class PreferFoundDlls
{
public:
    PreferFoundDlls(const std::string& program, std::initializer_list<const char*> dlls)
        : m_app("Software\\Wine\\AppDefaults\\" + program)
    {
        Remove();
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, (m_app + "\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        for (const char* name : dlls)
            RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)"native,builtin", sizeof "native,builtin");
        RegCloseKey(key);
    }
    ~PreferFoundDlls() { Remove(); }

private:
    void Remove()
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, (m_app + "\\DllOverrides").c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, m_app.c_str());
    }

    std::string m_app;
};

std::vector<std::string> LoadedMarkers(const ScratchDir& dir)
{
    std::vector<std::string> loaded;
    for (const char* name : kPlanted)
        if (Exists(dir / (std::string(name) + ".loaded")))
            loaded.push_back(name);
    return loaded;
}
}  // namespace

TEST(DllSafePlanted, TheLoaderTakesTheSystemCopy)
{
    PreferFoundDlls prefer("dll_loader.exe", {"version", "comctl32"});
    // dll_loader's exit codes.
    enum
    {
        kSystem = 0,
        kElsewhere = 3
    };
    struct Case
    {
        const char* mode;
        DWORD exitCode;
        bool bMarker;
    } cases[] = {
        // Without the stub's care the planted copy is taken: this is what
        // makes the other cases mean something.
        {"plain", kElsewhere, true},
        {"safe", kSystem, false},
        {"system", kSystem, false},
        {"path", kSystem, false},
    };
    for (const Case& c : cases)
        for (const char* name : kPlanted)
        {
            SCOPED_TRACE(std::string(c.mode) + " " + name);
            ScratchDir dir;
            ASSERT_TRUE(Plant(dir)) << "the planted DLLs are not built";
            std::string loader = dir / "dll_loader.exe";
            ASSERT_TRUE(CopyFileA(SAVER_TEST_BIN_DIR SAVER_TEST_SEP "dll_loader.exe", loader.c_str(), FALSE));
            stub::Run run = stub::RunProgram(loader, std::string(c.mode) + " " + name);
            ASSERT_TRUE(run.started);
            EXPECT_EQ(run.exitCode, c.exitCode);
            EXPECT_EQ(Exists(dir / (std::string(name) + ".loaded")), c.bMarker);
        }
}

TEST(DllSafePlanted, TheStubLoadsNoneOfThem)
{
    if (!SAVER_TEST_HAVE_SETUP)
        GTEST_SKIP() << "setup.exe is not built in this tree";
    struct Case
    {
        const char* what;
        const char* args;
        std::vector<int> answers;
    } cases[] = {
        // Silent: no dialogs, but the file step compares versions.
        {"silent", "-s", {}},
        // Interactive: the common controls for the progress bar as well.
        {"interactive", "", {IDYES, IDOK}},
    };
    // Only comctl32: Wine's own user32 imports version.dll, so a planted
    // one that Wine is told to prefer is loaded before the stub's first
    // instruction (on Windows user32 is a known DLL and imports no
    // version.dll). The loader's test above covers version.dll.
    PreferFoundDlls prefer("planted_setup.exe", {"comctl32"});
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        ASSERT_TRUE(Plant(dir)) << "the planted DLLs are not built";
        // The target exists, so the step reads both files' versions
        // before it overwrites.
        std::string target = dir / "saver.scr";
        ASSERT_TRUE(MakeFile(target, "old"));
        CInstaller script;
        script.m_FileList.AddTail(NewFile({target}, Bytes{'n', 'e', 'w'}));
        std::string installer = dir / "planted_setup.exe";
        ASSERT_TRUE(WriteFileBytes(installer, stub::InstallerOf(script)));

        stub::Run run = stub::RunProgram(installer, c.args, c.answers);
        ASSERT_TRUE(run.started);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(ReadText(target), "new");
        EXPECT_EQ(LoadedMarkers(dir), std::vector<std::string>{});
    }
}
