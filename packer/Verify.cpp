// Checking an installer file step by step.
#include "packer/Verify.h"

#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <map>

#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "objects/InstObjFile.h"
#include "packer/Kinds.h"
#include "packer/Package.h"
#include "packer/ScriptCheck.h"
#include "script/Installer.h"
#include "script/PackageFormat.h"
#include "script/PeSignature.h"

namespace Packer
{
namespace
{
std::string Hex32(DWORD dw)
{
    char s[16];
    snprintf(s, sizeof s, "0x%08lx", (unsigned long)dw);
    return s;
}

std::string Line(const char* label, const std::string& text)
{
    std::string s = label;
    s.resize(10, ' ');
    return s + text;
}

std::string ZlibStatus(int z)
{
    switch (z)
    {
    case Z_DATA_ERROR:
        return "the data is not a valid zlib stream";
    case Z_BUF_ERROR:
        return "the stream ends early or inflates to more than the header's plain length";
    case Z_MEM_ERROR:
        return "out of memory";
    default:
        return "zlib status " + std::to_string(z);
    }
}

// Summary of a loaded script: objects per list and kind, carried bytes.
void Summarize(const CInstaller& script, VerifyResult& r)
{
    std::string lists;
    std::map<std::string, int> kinds;
    int nObjects = 0, nCarried = 0;
    unsigned long long nCarriedBytes = 0;
    for (const ListInfo& list : Lists())
    {
        const CObList& objects = script.*(list.member);
        lists += std::string(lists.empty() ? "" : ", ") + list.name + " " + std::to_string(objects.GetCount());
        for (POSITION pos = objects.GetHeadPosition(); pos != nullptr;)
        {
            CObject* p = objects.GetNext(pos);
            const KindInfo* kind = KindOf(p);
            kinds[kind != nullptr ? kind->name : "?"]++;
            nObjects++;
            if (p != nullptr && p->IsKindOf(RUNTIME_CLASS(CInstObjFile)))
            {
                nCarried++;
                nCarriedBytes += (unsigned long long)((CInstObjFile*)p)->m_Content.GetSize();
            }
        }
    }
    std::string byKind;
    for (const auto& k : kinds)
        byKind += std::string(byKind.empty() ? "" : ", ") + k.first + " " + std::to_string(k.second);
    r.lines.push_back(Line("script", "version " + std::to_string(script.m_nVersion) + ", " + std::to_string(nObjects) +
                                         " objects: " + lists));
    if (!byKind.empty())
        r.lines.push_back(Line("kinds", byKind));
    r.lines.push_back(
        Line("carried", std::to_string(nCarried) + " files, " + std::to_string(nCarriedBytes) + " bytes"));
}

bool Fail(VerifyResult& r, const std::string& failure)
{
    r.ok = false;
    r.failure = failure;
    return false;
}

bool Check(const ByteVector& file, VerifyResult& r)
{
    using namespace PackageFormat;
    size_t start;
    long long marker = FindMarker(file);
    if (marker >= 0)
    {
        start = (size_t)marker + kMarkerSize;
        r.lines.push_back(Line("stub", std::to_string(marker) + " bytes, then the marker"));
    }
    else if (file.size() >= 3 && memcmp(file.data(), kSignature, 3) == 0)
    {
        start = 0;
        r.lines.push_back(Line("stub", "none: a bare package stream"));
    }
    else
        return Fail(r, "no package marker: not an installer (nor a package stream)");

    // A signed installer's package ends where its signature begins.
    SignatureInfo signature = FindSignature(file, start);
    if (signature.present)
    {
        std::string text = std::to_string(signature.size) + " bytes at offset " + std::to_string(signature.offset) +
                           ": the installer is signed; the package ends ";
        size_t nPadding = signature.offset - signature.packageEnd;
        r.lines.push_back(Line("signature", text + (nPadding == 0 ? "there" : "in front of the signing tool's " +
                                                                                  std::to_string(nPadding) +
                                                                                  " bytes of padding")));
    }
    else
        r.lines.push_back(Line("signature", "none: the installer is not signed"));
    size_t n = signature.packageEnd - start;
    if (n < kHeaderSize)
        return Fail(r, "header truncated: " + std::to_string(n) + " bytes follow the marker, a header has " +
                           std::to_string(kHeaderSize));
    Header header;
    DecodeHeader(file.data() + start, header);
    const BYTE* pBody = file.data() + start + kHeaderSize;
    size_t m = n - kHeaderSize;
    ByteVector plain;

    if (!HasSignature(header))
    {
        r.warnings.push_back("no \"akz\" signature: the installer reads the bytes behind the first 12 as an "
                             "uncompressed script");
        r.lines.push_back(
            Line("package", std::to_string(n) + " bytes at offset " + std::to_string(start) + ", uncompressed"));
        plain.assign(pBody, pBody + m);
    }
    else
    {
        ByteVector body(pBody, pBody + m);
        std::string version = "version " + std::to_string(header.version);
        if (header.version == kVersionScrambled)
        {
            Scramble(body.data(), (UINT)body.size(), kPassword);
            DWORD sum = Checksum(body.data(), (UINT)body.size());
            if (sum != header.checksum)
                return Fail(r, "checksum mismatch: the header has " + Hex32(header.checksum) + ", the body gives " +
                                   Hex32(sum) + " (wrong password or damaged body)");
            version += ", checksum " + Hex32(sum) + " matches";
        }
        else
            r.warnings.push_back("version " + std::to_string(header.version) +
                                 ": the body is not scrambled and its checksum is not checked");
        r.lines.push_back(
            Line("package", std::to_string(n) + " bytes at offset " + std::to_string(start) + ", " + version));

        if ((unsigned long long)header.plainLength > (unsigned long long)m * kMaxInflateRatio + 64)
            return Fail(r, "body does not decompress: the header's plain length of " +
                               std::to_string(header.plainLength) + " bytes is more than " + std::to_string(m) +
                               " compressed bytes can hold");
        plain.resize(header.plainLength > 0 ? header.plainLength : 1);
        uLongf nPlain = header.plainLength;
        int z = uncompress(plain.data(), &nPlain, body.data(), (uLong)body.size());
        if (z != Z_OK)
            return Fail(r, "body does not decompress: " + ZlibStatus(z));
        if (nPlain != header.plainLength)
            return Fail(r, "body does not decompress to its length: " + std::to_string(nPlain) +
                               " bytes, the header says " + std::to_string(header.plainLength));
        plain.resize(nPlain);
        r.lines.push_back(
            Line("body", std::to_string(m) + " bytes compressed, " + std::to_string(nPlain) + " bytes plain"));
    }

    // The script, read by the archive straight from the plain stream, so
    // that an error's offset is an offset in it.
    CInstaller::RegisterClasses();
    CInstaller script;
    {
        CExceptionScope scope;
        CMemFile mem(plain.data(), (UINT)plain.size(), 0);
        CArchive ar(&mem, CArchive::load | CArchive::bNoFlushOnDelete, 4096);
        script.Serialize(ar);
        DWORD nRead = ar.GetPosition();
        ar.Abort();
        mem.Detach();
        if (CArchiveException* e = (CArchiveException*)scope.GetExceptionOf(RUNTIME_CLASS(CArchiveException)))
            return Fail(r, "archive error at byte " + std::to_string(e->m_dwPosition) +
                               " of the plain stream: " + std::string((const char*)e->GetErrorMessage()) + " (cause " +
                               std::to_string(e->m_cause) + ")");
        if (scope.Failed())
            return Fail(r, "the script cannot be read: " +
                               std::string((const char*)scope.GetException()->GetErrorMessage()));
        if (nRead < plain.size())
            r.warnings.push_back(std::to_string(plain.size() - nRead) + " bytes behind the script are never read");
    }
    if (script.m_nVersion != 1)
        return Fail(r, "script version " + std::to_string(script.m_nVersion) +
                           ": the installer loads it as an empty script");
    Summarize(script, r);
    for (const Problem& p : CheckScript(script))
        r.warnings.push_back(p.where + ": " + p.message);

    // Last, the installer's own loader on the same bytes.
    CInstaller loaded;
    CMemFile stream(const_cast<BYTE*>(file.data() + start), (UINT)n, 0);
    int result = loaded.LoadPackageStream(stream);
    stream.Detach();
    if (result != ERR_OK)
        return Fail(r, "the installer's loader refuses the package (error " + std::to_string(result) + ")");
    r.ok = true;
    return true;
}
} // namespace

SignatureInfo FindSignature(const ByteVector& file, size_t nStart)
{
    SignatureInfo info;
    info.packageEnd = file.size();
    if (nStart > file.size())
        return info;
    CExceptionScope scope;
    CMemFile mem(const_cast<BYTE*>(file.data()), (UINT)file.size(), 0);
    mem.Seek((LONG)nStart, CFile::begin);
    bool bSigned = false;
    DWORD dwEnd = PeSignature::FindPackageEnd(mem, &bSigned);
    mem.Detach();
    if (scope.Failed())
        return info;
    PeSignature::Table table;
    if (bSigned &&
        PeSignature::ReadCertificateTable(file.data(), (UINT)std::min(file.size(), (size_t)PeSignature::kHeadSize),
                                          table))
    {
        info.present = true;
        info.offset = table.offset;
        info.size = table.size;
    }
    info.packageEnd = dwEnd;
    return info;
}

VerifyResult VerifyInstaller(const ByteVector& file)
{
    VerifyResult r;
    Check(file, r);
    return r;
}
} // namespace Packer
