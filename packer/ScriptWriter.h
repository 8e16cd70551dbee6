// Writing an installer script object as a JSON script, the form that
// ReadScriptText reads back to the same objects.
#ifndef PACKER_SCRIPTWRITER_H
#define PACKER_SCRIPTWRITER_H

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "script/Installer.h"

namespace Packer
{
struct WriteOptions
{
    // Where to write each carried file (file and patch content); empty:
    // content goes into the JSON as text or hex.
    std::filesystem::path extractDir;
    // The folder the JSON will be saved in: carried files are referred to
    // relative to it. Empty: by absolute path.
    std::filesystem::path jsonDir;
};

// Throws std::runtime_error when the script holds what the JSON form cannot
// express (patch lists of unequal length, an object of no known kind) or a
// carried file cannot be written.
nlohmann::ordered_json WriteScript(const CInstaller& script, const WriteOptions& options);

// The JSON as text: two spaces a level, short lists of plain values on one
// line, a final line feed.
std::string FormatScript(const nlohmann::ordered_json& doc);
} // namespace Packer

#endif
