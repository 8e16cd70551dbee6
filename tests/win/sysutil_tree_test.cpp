// Reparse points in the tree helpers, and the identity of two paths.
//
// Under Wine a folder link is a Unix symbolic link inside the prefix: Wine
// reports it with FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY.
// (Wine 8 makes none itself: CreateSymbolicLinkA returns TRUE without
// making anything, and FSCTL_SET_REPARSE_POINT fails with
// ERROR_NOT_SUPPORTED.) On Windows the tests use a directory symbolic link.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "files_support.h"
#include "sysutil/FileSystem.h"
#include "sysutil/SysCalls.h"

using namespace files_test;

namespace
{
typedef char*(CDECL* UnixFileName)(const WCHAR*);

UnixFileName WineUnixFileName()
{
    HMODULE h = GetModuleHandleA("kernel32.dll");
    return h != nullptr ? (UnixFileName)GetProcAddress(h, "wine_get_unix_file_name") : nullptr;
}

std::string UnixPath(const std::string& path)
{
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) == 0)
        return "";
    char* p = WineUnixFileName()(wide);
    if (p == nullptr)
        return "";
    std::string s(p);
    HeapFree(GetProcessHeap(), 0, p);
    return s;
}

// Runs a Unix tool through Wine; the tool's own process is not waited for
// reliably, so the caller polls for the result.
bool RunUnix(const std::string& program, const std::string& commandLine)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::string line = commandLine;
    if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool WaitFor(const std::string& path, bool bPresent)
{
    for (int i = 0; i < 200; i++)
    {
        if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == bPresent)
            return true;
        Sleep(25);
    }
    return false;
}

// A link to a folder, removed (as a link) when the object goes. Made()
// is false where the system cannot make one.
class FolderLink
{
public:
    FolderLink(const std::string& link, const std::string& target) : m_link(link)
    {
        if (WineUnixFileName() != nullptr)
        {
            m_unix = UnixPath(link);
            std::string unixTarget = UnixPath(target);
            m_bMade = !m_unix.empty() && !unixTarget.empty() &&
                      RunUnix("Z:\\bin\\ln", "ln -s \"" + unixTarget + "\" \"" + m_unix + "\"") &&
                      WaitFor(link, true);
        }
        else
        {
            // Named at run time: the headers target Windows versions without it.
            typedef BOOLEAN(WINAPI * CreateLink)(const char*, const char*, DWORD);
            const DWORD kDirectoryLink = 1;  // SYMBOLIC_LINK_FLAG_DIRECTORY
            CreateLink pfn = (CreateLink)GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA");
            m_bMade = pfn != nullptr && pfn(link.c_str(), target.c_str(), kDirectoryLink) &&
                      IsReparsePoint(GetFileAttributesA(link.c_str()));
        }
    }
    ~FolderLink()
    {
        if (!m_bMade)
            return;
        if (!m_unix.empty())
        {
            // A Unix link is removed by Unix: Wine's RemoveDirectory acts on
            // what the link leads to.
            RunUnix("Z:\\bin\\rm", "rm -f \"" + m_unix + "\"");
            WaitFor(m_link, false);
        }
        else
            RemoveDirectoryA(m_link.c_str());
    }
    bool Made() const { return m_bMade; }

private:
    std::string m_link;
    std::string m_unix;
    bool m_bMade = false;
};

#define REQUIRE_LINK(link)                                              \
    if (!(link).Made())                                                 \
    GTEST_SKIP() << "this system cannot make a folder link for the test"

// A folder outside the tree: a file and a sub-folder with a file.
struct Outside
{
    ScratchDir dir;
    Outside()
    {
        MakeFile(dir / "keep.txt", "outside");
        MakeDir(dir / "inner");
        MakeFile(dir / "inner\\deep.txt", "deeper");
    }
};

