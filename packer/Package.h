// Making package streams and installer files.
#ifndef PACKER_PACKAGE_H
#define PACKER_PACKAGE_H

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/File.h"
#include "packer/Text.h"
#include "script/Installer.h"

namespace Packer
{
// Writes the package stream of the script at the file's position: header
// and scrambled, compressed body, made by the installer's own archive
// classes with the fixed password. Throws std::runtime_error when the
// archive or the file fails.
void PackScriptTo(CInstaller& script, CFile& file);
// The same stream in memory.
ByteVector PackScript(CInstaller& script);

// The package marker.
ByteVector Marker();
// Offset of the first marker in the bytes, or -1 (the search the installer
// makes in its own file).
long long FindMarker(const ByteVector& bytes);

bool ReadFileBytes(const std::filesystem::path& path, ByteVector& out, std::string* pError);

// Lets write fill a temporary file beside path and renames it to path only
// when everything was written, so that a failure never leaves a partial
// file. Throws std::runtime_error (and passes on what write throws, after
// removing the temporary file).
void WriteFileAtomically(const std::filesystem::path& path, const std::function<void(CFile&)>& write);

struct Piece
{
    const BYTE* data;
    size_t size;
};
// The pieces one after the other, written as above.
void WriteFileAtomically(const std::filesystem::path& path, const std::vector<Piece>& pieces);
} // namespace Packer

#endif
