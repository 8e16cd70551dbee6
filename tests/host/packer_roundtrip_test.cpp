// Builds are deterministic, dump and build are each other's inverse, and
// the command-line program behaves like the commands it wraps.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>

#include <filesystem>

#include "objects/InstObjDefine.h"
#include "packer_support.h"
#include "script/PackageFormat.h"

namespace fs = std::filesystem;

namespace
{
std::vector<std::string> ExampleScriptNames()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(ExampleScripts()))
        if (entry.path().extension() == ".json")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Packer::BuildOptions PackageOnly(const std::string& script, const std::string& output)
{
    Packer::BuildOptions options;
    options.script = script;
    options.output = output;
    options.packageOnly = true;
    return options;
}

class PackerExamples : public ::testing::TestWithParam<std::string>
{
};

// Two builds of the same script give the same bytes; dump turns the package
// back into a script that builds the same bytes again, with the content in
// the JSON as well as extracted to files; the dump of that build is the
// same text.
TEST_P(PackerExamples, DumpAndBuildAreStable)
{
    ScratchDir dir;
    std::string script = ExampleScripts() + "/" + GetParam();
    ASSERT_EQ(RunBuildCommand(PackageOnly(script, dir / "a.pkg")).code, 0);
    ASSERT_EQ(RunBuildCommand(PackageOnly(script, dir / "b.pkg")).code, 0);
    Bytes first = ReadBytes(dir / "a.pkg");
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(ReadBytes(dir / "b.pkg"), first) << "two builds differ";

    Packer::DumpOptions inline_;
    inline_.input = dir / "a.pkg";
    CommandResult dumped = RunDumpCommand(inline_);
    ASSERT_EQ(dumped.code, 0) << dumped.err;
    WriteText(dir / "inline.json", dumped.out);
    ASSERT_EQ(RunBuildCommand(PackageOnly(dir / "inline.json", dir / "c.pkg")).code, 0);
    EXPECT_EQ(ReadBytes(dir / "c.pkg"), first) << "dump without --extract does not build the same package";

    Packer::DumpOptions extract;
    extract.input = dir / "c.pkg";
    extract.extractDir = dir / "files";
    extract.output = dir / "files" SAVER_SEP "script.json";
    CommandResult extracted = RunDumpCommand(extract);
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "");
    CommandResult rebuilt = RunBuildCommand(PackageOnly(dir / "files" SAVER_SEP "script.json", dir / "d.pkg"));
    ASSERT_EQ(rebuilt.code, 0) << rebuilt.err;
    EXPECT_EQ(ReadBytes(dir / "d.pkg"), first) << "dump with --extract does not build the same package";

    Packer::DumpOptions again;
    again.input = dir / "d.pkg";
    EXPECT_EQ(RunDumpCommand(again).out, dumped.out);
}

INSTANTIATE_TEST_SUITE_P(Scripts, PackerExamples, ::testing::ValuesIn(ExampleScriptNames()),
                         [](const ::testing::TestParamInfo<std::string>& info)
                         {
                             std::string name = fs::path(info.param).stem().string();
                             for (char& c : name)
                                 if (!isalnum((unsigned char)c))
                                     c = '_';
                             return name;
                         });

// What the JSON form must carry exactly: every byte value in text, data that
// looks like text but is not, modes and numbers outside the named ones.
TEST(PackerRoundTrip, OddValuesSurviveDumpAndBuild)
{
    ScratchDir dir;
    std::string allBytes;
    for (int i = 0; i < 256; i++)
        allBytes += (char)i;
    std::unique_ptr<CInstaller> script(new CInstaller);
    {
        Packer::Problems problems;
        script = Packer::ReadScriptText(R"({
            "define": [{"type": "define", "name": "N", "value": ""}],
            "file": [
                {"type": "object", "mode": 4000000000, "errorText": "x"},
                {"type": "dir", "mode": "create", "targets": ["<N>a"], "attributes": 1073741825},
                {"type": "patch", "targets": ["a"], "contentHex": "", "patches": [[{"searchHex": "00", "replace": ""}]]}
            ],
            "registry": [
                {"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\a"], "valueName": "v", "valueType": 7, "dataHex": "616200"},
                {"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\a"], "valueName": "v", "valueType": 7, "data": []},
                {"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\a"], "valueName": "v", "valueType": 4, "dataHex": "0102"},
                {"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\a"], "valueName": "v", "valueType": 5, "data": 258},
                {"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\a"], "valueName": "v", "valueType": 99999, "data": "t"}
            ],
            "finish1": [{"type": "action", "mode": "close", "file": "x", "showCmd": 12345}]
        })",
                                        dir.Path(), problems);
        ASSERT_TRUE(problems.empty());
    }
    // Text with every byte value, written into the objects directly.
    CInstObjDefine* pDefine = (CInstObjDefine*)script->m_DefineList.GetHead();
    pDefine->m_strValue = CString(allBytes.data(), (int)allBytes.size());

    Bytes package = Packer::PackScript(*script);
    WriteFileBytes(dir / "a.pkg", package);
    Packer::DumpOptions dump;
    dump.input = dir / "a.pkg";
    CommandResult dumped = RunDumpCommand(dump);
    ASSERT_EQ(dumped.code, 0) << dumped.err;
    WriteText(dir / "a.json", dumped.out);
    CommandResult built = RunBuildCommand(PackageOnly(dir / "a.json", dir / "b.pkg"));
    ASSERT_EQ(built.code, 0) << built.err << dumped.out;
    EXPECT_EQ(ReadBytes(dir / "b.pkg"), package);
}

