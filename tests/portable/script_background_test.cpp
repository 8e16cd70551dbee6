// Running a script while it is still being read from its package: the same
// steps in the same order as after a whole load, and a package that breaks
// half-way fails the run and takes back what it did.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "objects/InstObjAction.h"
#include "objects/InstObjDefine.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "support/TestSupport.h"

namespace
{
std::vector<std::string>& g_events = RunEvents();

// A step that travels in a package. Its name says what it does: "fail"
// in it returns ERR_FILE_COPY, "undo" records one undo step, "broken"
// makes the object unreadable, so that the stream breaks there.
class CPackedStep : public CInstObjDefine
{
    DECLARE_SERIAL(CPackedStep)
public:
    CPackedStep() = default;
    explicit CPackedStep(const char* name, const std::string& value = "value") { SetVariable(name, value.c_str()); }
    void Serialize(CArchive& ar) override
    {
        CInstObjDefine::Serialize(ar);
        if (ar.IsLoading() && Has("broken"))
            AfxThrowArchiveException(CArchiveException::generic, 0);
    }
    int Execute(CInstaller* pInstaller) override
    {
        std::string name = (const char*)m_strName;
        g_events.push_back(name + (m_bRecordUndo ? "" : " (undo)"));
        if (Has("undo") && m_bRecordUndo)
        {
            CPackedStep* pUndo = new CPackedStep((name + ".undo").c_str());
            pInstaller->AddUndo(pUndo);
        }
        return Has("fail") && m_bRecordUndo ? ERR_FILE_COPY : ERR_OK;
    }
    bool Has(const char* what) const { return strstr((const char*)m_strName, what) != nullptr; }
};
IMPLEMENT_SERIAL(CPackedStep, CInstObjDefine, 1)

// An action that only tells that it ran.
class CPackedAction : public CInstObjAction
{
    DECLARE_SERIAL(CPackedAction)
public:
    int Execute(CInstaller*) override
    {
        g_events.push_back("action");
        return ERR_OK;
    }
};
IMPLEMENT_SERIAL(CPackedAction, CInstObjAction, 1)

// A check that refers to script variables, as a registry check's key path
// does: "check <Name>" expands its own name and tells the result; with
// "veto" in it, it stops the installation, its message the variable Name.
class CPackedCheck : public CInstObjDefine
{
    DECLARE_SERIAL(CPackedCheck)
public:
    CPackedCheck() = default;
    explicit CPackedCheck(const char* name, const char* errorText)
    {
        SetVariable(name, "");
        m_strErrorTextName = errorText;
    }
    int Execute(CInstaller* pInstaller) override
    {
        CString text = m_strName;
        int r = pInstaller->ExpandString(text);
        g_events.push_back(r == ERR_OK ? std::string((const char*)text) : "error " + std::to_string(r));
        return strstr((const char*)m_strName, "veto") != nullptr ? ERR_KEY_EXISTS : ERR_OK;
    }
};
IMPLEMENT_SERIAL(CPackedCheck, CInstObjDefine, 1)

// The value every CPackedStep of a script carries.
std::string ValueOf(size_t nBytes)
{
    std::string value(nBytes, 'v');
    for (size_t i = 0; i < value.size(); i++)
        value[i] = (char)('a' + (i * 7 + i / 13) % 26);
    return value;
}

// A script described list by list (stream order: check, define, prepare,
// registry, file, finish 1, finish 2); "action" stands for a CPackedAction,
// a name with a '<' for a CPackedCheck whose message is the variable Late.
typedef std::vector<std::vector<std::string>> Lists;

Bytes ProgramWith(const Lists& lists, DWORD version = 1, size_t nValueBytes = 5)
{
    // Long values make the reader slow enough for the run to catch up.
    std::string value = ValueOf(nValueBytes);
    CInstaller script;
    script.m_nVersion = version;
    CObList* const targets[] = {&script.m_CheckList,    &script.m_DefineList,  &script.m_PrepareList,
                                &script.m_RegistryList, &script.m_FileList,    &script.m_FinishList1,
                                &script.m_FinishList2};
    for (size_t n = 0; n < lists.size(); n++)
        for (const std::string& name : lists[n])
            targets[n]->AddTail(name == "action"                         ? (CObject*)new CPackedAction
                                : name.find('<') != std::string::npos ? (CObject*)new CPackedCheck(name.c_str(), "Late")
                                                                      : new CPackedStep(name.c_str(), value));
    Bytes package = PackBytes("Quill", [&](CArchive& ar) { script.Serialize(ar); });
    EXPECT_FALSE(package.empty());
    return Text("MZ image ") + Text("XX") + Text("ataDfOnigeB") + Text("YY") + package;
}

typedef std::vector<std::string> Events;

class BackgroundLoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CInstaller::RegisterClasses();
        AfxRegisterClass(RUNTIME_CLASS(CPackedStep));
        AfxRegisterClass(RUNTIME_CLASS(CPackedAction));
        AfxRegisterClass(RUNTIME_CLASS(CPackedCheck));
        g_events.clear();
    }
    // Loads the program file in the background (or whole first) and runs
    // it; returns Run's result.
    int LoadAndRun(const Bytes& program, bool bBackground, bool bProgress = false, CString* pMessage = nullptr)
    {
        std::string path = m_dir / "setup.exe";
        EXPECT_TRUE(WriteFileBytes(path, program));
        CInstaller script;
        if (bProgress)
            script.SetProgressCallback(RecordProgress);
        int r = bBackground ? script.BeginLoadPackage(path.c_str()) : script.LoadPackage(path.c_str());
        if (r != ERR_OK)
            return -r;
        r = script.Run();
        if (pMessage != nullptr)
            *pMessage = script.m_strMessage;
        return r;
    }
    ScratchDir m_dir;
};
}  // namespace

