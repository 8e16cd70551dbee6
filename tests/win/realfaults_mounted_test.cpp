// Real faults that need the file system's help, so they run only from
// tests/realfaults/real_faults_mounts.sh, which mounts them and names the
// drives in the environment:
//   SAVER_REALFAULTS_FULL_DRIVE    a drive of 2 MiB, empty (a tmpfs)
//   SAVER_REALFAULTS_LOCKED_DRIVE  a writable drive whose folder
//                                  Saver\locked is mounted read-only and
//                                  holds old.txt and inner\x.txt
// A real installer, packed by saverpack, fails half-way on such a drive; the
// run must end with the failing step's code and leave every folder it
// touched as it was.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <string>

#include "realfaults_support.h"
#include "saver_test_config.h"

using namespace files_test;
using namespace realfaults;

namespace
{
std::string DriveFromEnvironment(const char* name)
{
    const char* value = getenv(name);
    return value != nullptr ? value : "";
}

// The drive is the target; m_target, on the system drive, takes the steps
// that succeed there.
class RealFaultsMounted : public RealFaults
{
protected:
    void SetUp() override
    {
        RealFaults::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(MakeFile(m_target + "\\kept.txt", "on the system drive"));
    }

    // The drive named by the variable: "" when there is none, and also,
    // with a failure, when it cannot be reached.
    std::string Drive(const char* variable)
    {
        std::string drive = DriveFromEnvironment(variable);
        if (drive.empty())
            return "";
        if (GetFileAttributesA((drive + "\\").c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            ADD_FAILURE() << variable << "=" << drive << " cannot be reached";
            return "";
        }
        return drive;
    }

    void WriteContent(const std::string& name, const Bytes& bytes)
    {
        ASSERT_TRUE(WriteFileBytes(Join(m_work, name), bytes));
    }
};

struct MountedCase
{
    const char* name;
    nlohmann::json failing;  // the step that meets the fault
    DWORD code;
    bool tempOnDrive;  // the installer's temporary folder lies on the drive
};

const size_t kKiB = 1024;
}  // namespace

TEST_F(RealFaultsMounted, TheDriveFillsUpHalfWayThroughAFile)
{
    std::string d = Drive("SAVER_REALFAULTS_FULL_DRIVE");
    if (d.empty() && !HasFailure())
        GTEST_SKIP() << "needs the small drive of tests/realfaults/real_faults_mounts.sh";
    ASSERT_FALSE(d.empty());
    std::string root = d + "\\";
    EmptyFolder(root);
    // What stands on the drive: 320 KiB of its 2 MiB.
    ASSERT_TRUE(MakeDir(d + "\\Saver") && MakeDir(d + "\\Tmp"));
    ASSERT_TRUE(WriteFileBytes(d + "\\Saver\\keep.bin", Noise(256 * kKiB, 1)));
    ASSERT_TRUE(WriteFileBytes(d + "\\Saver\\old.bin", Noise(64 * kKiB, 2)));
    ASSERT_TRUE(MakeFile(d + "\\Saver\\readme.txt", "installed readme"));
    ASSERT_TRUE(MakeFile(d + "\\other.txt", "not the script's", FILE_ATTRIBUTE_READONLY));
    // A tree to copy: the first file fits, the second does not.
    ASSERT_TRUE(MakeDir(m_dir / "tree") && MakeDir(m_dir / "tree\\sub"));
    ASSERT_TRUE(WriteFileBytes(m_dir / "tree\\a.bin", Noise(900 * kKiB, 3)));
    ASSERT_TRUE(WriteFileBytes(m_dir / "tree\\sub\\b.bin", Noise(1200 * kKiB, 4)));

    WriteContent("small.txt", Text("a small file"));
    WriteContent("big.bin", Noise(3 * 1024 * kKiB, 5));
    WriteContent("half.bin", Noise(1200 * kKiB, 6));

    const MountedCase cases[] = {
        {"a new file bigger than the space left", FileStep({d + "\\Saver\\new\\big.bin"}, "big.bin"), 1, false},
        // The old bytes are saved, the file is cut to nothing and written
        // until the drive is full: the rollback must get the old ones back.
        {"an existing file replaced by a bigger one", FileStep({d + "\\Saver\\keep.bin"}, "big.bin"), 1, false},
        {"the second target of one step", FileStep({d + "\\Saver\\one.bin", d + "\\Saver\\two.bin"}, "half.bin"), 1,
         false},
        // An existing target is compared with the new bytes in a temporary
        // file first: that file is what fills the drive.
        {"the temporary copy fills the drive", FileStep({d + "\\Saver\\old.bin"}, "big.bin"), 1, true},
        {"a tree copied onto a new folder", DirStep("copy", {d + "\\Saver\\copied"}, {m_dir / "tree"}), 18, false},
        {"a tree copied into the existing folder", DirStep("copy", {d + "\\Saver"}, {m_dir / "tree"}), 18, false},
    };
    int n = 0;
    for (const MountedCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        // Earlier steps that succeed, on the drive and off it.
        nlohmann::json script = {
            {"prepare", {DirStep("create", {d + "\\Saver\\new", m_target + "\\made"})}},
            {"file",
             {FileStep({d + "\\Saver\\new\\small.txt", m_target + "\\made\\small.txt"}, "small.txt"),
              FileStep({d + "\\Saver\\readme.txt", m_target + "\\kept.txt"}, "small.txt")}},
            {"finish1", {c.failing}},
        };
        std::string exe = Pack(script, m_work, "full" + std::to_string(++n));
        ASSERT_FALSE(exe.empty());
        Listing before = ListRoots({root, m_target, m_temp});
        EXPECT_EQ(InstallSilently(exe, c.tempOnDrive ? d + "\\Tmp" : m_temp), c.code);
        EXPECT_EQ(Differences(before, ListRoots({root, m_target, m_temp})), "");
    }
}

TEST_F(RealFaultsMounted, AFolderThatDeniesWriting)
{
    std::string d = Drive("SAVER_REALFAULTS_LOCKED_DRIVE");
    if (d.empty() && !HasFailure())
        GTEST_SKIP() << "needs the drive with a read-only folder of tests/realfaults/real_faults_mounts.sh";
    ASSERT_FALSE(d.empty());
    std::string root = d + "\\";
    std::string saver = d + "\\Saver";
    std::string locked = saver + "\\locked";
    ASSERT_TRUE(Exists(locked + "\\old.txt")) << "the read-only folder is not there";
    // The writable part around the read-only folder.
    EmptyFolder(root);  // passes over the read-only folder
    ASSERT_TRUE(MakeFile(saver + "\\readme.txt", "installed readme"));
    ASSERT_TRUE(MakeDir(saver + "\\sub") && MakeFile(saver + "\\sub\\deep.txt", "deep", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MakeFile(saver + "\\a.txt", "installed a"));
    // The source of copies and moves: a.txt exists in the target,
    // added.txt does not, locked\new.txt cannot be made.
    std::string tree = m_dir / "tree";
    ASSERT_TRUE(MakeDir(tree) && MakeDir(tree + "\\locked"));
    ASSERT_TRUE(MakeFile(tree + "\\added.txt", "added") && MakeFile(tree + "\\a.txt", "new a"));
    ASSERT_TRUE(MakeFile(tree + "\\locked\\new.txt", "new in locked"));
    WriteContent("small.txt", Text("a small file"));

    const MountedCase cases[] = {
        {"a new file in it", FileStep({locked + "\\new.txt"}, "small.txt"), 1, false},
        {"a file in it replaced", FileStep({locked + "\\old.txt"}, "small.txt"), 1, false},
        {"a folder made in it", DirStep("create", {locked + "\\inner\\new"}), 20, false},
        // Wine reports the delete done, and the file stays.
        {"a file in it deleted", DirStep("delete", {locked + "\\old.txt"}), 23, false},
        {"a tree in it deleted", DirStep("delete", {locked + "\\inner"}), 17, false},
        {"a file moved out of it", DirStep("move", {saver + "\\moved.txt"}, {locked + "\\old.txt"}), 22, false},
        {"a tree moved out of it", DirStep("move", {saver + "\\moved"}, {locked + "\\inner"}), 19, false},
        // The writable part goes before the delete reaches the read-only
        // folder, and must come back.
        {"the tree that holds it deleted", DirStep("delete", {saver}), 17, false},
        {"a tree copied into it", DirStep("copy", {saver}, {tree}), 18, false},
        {"a tree moved into it", DirStep("move", {locked + "\\moved"}, {tree}), 19, false},
    };
    int n = 0;
    for (const MountedCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        nlohmann::json script = {
            {"prepare", {DirStep("create", {saver + "\\new\\deeper", m_target + "\\made"})}},
            {"file",
             {FileStep({saver + "\\new\\small.txt", m_target + "\\made\\small.txt"}, "small.txt"),
              FileStep({saver + "\\readme.txt", m_target + "\\kept.txt"}, "small.txt")}},
            {"finish1", {c.failing}},
        };
        std::string exe = Pack(script, m_work, "locked" + std::to_string(++n));
        ASSERT_FALSE(exe.empty());
        Listing before = ListRoots({root, m_target, m_temp, tree});
        EXPECT_EQ(InstallSilently(exe, m_temp), c.code);
        EXPECT_EQ(Differences(before, ListRoots({root, m_target, m_temp, tree})), "");
    }
}
