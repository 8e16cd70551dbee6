// JSON scripts to install objects: every kind and field, built into a
// package and read back by the installer's loader.
#include <gtest/gtest.h>

#include <functional>

#include "objects/InstObjAction.h"
#include "objects/InstObjDefine.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjPatchFile.h"
#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "objects/InstObjShellLink.h"
#include "packer_support.h"

namespace
{
std::string Str(const CString& s)
{
    return std::string((const char*)s, (size_t)s.GetLength());
}

std::vector<std::string> Strs(const CStringArray& a)
{
    std::vector<std::string> v;
    for (int i = 0; i < a.GetSize(); i++)
        v.push_back(Str(a[i]));
    return v;
}

Bytes Of(const CByteArray& a)
{
    return Bytes(a.GetData(), a.GetData() + a.GetSize());
}

// The object of a one-object script, after a trip through a package.
struct MappingCase
{
    const char* name;
    const char* list;
    const char* object; // the JSON object
    const CRuntimeClass* cls;
    std::function<void(CObject*)> check;
};

class PackerMapping : public ::testing::TestWithParam<MappingCase>
{
};

TEST_P(PackerMapping, ReadsBackFieldForField)
{
    const MappingCase& c = GetParam();
    ScratchDir dir;
    WriteFileBytes(dir / "carried.bin", B({0x00, 0xFF, 0x10, 0x80}));
    std::string base = R"({"type": "define", "name": "Base", "value": "v"})";
    std::string json = std::string(c.list) == "define"
                           ? "{\"define\": [" + base + ", " + c.object + "]}"
                           : "{\"define\": [" + base + "], \"" + c.list + "\": [" + c.object + "]}";
    std::unique_ptr<CInstaller> script = ReadChecked(json, dir.Path());
    ASSERT_TRUE(script);
    std::unique_ptr<CInstaller> loaded = LoadStream(Packer::PackScript(*script));
    ASSERT_TRUE(loaded);
    const CObList* list = nullptr;
    for (const auto& l :
         {std::make_pair("check", &loaded->m_CheckList), std::make_pair("define", &loaded->m_DefineList),
          std::make_pair("prepare", &loaded->m_PrepareList), std::make_pair("file", &loaded->m_FileList),
          std::make_pair("registry", &loaded->m_RegistryList), std::make_pair("finish1", &loaded->m_FinishList1),
          std::make_pair("finish2", &loaded->m_FinishList2)})
        if (std::string(l.first) == c.list)
            list = l.second;
    ASSERT_NE(list, nullptr);
    ASSERT_GE(list->GetCount(), 1);
    CObject* obj = list->GetTail();
    ASSERT_EQ(obj->GetRuntimeClass(), c.cls);
    c.check(obj);
}

const MappingCase kMappingCases[] = {
    {"Object", "finish2", R"({"type": "object", "mode": 77, "errorText": "Msg"})", RUNTIME_CLASS(CInstObj),
     [](CObject* p)
     {
         CInstObj* o = (CInstObj*)p;
         EXPECT_EQ(o->m_nMode, 77u);
         EXPECT_EQ(Str(o->m_strErrorTextName), "Msg");
     }},
    {"DefineInWindows1252", "define", R"({"type": "define", "name": "Caf\u00e9", "value": "5 \u20ac \u00fc"})",
     RUNTIME_CLASS(CInstObjDefine),
     [](CObject* p)
     {
         CInstObjDefine* o = (CInstObjDefine*)p;
         EXPECT_EQ(o->m_nMode, 0u);
         EXPECT_EQ(Str(o->m_strName), "Caf\xE9");
         EXPECT_EQ(Str(o->m_strValue), "5 \x80 \xFC");
     }},
    {"DirWithAttributeNames", "prepare",
     R"({"type": "dir", "mode": "copy", "sources": ["<Base>\\a", "b"], "targets": ["<SysDir>\\a", "<winDIR>\\b"],
         "attributes": ["readonly", "Hidden", "archive"]})",
     RUNTIME_CLASS(CInstObjDir),
     [](CObject* p)
     {
         CInstObjDir* o = (CInstObjDir*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_COPY);
         EXPECT_EQ(Strs(o->m_Sources), (std::vector<std::string>{"<Base>\\a", "b"}));
         EXPECT_EQ(Strs(o->m_Targets), (std::vector<std::string>{"<SysDir>\\a", "<winDIR>\\b"}));
         EXPECT_EQ(o->m_dwAttributes, 0x23u);
     }},
    {"DirDefaults", "file", R"({"type": "dir", "mode": 4, "targets": ["x"]})", RUNTIME_CLASS(CInstObjDir),
     [](CObject* p)
     {
         CInstObjDir* o = (CInstObjDir*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_DELETE);
         EXPECT_EQ(o->m_Sources.GetSize(), 0);
         EXPECT_EQ(o->m_dwAttributes, (DWORD)CInstObjDir::kNoAttributes);
     }},
    {"FileFromCarriedFile", "file",
     R"({"type": "file", "targets": ["<SysDir>\\x.scr", "<WinDir>\\x.scr"], "attributes": 7, "contentFile": "carried.bin"})",
     RUNTIME_CLASS(CInstObjFile),
     [](CObject* p)
     {
         CInstObjFile* o = (CInstObjFile*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_CREATE);
         EXPECT_EQ(o->m_Targets.GetSize(), 2);
         EXPECT_EQ(o->m_dwAttributes, 7u);
         EXPECT_EQ(Hex(Of(o->m_Content)), Hex(B({0x00, 0xFF, 0x10, 0x80})));
     }},
    {"FileFromHexAndCopyMode", "file",
     R"({"type": "file", "mode": "copy", "sources": ["s"], "targets": ["t"], "contentHex": "DE ad BE ef"})",
     RUNTIME_CLASS(CInstObjFile),
     [](CObject* p)
     {
         CInstObjFile* o = (CInstObjFile*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_COPY);
         EXPECT_EQ(Strs(o->m_Sources), (std::vector<std::string>{"s"}));
         EXPECT_EQ(Hex(Of(o->m_Content)), "DE AD BE EF");
     }},
    {"FileFromText", "file", R"({"type": "file", "targets": ["t"], "contentText": "a\r\n\u00e9"})",
     RUNTIME_CLASS(CInstObjFile),
     [](CObject* p) { EXPECT_EQ(Hex(Of(((CInstObjFile*)p)->m_Content)), Hex(Text("a\r\n\xE9"))); }},
    {"PatchTables", "file",
     R"({"type": "patch", "targets": ["a", "b"], "contentText": "AAAA",
         "patches": [[{"search": "AA", "replace": "B"}, {"searchHex": "00ff", "replaceHex": ""}], []]})",
     RUNTIME_CLASS(CInstObjPatchFile),
     [](CObject* p)
     {
         CInstObjPatchFile* o = (CInstObjPatchFile*)p;
         ASSERT_EQ(o->m_SearchPatterns.GetSize(), 2);
         ASSERT_EQ(o->m_Replacements.GetSize(), 2);
         ASSERT_EQ(o->m_SearchPatterns.GetList(0)->GetSize(), 2);
         EXPECT_EQ(o->m_SearchPatterns.GetList(1)->GetSize(), 0);
         EXPECT_EQ(Hex(Of(*o->m_SearchPatterns.GetEntry(0, 0))), Hex(Text("AA")));
         EXPECT_EQ(Hex(Of(*o->m_Replacements.GetEntry(0, 0))), Hex(Text("B")));
         EXPECT_EQ(Hex(Of(*o->m_SearchPatterns.GetEntry(0, 1))), Hex(B({0x00, 0xFF})));
         EXPECT_EQ(o->m_Replacements.GetEntry(0, 1)->GetSize(), 0);
         EXPECT_EQ(Hex(Of(o->m_Content)), Hex(Text("AAAA")));
     }},
    {"RegistryCheck", "check",
     R"({"type": "registry", "mode": "check", "errorText": "AlreadyThere",
         "targets": ["HKEY_LOCAL_MACHINE\\Software\\X", "hkey_current_user\\Y"]})",
     RUNTIME_CLASS(CInstObjRegistry),
     [](CObject* p)
     {
         CInstObjRegistry* o = (CInstObjRegistry*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_CHECK_ABSENT);
         EXPECT_EQ(Str(o->m_strErrorTextName), "AlreadyThere");
         EXPECT_EQ(Strs(o->m_Targets),
                   (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software\\X", "hkey_current_user\\Y"}));
     }},
    {"ValueText", "registry",
     R"({"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\S"], "valueName": "Path",
         "valueType": "REG_EXPAND_SZ", "data": "<SysDir>\\x"})",
     RUNTIME_CLASS(CInstObjRegValue),
     [](CObject* p)
     {
         CInstObjRegValue* o = (CInstObjRegValue*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_CREATE);
         EXPECT_EQ(Str(o->m_strValueName), "Path");
         EXPECT_EQ(o->m_dwValueType, 2u);
         EXPECT_EQ(Hex(Of(o->m_Data)), Hex(Text("<SysDir>\\x"))); // no terminating zero
     }},
    {"ValueDword", "registry",
     R"({"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\S"], "valueName": "N",
         "valueType": "dword", "data": 305419896})",
     RUNTIME_CLASS(CInstObjRegValue),
     [](CObject* p)
     {
         CInstObjRegValue* o = (CInstObjRegValue*)p;
         EXPECT_EQ(o->m_dwValueType, 4u);
         EXPECT_EQ(Hex(Of(o->m_Data)), Hex(B({0x78, 0x56, 0x34, 0x12})));
     }},
    {"ValueMultiString", "registry",
     R"({"type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\S"], "valueName": "M",
         "valueType": "REG_MULTI_SZ", "data": ["a", "bc"]})",
     RUNTIME_CLASS(CInstObjRegValue),
     [](CObject* p) {
         EXPECT_EQ(Hex(Of(((CInstObjRegValue*)p)->m_Data)), Hex(Text("a") + B({0}) + Text("bc") + B({0, 0})));
     }},
    {"ValueShortPathHexAndMove", "registry",
     R"({"type": "value", "mode": "move", "sources": ["HKEY_CURRENT_USER\\A"], "targets": ["HKEY_CURRENT_USER\\B"],
         "valueName": "V", "valueType": "shortpath", "dataHex": "4142"})",
     RUNTIME_CLASS(CInstObjRegValue),
     [](CObject* p)
     {
         CInstObjRegValue* o = (CInstObjRegValue*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_MOVE);
         EXPECT_EQ(o->m_dwValueType, 10001u);
         EXPECT_EQ(Strs(o->m_Sources), (std::vector<std::string>{"HKEY_CURRENT_USER\\A"}));
         EXPECT_EQ(Hex(Of(o->m_Data)), Hex(Text("AB")));
     }},
    {"ValueNumericType", "registry",
     R"({"type": "value", "mode": "delete", "targets": ["HKEY_CURRENT_USER\\S"], "valueName": "V", "valueType": 3})",
     RUNTIME_CLASS(CInstObjRegValue),
     [](CObject* p)
     {
         CInstObjRegValue* o = (CInstObjRegValue*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_DELETE);
         EXPECT_EQ(o->m_dwValueType, 3u);
         EXPECT_EQ(o->m_Data.GetSize(), 0);
     }},
    {"ActionVerb", "finish1",
     R"({"type": "action", "mode": "verb", "verb": "Open", "file": "<WinDir>\\readme.txt", "parameters": "/p",
         "directory": "<WinDir>", "showCmd": "SW_SHOWMAXIMIZED"})",
     RUNTIME_CLASS(CInstObjAction),
     [](CObject* p)
     {
         CInstObjAction* o = (CInstObjAction*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_SHELL_VERB);
         EXPECT_EQ(Str(o->m_strVerb), "Open"); // stored as written; the installer folds the case
         EXPECT_EQ(Str(o->m_strFile), "<WinDir>\\readme.txt");
         EXPECT_EQ(Str(o->m_strParameters), "/p");
         EXPECT_EQ(Str(o->m_strDirectory), "<WinDir>");
         EXPECT_EQ(o->m_nShowCmd, 3);
     }},
    {"ActionClose", "prepare", R"({"type": "action", "mode": "close", "file": "glimmer.scr", "showCmd": -2})",
     RUNTIME_CLASS(CInstObjAction),
     [](CObject* p)
     {
         CInstObjAction* o = (CInstObjAction*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_CLOSE_PROCESSES);
         EXPECT_EQ(Str(o->m_strVerb), "");
         EXPECT_EQ(o->m_nShowCmd, -2);
     }},
    {"LinkDefaults", "finish1",
     R"({"type": "link", "file": "<UserPrograms>\\Hello.lnk", "target": "<WinDir>\\hello.txt",
         "description": "Hello", "parameters": "-x", "directory": "<WinDir>"})",
     RUNTIME_CLASS(CInstObjShellLink),
     [](CObject* p)
     {
         CInstObjShellLink* o = (CInstObjShellLink*)p;
         EXPECT_EQ(o->m_nMode, (DWORD)MODE_CREATE);
         EXPECT_EQ(Str(o->m_strFile), "<UserPrograms>\\Hello.lnk");
         EXPECT_EQ(Str(o->m_strTarget), "<WinDir>\\hello.txt");
         EXPECT_EQ(Str(o->m_strVerb), "Hello");
         EXPECT_EQ(Str(o->m_strParameters), "-x");
         EXPECT_EQ(Str(o->m_strDirectory), "<WinDir>");
         EXPECT_EQ(o->m_nShowCmd, 5);
     }},
};

