// CInstObjDir: copies, moves, creates and deletes files and directory trees,
// and records how to undo each change.
#ifndef OBJECTS_INSTOBJDIR_H
#define OBJECTS_INSTOBJDIR_H

#include "objects/InstObj.h"

class CInstObjDir : public CInstObj
{
    DECLARE_SERIAL(CInstObjDir)
public:
    // m_dwAttributes when no attributes are to be set.
    static const DWORD kNoAttributes = 0xFFFFFFFF;

    CInstObjDir();

    // Stream form: the base fields, m_dwAttributes, m_Sources, m_Targets.
    void Serialize(CArchive& ar) override;
    // Copy and move: equal list lengths (ERR_DIR_LIST_LENGTH) and no empty
    // source; every mode: no empty target (ERR_EMPTY_PATH).
    int Validate() override;
    // Sources, then targets, through ExpandString.
    int ExpandVariables() override;
    int Execute(CInstaller* pInstaller) override;

    // Makes this new object an undo record: kind 3 re-creates the directory
    // at path, kind 4 deletes the file or tree at path. ERR_NO_MEMORY when
    // the path could not be stored.
    int InitUndo(const CString& strPath, int nKind);

    // The undo recording of the work (Windows only). Each records nothing
    // and returns ERR_OK while m_bRecordUndo is clear.
    int RecordDirUndo(const CString& strPath, int nKind);
    int RecordTreeUndo(const CString& strDir, int nKind);
    int RecordFileUndo(const CString& strPath, int nKind);
    int RecordDirCopyUndo(const CString& strSource, const CString& strTarget, int nMode);
    int RecordFileCopyUndo(const CString& strSource, const CString& strTarget, int nMode);
    // A delete-on-undo record for a path that is about to be created;
    // *ppRecord, if given, receives the record (null when none was made), so
    // that it can be withdrawn if the path is not created after all.
    int RecordDeleteUndo(const CString& strPath, CInstObj** ppRecord = nullptr);
    // 1 when newFile is to replace target, by version and language.
    int ShouldOverwrite(const char* pszNewFile, const char* pszTarget, char* pszNewLanguage, char* pszOldLanguage,
                        int nSize);
    // 0 when every directory of the path exists afterwards, else 1; the
    // code of the record (ERR_UNDO_RECORD, ERR_NO_MEMORY) when the topmost
    // new directory could not be recorded, before anything was created.
    int CreateDirTree(const char* pszPath);

    // Reads a whole file: 0; ERR_NO_MEMORY when memory ran out; 1 on any
    // other failure.
    static int ReadFileBytes(const CString& strPath, CByteArray& bytes);

    CStringArray m_Sources;
    CStringArray m_Targets;
    DWORD m_dwAttributes;  // file attributes for what is created, or kNoAttributes
};

#endif
