// Reading a JSON script into an installer script object.
#include "packer/ScriptReader.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

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

// Carried files are held in arrays counted in int.
const std::uintmax_t kMaxCarriedFile = 0x7FFFFFFF;

struct FieldError
{
    std::string where;
    std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& message)
{
    throw FieldError{where, message};
}

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

std::string KindNames()
{
    std::string s;
    for (const KindInfo& k : Kinds())
        s += std::string(s.empty() ? "" : ", ") + k.name;
    return s;
}

std::string Suggestion(const std::string& word, const std::vector<std::string>& candidates)
{
    std::string best = Closest(word, candidates);
    return best.empty() ? std::string() : "; did you mean " + Quoted(best) + "?";
}

// Reports keys that stand twice in one object, which the parser would
// otherwise let the later one win silently.
class DuplicateKeyCheck
{
public:
    struct Duplicate
    {
        std::string where;
        std::string key;
    };

    bool operator()(int, nlohmann::ordered_json::parse_event_t event, Json& parsed)
    {
        using Event = nlohmann::ordered_json::parse_event_t;
        switch (event)
        {
        case Event::object_start:
        case Event::array_start:
            EnterChild();
            m_frames.push_back(Frame{event == Event::array_start, 0, {}, {}});
            break;
        case Event::object_end:
        case Event::array_end:
            m_frames.pop_back();
            break;
        case Event::key:
        {
            Frame& f = m_frames.back();
            f.key = parsed.get<std::string>();
            if (!f.keys.insert(f.key).second)
                throw Duplicate{Pointer(m_frames.size() - 1) + "/" + PointerToken(f.key), f.key};
            break;
        }
        case Event::value:
            EnterChild();
            break;
        }
        return true;
    }

private:
    struct Frame
    {
        bool array;
        size_t count;
        std::string key;
        std::set<std::string> keys;
    };

    void EnterChild()
    {
        if (!m_frames.empty() && m_frames.back().array)
            m_frames.back().count++;
    }

    std::string Pointer(size_t nFrames) const
    {
        std::string s;
        for (size_t i = 0; i < nFrames; i++)
            s += "/" + (m_frames[i].array ? std::to_string(m_frames[i].count - 1) : PointerToken(m_frames[i].key));
        return s;
    }

    std::vector<Frame> m_frames;
};

class Reader
{
public:
    Reader(const fs::path& baseDir, Problems& problems) : m_baseDir(baseDir), m_problems(problems) {}

    std::unique_ptr<CInstaller> Read(const Json& doc);

private:
    template <class F> void Guard(F f)
    {
        try
        {
            f();
        }
        catch (const FieldError& e)
        {
            m_problems.push_back({e.where, e.message});
        }
    }

    CObject* ReadObject(const Json& o, const std::string& where);
    void ReadMode(const Json& o, const KindInfo& kind, CInstObj& obj, const std::string& where);
    void ReadPaths(const Json& o, const std::string& where, CInstObjDir& obj);
    void ReadContent(const Json& o, const std::string& where, CInstObjFile& obj);
    void ReadPatches(const Json& v, const std::string& where, CInstObjPatchFile& obj);
    void ReadValue(const Json& o, const std::string& where, CInstObjRegValue& obj);
    void ReadAction(const Json& o, const std::string& where, CInstObjAction& obj, bool bLink);

    fs::path m_baseDir;
    Problems& m_problems;
};

CString Text(const Json& v, const std::string& where)
{
    if (!v.is_string())
        Fail(where, "must be a string");
    CString s;
    std::string error;
    if (!ToAnsi(v.get_ref<const std::string&>(), s, &error))
        Fail(where, error);
    return s;
}

DWORD Dword(const Json& v, const std::string& where)
{
    if (v.is_number_integer() && !v.is_number_unsigned())
        Fail(where, "must not be negative");
    if (!v.is_number_unsigned())
        Fail(where, "must be a whole number");
    std::uint64_t n = v.get<std::uint64_t>();
    if (n > 0xFFFFFFFFull)
        Fail(where, "must be below 4294967296");
    return (DWORD)n;
}

