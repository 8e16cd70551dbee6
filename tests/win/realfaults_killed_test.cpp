// Real faults: the installer itself is ended half-way (TerminateProcess, as
// a user's task manager or a lost session would) while it writes a big
// file. Nothing can be undone then: the undo records die with the process.
// What the test holds the product to is that the damage stays within what
// the script names (and the installer's temporary files); it prints what
// is left, which README's "What a failed installation leaves behind"
// describes.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>

#include "realfaults_support.h"
#include "saver_test_config.h"

using namespace files_test;
using namespace realfaults;

namespace
{
const DWORD kKilled = 0xC0DE;
const size_t kMiB = 1024 * 1024;

// Size of the file, or -1 when it does not exist. Reads no byte, so it
// never stands in the installer's way.
long long SizeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

bool HasTempFile(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(Join(dir, "gpi*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FindClose(h);
    return true;
}

// Starts "installer -s", waits until ready() holds and ends the process at
// once. False when the installer ended by itself first (or never started).
bool KillWhen(const std::string& exe, const std::string& tempDir, const std::function<bool()>& ready)
{
    TempFolderOfChildren temp(tempDir);
    std::string cmd = "\"" + exe + "\" -s";
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    bool killed = false;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 60000;)
    {
        if (ready())
        {
            killed = TerminateProcess(pi.hProcess, kKilled) != FALSE;
            break;
        }
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0)
            break;
    }
    if (!killed)
        TerminateProcess(pi.hProcess, 0xDEAD);
    WaitForSingleObject(pi.hProcess, 20000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return killed && code == kKilled;
}

struct KillCase
{
    const char* name;
    bool existing;  // big.bin is installed already, with other bytes
    // When to end the installer, given the target folder and the temporary one.
    std::function<bool(const std::string&, const std::string&)> when;
};
}  // namespace

TEST_F(RealFaults, AnInstallerKilledHalfWayChangesOnlyWhatItsScriptNames)
{
    const size_t kOld = 8 * kMiB;
    const size_t kNew = 64 * kMiB;
    const KillCase cases[] = {
        {"while it writes a new file", false,
         [](const std::string& t, const std::string&) { return SizeOf(t + "\\Saver\\new\\big.bin") >= 0; }},
        // The readme before it is compared too: only a temporary file made
        // after the small file is the big one's.
        {"while it compares a file it replaces", true,
         [](const std::string& t, const std::string& temp) {
             return SizeOf(t + "\\Saver\\new\\small.txt") >= 0 && HasTempFile(temp);
         }},
        {"while it writes a file it replaces", true,
         [=](const std::string& t, const std::string&) {
             long long size = SizeOf(t + "\\Saver\\new\\big.bin");
             return size >= 0 && size != (long long)kOld;
         }},
    };
    // Bytes that compress well keep the installer small; the file it writes
    // is big all the same.
    Bytes big(kNew, 0x5A);
    for (size_t i = 0; i < big.size(); i += 4096)
        big[i] = (BYTE)(i >> 12);
    ASSERT_TRUE(WriteFileBytes(Join(m_work, "big.bin"), big));
    ASSERT_TRUE(MakeFile(Join(m_work, "small.txt"), "small"));
    ASSERT_TRUE(MakeFile(m_target + "\\other.txt", "not the script's"));
    ASSERT_TRUE(MakeDir(m_target + "\\Saver"));
    const std::string bigTarget = m_target + "\\Saver\\new\\big.bin";
    nlohmann::json script = {
        {"prepare", {DirStep("create", {m_target + "\\Saver\\new"})}},
        {"file",
         {FileStep({m_target + "\\Saver\\readme.txt"}, "small.txt"),
          FileStep({m_target + "\\Saver\\new\\small.txt"}, "small.txt"), FileStep({bigTarget}, "big.bin")}},
        // Keeps the installer busy after the big file, so that it is still
        // running when the test ends it.
        {"finish1", {FileStep({m_target + "\\Saver\\new\\after.bin"}, "big.bin")}},
    };
    std::string exe = Pack(script, m_work, "killed");
    ASSERT_FALSE(exe.empty());
    // What the script names, and what the installer may leave in its
    // temporary folder.
    auto allowed = [&](const std::string& entry) {
        for (const char* name : {"Saver", "Saver\\readme.txt", "Saver\\new", "Saver\\new\\small.txt",
                                 "Saver\\new\\big.bin", "Saver\\new\\after.bin"})
            if (entry == m_target + "|" + name)
                return true;
        std::string temp = m_temp + "|gpi";
        return entry.compare(0, temp.size(), temp) == 0 && entry.size() > 4 &&
               entry.compare(entry.size() - 4, 4, ".tmp") == 0;
    };

    for (const KillCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        EmptyFolder(m_temp);
        EmptyFolder(m_target + "\\Saver");
        ASSERT_TRUE(MakeFile(m_target + "\\Saver\\readme.txt", "installed"));
        if (c.existing)
            ASSERT_TRUE(MakeDir(m_target + "\\Saver\\new") && WriteFileBytes(bigTarget, Bytes(kOld, 0x11)));
        Listing before = ListRoots({m_target, m_temp});
        ASSERT_TRUE(KillWhen(exe, m_temp, [&] { return c.when(m_target, m_temp); }))
            << "the installer was not running any more when the moment came";
        Listing after = ListRoots({m_target, m_temp});

        std::cout << "[ KILLED   ] " << c.name << ": left behind\n";
        std::string changes = Differences(before, after);
        std::cout << (changes.empty() ? "nothing\n" : changes);
        for (const auto& entry : before)
        {
            auto now = after.find(entry.first);
            if (now == after.end() || !(now->second == entry.second))
                EXPECT_TRUE(allowed(entry.first)) << "changed: " << entry.first;
        }
        for (const auto& entry : after)
            if (before.find(entry.first) == before.end())
                EXPECT_TRUE(allowed(entry.first)) << "added: " << entry.first;
        // Whatever stands at the big file's place is all or part of the old
        // bytes or of the new ones, never anything else.
        auto left = after.find(m_target + "|Saver\\new\\big.bin");
        if (left != after.end() && left->second.size != 0)
        {
            Bytes bytes = ReadAll(bigTarget);
            bool oldBytes = c.existing && bytes == Bytes(kOld, 0x11);
            bool partOfNew = bytes.size() <= big.size() && std::equal(bytes.begin(), bytes.end(), big.begin());
            EXPECT_TRUE(oldBytes || partOfNew) << "the big file holds " << bytes.size() << " other bytes";
        }
        // Run again to its end, the installer puts everything in place.
        EXPECT_EQ(InstallSilently(exe, m_temp), 0u);
        EXPECT_TRUE(ReadAll(bigTarget) == big);
        EXPECT_EQ(ReadText(m_target + "\\Saver\\readme.txt"), "small");
    }
}
