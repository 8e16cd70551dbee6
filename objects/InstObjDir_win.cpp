// CInstObjDir: the work on disk and its undo records.
#include <string.h>

#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "script/Installer.h"
#include "sysutil/FileSystem.h"
#include "sysutil/FileVersion.h"
#include "sysutil/Handles.h"
#include "sysutil/SysCalls.h"

namespace
{
bool Fits(const CString& strPath)
{
    return strPath.GetLength() < MAX_PATH;
}

// Entries that only point elsewhere (junctions, symbolic links): a tree
// walk that followed one would work on what lies outside the tree.
bool IsReparseEntry(const WIN32_FIND_DATAA& data)
{
    return IsReparsePoint(data.dwFileAttributes) != FALSE;
}

// Source and target name one file or folder by different spellings (letter
// case, a closing backslash, a short name): copying it onto itself and
// deleting the source would lose the only copy.
bool IsSameObject(const CString& strSource, const CString& strTarget)
{
    BOOL bSame = FALSE;
    return SameFileSystemObject(strSource, strTarget, &bSame) && bSame;
}

// The first component of the path that does not exist yet, or empty.
CString FirstMissingComponent(const char* pszPath)
{
    for (int n = 0; (n = NextPathComponent(pszPath, n)) > 0;)
    {
        CString strComponent(pszPath, n);
        if (!PathExists(strComponent))
            return strComponent;
    }
    return CString();
}

// Delete-on-undo records for what a tree copy adds to an existing tree: each
// entry of the source that the target lacks.
int RecordNewEntries(CInstObjDir* pStep, const CString& strSource, const CString& strTarget)
{
    CString strPattern;
    CFindHandle find;
    WIN32_FIND_DATAA data;
    if (!JoinPath(strPattern, strSource, "*.*") || !find.First(strPattern, data))
        return ERR_FAILED;
    do
    {
        const char* pszName = data.cFileName;
        if (IsDotEntry(pszName))
            continue;
        CString strFrom, strTo;
        if (!JoinPath(strFrom, strSource, pszName) || !JoinPath(strTo, strTarget, pszName))
            return ERR_UNDO_RECORD;
        int r = ERR_OK;
        if (!PathExists(strTo))
            r = pStep->RecordDeleteUndo(strTo);
        else if (IsReparseEntry(data))
            r = ERR_UNDO_RECORD;
        else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && IsDirectory(strTo))
            r = RecordNewEntries(pStep, strFrom, strTo);
        if (r != ERR_OK)
            return r;
    } while (find.Next(data));
    return ERR_OK;
}
}  // namespace

int CInstObjDir::Execute(CInstaller* pInstaller)
{
    int r = PrepareExecute(pInstaller);
    if (r != ERR_OK)
        return r;

    switch (m_nMode)
    {
    case MODE_COPY:
    case MODE_MOVE:
        for (int i = 0; i < m_Sources.GetSize(); i++)
        {
            const CString& strSource = m_Sources[i];
            const CString& strTarget = m_Targets[i];
            bool bMove = m_nMode == MODE_MOVE;
            if (IsDirectory(strSource))
            {
                int nError = bMove ? ERR_DIR_MOVE : ERR_DIR_COPY;
                if (!Fits(strTarget) || !TreePathsFit(strSource, strTarget))
                    return ERR_TOO_LONG;
                // A folder moved onto itself (another spelling of it) would
                // lose its only copy; links inside either tree would take
                // the copy, its undo or the deletion of the source outside.
                if (IsSameObject(strSource, strTarget) || TreeHasReparsePoint(strSource) ||
                    TreeHasReparsePoint(strTarget))
                    return nError;
                r = RecordDirCopyUndo(strSource, strTarget, (int)m_nMode);
                if (r != ERR_OK)
                    return r;
                if (CopyTree(strSource, strTarget) != COPYTREE_OK)
                    return nError;
                // A tree that is still there (a file in use, a read-only
                // file) has not been moved.
                if (bMove && (!DeleteTree(strSource, "", FALSE, TRUE) || IsDirectory(strSource)))
                    return nError;
                continue;
            }
            int nError = bMove ? ERR_FILE_MOVE : ERR_FILE_COPY;
            if (!Fits(strSource) || !Fits(strTarget))
                return ERR_TOO_LONG;
            if (IsSameObject(strSource, strTarget))
                return nError;
            char szNew[256] = "";
            char szOld[256] = "";
            if (!ShouldOverwrite(strSource, strTarget, szNew, szOld, 255))
                continue;
            r = RecordFileCopyUndo(strSource, strTarget, (int)m_nMode);
            if (r != ERR_OK)
                return r;
            // Windows refuses to replace a read-only file; so does this on
            // file systems that would let a privileged writer through.
            if (IsReadOnlyFile(strTarget) || !SysCopyFile(strSource, strTarget, FALSE))
                return nError;
            // A file that is still there has not been moved: a file system
            // may report a delete done that it did not do (Wine on a
            // read-only mount).
            if (bMove && (!SysDeleteFile(strSource) || PathExists(strSource)))
                return nError;
        }
        return ERR_OK;

    case MODE_CREATE:
        for (int i = 0; i < m_Targets.GetSize(); i++)
        {
            const CString& strTarget = m_Targets[i];
            if (!Fits(strTarget))
                return ERR_TOO_LONG;
            r = RecordDirUndo(strTarget, MODE_CREATE);
            if (r != ERR_OK)
                return r;
            r = CreateDirTree(strTarget);
            if (r != ERR_OK)
                return r == 1 ? ERR_DIR_CREATE : r;
        }
        return ERR_OK;

    case MODE_DELETE:
        for (int i = 0; i < m_Targets.GetSize(); i++)
        {
            const CString& strTarget = m_Targets[i];
            if (IsDirectory(strTarget))
            {
                if (!Fits(strTarget) || !TreePathsFit(strTarget, nullptr))
                    return ERR_TOO_LONG;
                if (TreeHasReparsePoint(strTarget))
                    return ERR_DIR_DELETE;
                r = RecordDirUndo(strTarget, MODE_DELETE);
                if (r != ERR_OK)
                    return r;
                // The undo takes read-only entries too: it puts back a state
                // in which they did not exist.
                if (!DeleteTree(strTarget, "", FALSE, TRUE, !m_bRecordUndo) || IsDirectory(strTarget))
                    return ERR_DIR_DELETE;
                continue;
            }
            if (!Fits(strTarget))
                return ERR_TOO_LONG;
            r = RecordFileUndo(strTarget, MODE_DELETE);
            if (r != ERR_OK)
                return r;
            // The undo deletes a read-only file too: it puts back a state in
            // which the file did not exist.
            if (!m_bRecordUndo)
                ClearReadOnly(strTarget);
            if (!SysDeleteFile(strTarget) || PathExists(strTarget))
                return ERR_FILE_DELETE;
        }
        return ERR_OK;

    default:
        return ERR_FAILED;
    }
}

