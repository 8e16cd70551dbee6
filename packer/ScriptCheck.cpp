// Checks of a script's meaning.
#include "packer/ScriptCheck.h"

#include "objects/InstObjAction.h"
#include "objects/InstObjDefine.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjPatchFile.h"
#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "objects/InstObjShellLink.h"
#include "packer/Kinds.h"
#include "packer/Text.h"

namespace Packer
{
namespace
{
std::string Count(size_t n, const char* noun)
{
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string Quoted(const CString& s)
{
    return "\"" + ToUtf8(s) + "\"";
}

class Checker
{
public:
    explicit Checker(const CInstaller& script);
    Problems Run();

private:
    void Add(const std::string& where, const std::string& message) { m_problems.push_back({where, message}); }
    // How the run treats the error code: a check's result other than a veto
    // is ignored, every other object's stops the installation.
    std::string Stops(int code) const
    {
        return m_bCheck ? " (the check would fail with error " + std::to_string(code) + ", which the run ignores)"
                        : " (the installer stops with error " + std::to_string(code) + ")";
    }
    // The text as the installer's expansion leaves it; false (with a
    // problem) when the expansion would fail.
    bool Expand(const CString& text, const std::string& where, CString& out);
    // Expands every string of the array; out holds the results (the input
    // where expansion failed).
    void ExpandAll(const CStringArray& strings, const std::string& where, std::vector<CString>& out);
    std::string ReferenceFault(const CString& text) const;

    void CheckObject(CInstObj& obj, const KindInfo& kind, const std::string& where, const ListInfo& list);
    void CheckPaths(CInstObjDir& obj, const std::string& where);
    void CheckPatches(CInstObjPatchFile& obj, const std::string& where);
    void CheckRegistry(CInstObjRegistry& obj, const std::string& where);
    void CheckValue(CInstObjRegValue& obj, const std::string& where);
    void CheckAction(CInstObjAction& obj, const std::string& where, bool bLink);

    const CInstaller& m_script;
    // The variables as a run sees them: the script's defines first, then the
    // installer's own (with values that stand for any real ones).
    CInstaller m_variables;
    Problems m_problems;
    bool m_bCheck = false;
};

Checker::Checker(const CInstaller& script) : m_script(script)
{
    for (POSITION pos = script.m_DefineList.GetHeadPosition(); pos != nullptr;)
    {
        CObject* p = script.m_DefineList.GetNext(pos);
        if (p != nullptr && p->IsKindOf(RUNTIME_CLASS(CInstObjDefine)))
        {
            CInstObjDefine* pDefine = (CInstObjDefine*)p;
            if (!pDefine->m_strName.IsEmpty())
                m_variables.AddVariable(pDefine->m_strName, pDefine->m_strValue);
        }
    }
    for (const char* name : SystemVariables())
        m_variables.AddVariable(name, CString("C:\\WINDOWS\\") + name);
}

std::string Checker::ReferenceFault(const CString& text) const
{
    bool bInside = false;
    CString name;
    for (int i = 0; i < text.GetLength(); i++)
    {
        char ch = text[i];
        if (ch == '<')
        {
            if (bInside)
                return "a \"<\" inside a reference at character " + std::to_string(i) + Stops(ERR_BAD_REFERENCE);
            bInside = true;
            name.Empty();
        }
        else if (ch == '>')
        {
            if (!bInside)
                return "a \">\" outside a reference at character " + std::to_string(i) + Stops(ERR_BAD_REFERENCE);
            bInside = false;
            CString value;
            if (!m_variables.LookupVariable(name, value))
                return "the variable <" + ToUtf8(name) + "> is defined neither by the script nor by the installer" +
                       Stops(ERR_UNDEFINED_VARIABLE);
        }
        else if (bInside)
            name += ch;
    }
    return std::string();
}

bool Checker::Expand(const CString& text, const std::string& where, CString& out)
{
    std::string fault = ReferenceFault(text);
    if (!fault.empty())
    {
        Add(where, fault);
        out = text;
        return false;
    }
    out = text;
    return const_cast<CInstaller&>(m_variables).ExpandString(out) == ERR_OK;
}

void Checker::ExpandAll(const CStringArray& strings, const std::string& where, std::vector<CString>& out)
{
    out.clear();
    for (int i = 0; i < strings.GetSize(); i++)
    {
        CString s;
        Expand(strings[i], where + "/" + std::to_string(i), s);
        out.push_back(s);
    }
}

Problems Checker::Run()
{
    for (const ListInfo& list : Lists())
    {
        const CObList& objects = m_script.*(list.member);
        int i = 0;
        for (POSITION pos = objects.GetHeadPosition(); pos != nullptr; i++)
        {
            CObject* p = objects.GetNext(pos);
            std::string where = std::string("/") + list.name + "/" + std::to_string(i);
            const KindInfo* kind = KindOf(p);
            if (kind == nullptr)
            {
                Add(where, "not an install object");
                continue;
            }
            m_bCheck = std::string(list.name) == "check";
            CheckObject(*(CInstObj*)p, *kind, where, list);
        }
    }
    return m_problems;
}

void Checker::CheckObject(CInstObj& obj, const KindInfo& kind, const std::string& where, const ListInfo& list)
{
    if (!kind.modes.empty() && NameOf(kind.modes, obj.m_nMode) == nullptr)
        Add(where + "/mode", std::string("a ") + kind.name + " has no mode " + std::to_string(obj.m_nMode) +
                                 "; its modes are " + DescribeNames(kind.modes) + Stops(ERR_FAILED));
    switch (kind.kind)
    {
    case Kind::Object:
        break;
    case Kind::Define:
    {
        CInstObjDefine& def = (CInstObjDefine&)obj;
        if (std::string(list.name) != "define")
            Add(where, std::string("a define counts as a variable only in the define list; in the ") + list.name +
                           " list it does nothing");
        if (def.m_strName.IsEmpty())
            Add(where + "/name", "empty variable name");
        break;
    }
    case Kind::Dir:
    case Kind::File:
        CheckPaths((CInstObjDir&)obj, where);
        break;
    case Kind::Patch:
        CheckPaths((CInstObjDir&)obj, where);
        CheckPatches((CInstObjPatchFile&)obj, where);
        break;
    case Kind::Registry:
        CheckRegistry((CInstObjRegistry&)obj, where);
        break;
    case Kind::Value:
        CheckRegistry((CInstObjRegistry&)obj, where);
        CheckValue((CInstObjRegValue&)obj, where);
        break;
    case Kind::Action:
        CheckAction((CInstObjAction&)obj, where, false);
        break;
    case Kind::Link:
        CheckAction((CInstObjAction&)obj, where, true);
        break;
    }
}

void Checker::CheckPaths(CInstObjDir& obj, const std::string& where)
{
    bool bPairs = obj.m_nMode == MODE_COPY || obj.m_nMode == MODE_MOVE;
    if (bPairs && obj.m_Sources.GetSize() != obj.m_Targets.GetSize())
        Add(where + "/sources", Count(obj.m_Sources.GetSize(), "source") + " for " +
                                    Count(obj.m_Targets.GetSize(), "target") +
                                    ": copy and move take one source per target" + Stops(ERR_DIR_LIST_LENGTH));
    std::vector<CString> sources, targets;
    ExpandAll(obj.m_Sources, where + "/sources", sources);
    ExpandAll(obj.m_Targets, where + "/targets", targets);
    if (bPairs)
        for (size_t i = 0; i < sources.size(); i++)
            if (sources[i].IsEmpty())
                Add(where + "/sources/" + std::to_string(i), "empty path" + Stops(ERR_EMPTY_PATH));
    for (size_t i = 0; i < targets.size(); i++)
        if (targets[i].IsEmpty())
            Add(where + "/targets/" + std::to_string(i), "empty path" + Stops(ERR_EMPTY_PATH));
}

void Checker::CheckPatches(CInstObjPatchFile& obj, const std::string& where)
{
    int nTargets = obj.m_Targets.GetSize();
    int nSearch = obj.m_SearchPatterns.GetSize();
    if (nSearch != nTargets || obj.m_Replacements.GetSize() != nTargets)
    {
        Add(where + "/patches", Count(nSearch, "patch list") + " for " + Count(nTargets, "target") +
                                    ": give one list of pairs per target" + Stops(ERR_PATCH_TABLES));
        return;
    }
    for (int i = 0; i < nTargets; i++)
    {
        std::string w = where + "/patches/" + std::to_string(i);
        CObArray* pSearch = obj.m_SearchPatterns.GetList(i);
        CObArray* pReplace = obj.m_Replacements.GetList(i);
        if (pSearch == nullptr || pReplace == nullptr || pSearch->GetSize() != pReplace->GetSize())
        {
            Add(w, "as many replacements as patterns are needed" + Stops(ERR_PATCH_TABLES));
            continue;
        }
        for (int j = 0; j < pSearch->GetSize(); j++)
        {
            CByteArray* pPattern = (CByteArray*)pSearch->GetAt(j);
            CByteArray* pReplacement = (CByteArray*)pReplace->GetAt(j);
            if (pPattern == nullptr || pReplacement == nullptr)
                Add(w + "/" + std::to_string(j), "missing pattern or replacement" + Stops(ERR_PATCH_TABLES));
            else if (pReplacement->GetSize() > pPattern->GetSize())
                Add(w + "/" + std::to_string(j) + "/replace",
                    "the replacement (" + std::to_string(pReplacement->GetSize()) +
                        " bytes) is longer than its pattern (" + std::to_string(pPattern->GetSize()) + " bytes)" +
                        Stops(ERR_FAILED));
        }
    }
}

void Checker::CheckRegistry(CInstObjRegistry& obj, const std::string& where)
{
    bool bPairs = obj.m_nMode == MODE_COPY || obj.m_nMode == MODE_MOVE;
    if (bPairs && obj.m_Sources.GetSize() != obj.m_Targets.GetSize())
        Add(where + "/sources", Count(obj.m_Sources.GetSize(), "source") + " for " +
                                    Count(obj.m_Targets.GetSize(), "target") +
                                    ": copy and move take one source per target" + Stops(ERR_REG_LIST_LENGTH));
    std::vector<CString> sources, targets;
    ExpandAll(obj.m_Sources, where + "/sources", sources);
    ExpandAll(obj.m_Targets, where + "/targets", targets);
    auto checkRoot = [&](const std::vector<CString>& paths, const CStringArray& raw, const char* field)
    {
        for (size_t i = 0; i < paths.size(); i++)
            if (!CInstObjRegistry::HasRoot(paths[i]))
                Add(where + "/" + field + "/" + std::to_string(i),
                    Quoted(raw[(int)i]) + " does not begin with HKEY_LOCAL_MACHINE\\ or HKEY_CURRENT_USER\\" +
                        Stops(ERR_REG_ROOT));
    };
    if (bPairs)
        checkRoot(sources, obj.m_Sources, "sources");
    checkRoot(targets, obj.m_Targets, "targets");
}

void Checker::CheckValue(CInstObjRegValue& obj, const std::string& where)
{
    CString name;
    if (Expand(obj.m_strValueName, where + "/valueName", name) && name.IsEmpty())
        Add(where + "/valueName", "empty value name" + Stops(ERR_EMPTY_NAME));
    if (CInstObjRegValue::IsTextType(obj.m_dwValueType))
    {
        CString data((const char*)obj.m_Data.GetData(), obj.m_Data.GetSize());
        CString expanded;
        Expand(data, where + "/data", expanded);
    }
}

void Checker::CheckAction(CInstObjAction& obj, const std::string& where, bool bLink)
{
    CString directory, file, target;
    Expand(obj.m_strDirectory, where + "/directory", directory);
    bool bFile = Expand(obj.m_strFile, where + "/file", file);
    if (!bLink && obj.m_nMode == MODE_SHELL_VERB)
    {
        static const char* const kVerbs[] = {"edit", "find", "open", "print", "properties"};
        bool bKnown = false;
        for (const char* verb : kVerbs)
            bKnown = bKnown || obj.m_strVerb.CompareNoCase(verb) == 0;
        if (!bKnown)
            Add(where + "/verb",
                Quoted(obj.m_strVerb) + " is not one of edit, find, open, print, properties" + Stops(ERR_VERB));
    }
    if (bFile && file.IsEmpty())
        Add(where + "/file", "empty file name" + Stops(ERR_EMPTY_FILE_NAME));
    if (bLink && Expand(((CInstObjShellLink&)obj).m_strTarget, where + "/target", target) && target.IsEmpty())
        Add(where + "/target", "empty link target" + Stops(ERR_EMPTY_LINK_TARGET));
}
} // namespace

Problems CheckScript(const CInstaller& script)
{
    Checker checker(script);
    return checker.Run();
}
} // namespace Packer
