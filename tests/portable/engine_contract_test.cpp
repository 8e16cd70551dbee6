// The step contract: how a step hands over and takes back its undo records,
// how records are validated and executed, and how the run and the undo pass
// survive exceptions and exhausted memory.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/FaultHooks.h"
#include "objects/InstObjDefine.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "script/Installer.h"
#include "support/TestSupport.h"

namespace
{
// Counts the records alive, so that a test can tell one was destroyed.
class CCountedRecord : public CInstObj
{
public:
    CCountedRecord() { s_nAlive++; }
    ~CCountedRecord() override { s_nAlive--; }
    static int s_nAlive;
};
int CCountedRecord::s_nAlive = 0;

// A step whose Execute calls a function of the test.
typedef int (*StepFn)(CInstObj* pStep, CInstaller* pInstaller);
class CFnStep : public CInstObj
{
public:
    CFnStep(const char* pszName, StepFn pfn) : m_pszName(pszName), m_pfn(pfn) {}
    int Execute(CInstaller* pInstaller) override
    {
        m_pInstaller = pInstaller;
        RunEvents().push_back(std::string(m_pszName) + (m_bRecordUndo ? "" : " (undo)"));
        return m_pfn(this, pInstaller);
    }
    const char* m_pszName;
    StepFn m_pfn;
};

int Succeed(CInstObj*, CInstaller*)
{
    return ERR_OK;
}
int ThrowMemory(CInstObj*, CInstaller*)
{
    AfxThrowMemoryException();
    return ERR_OK;  // a step goes on after a throw and may think it did well
}
int ThrowFile(CInstObj*, CInstaller*)
{
    AfxThrowFileException(CFileException::diskFull);
    return ERR_OK;
}
// Records two undo records that succeed and one, in between, that throws.
int RecordThree(CInstObj* pStep, CInstaller*)
{
    int r = pStep->HandOverUndo(new CFnStep("first", Succeed), ERR_OK);
    if (r == ERR_OK)
        r = pStep->HandOverUndo(new CFnStep("throwing", ThrowMemory), ERR_OK);
    if (r == ERR_OK)
        r = pStep->HandOverUndo(new CFnStep("last", Succeed), ERR_OK);
    return r;
}
int FailAfterRecording(CInstObj* pStep, CInstaller* pInstaller)
{
    int r = RecordThree(pStep, pInstaller);
    return r != ERR_OK ? r : ERR_FILE_COPY;
}

typedef std::vector<std::string> Events;
}  // namespace

TEST(StepContract, HandOverUndoTakesTheRecordOrDestroysIt)
{
    const struct
    {
        const char* what;
        bool bInstaller;
        int nSetUp;
        unsigned nFailAllocation;  // 0: memory does not run out
        int expected;
    } cases[] = {
        {"a record set up well goes to the head of the list", true, ERR_OK, 0, ERR_OK},
        {"a set-up that failed", true, ERR_EMPTY_PATH, 0, ERR_UNDO_RECORD},
        {"a set-up that ran out of memory", true, ERR_NO_MEMORY, 0, ERR_NO_MEMORY},
        {"no installer to take it", false, ERR_OK, 0, ERR_UNDO_RECORD},
        {"no memory for the list's node", true, ERR_OK, 1, ERR_NO_MEMORY},
    };
    for (const auto& c : cases)
    {
        CInstaller installer;
        CInstObj step;
        step.m_pInstaller = c.bInstaller ? &installer : nullptr;
        CCountedRecord::s_nAlive = 0;
        CCountedRecord* pRecord = new CCountedRecord;
        int r;
        {
            CExceptionScope scope;
            FaultFailAllocation(c.nFailAllocation);
            r = step.HandOverUndo(pRecord, c.nSetUp);
            FaultFailAllocation(0);
        }
        EXPECT_EQ(r, c.expected) << c.what;
        if (c.expected == ERR_OK)
        {
            EXPECT_EQ(installer.m_UndoList.GetCount(), 1) << c.what;
            EXPECT_EQ(installer.m_UndoList.GetHead(), pRecord) << c.what;
            EXPECT_TRUE(pRecord->IsUndoRecord()) << c.what;
        }
        else
        {
            EXPECT_TRUE(installer.m_UndoList.IsEmpty()) << c.what;
            EXPECT_EQ(CCountedRecord::s_nAlive, 0) << c.what << ": the record was not destroyed";
        }
    }

    // new that found no memory hands over null.
    CInstaller installer;
    CInstObj step;
    step.m_pInstaller = &installer;
    EXPECT_EQ(step.HandOverUndo(nullptr, ERR_OK), ERR_NO_MEMORY);
    EXPECT_TRUE(installer.m_UndoList.IsEmpty());
}