int CInstObjDir::ShouldOverwrite(const char* pszNewFile, const char* pszTarget, char* pszNewLanguage,
                                 char* pszOldLanguage, int nSize)
{
    if (!FileExists(pszTarget))
        return 1;
    int nVersion = CompareFileVersions(pszNewFile, pszTarget);
    if (nVersion == VERSION_LOWER)
        return 0;
    if (nVersion != VERSION_EQUAL)
        return 1;
    // Equal versions: the language decides. A file without a translation
    // table cannot be told apart by language, so it is simply written.
    int nLanguage = CompareFileLanguages(pszNewFile, pszTarget, pszNewLanguage, pszOldLanguage, nSize);
    if (nLanguage != 1 || m_pInstaller == nullptr)
        return 1;
    return m_pInstaller->AskUseNewLanguage(pszNewLanguage, pszOldLanguage);
}

int CInstObjDir::CreateDirTree(const char* pszPath)
{
    bool bRecorded = false;
    for (int n = 0; (n = NextPathComponent(pszPath, n)) > 0;)
    {
        CString strComponent(pszPath, n);
        DWORD dw = GetFileAttributesA(strComponent);
        if (dw != INVALID_FILE_ATTRIBUTES)
        {
            if ((dw & FILE_ATTRIBUTE_DIRECTORY) == 0)
                return 1;
            continue;
        }
        // Deleting the topmost new directory on undo removes all below it.
        if (!bRecorded && m_bRecordUndo)
        {
            int r = RecordDeleteUndo(strComponent);
            if (r != ERR_OK)
                return r;
            bRecorded = true;
        }
        if (!SysCreateDirectory(strComponent))
            return 1;
        if (m_dwAttributes != kNoAttributes)
            SysSetFileAttributes(strComponent, m_dwAttributes);
    }
    return 0;
}

int CInstObjDir::RecordDirUndo(const CString& strPath, int nKind)
{
    if (!m_bRecordUndo)
        return ERR_OK;
    if (nKind == MODE_CREATE)
    {
        if (PathExists(strPath))
            return ERR_OK;
        return RecordDeleteUndo(strPath);
    }
    if (nKind != MODE_DELETE)
        return ERR_FAILED;

    // The contents first: the undo runs newest first, so the directory is
    // made again before its contents are restored.
    int r = RecordTreeUndo(strPath, MODE_DELETE);
    if (r != ERR_OK)
        return r;
    CInstObjDir* pRecord = new CInstObjDir;
    if (pRecord == nullptr)
        return HandOverUndo(pRecord, ERR_NO_MEMORY);
    pRecord->m_dwAttributes = GetFileAttributesA(strPath);
    return HandOverUndo(pRecord, pRecord->InitUndo(strPath, MODE_CREATE));
}

