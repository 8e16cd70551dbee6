// A script with the key and value objects in every mode and every value
// type: saverpack builds it, dumps it back to the same script, and the
// installer it makes installs it under Wine, or rolls it back exactly.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "packer/Commands.h"
#include "registry_support.h"
#include "saver_test_config.h"
#include "win/stub_driver.h"

using namespace registry_test;

namespace
{
std::string Escaped(const std::string& path)
{
    std::string out;
    for (char c : path)
        out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

// <Root> is the test's own key; bFail adds a step that fails at the end.
std::string Script(const std::string& root, bool bFail)
{
    std::string R = "HKEY_CURRENT_USER\\\\<Root>";
    std::string text = R"({
  "check": [
    { "type": "registry", "mode": "check", "targets": ["R\\installed"], "errorText": "Installed" }
  ],
  "define": [
    { "type": "define", "name": "Root", "value": "ROOT" },
    { "type": "define", "name": "Installed", "value": "already <there>" }
  ],
  "registry": [
    { "type": "registry", "mode": "create", "targets": ["R\\made\\deep"] },
    { "type": "registry", "mode": "copy", "sources": ["R\\src"], "targets": ["R\\copied"] },
    { "type": "registry", "mode": "move", "sources": ["R\\moveme"], "targets": ["R\\moved"] },
    { "type": "registry", "mode": "delete", "targets": ["R\\deleteme"] },
    { "type": "value", "mode": "set", "targets": ["R\\made"], "valueName": "sz", "valueType": "REG_SZ", "data": "in <Root>" },
    { "type": "value", "mode": "set", "targets": ["R\\made"], "valueName": "expand", "valueType": "REG_EXPAND_SZ", "data": "%TEMP%\\x" },
    { "type": "value", "mode": "set", "targets": ["R\\made"], "valueName": "multi", "valueType": "REG_MULTI_SZ", "data": ["one", "<Root>"] },
    { "type": "value", "mode": "set", "targets": ["R\\made"], "valueName": "bin", "valueType": "REG_BINARY", "dataHex": "00013c3e" },
    { "type": "value", "mode": "set", "targets": ["R\\made"], "valueName": "dw", "valueType": "REG_DWORD", "data": 258 },
    { "type": "value", "mode": "set", "targets": ["R\\made"], "valueName": "short", "valueType": "shortpath", "data": "C:\\windows\\system32" },
    { "type": "value", "mode": "copy", "sources": ["R\\src"], "targets": ["R\\made"], "valueName": "s" },
    { "type": "value", "mode": "move", "sources": ["R\\src"], "targets": ["R\\made"], "valueName": "m" },
    { "type": "value", "mode": "delete", "targets": ["R\\src"], "valueName": "d" }FAIL
  ]
})";
    auto replace = [&](const std::string& from, const std::string& to) {
        for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
            text.replace(at, from.size(), to);
    };
    replace("\"R\\\\", "\"" + R + "\\\\");
    replace("ROOT", Escaped(root));
    // Deleting a key that is not there fails with 13.
    replace("FAIL", bFail ? ",\n    { \"type\": \"registry\", \"mode\": \"delete\", \"targets\": [\"" + R + "\\\\none\"] }"
                          : "");
    return text;
}

void MakeStartingTree(const ScratchKey& key)
{
    ASSERT_TRUE(SetValue(key.Path("src"), "s", REG_SZ, Text("copy <me>")));
    ASSERT_TRUE(SetValue(key.Path("src"), "m", REG_DWORD, Le32(77)));
    ASSERT_TRUE(SetValue(key.Path("src"), "d", REG_BINARY, B({1, 2, 3})));
    ASSERT_TRUE(SetValue(key.Path("src\\sub"), "", REG_SZ, Text("sub default")));
    ASSERT_TRUE(SetValue(key.Path("moveme\\inner"), "x", REG_MULTI_SZ, Text(std::string("a\0\0", 3))));
    ASSERT_TRUE(SetValue(key.Path("deleteme\\inner"), "y", REG_SZ, Text("bye")));
}