TEST(StepContract, WithdrawUndoTakesBackOnlyTheNewestRecord)
{
    CInstaller installer;
    CCountedRecord::s_nAlive = 0;
    CCountedRecord* pOld = new CCountedRecord;
    CCountedRecord* pNew = new CCountedRecord;
    ASSERT_EQ(installer.AddUndo(pOld), ERR_OK);
    ASSERT_EQ(installer.AddUndo(pNew), ERR_OK);

    EXPECT_EQ(installer.WithdrawUndo(pOld), ERR_FAILED);
    EXPECT_EQ(installer.WithdrawUndo(nullptr), ERR_FAILED);
    EXPECT_EQ(installer.m_UndoList.GetCount(), 2);
    EXPECT_EQ(CCountedRecord::s_nAlive, 2);

    EXPECT_EQ(installer.WithdrawUndo(pNew), ERR_OK);
    EXPECT_EQ(installer.m_UndoList.GetCount(), 1);
    EXPECT_EQ(installer.m_UndoList.GetHead(), pOld);
    EXPECT_EQ(CCountedRecord::s_nAlive, 1);
}

// Records hold what was recorded, already expanded: they are not expanded
// again, and a registry value record may name the key's default value.
// Steps from a package keep their rules.
TEST(StepContract, RecordsAreNotExpandedAndValidateByTheirOwnRules)
{
    CInstaller installer;
    ASSERT_EQ(installer.AddVariable("Key", "Software\\Saver"), ERR_OK);
    CByteArray data;
    data.Append((const BYTE*)"a<Key>b", 7);

    CInstObjRegValue* pValueRecord = new CInstObjRegValue;
    ASSERT_EQ(pValueRecord->InitRestoreUndo("HKEY_CURRENT_USER\\<Key>", "", data, 1), ERR_OK);
    ASSERT_EQ(installer.AddUndo(pValueRecord), ERR_OK);
    EXPECT_EQ(pValueRecord->PrepareExecute(&installer), ERR_OK);
    EXPECT_EQ(std::string(pValueRecord->m_Targets[0]), "HKEY_CURRENT_USER\\<Key>");
    EXPECT_EQ(std::string((const char*)pValueRecord->m_Data.GetData(), pValueRecord->m_Data.GetSize()), "a<Key>b");

    CInstObjDir* pDirRecord = new CInstObjDir;
    ASSERT_EQ(pDirRecord->InitUndo("C:\\a<b>c", MODE_DELETE), ERR_OK);
    ASSERT_EQ(installer.AddUndo(pDirRecord), ERR_OK);
    EXPECT_EQ(pDirRecord->PrepareExecute(&installer), ERR_OK);
    EXPECT_EQ(std::string(pDirRecord->m_Targets[0]), "C:\\a<b>c");

    const struct
    {
        const char* what;
        const char* target;
        const char* valueName;
        int expected;
        const char* expandedTarget;
    } steps[] = {
        {"step: references expanded", "HKEY_CURRENT_USER\\<Key>", "Name", ERR_OK, "HKEY_CURRENT_USER\\Software\\Saver"},
        {"step: empty value name", "HKEY_CURRENT_USER\\<Key>", "", ERR_EMPTY_NAME, nullptr},
        {"step: undefined variable", "HKEY_CURRENT_USER\\<Nothing>", "Name", ERR_UNDEFINED_VARIABLE, nullptr},
    };
    for (const auto& c : steps)
    {
        CInstObjRegValue step;
        step.m_nMode = MODE_CREATE;
        step.m_Targets.Add(c.target);
        step.m_strValueName = c.valueName;
        EXPECT_EQ(step.PrepareExecute(&installer), c.expected) << c.what;
        if (c.expandedTarget != nullptr)
            EXPECT_EQ(std::string(step.m_Targets[0]), c.expandedTarget) << c.what;
    }
}