ByteVector Hex(const Json& v, const std::string& where)
{
    if (!v.is_string())
        Fail(where, "must be a string of hex digits");
    ByteVector bytes;
    std::string error;
    if (!FromHex(v.get_ref<const std::string&>(), bytes, &error))
        Fail(where, error);
    return bytes;
}

// Text fields default to empty.
void TextField(const Json& o, const char* key, const std::string& where, CString& out)
{
    auto it = o.find(key);
    if (it != o.end())
        out = Text(*it, where + "/" + key);
}

void Strings(const Json& o, const char* key, const std::string& where, CStringArray& out)
{
    auto it = o.find(key);
    if (it == o.end())
        return;
    std::string w = where + "/" + key;
    if (!it->is_array())
        Fail(w, "must be an array of strings");
    for (size_t i = 0; i < it->size(); i++)
        out.Add(Text((*it)[i], w + "/" + std::to_string(i)));
}

DWORD Named(const Json& v, const std::string& where, const std::vector<NamedValue>& table, const char* what)
{
    if (!v.is_string())
        return Dword(v, where);
    const std::string& name = v.get_ref<const std::string&>();
    const NamedValue* nv = FindName(table, name);
    if (nv == nullptr)
        Fail(where,
             std::string("unknown ") + what + " " + Quoted(name) + "; give a number or one of " + DescribeNames(table));
    return nv->value;
}

DWORD Attributes(const Json& o, const std::string& where)
{
    auto it = o.find("attributes");
    if (it == o.end())
        return CInstObjDir::kNoAttributes;
    std::string w = where + "/attributes";
    if (!it->is_array())
        return Named(*it, w, Packer::Attributes(), "attribute");
    DWORD dw = 0;
    for (size_t i = 0; i < it->size(); i++)
    {
        const Json& e = (*it)[i];
        std::string we = w + "/" + std::to_string(i);
        if (!e.is_string())
            Fail(we, "must be an attribute name");
        dw |= Named(e, we, Packer::Attributes(), "attribute");
    }
    return dw;
}

bool AppendBytes(CByteArray& out, const ByteVector& bytes)
{
    return bytes.empty() || out.Append(bytes.data(), (int)bytes.size());
}

ByteVector TextBytes(const CString& s)
{
    const BYTE* p = (const BYTE*)(const char*)s;
    return ByteVector(p, p + s.GetLength());
}

std::unique_ptr<CInstaller> Reader::Read(const Json& doc)
{
    if (!doc.is_object())
    {
        m_problems.push_back({"", "a script is a JSON object holding the lists " +
                                      std::string("check, define, prepare, file, registry, finish1, finish2")});
        return nullptr;
    }
    std::unique_ptr<CInstaller> script(new CInstaller);
    std::vector<std::string> keys = {"$schema", "version"};
    for (const ListInfo& list : Lists())
        keys.push_back(list.name);
    for (auto it = doc.begin(); it != doc.end(); ++it)
    {
        if (std::find(keys.begin(), keys.end(), it.key()) == keys.end())
            m_problems.push_back({"/" + PointerToken(it.key()),
                                  "unknown list " + Quoted(it.key()) + Suggestion(it.key(), keys) +
                                      " (the lists are check, define, prepare, file, registry, finish1, finish2)"});
    }
    Guard(
        [&]
        {
            auto it = doc.find("$schema");
            if (it != doc.end() && !it->is_string())
                Fail("/$schema", "must be a string");
        });
    bool bAnyObject = false;
    for (const ListInfo& list : Lists())
    {
        auto it = doc.find(list.name);
        if (it == doc.end())
            continue;
        std::string where = std::string("/") + list.name;
        if (!it->is_array())
        {
            m_problems.push_back({where, "must be an array of install objects"});
            continue;
        }
        CObList& target = (*script).*(list.member);
        for (size_t i = 0; i < it->size(); i++)
        {
            CObject* p = ReadObject((*it)[i], where + "/" + std::to_string(i));
            if (p != nullptr)
                target.AddTail(p);
            bAnyObject = true;
        }
    }
    Guard(
        [&]
        {
            auto it = doc.find("version");
            if (it == doc.end())
                return;
            script->m_nVersion = Dword(*it, "/version");
            if (script->m_nVersion != 1 && bAnyObject)
                Fail("/version", "a script of version " + std::to_string(script->m_nVersion) +
                                     " loads as an empty script: its lists would never be read");
        });
    if (!m_problems.empty())
        return nullptr;
    return script;
}

