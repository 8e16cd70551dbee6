// The wrappers of the calls that change files, folders and the registry:
// the change fault hook, the refusal while an exception is pending, and
// what they log.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "files_support.h"
#include "framework/Exceptions.h"
#include "framework/FaultHooks.h"
#include "sysutil/Handles.h"
#include "sysutil/SysCalls.h"

using namespace files_test;

namespace
{
// Collects what the process sends to the debugger output while it lives
// (OutputDebugStringA raises an exception a vectored handler sees first).
class DebugOutput
{
public:
    DebugOutput() : m_handler(AddVectoredExceptionHandler(1, Handler)) { Text().clear(); }
    ~DebugOutput() { RemoveVectoredExceptionHandler(m_handler); }
    static std::string& Text()
    {
        static std::string s_text;
        return s_text;
    }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* p)
    {
        const EXCEPTION_RECORD* r = p->ExceptionRecord;
        if (r->ExceptionCode != DBG_PRINTEXCEPTION_C || r->NumberParameters < 2)
            return EXCEPTION_CONTINUE_SEARCH;
        Text().append((const char*)r->ExceptionInformation[1]);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    PVOID m_handler;
};

// A registry key of the test's own under HKEY_CURRENT_USER, named after the
// running test (tests run side by side), gone with the fixture.
class TestKey
{
public:
    TestKey()
        : m_strPath(std::string("Software\\SaverSetupTests\\SysCalls_") +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name())
    {
        Remove();
        RegCreateKeyExA(HKEY_CURRENT_USER, m_strPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr);
    }
    ~TestKey()
    {
        RegCloseKey(m_hKey);
        Remove();
    }
    HKEY Get() const { return m_hKey; }
    bool HasSubKey(const char* pszName) const
    {
        HKEY h;
        if (RegOpenKeyExA(m_hKey, pszName, 0, KEY_READ, &h) != ERROR_SUCCESS)
            return false;
        RegCloseKey(h);
        return true;
    }
    bool HasValue(const char* pszName) const
    {
        return RegQueryValueExA(m_hKey, pszName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

private:
    void Remove()
    {
        HKEY h;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, m_strPath.c_str(), 0, KEY_ALL_ACCESS, &h) == ERROR_SUCCESS)
        {
            for (const char* name : {"made", "gone"})
                RegDeleteKeyA(h, name);
            RegCloseKey(h);
        }
        RegDeleteKeyA(HKEY_CURRENT_USER, m_strPath.c_str());
    }
    std::string m_strPath;
    HKEY m_hKey = nullptr;
};

// One wrapper on a fixture that lets its change be seen: Prepare makes what
// the change needs, Call makes the change through the wrapper and returns
// the system error (0 on success), Made tells whether the change is there.
struct Change
{
    const char* name;
    std::function<void(const ScratchDir&, TestKey&)> prepare;
    std::function<DWORD(const ScratchDir&, TestKey&)> call;
    std::function<bool(const ScratchDir&, TestKey&)> made;
};

DWORD ErrorOf(BOOL bResult)
{
    return bResult ? 0 : GetLastError();
}

std::vector<Change> Changes()
{
    auto none = [](const ScratchDir&, TestKey&) {};
    auto file = [](const ScratchDir& d, TestKey&) { MakeFile(d / "f.txt", "text"); };
    return {
        {"SysCreateDirectory", none,
         [](const ScratchDir& d, TestKey&) { return ErrorOf(SysCreateDirectory((d / "new").c_str())); },
         [](const ScratchDir& d, TestKey&) { return Attributes(d / "new") == FILE_ATTRIBUTE_DIRECTORY; }},
        {"SysRemoveDirectory", [](const ScratchDir& d, TestKey&) { MakeDir(d / "old"); },
         [](const ScratchDir& d, TestKey&) { return ErrorOf(SysRemoveDirectory((d / "old").c_str())); },
         [](const ScratchDir& d, TestKey&) { return !Exists(d / "old"); }},
        {"SysDeleteFile", file, [](const ScratchDir& d, TestKey&) { return ErrorOf(SysDeleteFile((d / "f.txt").c_str())); },
         [](const ScratchDir& d, TestKey&) { return !Exists(d / "f.txt"); }},
        {"SysCopyFile", file,
         [](const ScratchDir& d, TestKey&) {
             return ErrorOf(SysCopyFile((d / "f.txt").c_str(), (d / "g.txt").c_str(), TRUE));
         },
         [](const ScratchDir& d, TestKey&) { return ReadText(d / "g.txt") == "text"; }},
        {"SysMoveFile", file,
         [](const ScratchDir& d, TestKey&) { return ErrorOf(SysMoveFile((d / "f.txt").c_str(), (d / "g.txt").c_str())); },
         [](const ScratchDir& d, TestKey&) { return !Exists(d / "f.txt") && ReadText(d / "g.txt") == "text"; }},
        {"SysSetFileAttributes", file,
         [](const ScratchDir& d, TestKey&) {
             return ErrorOf(SysSetFileAttributes((d / "f.txt").c_str(), FILE_ATTRIBUTE_READONLY));
         },
         [](const ScratchDir& d, TestKey&) { return (Attributes(d / "f.txt") & FILE_ATTRIBUTE_READONLY) != 0; }},
        {"SysCreateFile", none,
         [](const ScratchDir& d, TestKey&) {
             HANDLE h = SysCreateFile((d / "c.txt").c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
             if (h == INVALID_HANDLE_VALUE)
                 return GetLastError();
             CloseHandle(h);
             return (DWORD)0;
         },
         [](const ScratchDir& d, TestKey&) { return Exists(d / "c.txt"); }},
        {"SysWriteFile", none,
         [](const ScratchDir& d, TestKey&) {
             HANDLE h = CreateFileA((d / "w.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
             DWORD dwWritten = 99;
             BOOL b = SysWriteFile(h, "abc", 3, &dwWritten);
             DWORD dw = b ? 0 : GetLastError();
             CloseHandle(h);
             if (dw == 0 && dwWritten != 3)
                 return (DWORD)ERROR_WRITE_FAULT;
             if (dw != 0 && dwWritten != 0)
                 return (DWORD)ERROR_INVALID_DATA;  // a refused write writes nothing
             return dw;
         },
         [](const ScratchDir& d, TestKey&) { return ReadText(d / "w.txt") == "abc"; }},
        {"SysRegCreateKeyEx", none,
         [](const ScratchDir&, TestKey& k) {
             HKEY h = (HKEY)1;
             DWORD dwDisposition = 0;
             LONG l = SysRegCreateKeyEx(k.Get(), "made", &h, &dwDisposition);
             if (l == ERROR_SUCCESS)
             {
                 RegCloseKey(h);
                 return dwDisposition == REG_CREATED_NEW_KEY ? (DWORD)0 : (DWORD)ERROR_INVALID_DATA;
             }
             return h == nullptr ? (DWORD)l : (DWORD)ERROR_INVALID_HANDLE;  // no stray handle to close
         },
         [](const ScratchDir&, TestKey& k) { return k.HasSubKey("made"); }},
        {"SysRegSetValueEx", none,
         [](const ScratchDir&, TestKey& k) {
             return (DWORD)SysRegSetValueEx(k.Get(), "value", REG_SZ, (const BYTE*)"v", 2);
         },
         [](const ScratchDir&, TestKey& k) { return k.HasValue("value"); }},
        {"SysRegDeleteKey",
         [](const ScratchDir&, TestKey& k) {
             HKEY h;
             RegCreateKeyA(k.Get(), "gone", &h);
             RegCloseKey(h);
         },
         [](const ScratchDir&, TestKey& k) { return (DWORD)SysRegDeleteKey(k.Get(), "gone"); },
         [](const ScratchDir&, TestKey& k) { return !k.HasSubKey("gone"); }},
        {"SysRegDeleteValue",
         [](const ScratchDir&, TestKey& k) { RegSetValueExA(k.Get(), "old", 0, REG_SZ, (const BYTE*)"v", 2); },
         [](const ScratchDir&, TestKey& k) { return (DWORD)SysRegDeleteValue(k.Get(), "old"); },
         [](const ScratchDir&, TestKey& k) { return !k.HasValue("old"); }},
    };
}

class SysutilCalls : public ::testing::Test
{
protected:
    void TearDown() override { FaultFailChange(0, 0); }
};
}  // namespace

// Every wrapper: with the hook armed for the first change it fails with the
// hook's error and changes nothing; called again, it makes the change.
TEST_F(SysutilCalls, FaultHookFailsTheChangeWithoutMakingIt)
{
    for (const Change& c : Changes())
    {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        TestKey key;
        c.prepare(dir, key);
        FaultFailChange(1, ERROR_WRITE_PROTECT);
        EXPECT_EQ(c.call(dir, key), (DWORD)ERROR_WRITE_PROTECT);
        EXPECT_FALSE(c.made(dir, key));
        EXPECT_EQ(c.call(dir, key), 0u);
        EXPECT_TRUE(c.made(dir, key));
        EXPECT_EQ(FaultChangeCount(), 2u);
    }
}

TEST_F(SysutilCalls, OnlyTheKthChangeFails)
{
    ScratchDir dir;
    FaultFailChange(2, ERROR_DISK_FULL);
    EXPECT_TRUE(SysCreateDirectory((dir / "1").c_str()));
    EXPECT_FALSE(SysCreateDirectory((dir / "2").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_TRUE(SysCreateDirectory((dir / "3").c_str()));
    EXPECT_TRUE(Exists(dir / "1"));
    EXPECT_FALSE(Exists(dir / "2"));
    EXPECT_TRUE(Exists(dir / "3"));
}

// After a memory failure a step changes nothing more: every wrapper refuses
// with ERROR_NOT_ENOUGH_MEMORY, and a refused change does not use up the
// hook's count.
TEST_F(SysutilCalls, NothingChangesWhileAnExceptionIsPending)
{
    for (const Change& c : Changes())
    {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        TestKey key;
        c.prepare(dir, key);
        FaultFailChange(1, ERROR_WRITE_PROTECT);
        {
            CExceptionScope scope;
            AfxThrowMemoryException();
            EXPECT_EQ(c.call(dir, key), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
            EXPECT_FALSE(c.made(dir, key));
            scope.Clear();
        }
        EXPECT_EQ(FaultChangeCount(), 0u);
        // The scope is gone: the hook's first change is the next one.
        EXPECT_EQ(c.call(dir, key), (DWORD)ERROR_WRITE_PROTECT);
        EXPECT_EQ(c.call(dir, key), 0u);
        EXPECT_TRUE(c.made(dir, key));
    }
}

// A failure is logged as the system's text, a tab, the call and its paths;
// the caller still reads the call's own error afterwards.
TEST_F(SysutilCalls, FailuresAreLoggedWithTheCallAndItsPaths)
{
    ScratchDir dir;
    std::string missing = dir / "missing.txt";
    std::string copy = dir / "copy.txt";
    TestKey key;
    DebugOutput output;

    EXPECT_FALSE(SysDeleteFile(missing.c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(SysCopyFile(missing.c_str(), copy.c_str(), TRUE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SysRegDeleteValue(key.Get(), "absent"), ERROR_FILE_NOT_FOUND);
    FaultFailChange(1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SysCreateDirectory((dir / "refused").c_str()));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(SysCreateDirectory((dir / "made").c_str()));

    char szNotFound[256] = "", szDenied[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND, 0,
                   szNotFound, sizeof szNotFound, nullptr);
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED, 0,
                   szDenied, sizeof szDenied, nullptr);
    ASSERT_NE(szNotFound[0], 0);
    std::string expected = std::string(szNotFound) + "\tDeleteFile " + missing + "\n" + szNotFound + "\tCopyFile " +
                           missing + " " + copy + "\n" + szNotFound + "\tRegDeleteValue absent\n" + szDenied +
                           "\tCreateDirectory " + (dir / "refused") + "\n";
    EXPECT_EQ(DebugOutput::Text(), expected);
}

// A step's scratch file goes with its owner, through the wrapper (so the
// hook can fail it), and even after a memory failure refused every other
// change.
TEST_F(SysutilCalls, TempFileGoesWithItsOwner)
{
    ScratchDir dir;
    std::string path = dir / "gpi1.tmp";
    {
        ASSERT_TRUE(MakeFile(path, "scratch"));
        CTempFile temp;
        temp.Path() = path.c_str();
        FaultFailChange(1, ERROR_SHARING_VIOLATION);
    }
    EXPECT_TRUE(Exists(path)) << "the hook fails the deletion";
    {
        CTempFile temp;
        temp.Path() = path.c_str();
        CExceptionScope scope;
        AfxThrowMemoryException();
        temp.Delete();
        EXPECT_FALSE(Exists(path));
        scope.Clear();
    }
}