// Every set-up of a record, made to run out of memory at each of its
// allocations in turn: it reports ERR_NO_MEMORY, never success with a record
// that lost its path, name or bytes.
TEST(StepContract, SetUpsReportExhaustedMemory)
{
    CByteArray bytes;
    bytes.Append((const BYTE*)"saved bytes", 11);
    const CString strKey("HKEY_LOCAL_MACHINE\\Software\\Saver");
    const CString strName("Value");
    const CString strPath("C:\\Saver\\file.txt");

    struct SetUp
    {
        const char* what;
        std::function<CInstObj*()> make;
        std::function<int(CInstObj*)> setUp;
        std::function<bool(CInstObj*)> whole;  // the record holds all it was given
    };
    auto value = [](CInstObj* p) { return static_cast<CInstObjRegValue*>(p); };
    auto dataIs = [&](CInstObjRegValue* p, const char* text) {
        return p->m_Data.GetSize() == (int)strlen(text) && memcmp(p->m_Data.GetData(), text, strlen(text)) == 0;
    };
    const SetUp setUps[] = {
        {"restore a value", [] { return (CInstObj*)new CInstObjRegValue; },
         [&](CInstObj* p) { return value(p)->InitRestoreUndo(strKey, strName, bytes, 3); },
         [&](CInstObj* p) {
             return value(p)->m_Targets.GetSize() == 1 && value(p)->m_Targets[0] == strKey &&
                    value(p)->m_strValueName == strName && dataIs(value(p), "saved bytes");
         }},
        {"delete a value", [] { return (CInstObj*)new CInstObjRegValue; },
         [&](CInstObj* p) { return value(p)->InitDeleteUndo(strKey, strName, MODE_DELETE); },
         [&](CInstObj* p) { return value(p)->m_Targets.GetSize() == 1 && value(p)->m_strValueName == strName; }},
        {"a text value", [] { return (CInstObj*)new CInstObjRegValue; },
         [&](CInstObj* p) { return value(p)->SetTextValue(strKey, strName, "text", 1); },
         [&](CInstObj* p) {
             return value(p)->m_Targets.GetSize() == 1 && value(p)->m_strValueName == strName &&
                    dataIs(value(p), "text");
         }},
        {"a key", [] { return (CInstObj*)new CInstObjRegistry; },
         [&](CInstObj* p) { return static_cast<CInstObjRegistry*>(p)->InitUndo(strKey, MODE_DELETE); },
         [&](CInstObj* p) { return static_cast<CInstObjRegistry*>(p)->m_Targets.GetSize() == 1; }},
        {"a path", [] { return (CInstObj*)new CInstObjDir; },
         [&](CInstObj* p) { return static_cast<CInstObjDir*>(p)->InitUndo(strPath, MODE_DELETE); },
         [&](CInstObj* p) { return static_cast<CInstObjDir*>(p)->m_Targets.GetSize() == 1; }},
        {"a file's bytes", [] { return (CInstObj*)new CInstObjFile; },
         [&](CInstObj* p) { return static_cast<CInstObjFile*>(p)->InitFileUndo(strPath, bytes); },
         [&](CInstObj* p) {
             CInstObjFile* f = static_cast<CInstObjFile*>(p);
             return f->m_Targets.GetSize() == 1 && f->m_Content.GetSize() == bytes.GetSize();
         }},
    };
    for (const SetUp& s : setUps)
    {
        int nFailures = 0;
        for (unsigned n = 1;; n++)
        {
            ASSERT_LT(n, 100u) << s.what;
            CInstObj* pRecord = s.make();
            FaultFailAllocation(n);
            int r;
            {
                CExceptionScope scope;
                r = s.setUp(pRecord);
            }
            FaultFailAllocation(0);
            bool bWhole = s.whole(pRecord);
            delete pRecord;
            if (r == ERR_OK)
            {
                EXPECT_TRUE(bWhole) << s.what;
                break;
            }
            EXPECT_EQ(r, ERR_NO_MEMORY) << s.what << ", allocation " << n;
            nFailures++;
        }
        EXPECT_GT(nFailures, 0) << s.what << " allocates nothing: the loop proved nothing";
    }
}

