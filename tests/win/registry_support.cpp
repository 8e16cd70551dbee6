// Helpers of the registry tests.
#include "registry_support.h"

#include <stdio.h>

#include "framework/Exceptions.h"

namespace registry_test
{
namespace
{
const char kTestRoot[] = "Software\\SaverSetupTests";

LONG DeleteTreeOf(HKEY hParent, const std::string& name)
{
    HKEY hKey;
    LONG r = RegOpenKeyExA(hParent, name.c_str(), 0, KEY_READ | KEY_WRITE | DELETE, &hKey);
    if (r != ERROR_SUCCESS)
        return r;
    for (;;)
    {
        char sub[512];
        DWORD n = sizeof(sub);
        if (RegEnumKeyExA(hKey, 0, sub, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (DeleteTreeOf(hKey, sub) != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(hKey);
    return RegDeleteKeyA(hParent, name.c_str());
}

void ExportKey(HKEY hKey, const std::string& rel, Export& out)
{
    std::map<std::string, Value>& values = out[rel];
    for (DWORD i = 0;; i++)
    {
        char name[16384];
        DWORD nName = sizeof(name);
        DWORD type = 0;
        DWORD nData = 0;
        if (RegEnumValueA(hKey, i, name, &nName, nullptr, &type, nullptr, &nData) != ERROR_SUCCESS)
            break;
        Value v;
        v.type = type;
        v.data.resize(nData + 1);
        nName = sizeof(name);
        DWORD nRead = (DWORD)v.data.size();
        if (RegEnumValueA(hKey, i, name, &nName, nullptr, &type, v.data.data(), &nRead) != ERROR_SUCCESS)
            break;
        v.data.resize(nRead);
        values[name] = v;
    }
    for (DWORD i = 0;; i++)
    {
        char name[512];
        DWORD n = sizeof(name);
        if (RegEnumKeyExA(hKey, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY hSub;
        if (RegOpenKeyExA(hKey, name, 0, KEY_READ, &hSub) != ERROR_SUCCESS)
            continue;
        ExportKey(hSub, rel.empty() ? name : rel + "\\" + name, out);
        RegCloseKey(hSub);
    }
}
}  // namespace

ScratchKey::ScratchKey()
{
    static int s_nCount = 0;
    char name[64];
    sprintf(name, "\\t%lu_%d", GetCurrentProcessId(), ++s_nCount);
    m_path = std::string(kTestRoot) + name;
    DeleteTreeHkcu(m_path);
    MakeKey(m_path);
}

ScratchKey::~ScratchKey()
{
    DeleteTreeHkcu(m_path);
}

bool MakeKey(const std::string& path)
{
    HKEY hKey;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

bool KeyExistsHkcu(const std::string& path)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

bool DeleteTreeHkcu(const std::string& path)
{
    return DeleteTreeOf(HKEY_CURRENT_USER, path) == ERROR_SUCCESS;
}

bool SetValue(const std::string& key, const std::string& name, DWORD type, const Bytes& data)
{
    HKEY hKey;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS)
        return false;
    // A byte that is not zero behind the data: the system takes a zero there
    // for a forgotten terminator of a text and writes it too.
    Bytes padded = data;
    padded.push_back(0xFF);
    LONG r = RegSetValueExA(hKey, name.c_str(), 0, type, padded.data(), (DWORD)data.size());
    RegCloseKey(hKey);
    return r == ERROR_SUCCESS;
}

bool GetValue(const std::string& key, const std::string& name, DWORD& type, Bytes& data)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    DWORD n = 0;
    LONG r = RegQueryValueExA(hKey, name.c_str(), nullptr, &type, nullptr, &n);
    if (r == ERROR_SUCCESS)
    {
        data.resize(n + 1);
        n = (DWORD)data.size();
        r = RegQueryValueExA(hKey, name.c_str(), nullptr, &type, data.data(), &n);
        data.resize(n);
    }
    RegCloseKey(hKey);
    return r == ERROR_SUCCESS;
}

Bytes GetValueW(const std::string& key, const std::string& name)
{
    Bytes data;
    std::wstring wkey(key.begin(), key.end()), wname(name.begin(), name.end());
    HKEY hKey;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, wkey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return data;
    DWORD n = 0;
    if (RegQueryValueExW(hKey, wname.c_str(), nullptr, nullptr, nullptr, &n) == ERROR_SUCCESS)
    {
        data.resize(n);
        RegQueryValueExW(hKey, wname.c_str(), nullptr, nullptr, data.data(), &n);
        data.resize(n);
    }
    RegCloseKey(hKey);
    return data;
}

Export ExportTree(const std::string& path)
{
    Export out;
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return out;
    ExportKey(hKey, "", out);
    RegCloseKey(hKey);
    return out;
}

std::string Differences(const Export& before, const Export& after)
{
    std::string out;
    auto describe = [](const Value& v) { return std::to_string(v.type) + ":" + Hex(v.data); };
    for (const auto& k : before)
    {
        auto it = after.find(k.first);
        if (it == after.end())
        {
            out += "key gone: " + k.first + "\n";
            continue;
        }
        for (const auto& v : k.second)
        {
            auto jt = it->second.find(v.first);
            if (jt == it->second.end())
                out += "value gone: " + k.first + "|" + v.first + "\n";
            else if (!(jt->second == v.second))
                out += "value changed: " + k.first + "|" + v.first + " " + describe(v.second) + " -> " +
                       describe(jt->second) + "\n";
        }
        for (const auto& v : it->second)
            if (k.second.find(v.first) == k.second.end())
                out += "value added: " + k.first + "|" + v.first + "\n";
    }
    for (const auto& k : after)
        if (before.find(k.first) == before.end())
            out += "key added: " + k.first + "\n";
    return out;
}

CInstObjRegistry* NewKeyObject(int nMode, const std::vector<std::string>& sources,
                               const std::vector<std::string>& targets)
{
    CInstObjRegistry* p = new CInstObjRegistry;
    p->m_nMode = (DWORD)nMode;
    for (const auto& s : sources)
        p->m_Sources.Add(s.c_str());
    for (const auto& t : targets)
        p->m_Targets.Add(t.c_str());
    return p;
}

CInstObjRegValue* NewValueObject(int nMode, const std::vector<std::string>& sources,
                                 const std::vector<std::string>& targets, const std::string& name, DWORD type,
                                 const Bytes& data)
{
    CInstObjRegValue* p = new CInstObjRegValue;
    p->m_nMode = (DWORD)nMode;
    for (const auto& s : sources)
        p->m_Sources.Add(s.c_str());
    for (const auto& t : targets)
        p->m_Targets.Add(t.c_str());
    p->m_strValueName = name.c_str();
    p->m_dwValueType = type;
    p->m_Data.Copy(data.data(), (int)data.size());
    return p;
}

std::vector<std::string> UndoSummary(const CInstaller& installer)
{
    std::vector<std::string> out;
    for (POSITION pos = installer.m_UndoList.GetHeadPosition(); pos != nullptr;)
    {
        CInstObj* p = (CInstObj*)installer.m_UndoList.GetNext(pos);
        CInstObjRegistry* k = (CInstObjRegistry*)p;
        std::string s;
        if (p->IsKindOf(RUNTIME_CLASS(CInstObjRegValue)))
        {
            CInstObjRegValue* v = (CInstObjRegValue*)p;
            s = "Value" + std::to_string(p->m_nMode) + " " + (const char*)k->m_Targets[0] + "|" +
                (const char*)v->m_strValueName;
            if (p->m_nMode == 3)
                s += "|" + std::to_string(v->m_dwValueType) + "|" +
                     Hex(Bytes(v->m_Data.GetData(), v->m_Data.GetData() + v->m_Data.GetSize()));
        }
        else if (p->IsKindOf(RUNTIME_CLASS(CInstObjRegistry)))
            s = "Key" + std::to_string(p->m_nMode) + " " + (const char*)k->m_Targets[0];
        else
            s = "other";
        out.push_back(s);
    }
    return out;
}

void RunUndo(CInstaller& installer)
{
    for (POSITION pos = installer.m_UndoList.GetHeadPosition(); pos != nullptr;)
        Execute(installer, (CInstObj*)installer.m_UndoList.GetNext(pos));
}

int Execute(CInstaller& installer, CInstObj* pObject)
{
    CExceptionScope scope;
    int r = pObject->Execute(&installer);
    if (scope.GetExceptionOf(RUNTIME_CLASS(CMemoryException)) != nullptr)
        return ERR_NO_MEMORY;
    return scope.Failed() ? ERR_FAILED : r;
}
}  // namespace registry_test
