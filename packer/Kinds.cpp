// The words of the script format.
#include "packer/Kinds.h"

#include <algorithm>
#include <cctype>

#include "framework/String.h"
#include "objects/InstObjAction.h"
#include "objects/InstObjDefine.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjPatchFile.h"
#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "objects/InstObjShellLink.h"
#include "script/ScriptLists.h"

namespace Packer
{
const std::vector<ListInfo>& Lists()
{
    static const std::vector<ListInfo> lists = [] {
        std::vector<ListInfo> inRunOrder;
        for (int n = LIST_CHECK; n != LIST_COUNT; n = g_aScriptLists[n].nNextToRun)
            inRunOrder.push_back({g_aScriptLists[n].pszName, g_aScriptLists[n].pMember});
        return inRunOrder;
    }();
    return lists;
}

const std::vector<KindInfo>& Kinds()
{
    // File and patch objects write their content whatever the mode; copy and
    // move only add the need for one source per target. Delete is left out
    // for them: it would still write.
    static const std::vector<KindInfo> kinds = {
        {Kind::Object, "object", RUNTIME_CLASS(CInstObj), {}, false, 0, {}},
        {Kind::Define, "define", RUNTIME_CLASS(CInstObjDefine), {}, false, 0, {"name", "value"}},
        {Kind::Dir,
         "dir",
         RUNTIME_CLASS(CInstObjDir),
         {{"copy", MODE_COPY}, {"move", MODE_MOVE}, {"create", MODE_CREATE}, {"delete", MODE_DELETE}},
         true,
         0,
         {"sources", "targets", "attributes"}},
        {Kind::File,
         "file",
         RUNTIME_CLASS(CInstObjFile),
         {{"create", MODE_CREATE}, {"copy", MODE_COPY}, {"move", MODE_MOVE}},
         false,
         MODE_CREATE,
         {"sources", "targets", "attributes", "contentFile", "contentHex", "contentText"}},
        {Kind::Patch,
         "patch",
         RUNTIME_CLASS(CInstObjPatchFile),
         {{"create", MODE_CREATE}, {"copy", MODE_COPY}, {"move", MODE_MOVE}},
         false,
         MODE_CREATE,
         {"sources", "targets", "attributes", "contentFile", "contentHex", "contentText", "patches"}},
        {Kind::Registry,
         "registry",
         RUNTIME_CLASS(CInstObjRegistry),
         {{"copy", MODE_COPY},
          {"move", MODE_MOVE},
          {"create", MODE_CREATE},
          {"delete", MODE_DELETE},
          {"check", MODE_CHECK_ABSENT}},
         true,
         0,
         {"sources", "targets"}},
        {Kind::Value,
         "value",
         RUNTIME_CLASS(CInstObjRegValue),
         {{"set", MODE_CREATE},
          {"copy", MODE_COPY},
          {"move", MODE_MOVE},
          {"delete", MODE_DELETE},
          {"create", MODE_CREATE}},
         true,
         0,
         {"sources", "targets", "valueName", "valueType", "data", "dataHex"}},
        {Kind::Action,
         "action",
         RUNTIME_CLASS(CInstObjAction),
         {{"verb", MODE_SHELL_VERB}, {"close", MODE_CLOSE_PROCESSES}},
         true,
         0,
         {"verb", "file", "parameters", "directory", "showCmd"}},
        {Kind::Link,
         "link",
         RUNTIME_CLASS(CInstObjShellLink),
         {{"create", MODE_CREATE}, {"delete", MODE_DELETE}},
         false,
         MODE_CREATE,
         {"file", "target", "description", "parameters", "directory", "showCmd"}},
    };
    return kinds;
}

const KindInfo* FindKind(const std::string& name)
{
    for (const KindInfo& k : Kinds())
        if (name == k.name)
            return &k;
    return nullptr;
}

const KindInfo* KindOf(const CObject* pObject)
{
    if (pObject == nullptr)
        return nullptr;
    const CRuntimeClass* pClass = pObject->GetRuntimeClass();
    for (const KindInfo& k : Kinds())
        if (k.runtimeClass == pClass)
            return &k;
    return nullptr;
}

CObject* NewObject(Kind kind)
{
    switch (kind)
    {
    case Kind::Object:
        return new CInstObj;
    case Kind::Define:
        return new CInstObjDefine;
    case Kind::Dir:
        return new CInstObjDir;
    case Kind::File:
        return new CInstObjFile;
    case Kind::Patch:
        return new CInstObjPatchFile;
    case Kind::Registry:
        return new CInstObjRegistry;
    case Kind::Value:
        return new CInstObjRegValue;
    case Kind::Action:
        return new CInstObjAction;
    case Kind::Link:
        return new CInstObjShellLink;
    }
    return nullptr;
}

namespace
{
bool EqualNoCase(const std::string& a, const char* b)
{
    return CString(a.c_str()).CompareNoCase(b) == 0 && a.size() == std::char_traits<char>::length(b);
}
} // namespace

const NamedValue* FindName(const std::vector<NamedValue>& table, const std::string& name)
{
    for (const NamedValue& nv : table)
    {
        if (EqualNoCase(name, nv.name))
            return &nv;
        for (const char* prefix : {"SW_", "REG_"})
        {
            size_t n = std::char_traits<char>::length(prefix);
            if (std::string(nv.name).compare(0, n, prefix) == 0 && EqualNoCase(name, nv.name + n))
                return &nv;
        }
    }
    return nullptr;
}

const char* NameOf(const std::vector<NamedValue>& table, DWORD value)
{
    for (const NamedValue& nv : table)
        if (nv.value == value)
            return nv.name;
    return nullptr;
}

std::string DescribeNames(const std::vector<NamedValue>& table)
{
    std::string s;
    for (const NamedValue& nv : table)
    {
        if (!s.empty())
            s += ", ";
        s += nv.name;
        s += " (" + std::to_string(nv.value) + ")";
    }
    return s;
}

const std::vector<NamedValue>& Attributes()
{
    static const std::vector<NamedValue> table = {
        {"readonly", 0x1}, {"hidden", 0x2},      {"system", 0x4},     {"archive", 0x20},
        {"normal", 0x80},  {"temporary", 0x100}, {"offline", 0x1000}, {"notContentIndexed", 0x2000},
    };
    return table;
}

const std::vector<NamedValue>& ValueTypes()
{
    static const std::vector<NamedValue> table = {
        {"REG_NONE", 0},   {"REG_SZ", 1},       {"REG_EXPAND_SZ", 2},
        {"REG_BINARY", 3}, {"REG_DWORD", 4},    {"REG_DWORD_BIG_ENDIAN", 5},
        {"REG_LINK", 6},   {"REG_MULTI_SZ", 7}, {"shortpath", CInstObjRegValue::kTypeShortPath},
    };
    return table;
}

const std::vector<NamedValue>& ShowCommands()
{
    static const std::vector<NamedValue> table = {
        {"SW_HIDE", 0},           {"SW_SHOWNORMAL", 1}, {"SW_SHOWMINIMIZED", 2}, {"SW_SHOWMAXIMIZED", 3},
        {"SW_SHOWNOACTIVATE", 4}, {"SW_SHOW", 5},       {"SW_MINIMIZE", 6},      {"SW_SHOWMINNOACTIVE", 7},
        {"SW_SHOWNA", 8},         {"SW_RESTORE", 9},    {"SW_SHOWDEFAULT", 10},  {"SW_NORMAL", 1},
        {"SW_MAXIMIZE", 3},
    };
    return table;
}

const std::vector<const char*>& SystemVariables()
{
    static const std::vector<const char*> names = {"SysDir",  "SysProgDir",   "TmpDir",        "WinDir",
                                                   "UserDir", "UserPrograms", "UserStartMenu", "UserStartup"};
    return names;
}

std::string Closest(const std::string& word, const std::vector<std::string>& candidates)
{
    auto distance = [](const std::string& a, const std::string& b)
    {
        std::vector<size_t> row(b.size() + 1);
        for (size_t j = 0; j <= b.size(); j++)
            row[j] = j;
        for (size_t i = 1; i <= a.size(); i++)
        {
            size_t diag = row[0];
            row[0] = i;
            for (size_t j = 1; j <= b.size(); j++)
            {
                size_t up = row[j];
                bool same = std::tolower((unsigned char)a[i - 1]) == std::tolower((unsigned char)b[j - 1]);
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (same ? 0 : 1)});
                diag = up;
            }
        }
        return row[b.size()];
    };
    std::string best;
    size_t bestDistance = word.size() / 3 + 2;
    for (const std::string& c : candidates)
    {
        size_t d = distance(word, c);
        if (d < bestDistance)
        {
            bestDistance = d;
            best = c;
        }
    }
    return best;
}
} // namespace Packer