std::string Build(const ScratchDir& dir, const std::string& script, const std::string& name)
{
    std::string json = dir / (name + ".json");
    std::ofstream(json, std::ios::binary) << script;
    Packer::BuildOptions options;
    options.script = json;
    options.output = dir / (name + ".exe");
    options.stub = SAVER_TEST_SETUP_EXE;
    std::ostringstream out, err;
    EXPECT_EQ(Packer::RunBuild(options, out, err), Packer::kExitOk) << err.str();
    return options.output;
}

std::string Dump(const std::string& installer)
{
    Packer::DumpOptions options;
    options.input = installer;
    std::ostringstream out, err;
    EXPECT_EQ(Packer::RunDump(options, out, err), Packer::kExitOk) << err.str();
    return out.str();
}
}  // namespace

TEST(RegistryPacker, EveryModeAndTypeDumpsAndInstalls)
{
    if (!SAVER_TEST_HAVE_SETUP)
        GTEST_SKIP() << "setup.exe is not built in this tree";
    ScratchDir dir;
    ScratchKey key;
    MakeStartingTree(key);

    std::string installer = Build(dir, Script(key.Path(), false), "whole");
    std::string dumped = Dump(installer);
    for (const char* expected :
         {"\"check\"", "\"create\"", "\"copy\"", "\"move\"", "\"delete\"", "\"set\"", "REG_SZ", "REG_EXPAND_SZ",
          "REG_MULTI_SZ", "REG_BINARY", "REG_DWORD", "shortpath", "\"errorText\": \"Installed\""})
        EXPECT_NE(dumped.find(expected), std::string::npos) << expected << "\n" << dumped;
    // The dump builds the same installer again.
    std::string again = Build(dir, dumped, "again");
    Bytes a, b;
    ASSERT_TRUE(ReadFileBytes(installer, a));
    ASSERT_TRUE(ReadFileBytes(again, b));
    EXPECT_TRUE(a == b);

    // A failing last step: everything comes back.
    Export before = ExportTree(key.Path());
    stub::Run run = stub::RunProgram(Build(dir, Script(key.Path(), true), "failing"), "-s");
    EXPECT_EQ(run.exitCode, (DWORD)ERR_REG_DELETE_TREE);
    EXPECT_EQ(Differences(before, ExportTree(key.Path())), "");

    run = stub::RunProgram(installer, "-s");
    EXPECT_EQ(run.exitCode, (DWORD)ERR_OK);
    Export after = ExportTree(key.Path());
    std::string root = key.Full();
    auto value = [&](const std::string& k, const std::string& name) { return after[k][name]; };
    EXPECT_TRUE(after.count("made\\deep"));
    EXPECT_EQ(after["copied\\sub"], before["src\\sub"]);
    EXPECT_EQ(after["moved\\inner"], before["moveme\\inner"]);
    EXPECT_EQ(after.count("moveme"), 0u);
    EXPECT_EQ(after.count("deleteme"), 0u);
    EXPECT_EQ(value("made", "sz").data, Text("in " + root.substr(18)));
    EXPECT_EQ(value("made", "expand").type, (DWORD)REG_EXPAND_SZ);
    EXPECT_EQ(value("made", "multi").data, Text("one") + B({0}) + Text(root.substr(18)) + B({0, 0}));
    EXPECT_EQ(value("made", "bin").data, B({0, 1, 0x3C, 0x3E}));
    EXPECT_EQ(value("made", "dw").data, Le32(258));
    EXPECT_EQ(value("made", "short").type, (DWORD)REG_SZ);
    EXPECT_EQ(value("made", "s"), before["src"]["s"]);
    EXPECT_EQ(value("made", "m"), before["src"]["m"]);
    EXPECT_EQ(after["src"].count("m"), 0u);
    EXPECT_EQ(after["src"].count("d"), 0u);

    // Now the check finds its key: 29, and nothing more is changed.
    ASSERT_TRUE(MakeKey(key.Path("installed")));
    Export installed = ExportTree(key.Path());
    run = stub::RunProgram(installer, "-s");
    EXPECT_EQ(run.exitCode, (DWORD)ERR_CHECK_VETO);
    EXPECT_EQ(Differences(installed, ExportTree(key.Path())), "");
}
