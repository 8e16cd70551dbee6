// Writing an installer script object as a JSON script.
#include "packer/ScriptWriter.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

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

namespace fs = std::filesystem;

namespace Packer
{
namespace
{
typedef nlohmann::ordered_json Json;

// Larger content goes to hex even when it reads as text.
const int kMaxInlineText = 1 << 20;

Json TextJson(const CString& s)
{
    return Json(ToUtf8(s));
}

Json StringsJson(const CStringArray& strings)
{
    Json a = Json::array();
    for (int i = 0; i < strings.GetSize(); i++)
        a.push_back(TextJson(strings[i]));
    return a;
}

void PutBytes(Json& o, const char* textKey, const char* hexKey, const BYTE* p, size_t n)
{
    if (IsPrintableText(p, n))
        o[textKey] = ToUtf8(p, n);
    else
        o[hexKey] = ToHex(p, n);
}

Json NamedJson(const std::vector<NamedValue>& table, DWORD value)
{
    const char* name = NameOf(table, value);
    return name != nullptr ? Json(name) : Json(value);
}

Json AttributesJson(DWORD dw)
{
    Json names = Json::array();
    DWORD rest = dw;
    for (const NamedValue& nv : Attributes())
        if ((dw & nv.value) != 0)
        {
            names.push_back(nv.name);
            rest &= ~nv.value;
        }
    if (rest != 0)
        return Json(dw);
    return names;
}

// A file name for carried content, made from the first target's last part.
std::string ContentFileName(const std::string& list, size_t index, const CStringArray& targets)
{
    std::string base;
    if (targets.GetSize() > 0)
    {
        std::string path = ToUtf8(targets[0]);
        size_t slash = path.find_last_of("\\/>");
        base = slash == std::string::npos ? path : path.substr(slash + 1);
    }
    std::string clean;
    for (char c : base)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
            c == '_')
            clean += c;
    while (!clean.empty() && clean[0] == '.')
        clean.erase(0, 1);
    if (clean.empty())
        clean = "content.bin";
    return list + "-" + std::to_string(index) + "-" + clean;
}

class Writer
{
public:
    explicit Writer(const WriteOptions& options) : m_options(options) {}
    Json Write(const CInstaller& script);

private:
    Json WriteObject(const CInstObj& obj, const KindInfo& kind, const std::string& list, size_t index);
    void WriteContent(Json& o, const CInstObjFile& obj, const std::string& list, size_t index);
    void WriteValueData(Json& o, const CInstObjRegValue& obj);
    std::string Reference(const fs::path& file) const;

