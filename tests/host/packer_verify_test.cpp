// "saverpack verify" names each kind of damage and passes whole installers.
#include <gtest/gtest.h>

#include <string.h>
#include <zlib.h>

#include <functional>

#include "packer/Verify.h"
#include "packer_support.h"
#include "script/PackageFormat.h"

namespace
{
// A package stream around the plain bytes, made with the format's own
// pieces so that each can be set wrong on purpose.
Bytes PackPlain(const Bytes& plain, BYTE version, const char* password)
{
    uLongf n = compressBound((uLong)plain.size());
    Bytes body(n);
    compress(body.data(), &n, plain.data(), (uLong)plain.size());
    body.resize(n);
    PackageFormat::Header header = {
        {'a', 'k', 'z'}, version, (DWORD)plain.size(), PackageFormat::Checksum(body.data(), (UINT)body.size())};
    if (version == PackageFormat::kVersionScrambled)
        PackageFormat::Scramble(body.data(), (UINT)body.size(), password);
    Bytes out(PackageFormat::kHeaderSize);
    PackageFormat::EncodeHeader(header, out.data());
    return out + body;
}

class PackerVerify : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteText(m_dir / "stub.exe", "MZ stub");
        Packer::BuildOptions options;
        options.script = ExampleScripts() + "/tour.json";
        options.output = m_dir / "setup.exe";
        options.stub = m_dir / "stub.exe";
        ASSERT_EQ(RunBuildCommand(options).code, 0);
        m_installer = ReadBytes(m_dir / "setup.exe");
        m_packageStart = 7 + PackageFormat::kMarkerSize;
    }

    // Plain stream of the tour script.
    Bytes Plain() const
    {
        Bytes body(m_installer.begin() + m_packageStart + 12, m_installer.end());
        PackageFormat::Scramble(body.data(), (UINT)body.size(), PackageFormat::kPassword);
        PackageFormat::Header header;
        PackageFormat::DecodeHeader(m_installer.data() + m_packageStart, header);
        Bytes plain(header.plainLength);
        uLongf n = header.plainLength;
        uncompress(plain.data(), &n, body.data(), (uLong)body.size());
        return plain;
    }

    Bytes Installer(const Bytes& package) const
    {
        return Bytes(m_installer.begin(), m_installer.begin() + m_packageStart) + package;
    }

    ScratchDir m_dir;
    Bytes m_installer;
    size_t m_packageStart = 0;
};

TEST_F(PackerVerify, WholeInstallerAndBarePackagePass)
{
    CommandResult r = RunVerifyCommand(m_dir / "setup.exe");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("stub      7 bytes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("checksum"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("13 objects: check 1, define 3, prepare 2, file 2, registry 3, finish1 1, finish2 1"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("carried   2 files, 126 bytes"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("warning"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nOK\n"), std::string::npos);

    WriteFileBytes(m_dir / "bare.pkg", Bytes(m_installer.begin() + m_packageStart, m_installer.end()));
    Packer::VerifyResult bare = Packer::VerifyInstaller(ReadBytes(m_dir / "bare.pkg"));
    EXPECT_TRUE(bare.ok) << bare.failure;
}

TEST_F(PackerVerify, NamesEachDamage)
{
    using namespace PackageFormat;
    const Bytes plain = Plain();
    // The archive's own offset for a stream whose first object names a class
    // nobody registered.
    Bytes badClass = Le32(1) + Le16(1) + Le16(0xFFFF) + Le16(1) + Le16(8) + Text("CNoClass");
    LoadResult expected = LoadBytes(badClass,
                                    [](CArchive& ar)
                                    {
                                        CInstaller script;
                                        script.Serialize(ar);
                                    });
    ASSERT_TRUE(expected.failed);

    struct Case
    {
        const char* name;
        std::function<Bytes()> make;
        std::string failure;
    } const cases[] = {
        {"NoMarker",
         [&]
         {
             Bytes b = m_installer;
             b.erase(b.begin() + 7, b.begin() + m_packageStart);
             return b;
         },
         "no package marker"},
        {"HeaderTruncated", [&] { return Bytes(m_installer.begin(), m_installer.begin() + m_packageStart + 5); },
         "header truncated: 5 bytes follow the marker"},
        {"FlippedBodyByte",
         [&]
         {
             Bytes b = m_installer;
             b[m_packageStart + 12 + 20] ^= 0x01;
             return b;
         },
         "checksum mismatch"},
        {"WrongPassword", [&] { return Installer(PackPlain(plain, kVersionScrambled, "Other")); }, "checksum mismatch"},
        {"ByteAppended", [&] { return m_installer + B({0}); }, "checksum mismatch"},
        {"Version1Garbage",
         [&]
         {
             Bytes package = PackPlain(plain, kVersionPlain, "");
             for (size_t i = 12; i < package.size(); i++)
                 package[i] = (BYTE)(i * 7);
             return Installer(package);
         },
         "body does not decompress"},
        {"PlainLengthWrong",
         [&]
         {
             Bytes b = m_installer;
             Header header;
             DecodeHeader(b.data() + m_packageStart, header);
             header.plainLength++;
             EncodeHeader(header, b.data() + m_packageStart);
             return b;
         },
         "does not decompress to its length"},
        {"ArchiveErrorWithOffset", [&] { return Installer(PackPlain(badClass, kVersionScrambled, kPassword)); },
         "archive error at byte " + std::to_string(expected.position) + " of the plain stream: bad class"},
        {"TruncatedScript",
         [&] { return Installer(PackPlain(Bytes(plain.begin(), plain.begin() + 40), kVersionScrambled, kPassword)); },
         "end of file"},
        {"ScriptVersion2",
         [&]
         {
             Bytes p = plain;
             p[0] = 2;
             return Installer(PackPlain(p, kVersionScrambled, kPassword));
         },
         "script version 2"},
    };
    for (const Case& c : cases)
    {
        WriteFileBytes(m_dir / "damaged.exe", c.make());
        CommandResult r = RunVerifyCommand(m_dir / "damaged.exe");
        EXPECT_EQ(r.code, Packer::kExitFailed) << c.name;
        EXPECT_NE(r.err.find(c.failure), std::string::npos) << c.name << ": " << r.err;
        // dump names the same fault instead of printing a script; the
        // installer loads the script of another version as an empty one.
        if (c.failure.find("script version") != std::string::npos)
            continue;
        Packer::DumpOptions dump;
        dump.input = m_dir / "damaged.exe";
        CommandResult d = RunDumpCommand(dump);
        EXPECT_EQ(d.code, Packer::kExitFailed) << c.name;
        EXPECT_EQ(d.out, "") << c.name;
    }
}

// Streams the installer accepts but a build never makes are reported, not
// refused: a plain version-1 package and a stream without signature.
TEST_F(PackerVerify, ToleratedOdditiesAreWarnings)
{
    const Bytes plain = Plain();
    Packer::VerifyResult v1 = Packer::VerifyInstaller(Installer(PackPlain(plain, PackageFormat::kVersionPlain, "")));
    EXPECT_TRUE(v1.ok) << v1.failure;
    ASSERT_EQ(v1.warnings.size(), 1u);
    EXPECT_NE(v1.warnings[0].find("not scrambled"), std::string::npos);

    Packer::VerifyResult raw = Packer::VerifyInstaller(Installer(Bytes(12, 'x') + plain));
    EXPECT_TRUE(raw.ok) << raw.failure;
    ASSERT_EQ(raw.warnings.size(), 1u);
    EXPECT_NE(raw.warnings[0].find("uncompressed"), std::string::npos);
}
} // namespace