// A tree with a file, a sub-folder with a file, and a link in the
// sub-folder to the outside folder.
struct TreeWithLink
{
    Outside outside;
    ScratchDir dir;
    std::string root = dir / "tree";
    std::string link = root + "\\sub\\link";
    FolderLink made;
    TreeWithLink() : made((MakeTree(root), link), outside.dir.Path()) {}
    static void MakeTree(const std::string& root)
    {
        MakeDir(root);
        MakeFile(root + "\\a.txt", "a");
        MakeDir(root + "\\sub");
        MakeFile(root + "\\sub\\b.txt", "b");
    }
};
}  // namespace

// What the helper sees first: the link, with the reparse attribute.
TEST(SysutilReparse, TreeHasReparsePoint)
{
    TreeWithLink t;
    REQUIRE_LINK(t.made);
    EXPECT_TRUE(IsReparsePoint(GetFileAttributesA(t.link.c_str())));
    EXPECT_FALSE(IsReparsePoint(INVALID_FILE_ATTRIBUTES));

    struct Case
    {
        std::string path;
        BOOL expected;
    } const cases[] = {
        {t.root, TRUE},                           // deep inside
        {t.root + "\\sub", TRUE},                 // an entry
        {t.link, TRUE},                           // the path itself
        {t.root + "\\a.txt", FALSE},              // a plain file
        {t.outside.dir.Path(), FALSE},            // a plain tree
        {t.dir / "missing", FALSE},               // nothing there
    };
    for (const Case& c : cases)
        EXPECT_EQ(TreeHasReparsePoint(c.path.c_str()), c.expected) << c.path;
}

// Deleting a tree takes the tree and never what a link in it leads to,
// whether the link is inside the tree or is the folder to delete itself.
TEST(SysutilReparse, DeleteTreeLeavesWhatALinkLeadsTo)
{
    for (BOOL bForce : {FALSE, TRUE})
    {
        SCOPED_TRACE(bForce ? "forced" : "plain");
        TreeWithLink t;
        REQUIRE_LINK(t.made);
        Listing before = ListTree(t.outside.dir.Path());
        ASSERT_EQ(before.size(), 3u);

        EXPECT_TRUE(DeleteTree(t.root.c_str(), "", FALSE, TRUE, bForce));
        EXPECT_EQ(Differences(before, ListTree(t.outside.dir.Path())), "");
        EXPECT_FALSE(Exists(t.root + "\\a.txt"));
        EXPECT_FALSE(Exists(t.root + "\\sub\\b.txt"));
        // (Windows removes the link too; Wine's RemoveDirectory follows a
        // Unix link and fails on the full folder behind it.)

        if (Exists(t.link))
        {
            EXPECT_TRUE(DeleteTree(t.link.c_str(), "", FALSE, TRUE, bForce));
            EXPECT_EQ(Differences(before, ListTree(t.outside.dir.Path())), "");
        }
    }
}

// A copy refuses a source that holds a link before it makes anything.
TEST(SysutilReparse, CopyTreeRefusesALinkBeforeMakingAnything)
{
    TreeWithLink t;
    REQUIRE_LINK(t.made);
    std::string target = t.dir / "copy";
    EXPECT_EQ(CopyTree(t.root.c_str(), target.c_str()), COPYTREE_FAILED);
    EXPECT_FALSE(Exists(target));
    EXPECT_EQ(CopyTree(t.link.c_str(), target.c_str()), COPYTREE_FAILED);
    EXPECT_FALSE(Exists(target));

    // The same tree without the link copies.
    std::string plain = t.dir / "plain";
    TreeWithLink::MakeTree(plain);
    EXPECT_EQ(CopyTree(plain.c_str(), target.c_str()), COPYTREE_OK);
    EXPECT_EQ(ReadText(target + "\\sub\\b.txt"), "b");
}