    const WriteOptions& m_options;
};

Json Writer::Write(const CInstaller& script)
{
    Json doc = Json::object();
    if (script.m_nVersion != 1)
        doc["version"] = script.m_nVersion;
    for (const ListInfo& list : Lists())
    {
        const CObList& objects = script.*(list.member);
        if (objects.IsEmpty())
            continue;
        Json a = Json::array();
        size_t i = 0;
        for (POSITION pos = objects.GetHeadPosition(); pos != nullptr; i++)
        {
            CObject* p = objects.GetNext(pos);
            const KindInfo* kind = KindOf(p);
            if (kind == nullptr)
                throw std::runtime_error(std::string("/") + list.name + "/" + std::to_string(i) +
                                         ": an object of a class the script format does not know");
            a.push_back(WriteObject(*(const CInstObj*)p, *kind, list.name, i));
        }
        doc[list.name] = a;
    }
    return doc;
}

Json Writer::WriteObject(const CInstObj& obj, const KindInfo& kind, const std::string& list, size_t index)
{
    Json o = Json::object();
    o["type"] = kind.name;
    if (!kind.modes.empty())
        o["mode"] = NamedJson(kind.modes, obj.m_nMode);
    else if (obj.m_nMode != 0)
        o["mode"] = obj.m_nMode;
    if (!obj.m_strErrorTextName.IsEmpty())
        o["errorText"] = TextJson(obj.m_strErrorTextName);

    switch (kind.kind)
    {
    case Kind::Object:
        break;
    case Kind::Define:
    {
        const CInstObjDefine& def = (const CInstObjDefine&)obj;
        o["name"] = TextJson(def.m_strName);
        o["value"] = TextJson(def.m_strValue);
        break;
    }
    case Kind::Dir:
    case Kind::File:
    case Kind::Patch:
    {
        const CInstObjDir& dir = (const CInstObjDir&)obj;
        if (dir.m_Sources.GetSize() > 0)
            o["sources"] = StringsJson(dir.m_Sources);
        o["targets"] = StringsJson(dir.m_Targets);
        if (dir.m_dwAttributes != CInstObjDir::kNoAttributes)
            o["attributes"] = AttributesJson(dir.m_dwAttributes);
        if (kind.kind != Kind::Dir)
            WriteContent(o, (const CInstObjFile&)obj, list, index);
        if (kind.kind == Kind::Patch)
        {
            const CInstObjPatchFile& patch = (const CInstObjPatchFile&)obj;
            std::string where = "/" + list + "/" + std::to_string(index) + "/patches";
            if (patch.m_SearchPatterns.GetSize() != patch.m_Replacements.GetSize())
                throw std::runtime_error(where + ": as many replacement lists as pattern lists are needed");
            Json lists = Json::array();
            for (int i = 0; i < patch.m_SearchPatterns.GetSize(); i++)
            {
                CObArray* pSearch = patch.m_SearchPatterns.GetList(i);
                CObArray* pReplace = patch.m_Replacements.GetList(i);
                if (pSearch == nullptr || pReplace == nullptr || pSearch->GetSize() != pReplace->GetSize())
                    throw std::runtime_error(where + "/" + std::to_string(i) +
                                             ": as many replacements as patterns are needed");
                Json pairs = Json::array();
                for (int j = 0; j < pSearch->GetSize(); j++)
                {
                    const CByteArray* pPattern = (const CByteArray*)pSearch->GetAt(j);
                    const CByteArray* pReplacement = (const CByteArray*)pReplace->GetAt(j);
                    if (pPattern == nullptr || pReplacement == nullptr)
                        throw std::runtime_error(where + "/" + std::to_string(i) + "/" + std::to_string(j) +
                                                 ": missing pattern or replacement");
                    Json pair = Json::object();
                    PutBytes(pair, "search", "searchHex", pPattern->GetData(), (size_t)pPattern->GetSize());
                    PutBytes(pair, "replace", "replaceHex", pReplacement->GetData(), (size_t)pReplacement->GetSize());
                    pairs.push_back(pair);
                }
                lists.push_back(pairs);
            }
            o["patches"] = lists;
        }
        break;
    }
    case Kind::Registry:
    case Kind::Value:
    {
        const CInstObjRegistry& reg = (const CInstObjRegistry&)obj;
        if (reg.m_Sources.GetSize() > 0)
            o["sources"] = StringsJson(reg.m_Sources);
        o["targets"] = StringsJson(reg.m_Targets);
        if (kind.kind == Kind::Value)
        {
            const CInstObjRegValue& value = (const CInstObjRegValue&)obj;
            o["valueName"] = TextJson(value.m_strValueName);
            o["valueType"] = NamedJson(ValueTypes(), value.m_dwValueType);
            WriteValueData(o, value);
        }
        break;
    }
    case Kind::Action:
    case Kind::Link:
    {
        const CInstObjAction& action = (const CInstObjAction&)obj;
        bool bLink = kind.kind == Kind::Link;
        if (!bLink && (!action.m_strVerb.IsEmpty() || obj.m_nMode == MODE_SHELL_VERB))
            o["verb"] = TextJson(action.m_strVerb);
        o["file"] = TextJson(action.m_strFile);
        if (bLink)
        {
            o["target"] = TextJson(((const CInstObjShellLink&)obj).m_strTarget);
            if (!action.m_strVerb.IsEmpty())
                o["description"] = TextJson(action.m_strVerb);
        }
        if (!action.m_strParameters.IsEmpty())
            o["parameters"] = TextJson(action.m_strParameters);
        if (!action.m_strDirectory.IsEmpty())
            o["directory"] = TextJson(action.m_strDirectory);
        if (action.m_nShowCmd != 5)
        {
            const char* name = action.m_nShowCmd >= 0 ? NameOf(ShowCommands(), (DWORD)action.m_nShowCmd) : nullptr;
            o["showCmd"] = name != nullptr ? Json(name) : Json(action.m_nShowCmd);
        }
        break;
    }
    }
    return o;
}

void Writer::WriteContent(Json& o, const CInstObjFile& obj, const std::string& list, size_t index)
{
    const BYTE* p = obj.m_Content.GetData();
    size_t n = (size_t)obj.m_Content.GetSize();
    if (m_options.extractDir.empty())
    {
        if (n <= (size_t)kMaxInlineText && IsPrintableText(p, n))
            o["contentText"] = ToUtf8(p, n);
        else
            o["contentHex"] = ToHex(p, n);
        return;
    }
    fs::path file = m_options.extractDir / fs::u8path(ContentFileName(list, index, obj.m_Targets));
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out || (n > 0 && !out.write((const char*)p, (std::streamsize)n)) || !out.flush())
        throw std::runtime_error("cannot write " + file.u8string());
    o["contentFile"] = Reference(file);
}

