// Helpers of the real-fault tests: installers packed by saverpack from a
// JSON script, silent runs with a temporary folder of the test's choosing,
// and listings of several folders at once.
#ifndef TESTS_WIN_REALFAULTS_SUPPORT_H
#define TESTS_WIN_REALFAULTS_SUPPORT_H

#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "files_support.h"

namespace realfaults
{
typedef std::vector<std::string> Paths;

// Script steps as saverpack reads them.
nlohmann::json DirStep(const char* mode, const Paths& targets, const Paths& sources = Paths());
nlohmann::json FileStep(const Paths& targets, const std::string& contentFile);

// Bytes that do not compress: a package of them is as big as they are.
Bytes Noise(size_t size, unsigned seed);

// Writes script.json (and nothing else) into dir, packs it with saverpack
// and the stub built here into dir\NAME.exe. The script's contentFile
// names are relative to dir. "" (with a failure added) when the build fails.
std::string Pack(const nlohmann::json& script, const std::string& dir, const std::string& name);

// Sets TMP and TEMP for the processes this one starts, and puts the old
// values back when it goes.
class TempFolderOfChildren
{
public:
    explicit TempFolderOfChildren(const std::string& dir);
    ~TempFolderOfChildren();

private:
    std::string m_tmp, m_temp;
    bool m_hadTmp, m_hadTemp;
};

// "installer -s" with tempDir as its temporary folder: the exit code, or
// 0xDEAD when it did not end within a minute.
DWORD InstallSilently(const std::string& exe, const std::string& tempDir);

// One listing of several trees; each entry's name is "ROOT|relative path".
files_test::Listing ListRoots(const Paths& roots);

// Empties a folder (read-only entries included) without removing it.
void EmptyFolder(const std::string& dir);
}  // namespace realfaults

// The fixture of the RealFaults tests: a scratch folder with target\ (what
// the installers change), work\ (scripts, carried files, installers) and
// temp\ (the installers' temporary folder).
class RealFaults : public ::testing::Test
{
protected:
    void SetUp() override;

    ScratchDir m_dir;
    std::string m_target, m_work, m_temp;
};

#endif
