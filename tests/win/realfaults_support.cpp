#include "realfaults_support.h"

#include <gtest/gtest.h>

#include <fstream>

#include "saver_test_config.h"
#include "stub_driver.h"

using files_test::Join;
using files_test::Listing;

namespace realfaults
{
nlohmann::json DirStep(const char* mode, const Paths& targets, const Paths& sources)
{
    nlohmann::json step = {{"type", "dir"}, {"mode", mode}, {"targets", targets}};
    if (!sources.empty())
        step["sources"] = sources;
    return step;
}

nlohmann::json FileStep(const Paths& targets, const std::string& contentFile)
{
    return {{"type", "file"}, {"targets", targets}, {"contentFile", contentFile}};
}

Bytes Noise(size_t size, unsigned seed)
{
    Bytes bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = (BYTE)x;
    }
    return bytes;
}

std::string Pack(const nlohmann::json& script, const std::string& dir, const std::string& name)
{
    std::string json = Join(dir, name + ".json");
    std::ofstream(json) << script.dump(2);
    std::string exe = Join(dir, name + ".exe");
    stub::Run run = stub::RunProgram(SAVER_TEST_SAVERPACK_EXE, "build \"" + json + "\" --stub \"" +
                                                                   SAVER_TEST_SETUP_EXE + "\" -o \"" + exe + "\"",
                                     {}, 60000);
    if (!run.started || run.exitCode != 0)
    {
        ADD_FAILURE() << "saverpack build " << json << ": exit code " << run.exitCode;
        return "";
    }
    return exe;
}

namespace
{
bool GetVariable(const char* name, std::string& value)
{
    char buf[MAX_PATH];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    value.assign(buf, n < sizeof buf ? n : 0);
    return n != 0;
}
}  // namespace

TempFolderOfChildren::TempFolderOfChildren(const std::string& dir)
{
    m_hadTmp = GetVariable("TMP", m_tmp);
    m_hadTemp = GetVariable("TEMP", m_temp);
    SetEnvironmentVariableA("TMP", dir.c_str());
    SetEnvironmentVariableA("TEMP", dir.c_str());
}

TempFolderOfChildren::~TempFolderOfChildren()
{
    SetEnvironmentVariableA("TMP", m_hadTmp ? m_tmp.c_str() : nullptr);
    SetEnvironmentVariableA("TEMP", m_hadTemp ? m_temp.c_str() : nullptr);
}

DWORD InstallSilently(const std::string& exe, const std::string& tempDir)
{
    TempFolderOfChildren temp(tempDir);
    stub::Run run = stub::RunProgram(exe, "-s", {}, 60000);
    if (!run.started)
        return 0x80000000u | run.startError;
    return run.timedOut ? 0xDEAD : run.exitCode;
}

Listing ListRoots(const Paths& roots)
{
    Listing all;
    for (const std::string& root : roots)
        for (const auto& entry : files_test::ListTree(root))
            all[root + "|" + entry.first] = entry.second;
    return all;
}

void EmptyFolder(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(Join(dir, "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do
    {
        std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = Join(dir, name);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        {
            EmptyFolder(path);
            RemoveDirectoryA(path.c_str());
        }
        else
            DeleteFileA(path.c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}
}  // namespace realfaults

void RealFaults::SetUp()
{
    if (!SAVER_TEST_HAVE_SETUP || !SAVER_TEST_HAVE_SAVERPACK)
        GTEST_SKIP() << "setup.exe or saverpack.exe is not built";
    m_target = m_dir / "target";
    m_work = m_dir / "work";
    m_temp = m_dir / "temp";
    ASSERT_TRUE(files_test::MakeDir(m_target) && files_test::MakeDir(m_work) && files_test::MakeDir(m_temp));
}
