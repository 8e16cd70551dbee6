// The words of the script format: the seven lists, the object kinds with
// their modes and fields, and the names of file attributes, registry value
// types and show commands.
#ifndef PACKER_KINDS_H
#define PACKER_KINDS_H

#include <string>
#include <vector>

#include "framework/Object.h"
#include "script/Installer.h"

namespace Packer
{
// Registry value types whose data the script writes in a form of its own:
// a number, or a list of strings.
const DWORD kTypeDword = 4;
const DWORD kTypeDwordBigEndian = 5;
const DWORD kTypeMultiString = 7;

struct NamedValue
{
    const char* name;
    DWORD value;
};

// The lists in the order the run executes them; the stream order differs.
struct ListInfo
{
    const char* name;
    CObList CInstaller::*member;
};
const std::vector<ListInfo>& Lists();

enum class Kind
{
    Object,
    Define,
    Dir,
    File,
    Patch,
    Registry,
    Value,
    Action,
    Link
};

struct KindInfo
{
    Kind kind;
    const char* name;
    const CRuntimeClass* runtimeClass;
    // The modes the object carries out. Empty: the object does not look at
    // its mode, which is then carried as any number.
    std::vector<NamedValue> modes;
    bool modeRequired;
    DWORD defaultMode;
    // Fields besides "type", "mode" and "errorText".
    std::vector<const char*> fields;
};
const std::vector<KindInfo>& Kinds();
const KindInfo* FindKind(const std::string& name);
// The kind of an object by its exact class; null for a class of no kind.
const KindInfo* KindOf(const CObject* pObject);
CObject* NewObject(Kind kind);

// Names compare without regard to case; a leading "SW_" or "REG_" may be
// left out where the table's names carry it. Null when absent.
const NamedValue* FindName(const std::vector<NamedValue>& table, const std::string& name);
// The first name of the value, or null.
const char* NameOf(const std::vector<NamedValue>& table, DWORD value);
// "copy (1), move (2)" for messages.
std::string DescribeNames(const std::vector<NamedValue>& table);

const std::vector<NamedValue>& Attributes();
const std::vector<NamedValue>& ValueTypes();
const std::vector<NamedValue>& ShowCommands();

// The variables the installer defines itself at the start of a run.
const std::vector<const char*>& SystemVariables();

// The closest of the candidates to a mistyped word, or empty when none is
// close enough to suggest.
std::string Closest(const std::string& word, const std::vector<std::string>& candidates);
} // namespace Packer

#endif
