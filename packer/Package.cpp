// Making package streams and installer files.
#include "packer/Package.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "objects/InstObj.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"

#ifdef _WIN32
#include <process.h>
#define saver_getpid _getpid
#else
#include <unistd.h>
#define saver_getpid getpid
#endif

namespace fs = std::filesystem;

namespace Packer
{
void PackScriptTo(CInstaller& script, CFile& file)
{
    CExceptionScope scope;
    {
        PackageArchive ar(&file, CArchive::store, 4096, nullptr, PackageFormat::kPassword, TRUE);
        script.Serialize(ar);
        ar.Close();
    }
    if (scope.Failed())
    {
        CString message = scope.GetException()->GetErrorMessage();
        throw std::runtime_error("cannot pack the script: " + std::string((const char*)message));
    }
}

ByteVector PackScript(CInstaller& script)
{
    CMemFile out(1 << 16);
    PackScriptTo(script, out);
    const BYTE* p = out.GetBuffer();
    return ByteVector(p, p + out.GetLength());
}

ByteVector Marker()
{
    CByteArray marker;
    PackageFormat::BuildMarker(marker);
    return ByteVector(marker.GetData(), marker.GetData() + marker.GetSize());
}

long long FindMarker(const ByteVector& bytes)
{
    CByteArray marker;
    PackageFormat::BuildMarker(marker);
    int position = 0;
    if (!CInstObj::FindPattern(bytes.data(), (unsigned)bytes.size(), &position, marker))
        return -1;
    return position;
}

bool ReadFileBytes(const fs::path& path, ByteVector& out, std::string* pError)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
    {
        if (pError != nullptr)
            *pError = fs::exists(path, ec) ? "not a file" : "no such file";
        return false;
    }
    std::uintmax_t n = fs::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (ec || !in)
    {
        if (pError != nullptr)
            *pError = "cannot open it";
        return false;
    }
    out.resize((size_t)n);
    if (n > 0 && !in.read((char*)out.data(), (std::streamsize)n))
    {
        if (pError != nullptr)
            *pError = "cannot read it";
        return false;
    }
    return true;
}

void WriteFileAtomically(const fs::path& path, const std::function<void(CFile&)>& write)
{
    fs::path temp = path;
    temp += ".saverpack-" + std::to_string((long)saver_getpid()) + ".tmp";
    std::error_code ec;
    try
    {
        CExceptionScope scope;
        CFile file;
        if (!file.Open(temp.string().c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary))
            throw std::runtime_error("cannot write " + path.u8string());
        write(file);
        file.Close();
        if (scope.Failed())
        {
            CString message = scope.GetException()->GetErrorMessage();
            throw std::runtime_error("cannot write " + path.u8string() + ": " + (const char*)message);
        }
    }
    catch (...)
    {
        fs::remove(temp, ec);
        throw;
    }
    fs::rename(temp, path, ec);
    if (ec)
    {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw std::runtime_error("cannot write " + path.u8string() + ": " + ec.message());
    }
}

void WriteFileAtomically(const fs::path& path, const std::vector<Piece>& pieces)
{
    WriteFileAtomically(path,
                        [&](CFile& file)
                        {
                            for (const Piece& piece : pieces)
                                for (size_t done = 0; done < piece.size;)
                                {
                                    UINT n = (UINT)std::min<size_t>(piece.size - done, 1u << 30);
                                    file.Write(piece.data + done, n);
                                    done += n;
                                }
                        });
}
} // namespace Packer