// --package-only writes exactly the package that follows the marker in a
// full build.
TEST(PackerRoundTrip, PackageOnlyIsTheTailOfTheInstaller)
{
    ScratchDir dir;
    WriteText(dir / "stub.exe", "MZ this is a stub");
    std::string script = ExampleScripts() + "/hello.json";
    Packer::BuildOptions full;
    full.script = script;
    full.output = dir / "setup.exe";
    full.stub = dir / "stub.exe";
    CommandResult r = RunBuildCommand(full);
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(RunBuildCommand(PackageOnly(script, dir / "p.pkg")).code, 0);

    Bytes installer = ReadBytes(dir / "setup.exe");
    Bytes package = ReadBytes(dir / "p.pkg");
    Bytes expected = Text("MZ this is a stub") + Packer::Marker() + package;
    EXPECT_EQ(installer, expected);
    ASSERT_GE(package.size(), 12u);
    EXPECT_EQ(std::string(package.begin(), package.begin() + 3), "akz");
    EXPECT_EQ(package[3], PackageFormat::kVersionScrambled);

    // Both forms load: the installer as the stub loads itself, the package
    // as a stream; dump takes either.
    CInstaller fromInstaller;
    PackageArchive::SetMessageHandler(nullptr);
    EXPECT_EQ(fromInstaller.LoadPackage(CString((dir / "setup.exe").c_str())), ERR_OK);
    EXPECT_EQ(fromInstaller.m_FileList.GetCount(), 1);
    ASSERT_TRUE(LoadStream(package));
    Packer::DumpOptions a, b;
    a.input = dir / "setup.exe";
    b.input = dir / "p.pkg";
    EXPECT_EQ(RunDumpCommand(a).out, RunDumpCommand(b).out);
}

// The program itself: exit codes of the three commands and of bad usage.
TEST(PackerProgram, ExitCodes)
{
#if SAVER_TEST_HAVE_SAVERPACK
    ScratchDir dir;
    WriteText(dir / "stub.exe", "MZ");
    WriteText(dir / "bad.json", R"({"file": [{"type": "dri"}]})");
    std::string exe = SAVER_TEST_SAVERPACK_EXE;
    std::string hello = ExampleScripts() + "/hello.json";
    auto run = [&](const std::string& args)
    {
        int status = system(("\"" + exe + "\" " + args + " >\"" + (dir / "log.txt") + "\" 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("build \"" + hello + "\" -o \"" + (dir / "a.exe") + "\" --stub \"" + (dir / "stub.exe") + "\""), 0);
    EXPECT_EQ(run("verify \"" + (dir / "a.exe") + "\""), 0);
    EXPECT_EQ(run("dump \"" + (dir / "a.exe") + "\" --extract \"" + (dir / "x") + "\" -o \"" + (dir / "x.json") + "\""),
              0);
    EXPECT_TRUE(FileExists(dir / "x.json"));
    EXPECT_EQ(run("build \"" + (dir / "bad.json") + "\" -o \"" + (dir / "b.exe") + "\" --package-only"), 1);
    EXPECT_FALSE(FileExists(dir / "b.exe"));
    EXPECT_EQ(run("verify \"" + (dir / "stub.exe") + "\""), 1);
    EXPECT_EQ(run("build"), 2);
    EXPECT_EQ(run("frobnicate"), 2);
    EXPECT_EQ(run("--help"), 0);
#else
    GTEST_SKIP() << "saverpack is not built";
#endif
}
} // namespace