TEST(StepContract, ExceptionsEndTheStepAndTheUndoGoesOn)
{
    const struct
    {
        const char* what;
        StepFn fn;
        int expected;
    } cases[] = {
        {"memory runs out in a step that then reports success", ThrowMemory, ERR_NO_MEMORY},
        {"another exception", ThrowFile, ERR_FAILED},
        {"a step that fails by itself", FailAfterRecording, ERR_FILE_COPY},
    };
    for (const auto& c : cases)
    {
        CInstaller installer;
        RunEvents().clear();
        installer.m_PrepareList.AddTail(new CFnStep("recorder", RecordThree));
        installer.m_FileList.AddTail(new CFnStep("step", c.fn));
        installer.m_RegistryList.AddTail(new CFnStep("skipped", Succeed));
        EXPECT_EQ(installer.Run(), c.expected) << c.what;
        Events expected = {"recorder", "step"};
        if (c.fn == FailAfterRecording)
            expected.insert(expected.end(), {"last (undo)", "throwing (undo)", "first (undo)"});
        // The record that throws is passed over; the older ones still run.
        expected.insert(expected.end(), {"last (undo)", "throwing (undo)", "first (undo)"});
        EXPECT_EQ(RunEvents(), expected) << c.what;
    }
}

namespace
{
int ThrowOnStart(unsigned kind, unsigned, unsigned)
{
    if (kind == 1)
        AfxThrowMemoryException();
    return 0;
}
}  // namespace

// A throw outside every step (here in a progress report) used to end the
// process; it fails the run instead, and what the steps did is undone.
TEST(StepContract, AThrowOutsideTheStepsFailsTheRunInsteadOfEndingIt)
{
    CInstaller installer;
    RunEvents().clear();
    installer.SetProgressCallback(ThrowOnStart);
    installer.m_FileList.AddTail(new CFnStep("recorder", RecordThree));
    EXPECT_EQ(installer.Run(), ERR_NO_MEMORY);
    EXPECT_EQ(RunEvents(), (Events{"recorder", "last (undo)", "throwing (undo)", "first (undo)"}));
}

namespace
{
// The proof's state: a few numbered slots and a list of lines, changed only
// by CMemoStep and restored by its records without allocating anything.
struct MemoState
{
    DWORD slots[4];
    CStringArray lines;
};
MemoState* g_pMemo = nullptr;

enum
{
    MEMO_SET = 1,        // slot m_nSlot = m_dwValue
    MEMO_APPEND = 2,     // append m_strText, expanded, to the lines
    MEMO_TRUNCATE = 3    // record: cut the lines back to m_nSlot
};

class CMemoStep : public CInstObj
{
public:
    CMemoStep(int nMode, int nSlot, DWORD dwValue, const char* pszText = "")
        : m_nSlot(nSlot), m_dwValue(dwValue), m_strText(pszText)
    {
        m_nMode = (DWORD)nMode;
    }
    int ExpandVariables() override { return m_pInstaller->ExpandString(m_strText); }
    int Execute(CInstaller* pInstaller) override
    {
        int r = PrepareExecute(pInstaller);
        if (r != ERR_OK)
            return r;
        CStringArray& lines = g_pMemo->lines;
        switch (m_nMode)
        {
        case MEMO_SET:
            if (m_bRecordUndo)
            {
                CMemoStep* pRecord = new CMemoStep(MEMO_SET, m_nSlot, g_pMemo->slots[m_nSlot]);
                r = HandOverUndo(pRecord, pRecord != nullptr ? pRecord->SetUp() : ERR_NO_MEMORY);
                if (r != ERR_OK)
                    return r;
            }
            g_pMemo->slots[m_nSlot] = m_dwValue;
            return ERR_OK;
        case MEMO_APPEND:
        {
            CMemoStep* pRecord = new CMemoStep(MEMO_TRUNCATE, lines.GetSize(), 0);
            r = HandOverUndo(pRecord, pRecord != nullptr ? pRecord->SetUp() : ERR_NO_MEMORY);
            if (r != ERR_OK)
                return r;
            return lines.Add(m_strText) < 0 ? ERR_NO_MEMORY : ERR_OK;
        }
        case MEMO_TRUNCATE:
            // Shrinking allocates nothing.
            return lines.GetSize() <= m_nSlot || lines.SetSize(m_nSlot) ? ERR_OK : ERR_FAILED;
        default:
            return ERR_FAILED;
        }
    }
    int SetUp()
    {
        SetRecordUndo(0);
        return ERR_OK;
    }