INSTANTIATE_TEST_SUITE_P(Kinds, PackerMapping, ::testing::ValuesIn(kMappingCases),
                         [](const ::testing::TestParamInfo<MappingCase>& info) { return info.param.name; });

// The seven lists land in their members although the stream order differs
// from the order they are written in.
TEST(PackerScript, ListsMapToTheirMembers)
{
    ScratchDir dir;
    std::unique_ptr<CInstaller> script = ReadChecked(R"({
        "finish2":  [{"type": "object", "mode": 7}],
        "check":    [{"type": "object", "mode": 1}],
        "registry": [{"type": "object", "mode": 5}, {"type": "object", "mode": 55}],
        "define":   [{"type": "object", "mode": 2}],
        "file":     [{"type": "object", "mode": 4}],
        "prepare":  [{"type": "object", "mode": 3}],
        "finish1":  [{"type": "object", "mode": 6}]
    })",
                                                     dir.Path());
    ASSERT_TRUE(script);
    std::unique_ptr<CInstaller> loaded = LoadStream(Packer::PackScript(*script));
    ASSERT_TRUE(loaded);
    auto modes = [](const CObList& list)
    {
        std::vector<DWORD> v;
        for (POSITION pos = list.GetHeadPosition(); pos != nullptr;)
            v.push_back(((CInstObj*)list.GetNext(pos))->m_nMode);
        return v;
    };
    EXPECT_EQ(modes(loaded->m_CheckList), std::vector<DWORD>{1});
    EXPECT_EQ(modes(loaded->m_DefineList), std::vector<DWORD>{2});
    EXPECT_EQ(modes(loaded->m_PrepareList), std::vector<DWORD>{3});
    EXPECT_EQ(modes(loaded->m_FileList), std::vector<DWORD>{4});
    EXPECT_EQ(modes(loaded->m_RegistryList), (std::vector<DWORD>{5, 55}));
    EXPECT_EQ(modes(loaded->m_FinishList1), std::vector<DWORD>{6});
    EXPECT_EQ(modes(loaded->m_FinishList2), std::vector<DWORD>{7});
}