TEST_F(BackgroundLoadTest, RunsTheSameStepsAsAfterAWholeLoad)
{
    Lists lists = {{"check"},  {"define"}, {"prepare undo"}, {"registry"}, {"file 1", "file 2", "file 3"},
                   {"finish 1"}, {"finish 2 a", "finish 2 b"}};
    for (bool bProgress : {false, true})
    {
        g_events.clear();
        EXPECT_EQ(LoadAndRun(ProgramWith(lists), false, bProgress), ERR_OK);
        Events whole = g_events;
        g_events.clear();
        EXPECT_EQ(LoadAndRun(ProgramWith(lists), true, bProgress), ERR_OK);
        EXPECT_EQ(g_events, whole) << "progress " << bProgress;
    }
    // A long script, whose run keeps catching up with the reader.
    Lists longer(7);
    for (int i = 0; i < 300; i++)
        longer[2 + i % 5].push_back("step " + std::to_string(i) + (i % 7 == 0 ? " undo" : ""));
    g_events.clear();
    EXPECT_EQ(LoadAndRun(ProgramWith(longer, 1, 20000), false), ERR_OK);
    Events whole = g_events;
    g_events.clear();
    EXPECT_EQ(LoadAndRun(ProgramWith(longer, 1, 20000), true), ERR_OK);
    EXPECT_EQ(g_events, whole);

    // A stream of another version is an empty script either way.
    g_events.clear();
    EXPECT_EQ(LoadAndRun(ProgramWith(lists, 2), true, true), ERR_OK);
    EXPECT_EQ(g_events, (Events{"(1,0,2)", "(4,1,0)", "(5,0,0)", "(4,3,0)", "(4,2,0)", "(4,4,0)", "(5,0,0)", "(2,0,0)"}));
}

// The checks come first in the stream but may refer to the defines behind
// them: they run only once the define list is read, so a variable defined
// late in a long define list is there for them, and the check's message too.
TEST_F(BackgroundLoadTest, ChecksSeeEveryScriptVariable)
{
    const size_t kValueBytes = 400;
    std::string late = ValueOf(kValueBytes);
    Events defines;
    for (int i = 0; i < 2000; i++)
        defines.push_back("Early" + std::to_string(i));
    defines.push_back("Late");
    struct Case
    {
        const char* check;
        std::string seen;  // by the check
        int result;
        std::string message;
    } cases[] = {
        {"<Late>\\Key", late + "\\Key", ERR_OK, ""},
        {"veto <Late>", "veto " + late, ERR_CHECK_VETO, late},
    };
    for (const Case& c : cases)
    {
        Bytes program = ProgramWith({{c.check}, defines, {"prepare"}}, 1, kValueBytes);
        Events events = {c.seen};
        if (c.result == ERR_OK)
        {
            events.insert(events.end(), defines.begin(), defines.end());
            events.push_back("prepare");
        }
        for (bool bBackground : {false, true})
        {
            g_events.clear();
            CString message;
            EXPECT_EQ(LoadAndRun(program, bBackground, false, &message), c.result) << c.check << bBackground;
            EXPECT_TRUE(g_events == events) << c.check << bBackground << ": the check saw "
                                            << (g_events.empty() ? "nothing" : g_events[0].substr(0, 20));
            EXPECT_EQ(std::string((const char*)message), c.message) << c.check << bBackground;
        }
    }
}

