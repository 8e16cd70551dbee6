// The package stream: header, scrambling, checksum, compression; and finding
// the package in a program file.
#include <gtest/gtest.h>

#include <string.h>
#include <zlib.h>

#include "objects/InstObjDefine.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"
#include "support/TestSupport.h"

namespace
{
std::vector<std::string> g_messages;
void RecordMessage(const char* text)
{
    g_messages.push_back(text);
}

class PackageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CInstaller::RegisterClasses();
        g_messages.clear();
        m_previous = PackageArchive::SetMessageHandler(RecordMessage);
    }
    void TearDown() override { PackageArchive::SetMessageHandler(m_previous); }
    PackageMessageHandler m_previous = nullptr;
};

// A package stream holding whatever fn writes.
Bytes Pack(const char* password, const std::function<void(CArchive&)>& fn)
{
    Bytes package = PackBytes(password, fn);
    EXPECT_FALSE(package.empty());
    return package;
}

Bytes PlainOf(size_t n)
{
    Bytes plain(n);
    for (size_t i = 0; i < n; i++)
        plain[i] = (BYTE)(i * 31 + i / 7);
    return plain;
}

struct Unpacked
{
    bool failed = false;
    std::string exceptionClass;
    Bytes plain;
};

// Loads the stream the way the installer does and returns the plain stream.
Unpacked Unpack(const Bytes& stream, const char* password, BOOL compressed = TRUE)
{
    Unpacked result;
    CExceptionScope scope;
    Bytes copy(stream);
    CMemFile in(copy.empty() ? nullptr : copy.data(), (UINT)copy.size());
    {
        PackageArchive ar(&in, CArchive::load | CArchive::bNoFlushOnDelete, 4096, nullptr, password, compressed);
        BYTE b;
        while (!scope.Failed() && ar.Read(&b, 1) == 1)
            result.plain.push_back(b);
        ar.Close();
    }
    if (CException* e = scope.GetException())
    {
        result.failed = true;
        result.exceptionClass = e->GetRuntimeClass()->m_lpszClassName;
    }
    return result;
}

PackageFormat::Header HeaderOf(const Bytes& stream)
{
    PackageFormat::Header h;
    PackageFormat::DecodeHeader(stream.data(), h);
    return h;
}
}  // namespace

