// The run: checks, phases, progress reports, undo, and the language question.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/InstObjDefine.h"
#include "script/Installer.h"
#include "support/TestSupport.h"

namespace
{
std::vector<std::string>& g_events = RunEvents();

// A step that logs its execution, records undo steps and returns a set
// result; it can also expand a text through the installer first.
class CTestStep : public CInstObj
{
public:
    explicit CTestStep(const std::string& name, int result = ERR_OK, int undos = 0)
        : m_name(name), m_result(result), m_undos(undos)
    {
    }
    int Execute(CInstaller* pInstaller) override
    {
        m_pInstaller = pInstaller;
        g_events.push_back(m_name + (m_bRecordUndo ? "" : " (undo)"));
        m_executions++;
        for (int i = 1; i <= m_undos; i++)
        {
            int r = pInstaller->AddUndo(new CTestStep(m_name + ".undo" + std::to_string(i), ERR_FAILED));
            if (r != ERR_OK)
                return r;
        }
        if (!m_expand.empty())
        {
            CString text(m_expand.c_str());
            int r = pInstaller->ExpandString(text);
            if (r != ERR_OK)
                return r;
        }
        return m_result;
    }

    std::string m_name;
    int m_result;
    int m_undos;
    std::string m_expand;
    int m_executions = 0;
};

CTestStep* Step(CObList& list, const std::string& name, int result = ERR_OK, int undos = 0)
{
    CTestStep* step = new CTestStep(name, result, undos);
    list.AddTail(step);
    return step;
}

void Define(CInstaller& script, const char* name, const char* value)
{
    CInstObjDefine* define = new CInstObjDefine;
    define->SetVariable(name, value);
    script.m_DefineList.AddTail(define);
}

class RunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_events.clear();
        m_script.SetProgressCallback(RecordProgress);
    }
    CInstaller m_script;
};

typedef std::vector<std::string> Events;
}  // namespace

TEST_F(RunTest, EmptyScriptReportsOnlyItsPhases)
{
    EXPECT_EQ(m_script.Run(), ERR_OK);
    EXPECT_EQ(g_events, (Events{"(1,0,2)", "(4,1,0)", "(5,0,0)", "(4,3,0)", "(4,2,0)", "(4,4,0)", "(5,0,0)", "(2,0,0)"}));
}

TEST_F(RunTest, FailingFileStepIsUndoneNewestFirst)
{
    Step(m_script.m_FileList, "file", ERR_FILE_COPY, 2);
    EXPECT_EQ(m_script.Run(), ERR_FILE_COPY);
    EXPECT_EQ(g_events, (Events{"(1,0,3)", "(4,1,0)", "(5,0,0)", "(4,3,0)", "(5,0,0)", "file", "(4,2,0)", "(4,4,0)",
                                "(5,0,0)", "(3,0,3)", "(4,5,0)", "(5,0,0)", "file.undo2 (undo)", "(5,0,0)",
                                "file.undo1 (undo)", "(2,0,0)"}));
    // The records stay with the script until it is deleted.
    EXPECT_EQ(m_script.m_UndoList.GetCount(), 2);
}