CObject* Reader::ReadObject(const Json& o, const std::string& where)
{
    std::unique_ptr<CObject> object;
    Guard(
        [&]
        {
            if (!o.is_object())
                Fail(where, "must be an install object: {\"type\": ..., ...}");
            auto itType = o.find("type");
            if (itType == o.end())
                Fail(where, "missing \"type\"; one of " + KindNames());
            if (!itType->is_string())
                Fail(where + "/type", "must be a string: one of " + KindNames());
            const std::string& typeName = itType->get_ref<const std::string&>();
            const KindInfo* kind = FindKind(typeName);
            if (kind == nullptr)
            {
                std::vector<std::string> names;
                for (const KindInfo& k : Kinds())
                    names.push_back(k.name);
                Fail(where + "/type", "unknown type " + Quoted(typeName) + Suggestion(typeName, names) +
                                          " (the types are " + KindNames() + ")");
            }

            std::vector<std::string> fields = {"type", "mode", "errorText"};
            fields.insert(fields.end(), kind->fields.begin(), kind->fields.end());
            for (auto it = o.begin(); it != o.end(); ++it)
            {
                if (std::find(fields.begin(), fields.end(), it.key()) != fields.end())
                    continue;
                std::string list;
                for (size_t i = 1; i < fields.size(); i++)
                    list += std::string(i > 1 ? ", " : "") + fields[i];
                m_problems.push_back({where + "/" + PointerToken(it.key()),
                                      "unknown field " + Quoted(it.key()) + " of a " + kind->name +
                                          Suggestion(it.key(), fields) + " (its fields are " + list + ")"});
            }

            object.reset(NewObject(kind->kind));
            CInstObj& obj = *(CInstObj*)object.get();
            Guard([&] { ReadMode(o, *kind, obj, where); });
            Guard([&] { TextField(o, "errorText", where, obj.m_strErrorTextName); });

            switch (kind->kind)
            {
            case Kind::Object:
                break;
            case Kind::Define:
            {
                CInstObjDefine& def = (CInstObjDefine&)obj;
                Guard([&] { TextField(o, "name", where, def.m_strName); });
                Guard([&] { TextField(o, "value", where, def.m_strValue); });
                break;
            }
            case Kind::Dir:
            case Kind::File:
            case Kind::Patch:
            {
                CInstObjDir& dir = (CInstObjDir&)obj;
                ReadPaths(o, where, dir);
                if (kind->kind != Kind::Dir)
                    Guard([&] { ReadContent(o, where, (CInstObjFile&)obj); });
                if (kind->kind == Kind::Patch)
                {
                    auto it = o.find("patches");
                    if (it != o.end())
                        Guard([&] { ReadPatches(*it, where + "/patches", (CInstObjPatchFile&)obj); });
                }
                break;
            }
            case Kind::Registry:
            case Kind::Value:
            {
                CInstObjRegistry& reg = (CInstObjRegistry&)obj;
                Guard([&] { Strings(o, "sources", where, reg.m_Sources); });
                Guard([&] { Strings(o, "targets", where, reg.m_Targets); });
                if (kind->kind == Kind::Value)
                    ReadValue(o, where, (CInstObjRegValue&)obj);
                break;
            }
            case Kind::Action:
            case Kind::Link:
                ReadAction(o, where, (CInstObjAction&)obj, kind->kind == Kind::Link);
                break;
            }
        });
    return object.release();
}