// The length check counts the link as an entry and does not walk into the
// long paths behind it.
TEST(SysutilReparse, TreePathsFitDoesNotWalkIntoALink)
{
    TreeWithLink t;
    REQUIRE_LINK(t.made);
    // A folder whose listing pattern fits in its own place but not when
    // reached through the link.
    size_t nLong = MAX_PATH + 2 - (t.link.size() + 1) - 4;
    ASSERT_LT(t.outside.dir.Path().size() + 1 + nLong + 4, (size_t)MAX_PATH);
    ASSERT_TRUE(MakeDir(t.outside.dir / Repeat('n', nLong)));

    EXPECT_TRUE(TreePathsFit(t.outside.dir.Path().c_str(), nullptr));
    EXPECT_FALSE(TreePathsFit(t.outside.dir.Path().c_str(), t.link.c_str()));
    EXPECT_TRUE(TreePathsFit(t.root.c_str(), nullptr));
}

// Identity by the file system: other spellings of one folder or file are the
// same; other objects are not; a missing path cannot be compared.
TEST(SysutilIdentity, SpellingsOfOnePathAreTheSameObject)
{
    ScratchDir dir;
    std::string folder = dir / "Long Folder Name";
    std::string file = folder + "\\Long File Name.text";
    ASSERT_TRUE(MakeDir(folder));
    ASSERT_TRUE(MakeFile(file, "x"));
    ASSERT_TRUE(MakeDir(dir / "Other"));
    ASSERT_TRUE(MakeFile(dir / "other.txt", "x"));
    char szShortFolder[MAX_PATH] = "", szShortFile[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(folder.c_str(), szShortFolder, MAX_PATH), 0u);
    ASSERT_GT(GetShortPathNameA(file.c_str(), szShortFile, MAX_PATH), 0u);
    ASSERT_NE(folder, szShortFolder);

    std::string upper = folder;
    for (char& ch : upper)
        ch = (char)toupper((unsigned char)ch);
    struct Case
    {
        std::string a, b;
        BOOL same;
    } const cases[] = {
        {folder, folder, TRUE},
        {folder, upper, TRUE},
        {folder, folder + "\\", TRUE},
        {folder, dir / ".\\Long Folder Name\\.", TRUE},
        {folder, dir / "Other\\..\\Long Folder Name", TRUE},
        {folder, szShortFolder, TRUE},
        {file, szShortFile, TRUE},
        {file, dir / "Other\\..\\long folder name\\.\\LONG FILE NAME.TEXT", TRUE},
        {folder, dir / "Other", FALSE},
        {folder, dir.Path(), FALSE},
        {file, dir / "other.txt", FALSE},
        {folder, file, FALSE},
    };
    for (const Case& c : cases)
    {
        BOOL bSame = 99;
        EXPECT_TRUE(SameFileSystemObject(c.a.c_str(), c.b.c_str(), &bSame)) << c.a << " | " << c.b;
        EXPECT_EQ(bSame, c.same) << c.a << " | " << c.b;
    }

    for (const std::string& missing : {dir / "missing", folder + "\\missing.txt"})
    {
        BOOL bSame = 99;
        EXPECT_FALSE(SameFileSystemObject(folder.c_str(), missing.c_str(), &bSame)) << missing;
        EXPECT_FALSE(SameFileSystemObject(missing.c_str(), missing.c_str(), &bSame)) << missing;
        EXPECT_EQ(bSame, 99) << "untouched when the paths cannot be compared";
    }
}

// A link that leads to a folder names that folder.
TEST(SysutilIdentity, ALinkIsTheFolderItLeadsTo)
{
    TreeWithLink t;
    REQUIRE_LINK(t.made);
    BOOL bSame = FALSE;
    EXPECT_TRUE(SameFileSystemObject(t.link.c_str(), t.outside.dir.Path().c_str(), &bSame));
    EXPECT_TRUE(bSame);
    EXPECT_TRUE(SameFileSystemObject((t.link + "\\inner").c_str(), (t.outside.dir / "inner").c_str(), &bSame));
    EXPECT_TRUE(bSame);
}