TEST_F(PackageTest, StoredStreamLoadsBackAndItsHeaderDescribesTheBody)
{
    Bytes plain = PlainOf(5000);  // beyond the first 1024-byte block
    Bytes stream = Pack("Quill", [&](CArchive& ar) { ar.Write(plain.data(), (UINT)plain.size()); });
    ASSERT_GT(stream.size(), 12u);
    PackageFormat::Header h = HeaderOf(stream);
    EXPECT_EQ(std::string((const char*)h.signature, 3), "akz");
    EXPECT_EQ(h.version, 3);
    EXPECT_EQ(h.plainLength, 5000u);

    // The checksum covers the compressed bytes before scrambling; "Quill"
    // XORs every byte with 0x4D.
    Bytes body(stream.begin() + 12, stream.end());
    for (BYTE& b : body)
        b ^= 0x4D;
    EXPECT_EQ(h.checksum, (DWORD)adler32(1, body.data(), (uInt)body.size()));
    Bytes inflated(5000);
    uLongf n = 5000;
    ASSERT_EQ(uncompress(inflated.data(), &n, body.data(), (uLong)body.size()), Z_OK);
    EXPECT_TRUE(inflated == plain);

    Unpacked u = Unpack(stream, "Quill");
    EXPECT_FALSE(u.failed);
    EXPECT_TRUE(u.plain == plain);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(PackageTest, EmptyPasswordWritesVersionOneUnscrambled)
{
    Bytes plain = PlainOf(100);
    Bytes stream = Pack("", [&](CArchive& ar) { ar.Write(plain.data(), (UINT)plain.size()); });
    EXPECT_EQ(HeaderOf(stream).version, 1);
    Bytes inflated(100);
    uLongf n = 100;
    EXPECT_EQ(uncompress(inflated.data(), &n, stream.data() + 12, (uLong)stream.size() - 12), Z_OK);
    // Any version but 3 is read without unscrambling or checksum test, even
    // with a password.
    Unpacked u = Unpack(stream, "Quill");
    EXPECT_FALSE(u.failed);
    EXPECT_TRUE(u.plain == plain);
}

TEST_F(PackageTest, DamagedOrForeignStreams)
{
    Bytes plain = PlainOf(3000);
    Bytes good = Pack("Quill", [&](CArchive& ar) { ar.Write(plain.data(), (UINT)plain.size()); });
    Bytes plainV1 = Pack("", [&](CArchive& ar) { ar.Write(plain.data(), (UINT)plain.size()); });

    Bytes appended = good + B({0x00});
    Bytes flipped = good;
    flipped[good.size() / 2] ^= 1;
    Bytes garbageV1 = Text("akz") + B({1}) + Le32(100) + Le32(0) + Text("this is no zlib stream");
    Bytes forgedLength = plainV1;
    forgedLength[4] = forgedLength[5] = forgedLength[6] = forgedLength[7] = 0xFF;
    Bytes shortLength = plainV1;
    shortLength[4] = 10;  // the body inflates to more than the header says
    shortLength[5] = shortLength[6] = shortLength[7] = 0;

    struct Case
    {
        const char* what;
        Bytes stream;
        const char* password;
        const char* exception;  // null: loads
        bool message;
    } cases[] = {
        {"wrong password", good, "Quilt", "CUserException", true},
        {"empty password on a version-3 stream", good, "", "CUserException", true},
        {"one byte appended", appended, "Quill", "CUserException", true},
        {"one bit flipped", flipped, "Quill", "CUserException", true},
        {"body that does not inflate", garbageV1, "Quill", "CArchiveException", false},
        {"plain length beyond what the body can give", forgedLength, "Quill", "CArchiveException", false},
        {"plain length shorter than the body", shortLength, "Quill", "CArchiveException", false},
        {"shorter than a header", Text("akz") + B({3, 0, 0}), "Quill", "CArchiveException", false},
        {"empty", Bytes(), "Quill", "CArchiveException", false},
    };
    for (const Case& c : cases)
    {
        g_messages.clear();
        Unpacked u = Unpack(c.stream, c.password);
        EXPECT_TRUE(u.failed) << c.what;
        EXPECT_EQ(u.exceptionClass, c.exception) << c.what;
        EXPECT_EQ(g_messages.size(), c.message ? 1u : 0u) << c.what;
        if (c.message && !g_messages.empty())
            EXPECT_EQ(g_messages[0], "Password incorrect!!!");
    }
}

TEST_F(PackageTest, WithoutSignatureTheBytesBehindTheHeaderAreThePlainStream)
{
    Bytes stream = Text("xyz") + B({3}) + Bytes(8, 0xEE) + Text("plain archive bytes");
    Unpacked u = Unpack(stream, "Quill");
    EXPECT_FALSE(u.failed);
    EXPECT_EQ(std::string(u.plain.begin(), u.plain.end()), "plain archive bytes");
}

TEST_F(PackageTest, UncompressedArchiveReadsTheFileDirectly)
{
    Unpacked u = Unpack(Text("akz plain"), "", FALSE);
    EXPECT_FALSE(u.failed);
    EXPECT_EQ(std::string(u.plain.begin(), u.plain.end()), "akz plain");
}

TEST_F(PackageTest, ScrambleIsItsOwnInverseAndRefusesAnEmptyPassword)
{
    BYTE data[4] = {0x00, 0x4D, 0xFF, 0x10};
    EXPECT_FALSE(PackageFormat::Scramble(data, 4, ""));
    EXPECT_EQ(data[1], 0x4D);
    EXPECT_TRUE(PackageFormat::Scramble(data, 4, "Quill"));
    EXPECT_EQ(data[0], 0x4D);
    EXPECT_EQ(data[1], 0x00);
    EXPECT_TRUE(PackageFormat::Scramble(data, 4, "Quill"));
    EXPECT_EQ(data[2], 0xFF);

    // Every byte is changed alike, whatever its place against the machine
    // words the work is done in, and nothing beyond the length is touched.
    Bytes buffer(48);
    for (size_t start = 0; start < 9; start++)
        for (size_t length = 0; length < 30; length++)
        {
            for (size_t i = 0; i < buffer.size(); i++)
                buffer[i] = (BYTE)(i * 37);
            PackageFormat::Scramble(&buffer[start], (UINT)length, "Quill");
            for (size_t i = 0; i < buffer.size(); i++)
            {
                bool inside = i >= start && i < start + length;
                ASSERT_EQ(buffer[i], (BYTE)(i * 37) ^ (inside ? 0x4D : 0)) << start << "+" << length << " @" << i;
            }
        }
}

namespace
{
Bytes ScriptPackage(const char* name)
{
    CInstaller script;
    CInstObjDefine* define = new CInstObjDefine;
    define->SetVariable(name, "value");
    script.m_DefineList.AddTail(define);
    return Pack("Quill", [&](CArchive& ar) { script.Serialize(ar); });
}

Bytes Marker()
{
    return Text("XX") + Text("ataDfOnigeB") + Text("YY");
}

int LoadFromFile(const Bytes& file, CString* pFirstName = nullptr)
{
    ScratchDir dir;
    std::string path = dir / "setup.exe";
    if (!WriteFileBytes(path, file))
        return -1;
    CInstaller script;
    int r = script.LoadPackage(path.c_str());
    if (pFirstName != nullptr && script.m_DefineList.GetCount() > 0)
        *pFirstName = ((CInstObjDefine*)script.m_DefineList.GetHead())->m_strName;
    return r;
}
}  // namespace

TEST_F(PackageTest, MarkerIsBuiltFromItsPieces)
{
    CByteArray marker;
    PackageFormat::BuildMarker(marker);
    ASSERT_EQ(marker.GetSize(), 15);
    EXPECT_EQ(std::string((const char*)marker.GetData(), 15), "XXataDfOnigeBYY");
}

TEST_F(PackageTest, LoadPackageFindsTheFirstCompleteMarker)
{
    Bytes image = Text("MZ image bytes \x01\x02\x03");
    Bytes package = ScriptPackage("Found");
    Bytes marker = Marker();
    Bytes firstFourteen(marker.begin(), marker.end() - 1);
    struct Case
    {
        const char* what;
        Bytes file;
        int result;
    } cases[] = {
        {"marker then package", image + Marker() + package, ERR_OK},
        {"three X before the rest", image + Text("X") + Marker() + package, ERR_OK},
        {"fourteen bytes, later the whole marker", image + firstFourteen + Text("junk") + Marker() + package, ERR_OK},
        {"marker across a read chunk", Bytes(256 * 1024 - 7, 'X') + Marker() + package, ERR_OK},
        {"fourteen bytes at a chunk end, the marker later",
         Bytes(256 * 1024 - 14, 'M') + firstFourteen + Bytes(300000, 'N') + Marker() + package, ERR_OK},
        {"no marker", image + package, ERR_NO_MARKER},
        {"file ends inside the marker", image + firstFourteen, ERR_NO_MARKER},
        {"nothing behind the marker", image + Marker(), ERR_FAILED},
        {"damaged package", image + Marker() + Bytes(package.begin(), package.end() - 3), ERR_FAILED},
        {"byte appended", image + Marker() + package + B({0}), ERR_FAILED},
    };
    for (const Case& c : cases)
    {
        CString name;
        EXPECT_EQ(LoadFromFile(c.file, &name), c.result) << c.what;
        if (c.result == ERR_OK)
            EXPECT_EQ(name, "Found") << c.what;
    }
    CInstaller script;
    EXPECT_EQ(script.LoadPackage("no-such-dir-x/setup.exe"), ERR_FAILED);
}