void Reader::ReadMode(const Json& o, const KindInfo& kind, CInstObj& obj, const std::string& where)
{
    auto it = o.find("mode");
    std::string w = where + "/mode";
    std::string a = std::string("a ") + kind.name;
    if (it == o.end())
    {
        if (kind.modeRequired)
            Fail(where, "missing \"mode\"; " + a + " takes one of " + DescribeNames(kind.modes));
        obj.m_nMode = kind.defaultMode;
        return;
    }
    if (it->is_string())
    {
        const std::string& name = it->get_ref<const std::string&>();
        if (kind.modes.empty())
            Fail(w, a + " has no modes; its mode is carried unused: give a number or leave it out");
        const NamedValue* nv = FindName(kind.modes, name);
        if (nv == nullptr)
            Fail(w, a + " has no mode " + Quoted(name) + "; its modes are " + DescribeNames(kind.modes));
        obj.m_nMode = nv->value;
        return;
    }
    DWORD dw = Dword(*it, w);
    if (!kind.modes.empty() && NameOf(kind.modes, dw) == nullptr)
        Fail(w, a + " has no mode " + std::to_string(dw) + "; its modes are " + DescribeNames(kind.modes));
    obj.m_nMode = dw;
}

void Reader::ReadPaths(const Json& o, const std::string& where, CInstObjDir& obj)
{
    Guard([&] { Strings(o, "sources", where, obj.m_Sources); });
    Guard([&] { Strings(o, "targets", where, obj.m_Targets); });
    Guard([&] { obj.m_dwAttributes = Attributes(o, where); });
}

void Reader::ReadContent(const Json& o, const std::string& where, CInstObjFile& obj)
{
    static const char* const kKeys[] = {"contentFile", "contentHex", "contentText"};
    const char* found = nullptr;
    for (const char* key : kKeys)
    {
        if (o.find(key) == o.end())
            continue;
        if (found != nullptr)
            Fail(where, std::string("give only one of contentFile, contentHex, contentText (found ") + found + " and " +
                            key + ")");
        found = key;
    }
    if (found == nullptr)
        Fail(where, "missing content: give one of contentFile (a path relative to the script), contentHex or "
                    "contentText");
    const Json& v = o.at(found);
    std::string w = where + "/" + found;
    if (found == kKeys[1])
    {
        if (!AppendBytes(obj.m_Content, Hex(v, w)))
            Fail(w, "out of memory");
        return;
    }
    if (found == kKeys[2])
    {
        CString s = Text(v, w);
        if (!obj.m_Content.Copy((const BYTE*)(const char*)s, s.GetLength()))
            Fail(w, "out of memory");
        return;
    }
    if (!v.is_string() || v.get_ref<const std::string&>().empty())
        Fail(w, "must be the path of a file, relative to the script");
    fs::path path = fs::u8path(v.get_ref<const std::string&>());
    if (path.is_relative())
        path = m_baseDir / path;
    std::string shown = Quoted(v.get<std::string>()) + " (" + path.u8string() + ")";
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st))
        Fail(w, "no such file: " + shown);
    if (!fs::is_regular_file(st))
        Fail(w, "not a file: " + shown);
    std::uintmax_t n = fs::file_size(path, ec);
    if (ec)
        Fail(w, "cannot read " + shown + ": " + ec.message());
    if (n > kMaxCarriedFile)
        Fail(w, "too large to carry: " + shown);
    if (!obj.m_Content.SetSize((int)n))
        Fail(w, "out of memory for " + shown);
    std::ifstream in(path, std::ios::binary);
    if (n > 0 && !in.read((char*)obj.m_Content.GetData(), (std::streamsize)n))
        Fail(w, "cannot read " + shown);
}

