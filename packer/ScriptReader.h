// Reading a JSON script into an installer script object.
#ifndef PACKER_SCRIPTREADER_H
#define PACKER_SCRIPTREADER_H

#include <filesystem>
#include <memory>
#include <string>

#include "packer/Problems.h"
#include "script/Installer.h"

namespace Packer
{
// Parses the text and builds the script; carried files are read relative to
// baseDir. Every problem found is added to problems (JSON pointers, or
// line:column for syntax errors); the result is then null. The script's
// meaning is not checked here: see CheckScript.
std::unique_ptr<CInstaller> ReadScriptText(const std::string& text, const std::filesystem::path& baseDir,
                                           Problems& problems);

// Reads the file and then as ReadScriptText, relative to the file's folder.
// A file that cannot be read gives one problem with an empty place.
std::unique_ptr<CInstaller> ReadScriptFile(const std::filesystem::path& path, Problems& problems);

// Reads a whole file; false with *pError set when it cannot.
bool ReadWholeFile(const std::filesystem::path& path, std::string& out, std::string* pError);
} // namespace Packer

#endif
