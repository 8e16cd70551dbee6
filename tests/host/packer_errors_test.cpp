// Bad input to "saverpack build": each case fails with the place in its
// message and leaves no output file behind.
#include <gtest/gtest.h>

#include "packer_support.h"

namespace
{
struct BadInputCase
{
    const char* name;
    const char* script;
    const char* where;   // the place the message must name
    const char* message; // and a part of what it says
};

class PackerBadInput : public ::testing::TestWithParam<BadInputCase>
{
};

TEST_P(PackerBadInput, FailsWithPlaceAndWritesNothing)
{
    const BadInputCase& c = GetParam();
    ScratchDir dir;
    WriteText(dir / "stub.exe", "MZ stub");
    WriteText(dir / "script.json", c.script);
    Packer::BuildOptions options;
    options.script = dir / "script.json";
    options.output = dir / "out.exe";
    options.stub = dir / "stub.exe";
    CommandResult r = RunBuildCommand(options);
    EXPECT_EQ(r.code, Packer::kExitFailed);
    std::string place = c.where[0] == '\0'  ? ": "
                        : c.where[0] == '/' ? std::string(": ") + c.where + ": "
                                            : std::string(":") + c.where + ": ";
    EXPECT_NE(r.err.find(dir / "script.json" + place), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(dir / "out.exe"));
    EXPECT_EQ(r.out, "");
}

const BadInputCase kBadInputCases[] = {
    {"SyntaxError", "{\n  \"file\": [\n    {\"type\": \"dir\",, }\n  ]\n}", "3:20", "JSON syntax error"},
    {"NumberBeyondADouble", R"({"define": [1e400]})", "", "JSON value refused: number overflow parsing '1e400'"},
    {"NotAnObject", "[]", "", "a script is a JSON object"},
    {"UnknownList", R"({"finsh2": []})", "/finsh2", "did you mean \"finish2\""},
    {"ListNotAnArray", R"({"file": {}})", "/file", "must be an array"},
    {"UnknownType", R"({"file": [{"type": "dri", "mode": 3}]})", "/file/0/type", "unknown type \"dri\""},
    {"MissingType", R"({"file": [{"mode": 3}]})", "/file/0", "missing \"type\""},
    {"UnknownField", R"({"file": [{"type": "dir", "mode": 3, "target": ["x"]}]})", "/file/0/target",
     "did you mean \"targets\""},
    {"DuplicateKey", R"({"file": [{"type": "dir", "mode": 3, "targets": [], "targets": ["x"]}]})", "/file/0/targets",
     "stands twice"},
    {"TextOutsideWindows1252", R"({"define": [{"type": "define", "name": "N", "value": "\u4e2d"}]})", "/define/0/value",
     "U+4E2D"},
    {"TargetNotText", R"({"file": [{"type": "dir", "mode": 3, "targets": ["a", 5]}]})", "/file/0/targets/1",
     "must be a string"},
    {"MissingCarriedFile", R"({"file": [{"type": "file", "targets": ["t"], "contentFile": "gone.bin"}]})",
     "/file/0/contentFile", "no such file"},
    {"NoContent", R"({"file": [{"type": "file", "targets": ["t"]}]})", "/file/0", "missing content"},
    {"TwoContents", R"({"file": [{"type": "file", "targets": ["t"], "contentHex": "", "contentText": ""}]})", "/file/0",
     "only one of"},
    {"BadHex", R"({"file": [{"type": "file", "targets": ["t"], "contentHex": "0g"}]})", "/file/0/contentHex",
     "not a hex digit"},
    {"ModeNameTheObjectLacks", R"({"registry": [{"type": "registry", "mode": "verb", "targets": []}]})",
     "/registry/0/mode", "its modes are copy (1), move (2), create (3), delete (4), check (8)"},
    {"ModeNumberTheObjectLacks", R"({"file": [{"type": "dir", "mode": 8, "targets": []}]})", "/file/0/mode",
     "a dir has no mode 8"},
    {"FileDeleteMode", R"({"file": [{"type": "file", "mode": "delete", "targets": [], "contentHex": ""}]})",
     "/file/0/mode", "a file has no mode \"delete\""},
    {"MissingMode", R"({"file": [{"type": "dir", "targets": ["x"]}]})", "/file/0", "missing \"mode\""},
    {"ModeOfDefine", R"({"define": [{"type": "define", "mode": "create", "name": "x"}]})", "/define/0/mode",
     "has no modes"},
    {"NegativeNumber", R"({"file": [{"type": "dir", "mode": -1, "targets": []}]})", "/file/0/mode",
     "must not be negative"},
    {"UnknownAttribute", R"({"file": [{"type": "dir", "mode": 3, "targets": ["x"], "attributes": ["hiden"]}]})",
     "/file/0/attributes/0", "unknown attribute \"hiden\""},
    {"DirCopyListsDiffer", R"({"file": [{"type": "dir", "mode": "copy", "sources": ["a", "b"], "targets": ["c"]}]})",
     "/file/0/sources", "2 sources for 1 target"},
    {"FileMoveListsDiffer",
     R"({"file": [{"type": "file", "mode": "move", "sources": [], "targets": ["c"], "contentHex": ""}]})",
     "/file/0/sources", "0 sources for 1 target"},
    {"RegistryMoveListsDiffer",
     R"({"registry": [{"type": "registry", "mode": "move", "sources": ["HKEY_CURRENT_USER\\a"], "targets": []}]})",
     "/registry/0/sources", "error 32"},
    {"ValueCopyListsDiffer",
     R"({"registry": [{"type": "value", "mode": "copy", "targets": ["HKEY_CURRENT_USER\\a"], "valueName": "v"}]})",
     "/registry/0/sources", "error 32"},
    {"PatchTablesAndTargetsDiffer",
     R"({"file": [{"type": "patch", "targets": ["a", "b"], "contentHex": "", "patches": [[]]}]})", "/file/0/patches",
     "1 patch list for 2 targets"},
    {"PatchReplacementLonger",
     R"({"file": [{"type": "patch", "targets": ["a"], "contentHex": "", "patches": [[{"search": "A", "replace": "BB"}]]}]})",
     "/file/0/patches/0/0/replace", "longer than its pattern"},
    {"PatchPairIncomplete",
     R"({"file": [{"type": "patch", "targets": ["a"], "contentHex": "", "patches": [[{"search": "A"}]]}]})",
     "/file/0/patches/0/0", "exactly one of replace"},
    {"EmptyTarget", R"({"file": [{"type": "dir", "mode": 3, "targets": ["a", ""]}]})", "/file/0/targets/1", "error 35"},
    {"TargetEmptyAfterExpansion",
     R"({"define": [{"type": "define", "name": "E", "value": ""}], "file": [{"type": "dir", "mode": 3, "targets": ["<e>"]}]})",
     "/file/0/targets/0", "empty path"},
    {"UndefinedVariable", R"({"file": [{"type": "dir", "mode": 3, "targets": ["<SysDri>\\x"]}]})", "/file/0/targets/0",
     "<SysDri>"},
    {"MalformedReference", R"({"file": [{"type": "dir", "mode": 3, "targets": ["a>b"]}]})", "/file/0/targets/0",
     "error 8"},
    {"DefineElsewhereIsNoVariable",
     R"({"prepare": [{"type": "define", "name": "D", "value": "x"}], "file": [{"type": "dir", "mode": 3, "targets": ["<D>"]}]})",
     "/file/0/targets/0", "defined neither"},
    {"RegistryWithoutRoot", R"({"registry": [{"type": "registry", "mode": "create", "targets": ["HKLM\\Software"]}]})",
     "/registry/0/targets/0", "does not begin with HKEY_LOCAL_MACHINE"},
    {"EmptyValueName", R"({"registry": [{"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\a"]}]})",
     "/registry/0/valueName", "error 30"},
    {"DwordDataWithTextType",
     R"({"registry": [{"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\a"], "valueName": "v", "valueType": "REG_SZ", "data": 1}]})",
     "/registry/0/data", "needs the valueType REG_DWORD"},
    {"UnknownValueType",
     R"({"registry": [{"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\a"], "valueName": "v", "valueType": "REG_FOO"}]})",
     "/registry/0/valueType", "unknown value type"},
    {"UnknownVerb", R"({"finish1": [{"type": "action", "mode": "verb", "verb": "run", "file": "x"}]})",
     "/finish1/0/verb", "error 25"},
    {"EmptyActionFile", R"({"finish1": [{"type": "action", "mode": "close"}]})", "/finish1/0/file", "error 33"},
    {"EmptyLinkTarget", R"({"finish1": [{"type": "link", "file": "x.lnk"}]})", "/finish1/0/target", "error 36"},
    {"EmptyDefineName", R"({"define": [{"type": "define", "value": "x"}]})", "/define/0/name", "empty variable name"},
    {"VersionWithLists", R"({"version": 2, "define": [{"type": "define", "name": "x"}]})", "/version", "empty script"},
};

INSTANTIATE_TEST_SUITE_P(Cases, PackerBadInput, ::testing::ValuesIn(kBadInputCases),
                         [](const ::testing::TestParamInfo<BadInputCase>& info) { return info.param.name; });

// Every problem is listed, not just the first.
TEST(PackerErrors, ListsEveryProblem)
{
    ScratchDir dir;
    WriteText(dir / "s.json", R"({"file": [{"type": "dir", "mode": 9, "targets": []},
                                           {"type": "dir", "mode": 3, "targets": ["<x>"]}],
                                  "finish1": [{"type": "nope"}]})");
    Packer::BuildOptions options;
    options.script = dir / "s.json";
    options.output = dir / "out.exe";
    options.packageOnly = true;
    CommandResult r = RunBuildCommand(options);
    EXPECT_EQ(r.code, Packer::kExitFailed);
    EXPECT_NE(r.err.find("/file/0/mode"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/finish1/0/type"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("problems; nothing written"), std::string::npos) << r.err;
}

// Problems of the stub, the script file and the output place.
TEST(PackerErrors, StubScriptAndOutputFaults)
{
    ScratchDir dir;
    WriteText(dir / "s.json", "{}");
    WriteText(dir / "plain.exe", "MZ");
    WriteFileBytes(dir / "installer.exe", Text("MZ") + Packer::Marker() + Text("akz"));
    struct Case
    {
        const char* name;
        std::string script, output, stub, defaultStub;
        const char* message;
    } const cases[] = {
        {"StubIsAnInstaller", dir / "s.json", dir / "o.exe", dir / "installer.exe", "",
         "already holds a package marker"},
        {"StubMissing", dir / "s.json", dir / "o.exe", dir / "none.exe", "", "cannot read the stub"},
        {"DefaultStubMissing", dir / "s.json", dir / "o.exe", "", dir / "setup.exe", "cmake --preset win32"},
        {"ScriptMissing", dir / "missing.json", dir / "o.exe", dir / "plain.exe", "", "no such file"},
        {"OutputFolderMissing", dir / "s.json", dir / "no" SAVER_SEP "o.exe", dir / "plain.exe", "", "cannot write"},
    };
    for (const Case& c : cases)
    {
        Packer::BuildOptions options;
        options.script = c.script;
        options.output = c.output;
        options.stub = c.stub;
        options.defaultStub = c.defaultStub;
        CommandResult r = RunBuildCommand(options);
        EXPECT_EQ(r.code, Packer::kExitFailed) << c.name;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
        EXPECT_FALSE(FileExists(c.output)) << c.name;
    }
}

// A failed build leaves an existing output file as it was.
TEST(PackerErrors, FailedBuildKeepsTheOldOutput)
{
    ScratchDir dir;
    WriteText(dir / "s.json", R"({"file": [{"type": "dri"}]})");
    WriteText(dir / "out.exe", "old contents");
    Packer::BuildOptions options;
    options.script = dir / "s.json";
    options.output = dir / "out.exe";
    options.packageOnly = true;
    EXPECT_EQ(RunBuildCommand(options).code, Packer::kExitFailed);
    EXPECT_EQ(ReadBytes(dir / "out.exe"), Text("old contents"));
}
} // namespace