// Work lists run file before registry, although the stream has registry
// first; defines run unreported; the checks, defines and undo records do
// not count as steps. After a failure the phases are still reported, the
// remaining steps are skipped, and every record of every earlier step runs.
TEST_F(RunTest, PhasesInOrderAndStepsSkippedAfterAFailure)
{
    Step(m_script.m_CheckList, "check");
    Step(m_script.m_DefineList, "define");
    Step(m_script.m_PrepareList, "prepare", ERR_OK, 1);
    Step(m_script.m_RegistryList, "registry", ERR_OK, 1);
    Step(m_script.m_FileList, "file", ERR_OK, 1);
    Step(m_script.m_FinishList1, "finish1");
    Step(m_script.m_FinishList2, "finish2");
    EXPECT_EQ(m_script.Run(), ERR_OK);
    EXPECT_EQ(g_events, (Events{"check", "(1,0,7)", "(4,1,0)", "(5,0,0)", "define", "(5,0,0)", "prepare", "(4,3,0)",
                                "(5,0,0)", "file", "(4,2,0)", "(5,0,0)", "registry", "(4,4,0)", "(5,0,0)", "finish1",
                                "(5,0,0)", "finish2", "(5,0,0)", "(2,0,0)"}));
    // Success reverts nothing.
    EXPECT_EQ(m_script.m_UndoList.GetCount(), 3);

    CInstaller failing;
    failing.SetProgressCallback(RecordProgress);
    g_events.clear();
    Step(failing.m_PrepareList, "prepare", ERR_OK, 2);
    Step(failing.m_FileList, "file1", ERR_OK, 1);
    Step(failing.m_FileList, "file2", ERR_DIR_CREATE, 1);
    CTestStep* registry = Step(failing.m_RegistryList, "registry");
    CTestStep* finish = Step(failing.m_FinishList2, "finish2");
    EXPECT_EQ(failing.Run(), ERR_DIR_CREATE);
    EXPECT_EQ(g_events, (Events{"(1,0,7)", "(4,1,0)", "(5,0,0)", "(5,0,0)", "prepare", "(4,3,0)", "(5,0,0)", "file1",
                                "(5,0,0)", "file2", "(4,2,0)", "(4,4,0)", "(5,0,0)", "(3,0,5)", "(4,5,0)", "(5,0,0)",
                                "file2.undo1 (undo)", "(5,0,0)", "file1.undo1 (undo)", "(5,0,0)",
                                "prepare.undo2 (undo)", "(5,0,0)", "prepare.undo1 (undo)", "(2,0,0)"}));
    EXPECT_EQ(registry->m_executions, 0);
    EXPECT_EQ(finish->m_executions, 0);
}

TEST_F(RunTest, FailingDefineListObjectStopsTheWork)
{
    Define(m_script, "A", "a");
    Step(m_script.m_DefineList, "bad define", ERR_EMPTY_NAME, 1);
    CTestStep* prepare = Step(m_script.m_PrepareList, "prepare");
    EXPECT_EQ(m_script.Run(), ERR_EMPTY_NAME);
    EXPECT_EQ(prepare->m_executions, 0);
    EXPECT_EQ(g_events, (Events{"(1,0,3)", "(4,1,0)", "(5,0,0)", "bad define", "(4,3,0)", "(4,2,0)", "(4,4,0)",
                                "(5,0,0)", "(3,0,2)", "(4,5,0)", "(5,0,0)", "bad define.undo1 (undo)", "(2,0,0)"}));
}

// A reference to a variable that nobody defines fails the step with 9.
TEST_F(RunTest, UndefinedVariableFailsTheStep)
{
    Define(m_script, "AppDir", "<WinDir>\\Saver");
    CTestStep* known = Step(m_script.m_PrepareList, "known", ERR_OK, 1);
    known->m_expand = "<appdir>\\x";
    CTestStep* unknown = Step(m_script.m_FileList, "unknown");
    unknown->m_expand = "<Undefined>\\x";
    EXPECT_EQ(m_script.Run(), ERR_UNDEFINED_VARIABLE);
    EXPECT_EQ(m_script.m_UndoList.GetCount(), 1);
}

