// Installers signed with osslsigncode: the signature verifies, saverpack
// finds the package in front of it, and damage behind the signature's back
// is still caught.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <memory>

#include "packer_support.h"

namespace
{
std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

// Image headers and nothing else (no sections): enough for the signing tool,
// and always at hand, unlike the Windows stubs that other presets build.
Bytes MinimalImage()
{
    Bytes image(0x200, 0);
    auto put = [&](size_t at, unsigned long v, int n)
    {
        for (int i = 0; i < n; i++)
            image[at + i] = (BYTE)(v >> (8 * i));
    };
    image[0] = 'M';
    image[1] = 'Z';
    put(0x3c, 0x80, 4);
    image[0x80] = 'P';
    image[0x81] = 'E';
    put(0x84, 0x14c, 2);
    put(0x80 + 20, 224, 2);     // size of the optional header
    put(0x98, 0x10b, 2);        // PE32
    put(0x98 + 60, 0x200, 4);   // size of the headers
    put(0x98 + 92, 16, 4);      // data directories
    return image;
}

class PackerSigning : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir.reset(new ScratchDir);
        s_tools = system("command -v openssl >/dev/null && command -v osslsigncode >/dev/null") == 0;
        if (s_tools)
            s_tools = Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=SaverSetup Test Signer' -keyout " +
                          Quote(*s_dir / "key.pem") + " -out " + Quote(*s_dir / "cert.pem"));
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        if (!s_tools)
            GTEST_SKIP() << "openssl or osslsigncode is missing (scripts/setup.sh installs them)";
        m_previous = PackageArchive::SetMessageHandler(nullptr);
    }
    void TearDown() override { PackageArchive::SetMessageHandler(m_previous); }

    // Runs a shell command, its output into the scratch folder's log.
    static bool Run(const std::string& command)
    {
        std::string log = *s_dir / "command.log";
        bool ok = system((command + " >" + Quote(log) + " 2>&1").c_str()) == 0;
        if (!ok)
        {
            Bytes text = ReadBytes(log);
            ADD_FAILURE() << command << "\n" << std::string(text.begin(), text.end());
        }
        return ok;
    }

    static bool Sign(const std::string& in, const std::string& out)
    {
        // The signing tool does not overwrite its output.
        return Run("rm -f " + Quote(out) + " && osslsigncode sign -certs " + Quote(*s_dir / "cert.pem") + " -key " + Quote(*s_dir / "key.pem") +
                   " -n 'Test Saver' -h sha256 -in " + Quote(in) + " -out " + Quote(out));
    }

    static std::unique_ptr<ScratchDir> s_dir;
    static bool s_tools;
    PackageMessageHandler m_previous = nullptr;
};

std::unique_ptr<ScratchDir> PackerSigning::s_dir;
bool PackerSigning::s_tools = false;
}  // namespace

TEST_F(PackerSigning, SignedInstallerVerifiesAndLoads)
{
    struct Stub
    {
        std::string name;
        std::string path;
    };
    std::string minimal = *s_dir / "minimal.exe";
    WriteFileBytes(minimal, MinimalImage());
    std::vector<Stub> stubs = {{"minimal image", minimal}};
    for (const char* preset : {"win32", "win64"})
    {
        std::string path = std::string(SAVER_TEST_SOURCE_DIR) + "/build/" + preset + "/bin/setup.exe";
        if (FileExists(path))
            stubs.push_back({std::string(preset) + " stub", path});
    }
    for (const char* script : {"hello.json", "tour.json"})
        for (const Stub& stub : stubs)
        {
            SCOPED_TRACE(stub.name + ", " + std::string(script));
            std::string setup = *s_dir / "setup.exe", signedSetup = *s_dir / "signed.exe";
            Packer::BuildOptions build;
            build.script = ExampleScripts() + "/" + script;
            build.output = setup;
            build.stub = stub.path;
            ASSERT_EQ(RunBuildCommand(build).code, 0);
            ASSERT_TRUE(Sign(setup, signedSetup));
            EXPECT_TRUE(Run("osslsigncode verify -CAfile " + Quote(*s_dir / "cert.pem") + " -in " + Quote(signedSetup)));

            CommandResult plain = RunVerifyCommand(setup);
            EXPECT_EQ(plain.code, 0) << plain.err;
            EXPECT_NE(plain.out.find("not signed"), std::string::npos) << plain.out;
            CommandResult verified = RunVerifyCommand(signedSetup);
            EXPECT_EQ(verified.code, 0) << verified.err << verified.out;
            EXPECT_NE(verified.out.find("the installer is signed"), std::string::npos) << verified.out;
            EXPECT_NE(verified.out.find("OK"), std::string::npos) << verified.out;

            // dump reads the signed file through the installer's own loader.
            Packer::DumpOptions dump;
            dump.input = signedSetup;
            CommandResult dumped = RunDumpCommand(dump);
            EXPECT_EQ(dumped.code, 0) << dumped.err;
            EXPECT_NE(dumped.err.find("is signed"), std::string::npos) << dumped.err;
            dump.input = setup;
            EXPECT_EQ(dumped.out, RunDumpCommand(dump).out);

            // One changed package byte: the signature's hash no longer
            // matches, and the package's own checksum fails as before.
            Bytes bytes = ReadBytes(signedSetup);
            Bytes original = ReadBytes(setup);
            size_t at = original.size() - 10;
            bytes[at] ^= 0x20;
            std::string damaged = *s_dir / "damaged.exe";
            WriteFileBytes(damaged, bytes);
            CommandResult r = RunVerifyCommand(damaged);
            EXPECT_EQ(r.code, Packer::kExitFailed);
            EXPECT_NE(r.err.find("checksum mismatch"), std::string::npos) << r.err;
            CInstaller loaded;
            EXPECT_EQ(loaded.LoadPackage(damaged.c_str()), ERR_FAILED);
        }
}

TEST_F(PackerSigning, ResigningAfterABuildIsNeeded)
{
    // A rebuilt installer is a new file without the signature; signing it
    // again gives a verified installer once more.
    std::string stub = *s_dir / "minimal.exe";
    WriteFileBytes(stub, MinimalImage());
    Packer::BuildOptions build;
    build.script = ExampleScripts() + "/hello.json";
    build.output = *s_dir / "setup.exe";
    build.stub = stub;
    ASSERT_EQ(RunBuildCommand(build).code, 0);
    ASSERT_TRUE(Sign(build.output, build.output + ".signed"));
    ASSERT_EQ(RunBuildCommand(build).code, 0);
    EXPECT_NE(RunVerifyCommand(build.output).out.find("not signed"), std::string::npos);
    ASSERT_TRUE(Sign(build.output, build.output + ".signed"));
    EXPECT_NE(RunVerifyCommand(build.output + ".signed").out.find("the installer is signed"), std::string::npos);
}
