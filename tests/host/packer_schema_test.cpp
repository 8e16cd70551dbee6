// The published JSON Schema describes the format the packer reads: the same
// lists, kinds and fields; and the example scripts and a dump validate
// against it where a validator is at hand.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <set>

#include <nlohmann/json.hpp>

#include "packer/Kinds.h"
#include "packer_support.h"

namespace
{
nlohmann::json Schema()
{
    std::string text, error;
    EXPECT_TRUE(
        Packer::ReadWholeFile(std::string(SAVER_TEST_SOURCE_DIR) + "/docs/script-format.schema.json", text, &error))
        << error;
    return nlohmann::json::parse(text);
}

std::set<std::string> Keys(const nlohmann::json& o)
{
    std::set<std::string> keys;
    for (auto it = o.begin(); it != o.end(); ++it)
        keys.insert(it.key());
    return keys;
}

TEST(PackerSchema, NamesTheListsKindsAndFieldsThePackerReads)
{
    nlohmann::json schema = Schema();
    std::set<std::string> lists = {"$schema", "version"};
    for (const Packer::ListInfo& list : Packer::Lists())
        lists.insert(list.name);
    EXPECT_EQ(Keys(schema["properties"]), lists);

    for (const Packer::KindInfo& kind : Packer::Kinds())
    {
        std::set<std::string> fields = {"type", "mode", "errorText"};
        fields.insert(kind.fields.begin(), kind.fields.end());
        const nlohmann::json& def = schema["$defs"][kind.name];
        EXPECT_EQ(Keys(def["properties"]), fields) << kind.name;
        EXPECT_EQ(def["properties"]["type"]["const"], kind.name);
        std::set<std::string> modes;
        for (const Packer::NamedValue& nv : kind.modes)
            modes.insert(nv.name);
        if (!modes.empty())
        {
            const nlohmann::json& names = def["properties"]["mode"]["oneOf"][0]["enum"];
            EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), modes) << kind.name;
        }
        bool bRequired = false;
        for (const auto& r : def["required"])
            bRequired = bRequired || r == "mode";
        EXPECT_EQ(bRequired, kind.modeRequired) << kind.name;
    }
}

// Runs Python's jsonschema, when installed, on the examples and on a dump.
TEST(PackerSchema, ExamplesAndDumpsValidate)
{
    if (system("python3 -c 'import jsonschema' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with jsonschema is not installed";
    ScratchDir dir;
    Packer::BuildOptions build;
    build.script = ExampleScripts() + "/tour.json";
    build.output = dir / "tour.pkg";
    build.packageOnly = true;
    ASSERT_EQ(RunBuildCommand(build).code, 0);
    Packer::DumpOptions dump;
    dump.input = dir / "tour.pkg";
    WriteText(dir / "dump.json", RunDumpCommand(dump).out);

    std::string script = "import json, sys, jsonschema\n"
                         "schema = json.load(open(sys.argv[1]))\n"
                         "for f in sys.argv[2:]:\n"
                         "    jsonschema.validate(json.load(open(f)), schema, cls=jsonschema.Draft202012Validator)\n";
    WriteText(dir / "check.py", script);
    std::string command = "python3 \"" + (dir / "check.py") + "\" \"" + SAVER_TEST_SOURCE_DIR +
                          "/docs/script-format.schema.json\" \"" + (dir / "dump.json") + "\"";
    for (const char* name : {"hello.json", "tour.json"})
        command += " \"" + ExampleScripts() + "/" + name + "\"";
    int status = system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
} // namespace