std::string Writer::Reference(const fs::path& file) const
{
    fs::path absolute = fs::absolute(file).lexically_normal();
    if (!m_options.jsonDir.empty())
    {
        fs::path relative = absolute.lexically_relative(fs::absolute(m_options.jsonDir).lexically_normal());
        if (!relative.empty())
            return relative.generic_u8string();
    }
    return absolute.generic_u8string();
}

void Writer::WriteValueData(Json& o, const CInstObjRegValue& obj)
{
    const BYTE* p = obj.m_Data.GetData();
    size_t n = (size_t)obj.m_Data.GetSize();
    DWORD type = obj.m_dwValueType;
    if (n == 0)
        return;
    if (n == 4 && (type == kTypeDword || type == kTypeDwordBigEndian))
    {
        DWORD dw = 0;
        for (int i = 0; i < 4; i++)
            dw |= (DWORD)p[type == kTypeDword ? i : 3 - i] << (8 * i);
        o["data"] = dw;
        return;
    }
    if (type == kTypeMultiString && p[n - 1] == 0)
    {
        // "a\0b\0\0" as ["a", "b"]; kept only when it reads back the same.
        Json strings = Json::array();
        ByteVector again;
        size_t start = 0;
        for (size_t i = 0; i + 1 < n; i++)
            if (p[i] == 0)
            {
                strings.push_back(ToUtf8(p + start, i - start));
                again.insert(again.end(), p + start, p + i + 1);
                start = i + 1;
            }
        again.push_back(0);
        if (start == n - 1 && again.size() == n && std::equal(again.begin(), again.end(), p))
        {
            o["data"] = strings;
            return;
        }
    }
    if (CInstObjRegValue::IsTextType(type))
        o["data"] = ToUtf8(p, n);
    else
        o["dataHex"] = ToHex(p, n);
}
} // namespace

Json WriteScript(const CInstaller& script, const WriteOptions& options)
{
    Writer writer(options);
    return writer.Write(script);
}

namespace
{
void Format(const Json& v, int indent, std::string& out)
{
    const int kStep = 2;
    const size_t kLineWidth = 100;
    std::string pad((size_t)(indent + kStep), ' ');
    if (v.is_object() && !v.empty())
    {
        out += "{\n";
        size_t i = 0;
        for (auto it = v.begin(); it != v.end(); ++it, ++i)
        {
            out += pad + Json(it.key()).dump() + ": ";
            Format(it.value(), indent + kStep, out);
            out += i + 1 < v.size() ? ",\n" : "\n";
        }
        out += std::string((size_t)indent, ' ') + "}";
        return;
    }
    if (v.is_array() && !v.empty())
    {
        // Short lists of plain values stay on one line.
        std::string flat = v.dump(-1, ' ', false, Json::error_handler_t::strict);
        bool bScalars = true;
        for (const Json& e : v)
            bScalars = bScalars && !e.is_structured();
        if (bScalars && flat.size() + (size_t)indent <= kLineWidth)
        {
            std::string spaced;
            for (size_t i = 0; i < v.size(); i++)
                spaced += (i > 0 ? ", " : "") + v[i].dump(-1, ' ', false, Json::error_handler_t::strict);
            out += "[" + spaced + "]";
            return;
        }
        out += "[\n";
        for (size_t i = 0; i < v.size(); i++)
        {
            out += pad;
            Format(v[i], indent + kStep, out);
            out += i + 1 < v.size() ? ",\n" : "\n";
        }
        out += std::string((size_t)indent, ' ') + "]";
        return;
    }
    out += v.dump(-1, ' ', false, Json::error_handler_t::strict);
}
} // namespace

std::string FormatScript(const Json& doc)
{
    std::string out;
    Format(doc, 0, out);
    return out + "\n";
}
} // namespace Packer