    int m_nSlot;
    DWORD m_dwValue;
    CString m_strText;
};

void ResetMemo(MemoState& state)
{
    const DWORD initial[4] = {10, 20, 30, 40};
    memcpy(state.slots, initial, sizeof initial);
    state.lines.RemoveAll();
    state.lines.Add("one");
    state.lines.Add("two");
}

std::string Describe(const MemoState& state)
{
    std::string s;
    for (DWORD v : state.slots)
        s += std::to_string(v) + " ";
    for (int i = 0; i < state.lines.GetSize(); i++)
        s += "|" + std::string(state.lines[i]);
    return s;
}

void BuildMemoScript(CInstaller& script)
{
    script.AddVariable("A", "alpha");
    script.AddVariable("B", "beta");
    script.m_PrepareList.AddTail(new CMemoStep(MEMO_SET, 0, 1));
    script.m_FileList.AddTail(new CMemoStep(MEMO_APPEND, 0, 0, "<A>-1"));
    script.m_FileList.AddTail(new CMemoStep(MEMO_SET, 1, 7));
    script.m_FileList.AddTail(new CMemoStep(MEMO_APPEND, 0, 0, "x<B>y"));
    script.m_RegistryList.AddTail(new CMemoStep(MEMO_APPEND, 0, 0, "<a><b>"));
    script.m_FinishList1.AddTail(new CMemoStep(MEMO_SET, 0, 9));
    script.m_FinishList2.AddTail(new CMemoStep(MEMO_APPEND, 0, 0, "last"));
}

unsigned g_nReports;
int CountReports(unsigned, unsigned, unsigned)
{
    g_nReports++;
    return 0;
}
}  // namespace

// The proof: the run is made to run out of memory at its first allocation,
// then its second, and so on (every later allocation failing too, the undo
// pass's included) until it succeeds. Every run either installs or returns
// ERR_NO_MEMORY with the state exactly as before, and leaks nothing (the
// leak check of the sanitizer builds).
TEST(StepContract, RunOutOfMemoryAtEveryAllocationRollsBackExactly)
{
    MemoState state;
    g_pMemo = &state;
    ResetMemo(state);
    const std::string before = Describe(state);
    unsigned n = 1;
    for (;; n++)
    {
        ASSERT_LT(n, 2000u);
        ResetMemo(state);
        CInstaller* pScript = new CInstaller;
        BuildMemoScript(*pScript);
        pScript->SetProgressCallback(CountReports);
        g_nReports = 0;
        FaultFailAllocation(n);
        int r = pScript->Run();
        FaultFailAllocation(0);
        delete pScript;
        if (r == ERR_OK)
            break;
        ASSERT_EQ(r, ERR_NO_MEMORY) << "allocation " << n;
        ASSERT_EQ(Describe(state), before) << "allocation " << n;
        ASSERT_GT(g_nReports, 0u);
    }
    EXPECT_EQ(Describe(state), "9 7 30 40 |one|two|alpha-1|xbetay|alphabeta|last");
    EXPECT_GT(n, 10u) << "the run allocates less than expected: the proof covered little";
    g_pMemo = nullptr;
    printf("[ proof    ] %u runs, the last one installed\n", n);
}