void Reader::ReadPatches(const Json& v, const std::string& where, CInstObjPatchFile& obj)
{
    if (!v.is_array())
        Fail(where, "must be an array with one list of {search, replace} pairs per target");
    for (size_t i = 0; i < v.size(); i++)
    {
        const Json& list = v[i];
        std::string wl = where + "/" + std::to_string(i);
        CObArray* pSearch = new CObArray;
        CObArray* pReplace = new CObArray;
        obj.m_SearchPatterns.Add(pSearch);
        obj.m_Replacements.Add(pReplace);
        if (!list.is_array())
        {
            m_problems.push_back({wl, "must be an array of {search, replace} pairs"});
            continue;
        }
        for (size_t j = 0; j < list.size(); j++)
        {
            const Json& pair = list[j];
            std::string wp = wl + "/" + std::to_string(j);
            CByteArray* pPattern = new CByteArray;
            CByteArray* pReplacement = new CByteArray;
            pSearch->Add(pPattern);
            pReplace->Add(pReplacement);
            Guard(
                [&]
                {
                    if (!pair.is_object())
                        Fail(wp, "must be an object {\"search\": ..., \"replace\": ...}");
                    for (auto it = pair.begin(); it != pair.end(); ++it)
                        if (it.key() != "search" && it.key() != "searchHex" && it.key() != "replace" &&
                            it.key() != "replaceHex")
                            Fail(wp + "/" + PointerToken(it.key()), "unknown field " + Quoted(it.key()) +
                                                                        " (a pair has search or searchHex, and replace "
                                                                        "or replaceHex)");
                    for (const char* side : {"search", "replace"})
                    {
                        std::string hexKey = std::string(side) + "Hex";
                        bool bText = pair.contains(side);
                        bool bHex = pair.contains(hexKey);
                        if (bText == bHex)
                            Fail(wp, std::string("give exactly one of ") + side + " (text) and " + hexKey);
                        ByteVector bytes = bText ? TextBytes(Text(pair.at(side), wp + "/" + side))
                                                 : Hex(pair.at(hexKey), wp + "/" + hexKey);
                        AppendBytes(side[0] == 's' ? *pPattern : *pReplacement, bytes);
                    }
                });
        }
    }
}

void Reader::ReadValue(const Json& o, const std::string& where, CInstObjRegValue& obj)
{
    Guard([&] { TextField(o, "valueName", where, obj.m_strValueName); });
    Guard(
        [&]
        {
            auto it = o.find("valueType");
            if (it != o.end())
                obj.m_dwValueType = Named(*it, where + "/valueType", ValueTypes(), "value type");
        });
    Guard(
        [&]
        {
            auto itText = o.find("data");
            auto itHex = o.find("dataHex");
            if (itText != o.end() && itHex != o.end())
                Fail(where, "give only one of data and dataHex");
            if (itHex != o.end())
            {
                AppendBytes(obj.m_Data, Hex(*itHex, where + "/dataHex"));
                return;
            }
            if (itText == o.end())
                return;
            const Json& v = *itText;
            std::string w = where + "/data";
            if (v.is_string())
            {
                AppendBytes(obj.m_Data, TextBytes(Text(v, w)));
            }
            else if (v.is_number())
            {
                if (obj.m_dwValueType != kTypeDword && obj.m_dwValueType != kTypeDwordBigEndian)
                    Fail(w, "a number as data needs the valueType REG_DWORD");
                DWORD dw = Dword(v, w);
                for (int i = 0; i < 4; i++)
                {
                    int shift = obj.m_dwValueType == kTypeDword ? 8 * i : 8 * (3 - i);
                    obj.m_Data.Add((BYTE)(dw >> shift));
                }
            }
            else if (v.is_array())
            {
                if (obj.m_dwValueType != kTypeMultiString)
                    Fail(w, "a list of strings as data needs the valueType REG_MULTI_SZ");
                for (size_t i = 0; i < v.size(); i++)
                {
                    std::string wi = w + "/" + std::to_string(i);
                    ByteVector bytes = TextBytes(Text(v[i], wi));
                    if (std::find(bytes.begin(), bytes.end(), 0) != bytes.end())
                        Fail(wi, "a string of a REG_MULTI_SZ list cannot hold a zero character");
                    AppendBytes(obj.m_Data, bytes);
                    obj.m_Data.Add(0);
                }
                obj.m_Data.Add(0);
            }
            else
                Fail(w, "must be a string, a number (REG_DWORD) or a list of strings (REG_MULTI_SZ)");
        });
}

