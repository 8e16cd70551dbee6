// The fault matrix: one script that uses every install object and every mode
// that changes something (folders, files, carried and patched files, keys and
// values of every type, a shell link) is made to fail at every point where a
// failure can come: after each step, at each change it makes to the system
// (with more than one error), and at each allocation. Every time the folder
// tree and the key tree must come back as they were, name for name, byte for
// byte, attribute for attribute and type for type. What a rollback leaves by
// design is allowed, and nothing else: what a key copy added to a key that
// existed, and a temporary file whose deletion the system refused.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "files_support.h"
#include "framework/FaultHooks.h"
#include "objects/InstObjShellLink.h"
#include "registry_support.h"

namespace ft = files_test;
namespace rt = registry_test;

namespace
{
const DWORD kReadOnly = FILE_ATTRIBUTE_READONLY;
const DWORD kHidden = FILE_ATTRIBUTE_HIDDEN;
const DWORD kSystem = FILE_ATTRIBUTE_SYSTEM;
const std::string kMulti("one\0two <2>\0\0", 14);

// One run's folder and key, removed with everything in them when it ends.
struct World
{
    ScratchDir dir;
    rt::ScratchKey key;
    std::string Files() const { return dir / "files"; }
    std::string KeyPath() const { return key.Path("r"); }
    std::string KeyFull() const { return key.Full("r"); }
};

void MakeFiles(const std::string& root)
{
    auto dir = [&](const std::string& rel, DWORD a = 0) { ASSERT_TRUE(ft::MakeDir(ft::Join(root, rel), a)) << rel; };
    auto file = [&](const std::string& rel, const std::string& text, DWORD a = 0) {
        ASSERT_TRUE(ft::MakeFile(ft::Join(root, rel), text, a)) << rel;
    };
    ASSERT_TRUE(ft::MakeDir(root));
    dir("base");
    file("base\\keep.txt", "user's own keep.txt", kSystem);
    file("base\\x.txt", "x");
    file("base\\over_src.txt", "over source");
    file("base\\over_dst.txt", "over target");
    dir("base\\tree");
    file("base\\tree\\t1.txt", "tree one");
    file("base\\tree\\ro.txt", "read-only in tree", kReadOnly);
    dir("base\\tree\\sub", kHidden);
    file("base\\tree\\sub\\t2.bin", std::string("\0\1\2\3", 4));
    dir("base\\existing");
    file("base\\existing\\t1.txt", "existing one, not replaced");
    file("base\\existing\\own.txt", "the target's own");
    file("base\\moveme.txt", "move me", kHidden);
    file("base\\msrc.txt", "move source");
    file("base\\mdst.txt", "move target", kSystem);
    dir("base\\movetree");
    file("base\\movetree\\m1.txt", "m1");
    dir("base\\movetree\\inner");
    file("base\\movetree\\inner\\m2.txt", "m2", kHidden);
    dir("base\\movetree2");
    file("base\\movetree2\\n1.txt", "n1");
    file("base\\movetree2\\both.txt", "both, from the source");
    dir("base\\existing2", kHidden);
    file("base\\existing2\\both.txt", "both, the target's");
    file("base\\existing2\\own2.txt", "own2");
    file("base\\del.txt", "delete me", kHidden);
    file("base\\del2.txt", "delete me too", kSystem);
    dir("base\\deltree", kSystem);
    file("base\\deltree\\d1.txt", "d1", kSystem | kHidden);
    dir("base\\deltree\\empty");
    dir("base\\deltree\\full");
    file("base\\deltree\\full\\d2.txt", "d2");
    dir("base\\deltree\\full\\deeper");
    file("base\\deltree\\full\\deeper\\d3.txt", "");
    file("base\\patched.txt", "old patched");
    dir("links");
    file("links\\old.lnk", "the user's own link");
}

void MakeKeys(const std::string& root)
{
    auto value = [&](const std::string& key, const std::string& name, DWORD type, const Bytes& data) {
        ASSERT_TRUE(rt::SetValue(root + "\\" + key, name, type, data)) << key << "|" << name;
    };
    value("base\\keep", "", REG_SZ, Text("the default <with brackets>"));
    value("base\\keep", "bin", REG_BINARY, B({0, 1, 0xFE, 0xFF, 0}));
    value("base\\keep", "multi", REG_MULTI_SZ, Text(kMulti));
    value("base\\keep", "dw", REG_DWORD, Le32(0xC0FFEE));
    value("base\\keep", "exp", REG_EXPAND_SZ, Text("%SystemRoot%\\<NotAVariable>"));
    value("base\\tree", "", REG_SZ, Text("tree default"));
    value("base\\tree", "delme", REG_BINARY, B({5}));
    value("base\\tree\\a", "text", REG_SZ, Text("a <b> c"));
    value("base\\tree\\a\\b", "deep", REG_BINARY, B({7, 7, 7}));
    ASSERT_TRUE(rt::MakeKey(root + "\\base\\tree\\c"));
    // The copy onto base\dest overwrites what both have and adds srconly and
    // extra (KeptByDesign).
    value("base\\src2", "", REG_SZ, Text("src2 default"));
    value("base\\src2", "same", REG_DWORD, Le32(2));
    value("base\\src2", "srconly", REG_SZ, Text("only in the source"));
    value("base\\src2\\sub", "s", REG_SZ, Text("sub of the source"));
    value("base\\src2\\extra", "e", REG_DWORD, Le32(3));
    value("base\\dest", "", REG_SZ, Text("dest default <x>"));
    value("base\\dest", "same", REG_MULTI_SZ, Text(kMulti));
    value("base\\dest", "own", REG_SZ, Text("own"));
    value("base\\dest\\sub", "s", REG_BINARY, B({1, 2}));
    value("base\\dest\\sub", "mine", REG_EXPAND_SZ, Text("%TEMP%"));
    value("base\\movetree", "m", REG_SZ, Text("m"));
    value("base\\movetree\\inner", "", REG_BINARY, B({1}));
    value("base\\deltree", "", REG_SZ, Text("<deleted default>"));
    value("base\\deltree\\x\\y", "y", REG_MULTI_SZ, Text(kMulti));
    value("base\\deltree\\x", "", REG_DWORD, Le32(0));
    ASSERT_TRUE(rt::MakeKey(root + "\\base\\deltree\\empty"));
    value("base\\vals", "over", REG_BINARY, B({9, 8, 7}));
    value("base\\vals", "delme", REG_SZ, Text("<gone>"));
    value("base\\vals", "moveme", REG_DWORD, Le32(42));
    value("base\\vals", "keepme", REG_EXPAND_SZ, Text("%PATH%"));
}

void MakeStartingState(const World& w)
{
    MakeFiles(w.Files());
    MakeKeys(w.KeyPath());
}

// What a rollback leaves by design: a key copied onto a key that exists
// keeps the values and sub-keys it added there.
bool KeptByDesign(const std::string& line)
{
    return line == "value added: base\\dest|srconly" || line == "key added: base\\dest\\extra";
}

struct Snapshot
{
    ft::Listing files;
    rt::Export keys;
    size_t nScratchKeys = 0;  // the keys below the run's own key, the tree's included
};

Snapshot Take(const World& w)
{
    Snapshot s;
    s.files = ft::ListTree(w.Files());
    s.keys = rt::ExportTree(w.KeyPath());
    s.nScratchKeys = rt::ExportTree(w.key.Path()).size();
    return s;
}

// "" when the run left everything as it was, apart from what it keeps by
// design; otherwise one line per difference. The shell links are files of
// the folder tree: a link left behind shows as an added file.
std::string Unexplained(const Snapshot& before, const Snapshot& after)
{
    std::string out = ft::Differences(before.files, after.files);
    std::istringstream lines(rt::Differences(before.keys, after.keys));
    for (std::string line; std::getline(lines, line);)
        if (!KeptByDesign(line))
            out += line + "\n";
    if (after.nScratchKeys - after.keys.size() != before.nScratchKeys - before.keys.size())
        out += "keys changed beside the tree\n";
    return out;
}

CInstObjShellLink* NewLink(const std::string& file, const std::string& target)
{
    CInstObjShellLink* p = new CInstObjShellLink;
    p->m_nMode = MODE_CREATE;
    p->m_strFile = file.c_str();
    p->m_strTarget = target.c_str();
    p->m_strVerb = "Glimmer <saver>";
    p->m_strDirectory = "<Files>\\new";
    return p;
}

struct Step
{
    const char* name;
    CObList CInstaller::*list;
    std::function<CInstObj*()> make;
};

// The reference script, in the order the run takes its steps: the file
// list, the registry list, then the finishing one. Paths go through the
// script's own variables, as a package would write them.
std::vector<Step> Steps()
{
    const std::string F = "<Files>";
    const std::string K = "<Keys>";
    CObList CInstaller::*files = &CInstaller::m_FileList;
    CObList CInstaller::*keys = &CInstaller::m_RegistryList;
    CObList CInstaller::*finish = &CInstaller::m_FinishList1;
    return {
        // Folders and files.
        {"create folders", files,
         [=] { return ft::NewDir(3, {}, {F + "\\new\\a\\b", F + "\\base", F + "\\made"}, kHidden); }},
        {"copy files", files, [=] {
             return ft::NewDir(1, {F + "\\base\\x.txt", F + "\\base\\over_src.txt"},
                               {F + "\\new\\x.txt", F + "\\base\\over_dst.txt"});
         }},
        {"copy a tree to a new place", files,
         [=] { return ft::NewDir(1, {F + "\\base\\tree"}, {F + "\\copytree\\deep"}); }},
        {"copy a tree onto a tree", files,
         [=] { return ft::NewDir(1, {F + "\\base\\tree"}, {F + "\\base\\existing"}); }},
        {"move files", files, [=] {
             return ft::NewDir(2, {F + "\\base\\moveme.txt", F + "\\base\\msrc.txt"},
                               {F + "\\new\\moved.txt", F + "\\base\\mdst.txt"});
         }},
        {"move a tree", files, [=] { return ft::NewDir(2, {F + "\\base\\movetree"}, {F + "\\new\\movedtree"}); }},
        {"move a tree onto a tree", files,
         [=] { return ft::NewDir(2, {F + "\\base\\movetree2"}, {F + "\\base\\existing2"}); }},
        {"delete files", files, [=] { return ft::NewDir(4, {}, {F + "\\base\\del.txt", F + "\\base\\del2.txt"}); }},
        {"delete a tree", files, [=] { return ft::NewDir(4, {}, {F + "\\base\\deltree"}); }},
        {"write a carried file", files, [=] {
             return ft::NewFile({F + "\\new\\a\\b\\carried.txt", F + "\\base\\keep.txt"}, Text("carried"), kReadOnly);
         }},
        {"write patched variants", files, [=] {
             return ft::NewPatch({F + "\\base\\patched.txt", F + "\\new\\p2.txt"}, Text("VARIANT"),
                                 {{{Text("V"), Text("1")}}, {{Text("V"), Text("2")}, {Text("NT"), Text("!")}}});
         }},
        {"write into a copied tree", files,
         [=] { return ft::NewFile({F + "\\copytree\\deep\\sub\\added.txt"}, Text("added")); }},
        // Keys and values.
        {"create keys", keys, [=] { return rt::NewKeyObject(3, {}, {K + "\\new\\a\\b", K + "\\base\\keep"}); }},
        {"copy a tree to a new place", keys,
         [=] { return rt::NewKeyObject(1, {K + "\\base\\tree"}, {K + "\\copytree\\x"}); }},
        {"copy a key onto a key", keys,
         [=] { return rt::NewKeyObject(1, {K + "\\base\\src2"}, {K + "\\base\\dest"}); }},
        {"move a tree", keys, [=] { return rt::NewKeyObject(2, {K + "\\base\\movetree"}, {K + "\\new\\moved"}); }},
        {"delete a tree", keys, [=] { return rt::NewKeyObject(4, {}, {K + "\\base\\deltree"}); }},
        {"set text over another type", keys, [=] {
             return rt::NewValueObject(3, {}, {K + "\\base\\vals", K + "\\new\\vals"}, "over", REG_SZ, Text(F));
         }},
        {"set expandable text", keys, [=] {
             return rt::NewValueObject(3, {}, {K + "\\base\\keep"}, "exp", REG_EXPAND_SZ,
                                       Text("%SystemRoot%\\" + F));
         }},
        {"set multiple texts on two keys", keys, [=] {
             return rt::NewValueObject(3, {}, {K + "\\base\\keep", K + "\\base\\tree\\a"}, "added", REG_MULTI_SZ,
                                       Text(std::string("x\0", 2) + F + std::string("\0\0", 2)));
         }},
        {"overwrite binary data", keys, [=] {
             return rt::NewValueObject(3, {}, {K + "\\base\\keep"}, "bin", REG_BINARY, B({0xAA, 0}));
         }},
        {"set numbers", keys, [=] {
             return rt::NewValueObject(3, {}, {K + "\\base\\keep", K + "\\copytree\\x\\c"}, "dw", REG_DWORD, Le32(7));
         }},
        {"set a short path", keys, [=] {
             return rt::NewValueObject(3, {}, {K + "\\base\\keep"}, "short", CInstObjRegValue::kTypeShortPath,
                                       Text(F + "\\new\\x.txt"));
         }},
        {"delete values", keys,
         [=] { return rt::NewValueObject(4, {}, {K + "\\base\\vals", K + "\\base\\tree"}, "delme", 0, {}); }},
        {"move a value", keys,
         [=] { return rt::NewValueObject(2, {K + "\\base\\vals"}, {K + "\\new\\vals2"}, "moveme", 0, {}); }},
        {"copy a value to two keys", keys, [=] {
             return rt::NewValueObject(1, {K + "\\base\\keep", K + "\\base\\keep"},
                                       {K + "\\base\\vals", K + "\\base\\dest"}, "multi", 0, {});
         }},
        {"delete a copied tree's branch", keys, [=] { return rt::NewKeyObject(4, {}, {K + "\\copytree\\x\\a"}); }},
        // The links: a new one, and one that replaces a file.
        {"make a link", finish, [=] { return NewLink(F + "\\links\\saver.lnk", F + "\\new\\x.txt"); }},
        {"replace a link", finish, [=] { return NewLink(F + "\\links\\old.lnk", F + "\\new\\x.txt"); }},
    };
}

// Collects the debug log of the process while it lives: the installer logs
// every change the system refused (OutputDebugStringA raises an exception
// that a vectored handler sees first). The handler allocates nothing, as
// the allocation proof may be failing every allocation when it runs.
class LogCapture
{
public:
    LogCapture() : m_handler(AddVectoredExceptionHandler(1, Handler)) { Clear(); }
    ~LogCapture() { RemoveVectoredExceptionHandler(m_handler); }
    static std::string Text() { return std::string(s_szText, s_nText); }
    static void Clear() { s_nText = 0; }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* p)
    {
        const EXCEPTION_RECORD* r = p->ExceptionRecord;
        if (r->ExceptionCode != DBG_PRINTEXCEPTION_C || r->NumberParameters < 2)
            return EXCEPTION_CONTINUE_SEARCH;
        for (const char* psz = (const char*)r->ExceptionInformation[1]; *psz != 0 && s_nText < sizeof s_szText;)
            s_szText[s_nText++] = *psz++;
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    static inline char s_szText[1 << 16];
    static inline size_t s_nText = 0;
    PVOID m_handler;
};

// The installer of the steps from nFirst to before nEnd and, with bFail, a
// last step that fails. Null when the variables cannot be set.
std::unique_ptr<CInstaller> MakeScript(const World& w, const std::vector<Step>& steps, size_t nFirst, size_t nEnd,
                                       bool bFail)
{
    LogCapture::Clear();  // the run's log starts with the run
    std::unique_ptr<CInstaller> installer(new CInstaller);
    if (installer->AddVariable("Files", w.Files().c_str()) != ERR_OK ||
        installer->AddVariable("Keys", w.KeyFull().c_str()) != ERR_OK)
        return nullptr;
    for (size_t i = nFirst; i < nEnd; i++)
        ((*installer).*steps[i].list).AddTail(steps[i].make());
    if (bFail)
        installer->m_FinishList2.AddTail(ft::NewDir(9, {}, {}));
    return installer;
}

// The changes made before the registry phase and before the undo began,
// noted at the progress reports.
unsigned s_nChangesBeforeRegistry = 0;
unsigned s_nChangesBeforeUndo = 0;
int NoteChanges(unsigned kind, unsigned a, unsigned)
{
    if (kind == 4 && a == 2)
        s_nChangesBeforeRegistry = FaultChangeCount();
    if (kind == 3)
        s_nChangesBeforeUndo = FaultChangeCount();
    return 0;
}

// The undo records of the tree steps compose paths as they walk, so the
// proof gives memory back when the undo begins: a step that ran out of
// memory has freed what it held by then.
int GiveMemoryBackForTheUndo(unsigned kind, unsigned, unsigned)
{
    if (kind == 3)
        FaultFailAllocation(0);
    return 0;
}

std::string TempDir()
{
    char szDir[MAX_PATH];
    GetTempPathA(MAX_PATH, szDir);
    return szDir;
}

// Whether the log holds a refused deletion of exactly this file.
bool DeletionRefused(const std::string& log, const std::string& path)
{
    return log.find("\tDeleteFile " + path + "\n") != std::string::npos;
}

// Removes the gpi*.tmp files of the temporary folder; returns their paths.
std::vector<std::string> TakeTempFiles()
{
    std::string dir = TempDir();
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(ft::Join(dir, "gpi*.tmp").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE)
    {
        do
            names.push_back(ft::Join(dir, fd.cFileName));
        while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    for (const std::string& name : names)
        DeleteFileA(name.c_str());
    return names;
}

// The fault points of one matrix and those not restored exactly.
class Tally
{
public:
    void Add(const std::string& point, const std::string& problems)
    {
        m_nPoints++;
        if (problems.empty())
            return;
        std::string text = "  " + point + ":\n";
        std::istringstream lines(problems);
        for (std::string line; std::getline(lines, line);)
            text += "    " + line + "\n";
        m_failures.push_back(text);
    }
    bool Exact() const { return m_failures.empty(); }
    // Prints "M of N fault points restored exactly" and the points that
    // were not, with their differences.
    void Print(const char* pszWhat, const char* pszPoints = "fault points") const
    {
        printf("[ matrix   ] %s\n", pszWhat);
        printf("%u of %u %s restored exactly\n", m_nPoints - (unsigned)m_failures.size(), m_nPoints, pszPoints);
        for (const std::string& f : m_failures)
            printf("%s", f.c_str());
        fflush(stdout);
    }

private:
    unsigned m_nPoints = 0;
    std::vector<std::string> m_failures;
};

class FaultMatrix : public ::testing::Test
{
protected:
    void TearDown() override
    {
        FaultFailChange(0, 0);
        FaultFailAllocation(0);
    }
    // What a failed run left that it should not have: the differences, a
    // result of success, a temporary file. A file whose deletion the system
    // refused stays where it is (the log says so): the one temporary file
    // allowed. Leftover temporary files are removed, so that each run is
    // judged by its own.
    static std::string Problems(int nResult, const Snapshot& before, const World& w)
    {
        std::string out;
        if (nResult == ERR_OK)
            out += "the run reported success\n";
        out += Unexplained(before, Take(w));
        std::string log = LogCapture::Text();
        for (const std::string& temp : TakeTempFiles())
            if (!DeletionRefused(log, temp))
                out += "temporary file left: " + temp + "\n";
        LogCapture::Clear();
        return out;
    }
    ft::PrivateTemp m_temp;  // TMP while the test runs
    LogCapture m_log;
};

// The error the changes fail with, and which of them: those of the file
// phase or those of the registry phase and the links after it.
struct ChangeFault
{
    const char* name;
    DWORD dwError;
    bool bRegistryPhase;
};

void PrintTo(const ChangeFault& fault, std::ostream* os)
{
    *os << fault.name;
}

class FaultMatrixChange : public FaultMatrix, public ::testing::WithParamInterface<ChangeFault>
{
};
}  // namespace

TEST_F(FaultMatrix, TheWholeScriptSucceedsAndChangesEverything)
{
    World w;
    MakeStartingState(w);
    ASSERT_FALSE(HasFatalFailure());
    Snapshot before = Take(w);
    std::vector<Step> steps = Steps();
    std::unique_ptr<CInstaller> installer = MakeScript(w, steps, 0, steps.size(), false);
    ASSERT_TRUE(installer != nullptr);
    EXPECT_EQ(installer->Run(), ERR_OK);
    Snapshot after = Take(w);
    std::string F = w.Files();
    EXPECT_EQ(ft::ReadText(F + "\\base\\keep.txt"), "carried");
    EXPECT_EQ(ft::ReadText(F + "\\base\\existing\\t1.txt"), "existing one, not replaced");
    EXPECT_EQ(ft::ReadText(F + "\\base\\existing2\\both.txt"), "both, the target's");
    EXPECT_EQ(ft::ReadText(F + "\\base\\mdst.txt"), "move source");
    EXPECT_FALSE(ft::Exists(F + "\\base\\movetree2"));
    EXPECT_EQ(ft::ReadText(F + "\\new\\movedtree\\inner\\m2.txt"), "m2");
    EXPECT_FALSE(ft::Exists(F + "\\base\\deltree"));
    EXPECT_EQ(ft::ReadText(F + "\\base\\patched.txt"), "1ARIANT");
    EXPECT_EQ(ft::ReadText(F + "\\new\\p2.txt"), "2ARIA!T");
    EXPECT_EQ(ft::ReadText(F + "\\copytree\\deep\\sub\\added.txt"), "added");
    EXPECT_TRUE(ft::Exists(F + "\\links\\saver.lnk"));
    EXPECT_NE(ft::ReadText(F + "\\links\\old.lnk"), "the user's own link");
    EXPECT_EQ(after.keys.count("base\\deltree"), 0u);
    EXPECT_EQ(after.keys.count("base\\movetree"), 0u);
    EXPECT_EQ(after.keys.count("copytree\\x\\a"), 0u);
    EXPECT_EQ(after.keys["new\\moved\\inner"][""], before.keys["base\\movetree\\inner"][""]);
    EXPECT_EQ(after.keys["base\\dest"]["srconly"], before.keys["base\\src2"]["srconly"]);
    EXPECT_EQ(after.keys["base\\vals"]["over"].type, (DWORD)REG_SZ);
    EXPECT_EQ(after.keys["base\\vals"]["over"].data, Text(F));
    EXPECT_EQ(after.keys["base\\keep"]["short"].type, (DWORD)REG_SZ);
    EXPECT_EQ(after.keys["new\\vals2"]["moveme"], before.keys["base\\vals"]["moveme"]);
    EXPECT_EQ(after.keys["base\\dest"]["multi"], before.keys["base\\keep"]["multi"]);
    EXPECT_EQ(after.keys["base\\vals"].count("delme"), 0u);
    EXPECT_EQ(ft::CountTempFiles(), 0);
}

TEST_F(FaultMatrix, AFailureAfterAnyStepRestoresEverything)
{
    std::vector<Step> steps = Steps();
    Tally tally;
    for (size_t n = 0; n <= steps.size(); n++)
    {
        std::string point = n == 0 ? std::string("failure before any step")
                                   : std::string("failure after \"") + steps[n - 1].name + "\"";
        World w;
        MakeStartingState(w);
        ASSERT_FALSE(HasFatalFailure());
        Snapshot before = Take(w);
        std::unique_ptr<CInstaller> installer = MakeScript(w, steps, 0, n, true);
        ASSERT_TRUE(installer != nullptr);
        int r = installer->Run();
        std::string problems = Problems(r, before, w);
        if (r != ERR_FAILED && r != ERR_OK)
            problems += "result " + std::to_string(r) + " instead of the failing step's\n";
        tally.Add(point, problems);
    }
    tally.Print("a failure after each step");
    EXPECT_TRUE(tally.Exact());
}

// The k-th change the whole script makes to the system fails, for every k
// from the first to the last it makes before its failing last step: inside
// each step with several targets, each tree copy, backup and deletion. The
// last step fails whatever the fault did, so every run is rolled back. Each
// error takes two tests, the file phase and the rest, which can run side by
// side.
TEST_P(FaultMatrixChange, AFailureOfAnyChangeRestoresEverything)
{
    const ChangeFault fault = GetParam();
    std::vector<Step> steps = Steps();
    unsigned nChanges = 0;
    unsigned nFirst = 1;
    unsigned nLast = 0;
    {
        World w;
        MakeStartingState(w);
        ASSERT_FALSE(HasFatalFailure());
        std::unique_ptr<CInstaller> installer = MakeScript(w, steps, 0, steps.size(), true);
        ASSERT_TRUE(installer != nullptr);
        installer->SetProgressCallback(NoteChanges);
        FaultFailChange(0, 0);
        s_nChangesBeforeRegistry = s_nChangesBeforeUndo = 0;
        ASSERT_EQ(installer->Run(), ERR_FAILED);
        nChanges = s_nChangesBeforeUndo;
        nFirst = fault.bRegistryPhase ? s_nChangesBeforeRegistry + 1 : 1;
        nLast = fault.bRegistryPhase ? nChanges : s_nChangesBeforeRegistry;
    }
    ASSERT_GT(nLast, nFirst + 50);

    Tally tally;
    for (unsigned k = nFirst; k <= nLast; k++)
    {
        World w;
        MakeStartingState(w);
        ASSERT_FALSE(HasFatalFailure());
        Snapshot before = Take(w);
        std::unique_ptr<CInstaller> installer = MakeScript(w, steps, 0, steps.size(), true);
        ASSERT_TRUE(installer != nullptr);
        installer->SetProgressCallback(NoteChanges);
        s_nChangesBeforeUndo = 0;
        FaultFailChange(k, fault.dwError);
        int r = installer->Run();
        FaultFailChange(0, 0);
        std::string problems = Problems(r, before, w);
        if (s_nChangesBeforeUndo < k)
            problems += "the change never came: " + std::to_string(s_nChangesBeforeUndo) + " before the undo\n";
        tally.Add("change " + std::to_string(k) + " of " + std::to_string(nChanges) + " (result " +
                      std::to_string(r) + ")",
                  problems);
    }
    std::string what = std::string("a failure of each change of the ") +
                       (fault.bRegistryPhase ? "registry phase and the links" : "file phase") + ", " +
                       (fault.dwError == ERROR_DISK_FULL ? "the disk full" : "access denied");
    tally.Print(what.c_str());
    EXPECT_TRUE(tally.Exact());
}

const ChangeFault kChangeFaults[] = {
    {"FilesAccessDenied", ERROR_ACCESS_DENIED, false},
    {"RegistryAndLinksAccessDenied", ERROR_ACCESS_DENIED, true},
    {"FilesDiskFull", ERROR_DISK_FULL, false},
    {"RegistryAndLinksDiskFull", ERROR_DISK_FULL, true},
};

INSTANTIATE_TEST_SUITE_P(Errors, FaultMatrixChange, ::testing::ValuesIn(kChangeFaults),
                         [](const ::testing::TestParamInfo<ChangeFault>& info) {
                             return std::string(info.param.name);
                         });

// The same script runs out of memory at each allocation of each step in
// turn: step by step, n = 1, 2, 3 ... until the step succeeds, every run that
// does not succeed must end with ERR_NO_MEMORY and leave everything as it
// was, and a run that succeeds must not have lost an allocation on the way.
// The step that succeeded leaves the state the next one starts from. The
// steps come in four parts, each a test of its own, so that they can run side
// by side; a part starts from the state that the steps before it leave.
struct StepRange
{
    const char* name;
    size_t nFirst, nEnd;
};

const StepRange kStepRanges[] = {
    {"FoldersCopiesAndMoves", 0, 6},
    {"TreeMovesDeletesAndWrites", 6, 12},
    {"Keys", 12, 17},
    {"ValuesAndLinks", 17, 29},
};

void PrintTo(const StepRange& range, std::ostream* os)
{
    *os << range.name;
}

class FaultMatrixMemory : public FaultMatrix, public ::testing::WithParamInterface<StepRange>
{
};

TEST_F(FaultMatrix, TheMemoryPartsTakeEveryStepOnce)
{
    size_t nNext = 0;
    for (const StepRange& range : kStepRanges)
    {
        EXPECT_EQ(range.nFirst, nNext) << range.name;
        nNext = range.nEnd;
    }
    EXPECT_EQ(nNext, Steps().size());
}

TEST_P(FaultMatrixMemory, RunningOutOfMemoryAnywhereRestoresEverything)
{
    const StepRange range = GetParam();
    World w;
    MakeStartingState(w);
    ASSERT_FALSE(HasFatalFailure());
    std::vector<Step> steps = Steps();
    ASSERT_LE(range.nEnd, steps.size());
    {
        std::unique_ptr<CInstaller> installer = MakeScript(w, steps, 0, range.nFirst, false);
        ASSERT_TRUE(installer != nullptr);
        ASSERT_EQ(installer->Run(), ERR_OK) << "the steps before the part";
    }
    Tally tally;
    for (size_t s = range.nFirst; s < range.nEnd; s++)
    {
        Snapshot before = Take(w);
        unsigned n = 1;
        for (;; n++)
        {
            ASSERT_LT(n, 20000u) << steps[s].name;
            std::unique_ptr<CInstaller> installer = MakeScript(w, steps, s, s + 1, false);
            ASSERT_TRUE(installer != nullptr);
            installer->SetProgressCallback(GiveMemoryBackForTheUndo);
            FaultFailAllocation(n);
            int r = installer->Run();
            bool bHit = FaultAllocationCount() >= n;
            FaultFailAllocation(0);
            installer.reset();
            std::string point = std::string("\"") + steps[s].name + "\", allocation " + std::to_string(n);
            if (r == ERR_OK)
            {
                if (bHit)
                    tally.Add(point, "the step reported success without the memory it asked for\n");
                break;
            }
            std::string problems = Problems(r, before, w);
            if (r != ERR_NO_MEMORY)
                problems += "result " + std::to_string(r) + " instead of " + std::to_string(ERR_NO_MEMORY) + "\n";
            tally.Add(point, problems);
        }
        EXPECT_GT(n, 1u) << steps[s].name << " allocates nothing: the proof covered nothing";
    }
    tally.Print("running out of memory at each allocation of each step", "allocation failure points");
    EXPECT_TRUE(tally.Exact());

    // What the proof left is what the steps make: the rest of the script
    // runs on it.
    std::unique_ptr<CInstaller> installer = MakeScript(w, steps, range.nEnd, steps.size(), false);
    ASSERT_TRUE(installer != nullptr);
    EXPECT_EQ(installer->Run(), ERR_OK) << "the steps after the part";
    EXPECT_EQ(ft::ReadText(w.Files() + "\\copytree\\deep\\sub\\added.txt"), "added");
    EXPECT_EQ(ft::ReadText(w.Files() + "\\new\\p2.txt"), "2ARIA!T");
    EXPECT_TRUE(ft::Exists(w.Files() + "\\links\\saver.lnk"));
    EXPECT_EQ(rt::ExportTree(w.KeyPath())["new\\vals2"]["moveme"].data, Le32(42));
}

INSTANTIATE_TEST_SUITE_P(Steps, FaultMatrixMemory, ::testing::ValuesIn(kStepRanges),
                         [](const ::testing::TestParamInfo<StepRange>& info) { return std::string(info.param.name); });
