// The packer's JSON script reader. Any text may be refused, but never with
// a crash or a leak; a script it reads and that passes the checks must
// build, and the package must read back to a script whose dump reads and
// builds the same package again, with the same dump (what "build" and
// "dump" promise each other). Carried files are read relative to an empty
// folder, so only inline content reaches the script.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "framework/MemFile.h"
#include "fuzz/FuzzSupport.h"
#include "packer/Package.h"
#include "packer/ScriptCheck.h"
#include "packer/ScriptReader.h"
#include "packer/ScriptWriter.h"
#include "script/Installer.h"

namespace fs = std::filesystem;

namespace
{
void Check(bool b)
{
    if (!b)
        abort();
}

const fs::path& EmptyFolder()
{
    static fs::path path;
    if (path.empty())
    {
        char templ[] = "/tmp/fuzz_script_json.XXXXXX";
        Check(mkdtemp(templ) != nullptr);
        path = templ;
    }
    return path;
}

// The script of a package stream; aborts when it does not load.
std::unique_ptr<CInstaller> Load(Packer::ByteVector package)
{
    std::unique_ptr<CInstaller> script(new CInstaller);
    CMemFile file(package.data(), (UINT)package.size(), 0);
    int r = script->LoadPackageStream(file);
    file.Detach();
    Check(r == ERR_OK);
    return script;
}

std::string Dump(const CInstaller& script)
{
    return Packer::FormatScript(Packer::WriteScript(script, Packer::WriteOptions()));
}

// Reads and checks the text: null when refused.
std::unique_ptr<CInstaller> Read(const std::string& text)
{
    Packer::Problems problems;
    std::unique_ptr<CInstaller> script = Packer::ReadScriptText(text, EmptyFolder(), problems);
    Check(script == nullptr || problems.empty());
    Check(script != nullptr || !problems.empty());
    if (script != nullptr && !Packer::CheckScript(*script).empty())
        script.reset();
    return script;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InitPackageReading();
    std::unique_ptr<CInstaller> script = Read(std::string((const char*)data, size));
    if (script == nullptr)
        return 0;

    try
    {
        Packer::ByteVector package = Packer::PackScript(*script);
        std::unique_ptr<CInstaller> loaded = Load(package);
        std::string dump = Dump(*loaded);
        Check(Dump(*script) == dump);

        std::unique_ptr<CInstaller> again = Read(dump);
        Check(again != nullptr);
        Check(Packer::PackScript(*again) == package);
        Check(Dump(*again) == dump);
    }
    catch (const std::exception&)
    {
        // A checked script that cannot be built or written.
        abort();
    }
    return 0;
}
