// CInstaller: the installer script, root object of a package.
#ifndef SCRIPT_INSTALLER_H
#define SCRIPT_INSTALLER_H

#include "framework/Collections.h"
#include "framework/File.h"
#include "framework/Object.h"
#include "framework/String.h"
#include "objects/ErrorCodes.h"

class CBackgroundLoad;
class CInstObj;
class CScriptCursor;

// Asks whether the new language version replaces the installed one;
// non-zero means yes.
typedef int (*QuestionCallback)(const char* newLanguage, const char* installedLanguage);
// Reports progress: (kind, a, b) as the run documents them. The result is
// not used.
typedef int (*ProgressCallback)(unsigned kind, unsigned a, unsigned b);

class CInstaller : public CObject
{
    DECLARE_SERIAL(CInstaller)
public:
    CInstaller();
    ~CInstaller() override;

    // Stream form: m_nVersion (DWORD), then the lists in the order of
    // ScriptLists.h (check, define, prepare, registry, file, finish 1,
    // finish 2). A version other than 1 loads as an empty script. Loading
    // refuses any list element that is not a new install object (a null, a
    // reference to an object read before).
    void Serialize(CArchive& ar) override;

    // Deletes every object of the eight lists and empties them.
    void DeleteAllObjects();

    void SetQuestionCallback(QuestionCallback pfn) { m_pfnQuestion = pfn; }
    void SetProgressCallback(ProgressCallback pfn) { m_pfnProgress = pfn; }

    // Makes the install-object classes known to dynamic creation.
    static void RegisterClasses();

    // Reads the script from the package appended to the program file:
    // ERR_OK, ERR_FAILED (cannot open or read) or ERR_NO_MARKER.
    int LoadPackage(const CString& strProgramPath);
    // Reads the script from a package stream that starts at the file's
    // current position and runs to its end: ERR_OK or ERR_FAILED.
    int LoadPackageStream(CFile& file);
    // Opens and checks the package as LoadPackage does, with the same
    // results, then reads the script on a thread of its own: Run takes each
    // object as soon as it is read, and fails with ERR_FAILED, undoing what
    // it did, if the rest of the package turns out unreadable.
    int BeginLoadPackage(const CString& strProgramPath);
    // Finds the marker in the whole file and leaves the file on the byte
    // behind it.
    static BOOL FindPackageMarker(CFile& file, const CByteArray& marker);

    // Variables: define objects in m_DefineList, looked up by name without
    // regard to case; the first match wins.
    bool LookupVariable(const CString& strName, CString& strValue) const;
    int AddVariable(const CString& strName, const CString& strValue);
    // Replaces every <name> reference in the text by the variable's value
    // (one level deep): ERR_OK, ERR_BAD_REFERENCE, ERR_UNDEFINED_VARIABLE,
    // ERR_NO_MEMORY, or ERR_TOO_LONG for a result beyond nMaxLength
    // characters or for values that refer to each other without end. On any
    // result but ERR_OK the text is left unchanged. A text without
    // references is never refused.
    int ExpandString(CString& strText, int nMaxLength);
    // The longest expanded text that goes into a fixed buffer: a registry
    // key path. Every script string but the text data of registry values is
    // held to it.
    static constexpr int kMaxExpandedLength = 1039;
    // For text without such a buffer (registry value data); the expansion
    // is still bounded (see Variables.cpp).
    static constexpr int kExpandUnlimited = -1;
    int ExpandString(CString& strText) { return ExpandString(strText, kMaxExpandedLength); }
    void DefineSystemVariables();
    static int GetOsKind();

    // The run: checks, system variables, defines, then the work lists in the
    // phases prepare, file, registry, finish; on failure the undo list,
    // newest first. The checks start once the defines are read, so that
    // they see the script's variables.
    int Run();
    // Takes an undo record: clears its m_bRecordUndo and puts it at the head
    // of m_UndoList.
    int AddUndo(CInstObj* pObject);
    // Takes back the record of a change that was not made after all: the
    // record must be the newest one; it is removed and destroyed. ERR_OK, or
    // ERR_FAILED (nothing changed) when it is not at the head of the list.
    int WithdrawUndo(CInstObj* pRecord);
    void ReportProgress(int nKind, int a, int b);
    int CountSteps() const;
    // The language question, asked at most once per run.
    int AskUseNewLanguage(const char* pszNewLanguage, const char* pszInstalledLanguage);

    DWORD m_nVersion;
    CObList m_CheckList;
    CObList m_DefineList;
    CObList m_RegistryList;
    CObList m_FileList;
    CObList m_PrepareList;
    CObList m_FinishList2;
    CObList m_FinishList1;
    CObList m_UndoList;  // newest first; never stored
    QuestionCallback m_pfnQuestion;
    ProgressCallback m_pfnProgress;
    CString m_strMessage;      // message of a failed check
    BYTE m_bUseNewLanguage;    // the answer to the language question
    BYTE m_bAskLanguage;       // the question is still to be asked

private:
    // Opens the program file and leaves it behind the marker: ERR_OK,
    // ERR_FAILED or ERR_NO_MARKER.
    static int OpenPackage(const CString& strProgramPath, CFile& file);
    int RunList(CScriptCursor& cursor, int nList, int nResult);
    // Executes one object of a list, or one undo record.
    int ExecuteStep(CInstObj* pObject);

    CBackgroundLoad* m_pLoad;  // the reader of a script still being read
};

#endif