TEST_F(RunTest, CheckVetoStopsBeforeAnyReport)
{
    const struct
    {
        const char* what;
        const char* errorTextName;
        const char* message;  // expected m_strMessage
    } cases[] = {
        {"message from the named variable", "StopText", "Already installed"},
        {"named in other letter case", "STOPTEXT", "Already installed"},
        {"no such variable: message unchanged", "Missing", "earlier"},
    };
    for (const auto& c : cases)
    {
        CInstaller script;
        script.SetProgressCallback(RecordProgress);
        script.m_strMessage = "earlier";
        g_events.clear();
        Define(script, "StopText", "Already installed");
        Step(script.m_CheckList, "check error", ERR_REG_OPEN);
        Step(script.m_CheckList, "check absent", ERR_NO_KEY_EXISTS);
        CTestStep* veto = Step(script.m_CheckList, "veto", ERR_KEY_EXISTS);
        veto->m_strErrorTextName = c.errorTextName;
        CTestStep* after = Step(script.m_CheckList, "after");
        CTestStep* work = Step(script.m_FileList, "work", ERR_OK, 1);
        EXPECT_EQ(script.Run(), ERR_CHECK_VETO) << c.what;
        EXPECT_EQ(std::string(script.m_strMessage), c.message) << c.what;
        EXPECT_EQ(g_events, (Events{"check error", "check absent", "veto"})) << c.what;
        EXPECT_EQ(after->m_executions + work->m_executions, 0) << c.what;
        // The system variables are not added either.
        EXPECT_EQ(script.m_DefineList.GetCount(), 1) << c.what;
    }
}

TEST_F(RunTest, RunWithoutProgressCallback)
{
    CInstaller script;
    Step(script.m_FileList, "file", ERR_FILE_COPY, 1);
    EXPECT_EQ(script.Run(), ERR_FILE_COPY);
    EXPECT_EQ(g_events, (Events{"file", "file.undo1 (undo)"}));
}

TEST_F(RunTest, AddUndoTakesRecordsAtTheHead)
{
    EXPECT_EQ(m_script.AddUndo(nullptr), ERR_NO_INSTALLER);
    EXPECT_EQ(m_script.m_UndoList.GetCount(), 0);
    CTestStep* first = new CTestStep("first");
    CTestStep* second = new CTestStep("second");
    EXPECT_EQ(first->GetRecordUndo(), 1);
    EXPECT_EQ(m_script.AddUndo(first), ERR_OK);
    EXPECT_EQ(m_script.AddUndo(second), ERR_OK);
    EXPECT_EQ(first->GetRecordUndo(), 0);
    EXPECT_EQ(m_script.m_UndoList.GetHead(), second);
    EXPECT_EQ(m_script.m_UndoList.GetTail(), first);
}

namespace
{
int g_questions;
int g_answer;
std::string g_asked;

int Answer(const char* newLanguage, const char* installedLanguage)
{
    g_questions++;
    g_asked = std::string(newLanguage) + "/" + installedLanguage;
    return g_answer;
}
}  // namespace

TEST(AskUseNewLanguage, AskedAtMostOnce)
{
    const struct
    {
        const char* what;
        bool callback;
        int answer;
        bool option_s;  // "-s" clears the question
        bool option_l;  // "-l" also answers it with yes
        int result;
        int questions;
        BYTE askAfter;
        BYTE useAfter;
    } cases[] = {
        {"yes", true, 1, false, false, 1, 1, 0, 1},
        {"no", true, 0, false, false, 0, 1, 0, 0},
        {"any non-zero answer is yes", true, 7, false, false, 1, 1, 0, 1},
        {"after -s: keep, without asking", true, 1, true, false, 0, 0, 0, 0},
        {"after -l: replace, without asking", true, 0, false, true, 1, 0, 0, 1},
        {"no callback: replace, flags unchanged", false, 0, false, false, 1, 0, 1, 0},
    };
    for (const auto& c : cases)
    {
        CInstaller script;
        if (c.callback)
            script.SetQuestionCallback(Answer);
        if (c.option_s || c.option_l)
            script.m_bAskLanguage = 0;
        if (c.option_l)
            script.m_bUseNewLanguage = 1;
        g_questions = 0;
        g_answer = c.answer;
        g_asked.clear();
        for (int call = 0; call < 3; call++)
            EXPECT_EQ(script.AskUseNewLanguage("Deutsch", "English"), c.result) << c.what << " call " << call;
        EXPECT_EQ(g_questions, c.questions) << c.what;
        EXPECT_EQ(script.m_bAskLanguage, c.askAfter) << c.what;
        EXPECT_EQ(script.m_bUseNewLanguage, c.useAfter) << c.what;
        if (c.questions > 0)
            EXPECT_EQ(g_asked, "Deutsch/English") << c.what;
    }
}