// Where the stream breaks decides what has run by then; whatever ran is
// taken back, newest first, and the run fails as an unreadable package.
TEST_F(BackgroundLoadTest, APackageThatBreaksHalfWayFailsTheRunAndIsUndone)
{
    struct Case
    {
        const char* what;
        Lists lists;
        Events events;
    } cases[] = {
        {"broken check: nothing runs", {{"check 1", "broken check"}, {}, {"prepare"}}, {}},
        {"broken define: not even the checks run, which wait for the defines",
         {{"check"}, {"define", "broken define"}, {"prepare"}},
         {}},
        {"broken file step after two steps",
         {{}, {}, {"prepare undo"}, {}, {"file 1 undo", "file 2 undo", "broken file", "file 4"}, {"finish"}},
         {"prepare undo", "file 1 undo", "file 2 undo", "file 2 undo.undo (undo)", "file 1 undo.undo (undo)",
          "prepare undo.undo (undo)"}},
        {"broken last step: everything ran, and is undone",
         {{}, {}, {"prepare undo"}, {}, {}, {}, {"finish undo", "broken finish"}},
         {"prepare undo", "finish undo", "finish undo.undo (undo)", "prepare undo.undo (undo)"}},
        {"an action waits for the whole package, and so never runs",
         {{}, {}, {"prepare undo", "action", "prepare 2"}, {}, {}, {}, {"broken finish"}},
         {"prepare undo", "prepare undo.undo (undo)"}},
    };
    for (const Case& c : cases)
    {
        g_events.clear();
        EXPECT_EQ(LoadAndRun(ProgramWith(c.lists), true), ERR_FAILED) << c.what;
        // The events after the last step depend on how far the reader had
        // got; the steps before the break always run in order.
        EXPECT_EQ(g_events, c.events) << c.what;
    }
}

TEST_F(BackgroundLoadTest, AFailingStepStopsTheReaderAndTheScriptGoesCleanly)
{
    Lists lists = {{}, {}, {"prepare undo", "prepare fail"}, {}, {}, {}, {}};
    for (int i = 0; i < 2000; i++)
        lists[4].push_back("file " + std::to_string(i));
    EXPECT_EQ(LoadAndRun(ProgramWith(lists), true), ERR_FILE_COPY);
    EXPECT_EQ(g_events, (Events{"prepare undo", "prepare fail", "prepare undo.undo (undo)"}));

    // A script deleted without running stops its reader as well.
    std::string path = m_dir / "unrun.exe";
    ASSERT_TRUE(WriteFileBytes(path, ProgramWith(lists)));
    CInstaller* pScript = new CInstaller;
    EXPECT_EQ(pScript->BeginLoadPackage(path.c_str()), ERR_OK);
    delete pScript;
}

TEST_F(BackgroundLoadTest, OpeningFailuresAreReportedAtOnceAsByAWholeLoad)
{
    Bytes good = ProgramWith({{"check"}});
    struct Case
    {
        const char* what;
        Bytes program;
        int result;
    } cases[] = {
        {"no marker", Text("MZ image only"), ERR_NO_MARKER},
        {"body cut short", Bytes(good.begin(), good.end() - 5), ERR_FAILED},
        {"body altered", [&] { Bytes b = good; b[b.size() - 2] ^= 0x40; return b; }(), ERR_FAILED},
    };
    PackageMessageHandler previous = PackageArchive::SetMessageHandler(nullptr);
    for (const Case& c : cases)
    {
        EXPECT_EQ(LoadAndRun(c.program, true), -c.result) << c.what;
        EXPECT_EQ(LoadAndRun(c.program, false), -c.result) << c.what;
    }
    PackageArchive::SetMessageHandler(previous);
    CInstaller script;
    EXPECT_EQ(script.BeginLoadPackage("no-such-dir-x/setup.exe"), ERR_FAILED);
}
