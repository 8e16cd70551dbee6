// A signed installer: the package ends where the certificate table begins,
// and a forged table neither reads out of bounds nor lets a damaged package
// through.
#include <gtest/gtest.h>

#include "objects/InstObjDefine.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PeSignature.h"
#include "support/TestSupport.h"

namespace
{
const size_t kPeOffset = 0x80;

class SignatureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CInstaller::RegisterClasses();
        m_previous = PackageArchive::SetMessageHandler(nullptr);
    }
    void TearDown() override { PackageArchive::SetMessageHandler(m_previous); }
    PackageMessageHandler m_previous = nullptr;
};

void Put32(Bytes& b, size_t at, unsigned long v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = (BYTE)(v >> (8 * i));
}

void Put16(Bytes& b, size_t at, unsigned v)
{
    b[at] = (BYTE)v;
    b[at + 1] = (BYTE)(v >> 8);
}

// Image headers as a linker writes them, nothing else: DOS header, "PE",
// file header, optional header with 16 data directories; nExtra more bytes.
Bytes Image(bool b64, size_t nExtra = 0)
{
    Bytes image(0x200 + nExtra, 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3c, kPeOffset);
    image[kPeOffset] = 'P';
    image[kPeOffset + 1] = 'E';
    Put16(image, kPeOffset + 4, b64 ? 0x8664 : 0x14c);
    Put16(image, kPeOffset + 20, b64 ? 240 : 224);  // size of the optional header
    size_t optional = kPeOffset + 24;
    Put16(image, optional, b64 ? 0x20b : 0x10b);
    Put32(image, optional + (b64 ? 108 : 92), 16);
    return image;
}

size_t EntryAt(bool b64)
{
    return kPeOffset + 24 + (b64 ? 112 : 96) + 8 * 4;
}

void SetEntry(Bytes& file, bool b64, unsigned long offset, unsigned long size)
{
    Put32(file, EntryAt(b64), offset);
    Put32(file, EntryAt(b64) + 4, size);
}

// What a signing tool does: zero bytes up to a multiple of 8, the table
// behind them, and the entry pointing at it.
Bytes Sign(Bytes file, bool b64)
{
    while (file.size() % 8 != 0)
        file.push_back(0);
    Bytes table = Le32(24) + Le16(0x200) + Le16(2) + Bytes(16, 0x30);
    SetEntry(file, b64, (unsigned long)file.size(), (unsigned long)table.size());
    return file + table;
}

Bytes Marker()
{
    return Text("XX") + Text("ataDfOnigeB") + Text("YY");
}

Bytes ScriptPackage(const std::string& name)
{
    CInstaller script;
    CInstObjDefine* define = new CInstObjDefine;
    define->SetVariable(name.c_str(), "value");
    script.m_DefineList.AddTail(define);
    return PackBytes("Quill", [&](CArchive& ar) { script.Serialize(ar); });
}

// The first define's name, or the load's error.
std::string Load(const Bytes& file, bool bBackground = false)
{
    ScratchDir dir;
    std::string path = dir / "setup.exe";
    if (!WriteFileBytes(path, file))
        return "cannot write";
    CInstaller script;
    int r = bBackground ? script.BeginLoadPackage(path.c_str()) : script.LoadPackage(path.c_str());
    if (r == ERR_OK && bBackground)
        r = script.Run();  // takes the objects as the reader delivers them
    if (r != ERR_OK)
        return "error " + std::to_string(r);
    if (script.m_DefineList.GetCount() == 0)
        return "empty";
    return (const char*)((CInstObjDefine*)script.m_DefineList.GetHead())->m_strName;
}
}  // namespace

TEST_F(SignatureTest, SignedInstallerLoadsWhateverThePadding)
{
    Bytes package = ScriptPackage("Signed");
    for (bool b64 : {false, true})
        for (size_t extra = 0; extra < 8; extra++)  // every length of padding
        {
            Bytes file = Sign(Image(b64, extra) + Marker() + package, b64);
            EXPECT_EQ(Load(file), "Signed") << b64 << " +" << extra;
        }
    Bytes file = Sign(Image(true, 3) + Marker() + package, true);
    EXPECT_EQ(Load(file, true), "Signed") << "read on a thread of its own";
}

TEST_F(SignatureTest, ZeroBytesOfTheBodyAreNotTakenForPadding)
{
    // A body whose last byte is stored as zero, followed by the padding:
    // only the padding may go.
    Bytes package;
    std::string name;
    // The stored last byte is the low byte of the plain stream's byte sum
    // (Adler-32), scrambled: each odd letter more moves it by one step.
    for (int i = 0; i < 1024 && (package.empty() || package.back() != 0); i++)
        package = ScriptPackage(name = "Name" + std::string(i, 'y'));
    ASSERT_EQ(package.back(), 0) << "no package ends in a zero byte";
    for (size_t extra = 0; extra < 8; extra++)
    {
        Bytes unsigned_ = Image(false, extra) + Marker() + package;
        EXPECT_EQ(Load(Sign(unsigned_, false)), name) << "+" << extra;
    }
}

