// Helpers of the registry tests: a private key per test under HKCU, keys and
// values made and read through Win32, an export of a tree (names, types,
// bytes) that a rollback must restore exactly, and the two object kinds.
#ifndef TESTS_WIN_REGISTRY_SUPPORT_H
#define TESTS_WIN_REGISTRY_SUPPORT_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "script/Installer.h"
#include "support/TestSupport.h"

namespace registry_test
{
// A key of its own below HKCU\Software\SaverSetupTests, deleted with its
// tree when the object goes. Path() is without root, Full() with it.
class ScratchKey
{
public:
    ScratchKey();
    ~ScratchKey();
    const std::string& Path() const { return m_path; }
    std::string Full() const { return "HKEY_CURRENT_USER\\" + m_path; }
    std::string Path(const std::string& rel) const { return m_path + "\\" + rel; }
    std::string Full(const std::string& rel) const { return Full() + "\\" + rel; }

private:
    std::string m_path;
};

bool MakeKey(const std::string& path);  // below HKCU, with every missing key
bool KeyExistsHkcu(const std::string& path);
bool DeleteTreeHkcu(const std::string& path);
bool SetValue(const std::string& key, const std::string& name, DWORD type, const Bytes& data);
// The value as the A calls read it; false when it (or its key) is missing.
bool GetValue(const std::string& key, const std::string& name, DWORD& type, Bytes& data);
// The value's data as the W calls read it: what the system stores.
Bytes GetValueW(const std::string& key, const std::string& name);

// One value of an export.
struct Value
{
    DWORD type = 0;
    Bytes data;
    bool operator==(const Value& o) const { return type == o.type && data == o.data; }
};
// Keys by path relative to the root ("" for the root itself), each with its
// values by name ("" is the default value).
typedef std::map<std::string, std::map<std::string, Value>> Export;
// Empty when the root does not exist.
Export ExportTree(const std::string& path);
// "" when equal; otherwise one line per difference.
std::string Differences(const Export& before, const Export& after);

CInstObjRegistry* NewKeyObject(int nMode, const std::vector<std::string>& sources,
                               const std::vector<std::string>& targets);
CInstObjRegValue* NewValueObject(int nMode, const std::vector<std::string>& sources,
                                 const std::vector<std::string>& targets, const std::string& name, DWORD type,
                                 const Bytes& data);

// What the registry services record for: a step of the installer, whose
// HandOverUndo passes the records on.
struct Recorder : public CInstObj
{
    explicit Recorder(CInstaller& installer) { m_pInstaller = &installer; }
};

// The undo list, newest first: "Key4 path", "Value3 path|name|type|hex".
std::vector<std::string> UndoSummary(const CInstaller& installer);
// Executes the undo list newest first, as the run does after a failure.
void RunUndo(CInstaller& installer);
// The objects run as the run runs them, in a scope of their own.
int Execute(CInstaller& installer, CInstObj* pObject);
}  // namespace registry_test

#endif
