// Helpers of the packer tests: scripts in scratch folders, the commands run
// in-process with their output caught, packages loaded back.
#ifndef TESTS_HOST_PACKER_SUPPORT_H
#define TESTS_HOST_PACKER_SUPPORT_H

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "framework/MemFile.h"
#include "packer/Commands.h"
#include "packer/Package.h"
#include "packer/ScriptCheck.h"
#include "packer/ScriptReader.h"
#include "saver_test_config.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "support/TestSupport.h"

struct CommandResult
{
    int code = -1;
    std::string out;
    std::string err;
};

inline CommandResult RunBuildCommand(const Packer::BuildOptions& options)
{
    std::ostringstream out, err;
    CommandResult r;
    r.code = Packer::RunBuild(options, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

inline CommandResult RunDumpCommand(const Packer::DumpOptions& options)
{
    std::ostringstream out, err;
    CommandResult r;
    r.code = Packer::RunDump(options, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

inline CommandResult RunVerifyCommand(const std::string& input)
{
    std::ostringstream out, err;
    CommandResult r;
    r.code = Packer::RunVerify(input, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

inline void WriteText(const std::string& path, const std::string& text)
{
    WriteFileBytes(path, Bytes(text.begin(), text.end()));
}

inline Bytes ReadBytes(const std::string& path)
{
    Bytes b;
    ReadFileBytes(path, b);
    return b;
}

inline bool FileExists(const std::string& path)
{
    Bytes b;
    return ReadFileBytes(path, b);
}

// The script of a bare package stream, or null when it does not load.
inline std::unique_ptr<CInstaller> LoadStream(const Bytes& package)
{
    PackageArchive::SetMessageHandler(nullptr);
    std::unique_ptr<CInstaller> script(new CInstaller);
    Bytes copy = package;
    CMemFile file(copy.data(), (UINT)copy.size(), 0);
    int r = script->LoadPackageStream(file);
    file.Detach();
    return r == ERR_OK ? std::move(script) : nullptr;
}

// Reads and checks a script text; fails the test on any problem.
inline std::unique_ptr<CInstaller> ReadChecked(const std::string& json, const std::string& baseDir)
{
    Packer::Problems problems;
    std::unique_ptr<CInstaller> script = Packer::ReadScriptText(json, baseDir, problems);
    if (script)
        problems = Packer::CheckScript(*script);
    std::string all;
    for (const Packer::Problem& p : problems)
        all += Packer::FormatProblem("script", p) + "\n";
    EXPECT_EQ(all, "");
    return problems.empty() ? std::move(script) : nullptr;
}

inline std::string ExampleScripts()
{
    return std::string(SAVER_TEST_SOURCE_DIR) + "/examples/scripts";
}

#endif