void Reader::ReadAction(const Json& o, const std::string& where, CInstObjAction& obj, bool bLink)
{
    Guard([&] { TextField(o, bLink ? "description" : "verb", where, obj.m_strVerb); });
    Guard([&] { TextField(o, "file", where, obj.m_strFile); });
    Guard([&] { TextField(o, "parameters", where, obj.m_strParameters); });
    Guard([&] { TextField(o, "directory", where, obj.m_strDirectory); });
    Guard(
        [&]
        {
            auto it = o.find("showCmd");
            if (it == o.end())
                return;
            std::string w = where + "/showCmd";
            if (it->is_string())
                obj.m_nShowCmd = (int)Named(*it, w, ShowCommands(), "show command");
            else if (it->is_number_integer() && it->get<std::int64_t>() >= INT32_MIN &&
                     it->get<std::int64_t>() <= INT32_MAX)
                obj.m_nShowCmd = (int)it->get<std::int64_t>();
            else
                Fail(w, "must be a show command such as SW_SHOW, or a whole number");
        });
    if (bLink)
        Guard([&] { TextField(o, "target", where, ((CInstObjShellLink&)obj).m_strTarget); });
}

// "parse error at line 3, column 15: syntax error ..." -> "syntax error ..."
std::string SyntaxMessage(const std::string& what)
{
    size_t at = what.find("parse error");
    size_t colon = at == std::string::npos ? std::string::npos : what.find(": ", at);
    return colon == std::string::npos ? what : what.substr(colon + 2);
}
} // namespace

std::unique_ptr<CInstaller> ReadScriptText(const std::string& text, const fs::path& baseDir, Problems& problems)
{
    Json doc;
    try
    {
        DuplicateKeyCheck check;
        doc = Json::parse(text, std::ref(check), true, true);
    }
    catch (const nlohmann::ordered_json::parse_error& e)
    {
        size_t byte = e.byte > 0 ? e.byte - 1 : 0;
        if (byte > text.size())
            byte = text.size();
        size_t line = 1, column = 1;
        for (size_t i = 0; i < byte; i++)
        {
            if (text[i] == '\n')
            {
                line++;
                column = 1;
            }
            else
                column++;
        }
        problems.push_back(
            {std::to_string(line) + ":" + std::to_string(column), "JSON syntax error: " + SyntaxMessage(e.what())});
        return nullptr;
    }
    catch (const DuplicateKeyCheck::Duplicate& d)
    {
        problems.push_back({d.where, "the key " + Quoted(d.key) + " stands twice in one object"});
        return nullptr;
    }
    catch (const nlohmann::ordered_json::exception& e)
    {
        // A number beyond what a double holds (1e400) is refused by the
        // parser without a place; say what it is rather than abort.
        std::string what = e.what();
        size_t close = what.find("] ");
        problems.push_back({"", "JSON value refused: " + (close == std::string::npos ? what : what.substr(close + 2))});
        return nullptr;
    }
    size_t nBefore = problems.size();
    Problems found;
    Reader reader(baseDir, found);
    std::unique_ptr<CInstaller> script = reader.Read(doc);
    problems.insert(problems.end(), found.begin(), found.end());
    if (problems.size() != nBefore)
        return nullptr;
    return script;
}

bool ReadWholeFile(const fs::path& path, std::string& out, std::string* pError)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        if (pError != nullptr)
        {
            std::error_code ec;
            *pError = fs::exists(path, ec) ? "cannot open it" : "no such file";
        }
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad())
    {
        if (pError != nullptr)
            *pError = "cannot read it";
        return false;
    }
    out = ss.str();
    return true;
}

std::unique_ptr<CInstaller> ReadScriptFile(const fs::path& path, Problems& problems)
{
    std::string text, error;
    if (!ReadWholeFile(path, text, &error))
    {
        problems.push_back({"", error});
        return nullptr;
    }
    fs::path base = path.parent_path();
    if (base.empty())
        base = ".";
    return ReadScriptText(text, base, problems);
}
} // namespace Packer
