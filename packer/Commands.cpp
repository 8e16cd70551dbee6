// The commands of saverpack.
#include "packer/Commands.h"

#include <string.h>

#include <filesystem>
#include <stdexcept>

#include "framework/MemFile.h"
#include "objects/InstObjFile.h"
#include "packer/Kinds.h"
#include "packer/Package.h"
#include "packer/ScriptCheck.h"
#include "packer/ScriptReader.h"
#include "packer/ScriptWriter.h"
#include "packer/Verify.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"

namespace fs = std::filesystem;

namespace Packer
{
namespace
{
// More than this many problems are counted, not listed.
const size_t kMaxListed = 100;

int Failure(std::ostream& err, const std::string& message)
{
    err << "saverpack: " << message << "\n";
    return kExitFailed;
}

// The archive's "Password incorrect!!!" box has no place in a command-line
// tool: the commands name the fault themselves.
class QuietArchive
{
public:
    QuietArchive() : m_pfnOld(PackageArchive::SetMessageHandler(nullptr)) {}
    ~QuietArchive() { PackageArchive::SetMessageHandler(m_pfnOld); }

private:
    PackageMessageHandler m_pfnOld;
};

int ReportProblems(std::ostream& err, const std::string& file, const Problems& problems)
{
    for (size_t i = 0; i < problems.size() && i < kMaxListed; i++)
        err << FormatProblem(file, problems[i]) << "\n";
    if (problems.size() > kMaxListed)
        err << "... and " << problems.size() - kMaxListed << " more\n";
    return Failure(err, file + ": " + std::to_string(problems.size()) +
                            (problems.size() == 1 ? " problem" : " problems") + "; nothing written");
}

void CountObjects(const CInstaller& script, size_t& nObjects, unsigned long long& nCarried)
{
    nObjects = 0;
    nCarried = 0;
    for (const ListInfo& list : Lists())
    {
        const CObList& objects = script.*(list.member);
        for (POSITION pos = objects.GetHeadPosition(); pos != nullptr;)
        {
            CObject* p = objects.GetNext(pos);
            nObjects++;
            if (p != nullptr && p->IsKindOf(RUNTIME_CLASS(CInstObjFile)))
                nCarried += (unsigned long long)((CInstObjFile*)p)->m_Content.GetSize();
        }
    }
}
} // namespace

int RunBuild(const BuildOptions& options, std::ostream& out, std::ostream& err)
{
    if (options.output.empty())
        return Failure(err, "build: no output file given (-o OUT.exe)");

    ByteVector stub;
    if (!options.packageOnly)
    {
        std::string error;
        if (options.stub.empty())
        {
            if (options.defaultStub.empty() || !ReadFileBytes(options.defaultStub, stub, &error))
                return Failure(err, "build: no stub: the 32-bit stub " +
                                        (options.defaultStub.empty() ? std::string("of this build")
                                                                     : "\"" + options.defaultStub + "\"") +
                                        " is missing; build it with \"cmake --preset win32 && cmake --build "
                                        "--preset win32\", or pass --stub STUB.exe");
        }
        else if (!ReadFileBytes(options.stub, stub, &error))
            return Failure(err, "build: cannot read the stub \"" + options.stub + "\": " + error);
        long long marker = FindMarker(stub);
        if (marker >= 0)
            return Failure(err, "build: the stub already holds a package marker at offset " + std::to_string(marker) +
                                    " (is it an installer?); the installer would find that one first");
    }

    Problems problems;
    std::unique_ptr<CInstaller> script = ReadScriptFile(options.script, problems);
    if (!script)
        return ReportProblems(err, options.script, problems);
    problems = CheckScript(*script);
    if (!problems.empty())
        return ReportProblems(err, options.script, problems);

    try
    {
        ByteVector marker = options.packageOnly ? ByteVector() : Marker();
        DWORD nPackage = 0;
        // The package goes straight from the archive into the output file.
        WriteFileAtomically(options.output,
                            [&](CFile& file)
                            {
                                file.Write(stub.data(), (UINT)stub.size());
                                file.Write(marker.data(), (UINT)marker.size());
                                DWORD nStart = file.GetPosition();
                                PackScriptTo(*script, file);
                                nPackage = file.GetPosition() - nStart;
                            });
        size_t nObjects;
        unsigned long long nCarried;
        CountObjects(*script, nObjects, nCarried);
        out << "saverpack: wrote " << options.output << ": ";
        if (!options.packageOnly)
            out << "stub " << stub.size() << " bytes, marker, ";
        out << "package " << nPackage << " bytes (" << nObjects << " objects, " << nCarried << " bytes carried)\n";
    }
    catch (const std::exception& e)
    {
        return Failure(err, std::string("build: ") + e.what());
    }
    return kExitOk;
}

int RunDump(const DumpOptions& options, std::ostream& out, std::ostream& err)
{
    ByteVector bytes;
    std::string error;
    if (!ReadFileBytes(options.input, bytes, &error))
        return Failure(err, "dump: cannot read \"" + options.input + "\": " + error);

    QuietArchive quiet;
    CInstaller script;
    int result;
    long long marker = FindMarker(bytes);
    SignatureInfo signature;
    if (marker >= 0)
    {
        signature = FindSignature(bytes, (size_t)marker + PackageFormat::kMarkerSize);
        result = script.LoadPackage(CString(options.input.c_str()));
    }
    else if (bytes.size() < 3 || memcmp(bytes.data(), PackageFormat::kSignature, 3) != 0)
        result = ERR_NO_MARKER; // neither an installer nor a package stream
    else
    {
        CMemFile stream(bytes.data(), (UINT)bytes.size(), 0);
        result = script.LoadPackageStream(stream);
        stream.Detach();
    }
    if (result != ERR_OK)
    {
        VerifyResult diagnosis = VerifyInstaller(bytes);
        return Failure(err,
                       "dump: \"" + options.input + "\" cannot be read: " +
                           (diagnosis.ok ? "the installer's loader refuses it (error " + std::to_string(result) + ")"
                                         : diagnosis.failure));
    }

    try
    {
        WriteOptions write;
        if (!options.extractDir.empty())
        {
            write.extractDir = options.extractDir;
            fs::create_directories(write.extractDir);
            if (!options.output.empty())
            {
                write.jsonDir = fs::path(options.output).parent_path();
                if (write.jsonDir.empty())
                    write.jsonDir = ".";
            }
        }
        std::string text = FormatScript(WriteScript(script, write));
        // Standard output may carry the script itself: the note on the
        // signature goes beside it, to standard error.
        std::ostream& note = err;
        if (signature.present)
            note << "saverpack: " << options.input << " is signed (" << signature.size
                 << " bytes of certificate table at offset " << signature.offset
                 << "); the script comes from the package in front of it\n";
        else if (marker >= 0)
            note << "saverpack: " << options.input << " is not signed\n";
        if (options.output.empty())
            out << text;
        else
            WriteFileAtomically(options.output, {{(const BYTE*)text.data(), text.size()}});
    }
    catch (const std::exception& e)
    {
        return Failure(err, std::string("dump: ") + e.what());
    }
    return kExitOk;
}

int RunVerify(const std::string& input, std::ostream& out, std::ostream& err)
{
    ByteVector bytes;
    std::string error;
    if (!ReadFileBytes(input, bytes, &error))
        return Failure(err, "verify: cannot read \"" + input + "\": " + error);
    QuietArchive quiet;
    VerifyResult r = VerifyInstaller(bytes);
    out << input << " (" << bytes.size() << " bytes)\n";
    for (const std::string& line : r.lines)
        out << "  " << line << "\n";
    for (const std::string& warning : r.warnings)
        out << "  warning: " << warning << "\n";
    if (!r.ok)
        return Failure(err, "verify: \"" + input + "\": " + r.failure);
    out << "OK\n";
    return kExitOk;
}
} // namespace Packer
