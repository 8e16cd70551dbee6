// A signed installer under Windows: the stub finds its package in front of
// the certificate table, installs silently and asks interactively; a package
// byte changed behind the signature is still a damaged package.
#include <gtest/gtest.h>

#include <string>

#include "files_support.h"
#include "objects/InstObjDir.h"
#include "saver_test_config.h"
#include "script/PeSignature.h"
#include "win/stub_driver.h"
#include "win/stub_installer.h"

using namespace files_test;

namespace
{
DWORD Get32(const Bytes& b, size_t at)
{
    return (DWORD)b[at] | (DWORD)b[at + 1] << 8 | (DWORD)b[at + 2] << 16 | (DWORD)b[at + 3] << 24;
}

void Put32(Bytes& b, size_t at, DWORD v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = (BYTE)(v >> (8 * i));
}

// Lays the file out as a signing tool does: zero bytes up to a multiple of
// 8, a certificate table (one PKCS#7 certificate's header and a body; the
// stub does not check the signature itself) and the image's entry for it.
Bytes Signed(Bytes file)
{
    size_t pe = Get32(file, 0x3c);
    bool b64 = file[pe + 24] == 0x0b && file[pe + 25] == 0x02;
    size_t entry = pe + 24 + (b64 ? 112 : 96) + 8 * 4;
    while (file.size() % 8 != 0)
        file.push_back(0);
    Bytes table = Le32(1024) + B({0x00, 0x02, 0x02, 0x00}) + Bytes(1016, 0x30);
    Put32(file, entry, (DWORD)file.size());
    Put32(file, entry + 4, (DWORD)table.size());
    return file + table;
}

// An installer that makes the folder Made in dir; its package starts at
// *pStart.
Bytes Installer(const ScratchDir& dir, size_t* pStart)
{
    CInstaller script;
    stub::AddVariables(script, {{"SaverName", "Signed Saver"}, {"Here", dir.Path()}});
    CInstObjDir* made = new CInstObjDir;
    made->m_nMode = MODE_CREATE;
    made->m_Targets.Add("<Here>\\Made");
    script.m_FileList.AddTail(made);
    Bytes head = stub::SetupBytes() + stub::MarkerBytes();
    *pStart = head.size();
    return head + stub::PackageOf(script);
}
}  // namespace

TEST(SigningStub, SignedInstallerInstallsAndADamagedOneDoesNot)
{
    if (!SAVER_TEST_HAVE_SETUP)
        GTEST_SKIP() << "setup.exe is not built in this tree";
    ScratchDir dir;
    size_t start = 0;
    Bytes plain = Installer(dir, &start);
    Bytes signedFile = Signed(plain);
    PeSignature::Table table;
    ASSERT_TRUE(PeSignature::ReadCertificateTable(signedFile.data(), PeSignature::kHeadSize, table));
    ASSERT_EQ(table.offset + table.size, signedFile.size());
    Bytes damaged = signedFile;
    damaged[start + (plain.size() - start) / 2] ^= 0x01;

    struct Case
    {
        const char* what;
        const Bytes& file;
        const char* args;
        std::vector<int> answers;
        DWORD exitCode;
        bool made;
        const char* box;  // a text of the last box shown, if any
    } const cases[] = {
        {"signed, silent", signedFile, "-s", {}, ERR_OK, true, nullptr},
        {"signed, asked and declined", signedFile, "", {IDNO}, ERR_OK, false, "Do you wish to continue?"},
        {"damaged, silent", damaged, "-s", {}, ERR_FAILED, false, nullptr},
        // An interactive run ends with 0 whatever happened; its boxes tell.
        {"damaged, interactive", damaged, "", {IDOK, IDOK}, ERR_OK, false, "Can't read the installation file!"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        RemoveDirectoryA((dir / "Made").c_str());
        std::string exe = dir / "signed-setup.exe";
        ASSERT_TRUE(WriteFileBytes(exe, c.file));
        stub::Run run = stub::RunProgram(exe, c.args, c.answers);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(Exists(dir / "Made"), c.made);
        std::string boxes;
        for (const stub::Box& box : run.boxes)
            boxes += box.caption + ": " + box.text + "\n";
        if (c.box == nullptr)
            EXPECT_EQ(boxes, "");
        else
            EXPECT_NE(boxes.find(c.box), std::string::npos) << boxes;
    }
}