// References resolve against the script's own defines (in any letter case)
// and the installer's variables; a define elsewhere than the define list is
// no variable.
TEST(PackerScript, ReferencesToScriptAndInstallerVariablesPass)
{
    ScratchDir dir;
    Packer::Problems problems;
    std::unique_ptr<CInstaller> script = Packer::ReadScriptText(R"({
        "define": [{"type": "define", "name": "Dir", "value": "x"}],
        "prepare": [{"type": "dir", "mode": "create", "targets": [
            "<dir>\\a", "<SysDir>", "<SysProgDir>", "<TmpDir>", "<WinDir>", "<UserDir>",
            "<UserPrograms>", "<UserStartMenu>", "<UserStartup>", "open <at the end"]}]
    })",
                                                                dir.Path(), problems);
    ASSERT_TRUE(script);
    EXPECT_TRUE(Packer::CheckScript(*script).empty());
}

TEST(PackerScript, EmptyScriptIsAnEmptyPackage)
{
    ScratchDir dir;
    std::unique_ptr<CInstaller> script = ReadChecked("{}", dir.Path());
    ASSERT_TRUE(script);
    std::unique_ptr<CInstaller> loaded = LoadStream(Packer::PackScript(*script));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->m_nVersion, 1u);
    EXPECT_EQ(loaded->CountSteps(), 0);
}
} // namespace