TEST_F(SignatureTest, DamageInASignedPackageIsStillFound)
{
    Bytes package = ScriptPackage("Signed");
    Bytes image = Image(false, 1);
    size_t start = image.size() + 15;
    Bytes file = Sign(image + Marker() + package, false);
    for (size_t at : {start + 12, start + package.size() / 2, start + package.size() - 1})
    {
        Bytes damaged = file;
        damaged[at] ^= 0x01;
        EXPECT_EQ(Load(damaged), "error 1") << "byte " << at;
    }
    Bytes behind = file;
    behind.insert(behind.end() - 24, 0x01);  // not padding
    SetEntry(behind, false, (unsigned long)(behind.size() - 24), 24);
    EXPECT_EQ(Load(behind), "error 1") << "byte between package and table";
}

TEST_F(SignatureTest, ForgedTablesAreIgnoredOrRefused)
{
    Bytes package = ScriptPackage("Plain");
    const bool b64 = false;
    Bytes plain = Image(b64) + Marker() + package;  // no table appended
    unsigned long length = (unsigned long)plain.size();
    unsigned long start = (unsigned long)(Image(b64).size() + 15);
    Bytes signed_ = Sign(plain, b64);
    unsigned long signedLength = (unsigned long)signed_.size();

    struct Case
    {
        const char* what;
        Bytes file;
        unsigned long offset, size;
        std::string result;
    } cases[] = {
        // Without a table the entry is ignored and the package runs to the end.
        {"before the marker, to the end", plain, 0x100, length - 0x100, "Plain"},
        {"outside the file", plain, length + 8, 64, "Plain"},
        {"far outside the file", plain, 0xFFFFFF00ul, 0x100, "Plain"},
        {"wrapping round to the end", plain, 0xFFFFFFF0ul, length + 0x10, "Plain"},
        {"in the package, short of the end", plain, length - 16, 8, "Plain"},
        {"beyond the end", plain, length - 16, 32, "Plain"},
        {"too small for a certificate", plain, length - 4, 4, "Plain"},
        // With one appended, an ignored entry leaves it in the body.
        {"signed, entry before the marker", signed_, 0x100, signedLength - 0x100, "error 1"},
        {"signed, entry short of the end", signed_, signedLength - 24, 16, "error 1"},
        // A table inside the package cuts it short: the checksum fails.
        {"into the package", plain, length - 40, 40, "error 1"},
        {"at the package's start", plain, start, length - start, "error 1"},
        {"into the package header", plain, start + 4, length - start - 4, "error 1"},
    };
    for (const Case& c : cases)
    {
        Bytes file = c.file;
        SetEntry(file, b64, c.offset, c.size);
        EXPECT_EQ(Load(file), c.result) << c.what;
    }
}

TEST_F(SignatureTest, HeadersThatDoNotHoldTheEntry)
{
    // Each of these headers is read as "no table": a signed file then keeps
    // its table in the body and fails, an unsigned one loads.
    Bytes package = ScriptPackage("Plain");
    struct Case
    {
        const char* what;
        std::function<void(Bytes&)> forge;
    } cases[] = {
        {"no MZ", [](Bytes& f) { f[0] = 'N'; }},
        {"image header beyond the bytes read", [](Bytes& f) { Put32(f, 0x3c, 0xFFFFFFF0ul); }},
        {"image header at the end of the bytes read", [](Bytes& f) { Put32(f, 0x3c, PeSignature::kHeadSize - 8); }},
        {"no PE", [](Bytes& f) { f[kPeOffset + 1] = 'X'; }},
        {"unknown magic", [](Bytes& f) { Put16(f, kPeOffset + 24, 0x107); }},
        {"four data directories", [](Bytes& f) { Put32(f, kPeOffset + 24 + 92, 4); }},
        {"optional header too short", [](Bytes& f) { Put16(f, kPeOffset + 20, 96 + 32); }},
    };
    for (const Case& c : cases)
    {
        Bytes plain = Image(false) + Marker() + package;
        SetEntry(plain, false, (unsigned long)plain.size() - 40, 40);  // would cut into the package
        c.forge(plain);
        EXPECT_EQ(Load(plain), "Plain") << c.what;
        Bytes signed_ = Sign(Image(false) + Marker() + package, false);
        c.forge(signed_);
        EXPECT_EQ(Load(signed_), "error 1") << c.what;
    }
    // The file ends inside the headers.
    Bytes image = Image(true);
    for (size_t n : {size_t(0), size_t(2), size_t(0x40), kPeOffset + 3, EntryAt(true) + 4})
    {
        PeSignature::Table table;
        EXPECT_FALSE(PeSignature::ReadCertificateTable(image.data(), (UINT)n, table)) << n;
    }
}
