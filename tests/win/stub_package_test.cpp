// The built setup.exe as the carrier of a package: it never holds the marker
// itself, and a package appended to it loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "objects/InstObjDefine.h"
#include "saver_test_config.h"
#include "support/TestSupport.h"
#include "win/stub_installer.h"

namespace
{
// The stub of each Windows preset: this build's, and the shipped 32-bit one
// where that preset was built in the source tree.
struct BuiltStub
{
    const char* preset;
    std::string path;
};

std::vector<BuiltStub> BuiltStubs()
{
    return {{"this build", SAVER_TEST_SETUP_EXE},
            {"win32", std::string(SAVER_TEST_SOURCE_DIR) + "\\build\\win32\\bin\\setup.exe"}};
}

size_t Find(const Bytes& data, const Bytes& pattern)
{
    auto it = std::search(data.begin(), data.end(), pattern.begin(), pattern.end());
    return it == data.end() ? std::string::npos : (size_t)(it - data.begin());
}
}  // namespace

TEST(StubFile, HoldsNoMarkerInOnePiece)
{
    Bytes marker = stub::MarkerBytes();
    ASSERT_EQ(marker.size(), 15u);
    int scanned = 0;
    for (const BuiltStub& s : BuiltStubs())
    {
        Bytes image;
        if (!ReadFileBytes(s.path, image))
        {
            printf("skipped: no setup.exe of %s at %s\n", s.preset, s.path.c_str());
            continue;
        }
        scanned++;
        EXPECT_EQ(Find(image, marker), std::string::npos) << s.preset << ": " << s.path;
        // The program does hold the pieces, so the scan looked at the
        // right bytes.
        EXPECT_NE(Find(image, Text("ataDfOnigeB")), std::string::npos) << s.preset;
    }
    if (scanned == 0)
        GTEST_SKIP() << "no setup.exe built: build the win64 or win32 preset first";
}

TEST(StubFile, LoadsAnAppendedPackageAndNothingWithout)
{
    if (!SAVER_TEST_HAVE_SETUP)
        GTEST_SKIP() << "setup.exe is not built in this tree";
    ScratchDir dir;
    CInstaller script;
    stub::AddVariables(script, {{"SaverName", "Glimmer"}, {"SCRNSAVE.EXE", "<SysDir>\\glimmer.scr"}});
    std::string installer = dir / "installer.exe";
    ASSERT_TRUE(WriteFileBytes(installer, stub::InstallerOf(script)));

    CInstaller loaded;
    EXPECT_EQ(loaded.LoadPackage(installer.c_str()), ERR_OK);
    ASSERT_EQ(loaded.m_DefineList.GetCount(), 2);
    CString value;
    EXPECT_TRUE(loaded.LookupVariable("scrnsave.exe", value));
    EXPECT_EQ(value, "<SysDir>\\glimmer.scr");

    CInstaller bare;
    EXPECT_EQ(bare.LoadPackage(SAVER_TEST_SETUP_EXE), ERR_NO_MARKER);
    EXPECT_EQ(bare.m_DefineList.GetCount(), 0);
}