int CInstObjDir::RecordDeleteUndo(const CString& strPath, CInstObj** ppRecord)
{
    if (ppRecord != nullptr)
        *ppRecord = nullptr;
    if (!m_bRecordUndo)
        return ERR_OK;
    CInstObjDir* pRecord = new CInstObjDir;
    int r = HandOverUndo(pRecord, pRecord != nullptr ? pRecord->InitUndo(strPath, MODE_DELETE) : ERR_NO_MEMORY);
    if (r == ERR_OK && ppRecord != nullptr)
        *ppRecord = pRecord;
    return r;
}

int CInstObjDir::RecordTreeUndo(const CString& strDir, int nKind)
{
    if (!m_bRecordUndo)
        return ERR_OK;
    CString strPrefix(strDir);
    if (strPrefix.IsEmpty() || strPrefix[strPrefix.GetLength() - 1] != '\\')
        strPrefix += '\\';
    if (nKind != MODE_DELETE)
        return ERR_OK;

    CString strPattern;
    CFindHandle find;
    WIN32_FIND_DATAA data;
    if (!JoinPath(strPattern, strPrefix, "*.*") || !find.First(strPattern, data))
        return ERR_FAILED;
    do
    {
        const char* pszName = data.cFileName;
        if (IsDotEntry(pszName))
            continue;
        // What a reparse point leads to is not the tree's: it is neither
        // saved nor deleted on its behalf.
        if (IsReparseEntry(data))
            return ERR_UNDO_RECORD;
        CString strEntry;
        if (!JoinPath(strEntry, strPrefix, pszName))
            return ERR_UNDO_RECORD;
        int r = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RecordDirUndo(strEntry, MODE_DELETE)
                                                                          : RecordFileUndo(strEntry, MODE_DELETE);
        if (r != ERR_OK)
            return r;
    } while (find.Next(data));
    return ERR_OK;
}

int CInstObjDir::RecordFileUndo(const CString& strPath, int nKind)
{
    if (!m_bRecordUndo)
        return ERR_OK;
    if (nKind != MODE_DELETE)
        return ERR_FAILED;
    CInstObjFile* pRecord = new CInstObjFile;
    if (pRecord == nullptr)
        return HandOverUndo(pRecord, ERR_NO_MEMORY);
    // The saved bytes go straight into the record: large files are held
    // once, not twice.
    int nSetUp = ReadFileBytes(strPath, pRecord->m_Content);
    if (nSetUp == ERR_FAILED)
        nSetUp = ERR_UNDO_RECORD;  // a file that cannot be read is not replaced unsaved
    if (nSetUp == ERR_OK)
    {
        pRecord->m_dwAttributes = GetFileAttributesA(strPath);
        nSetUp = pRecord->InitFileUndo(strPath, CByteArray());
    }
    return HandOverUndo(pRecord, nSetUp);
}

int CInstObjDir::RecordDirCopyUndo(const CString& strSource, const CString& strTarget, int nMode)
{
    if (!m_bRecordUndo)
        return ERR_OK;
    if (nMode != MODE_COPY && nMode != MODE_MOVE)
        return ERR_FAILED;
    int r;
    if (!PathExists(strTarget))
    {
        // The copy makes every missing directory of the target path: the
        // undo deletes the topmost of them, and with it all below.
        CString strTop = FirstMissingComponent(strTarget);
        r = RecordDirUndo(strTarget, MODE_CREATE);
        if (r == ERR_OK && !strTop.IsEmpty() && strTop.GetLength() < strTarget.GetLength())
            r = RecordDeleteUndo(strTop);
    }
    else
    {
        r = RecordTreeUndo(strTarget, MODE_DELETE);
        // What the copy adds to the existing tree goes again on undo.
        if (r == ERR_OK)
            r = RecordNewEntries(this, strSource, strTarget);
    }
    if (r != ERR_OK || nMode == MODE_COPY)
        return r;
    // The move deletes the source directory itself, not only what is in it.
    return RecordDirUndo(strSource, MODE_DELETE);
}

int CInstObjDir::RecordFileCopyUndo(const CString& strSource, const CString& strTarget, int nMode)
{
    if (!m_bRecordUndo)
        return ERR_OK;
    if (nMode != MODE_COPY && nMode != MODE_MOVE)
        return ERR_FAILED;
    if (nMode == MODE_MOVE)
    {
        int r = RecordFileUndo(strSource, MODE_DELETE);
        if (r != ERR_OK)
            return r;
    }
    // A target that exists but cannot be read is not replaced unsaved: its
    // record fails instead.
    if (IsFile(strTarget))
        return RecordFileUndo(strTarget, MODE_DELETE);
    return RecordDirUndo(strTarget, MODE_CREATE);
}
