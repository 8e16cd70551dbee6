// CInstObjFile: writing carried bytes to disk, and restoring saved ones.
#include "objects/InstObjFile.h"
#include "framework/Owner.h"
#include "script/Installer.h"
#include "sysutil/FileSystem.h"
#include "sysutil/Handles.h"
#include "sysutil/SysCalls.h"

int CInstObjFile::Execute(CInstaller* pInstaller)
{
    int r = PrepareExecute(pInstaller);
    if (r != ERR_OK)
        return r;
    for (int i = 0; i < m_Targets.GetSize(); i++)
    {
        r = WriteTarget(m_Targets[i], m_Content, TRUE);
        if (r != ERR_OK)
            return r;
    }
    return ERR_OK;
}

namespace
{
enum NewFile
{
    NEW_WRITTEN,   // created and written whole
    NEW_FAILED,    // created, but the bytes did not all go in
    NEW_NOT_MADE,  // something stands there already, or nothing could be made
};

// Writes all the bytes to an open file.
bool WriteAll(HANDLE hFile, const CByteArray& bytes)
{
    DWORD dwWritten = 0;
    return bytes.GetSize() == 0 || (SysWriteFile(hFile, bytes.GetData(), (DWORD)bytes.GetSize(), &dwWritten) &&
                                    dwWritten == (DWORD)bytes.GetSize());
}

// Creates the file only where nothing stands yet, and writes the bytes.
NewFile WriteNewFile(const CString& strPath, const CByteArray& bytes)
{
    CFileOwner file(SysCreateFile(strPath, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
    if (!file.IsValid())
        return NEW_NOT_MADE;
    bool bOk = WriteAll(file, bytes);
    // Data the system could not write out shows itself when the handle goes.
    return CloseHandle(file.Detach()) && bOk ? NEW_WRITTEN : NEW_FAILED;
}
}  // namespace

int CInstObjFile::WriteFileBytes(const CString& strPath, const CByteArray& bytes)
{
    // Windows refuses to truncate a hidden or system file unless the call
    // names those attributes too; a restore record must get through.
    DWORD dwOld = GetFileAttributesA(strPath);
    DWORD dwKeep = dwOld == INVALID_FILE_ATTRIBUTES || (dwOld & FILE_ATTRIBUTE_DIRECTORY) != 0
                       ? 0
                       : dwOld & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    DWORD dwFlags = dwKeep != 0 ? dwKeep : FILE_ATTRIBUTE_NORMAL;
    CFileOwner file(SysCreateFile(strPath, GENERIC_WRITE, 0, CREATE_ALWAYS, dwFlags));
    if (!file.IsValid())
        return 1;
    bool bOk = WriteAll(file, bytes);
    return CloseHandle(file.Detach()) && bOk ? 0 : 1;
}

int CInstObjFile::WriteTarget(const CString& strTarget, const CByteArray& bytes, BOOL bApplyAttributes)
{
    if (strTarget.GetLength() >= MAX_PATH)
        return ERR_TOO_LONG;
    if (m_bRecordUndo)
    {
        // Most targets are new. Their delete record goes in first, and the
        // file is then created only where nothing stands yet: one look-up
        // of the path instead of two. Whatever stands there already takes
        // the way below, and the record is withdrawn.
        CInstObj* pRecord = nullptr;
        int r = RecordDeleteUndo(strTarget, &pRecord);
        if (r != ERR_OK)
            return r;
        switch (WriteNewFile(strTarget, bytes))
        {
        case NEW_WRITTEN:
            if (bApplyAttributes && m_dwAttributes != kNoAttributes)
                SysSetFileAttributes(strTarget, m_dwAttributes);
            return ERR_OK;
        case NEW_FAILED:
            return ERR_FAILED;  // the record removes what was begun
        case NEW_NOT_MADE:
            m_pInstaller->WithdrawUndo(pRecord);
            break;
        }
    }
    DWORD dwOld = GetFileAttributesA(strTarget);
    bool bExists = dwOld != INVALID_FILE_ATTRIBUTES;
    bool bReadOnlyFile = bExists && (dwOld & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) ==
                                        FILE_ATTRIBUTE_READONLY;
    if (m_bRecordUndo)
    {
        // Versions and languages are read from a real file, so the new bytes
        // go to a temporary one first. Without a target there is nothing to
        // compare: the bytes are written anyway.
        if (bExists && FileExists(strTarget))
        {
            CTempFile temp;
            MakeTempFileName(temp.Path());
            if (WriteFileBytes(temp.Path(), bytes) != 0)
                return ERR_FAILED;
            char szNew[256] = "";
            char szOld[256] = "";
            int nWrite = ShouldOverwrite(temp.Path(), strTarget, szNew, szOld, 255);
            temp.Delete();
            if (!nWrite)
                return ERR_OK;
        }
        // A file that exists but cannot be read is not replaced unsaved: its
        // record fails instead.
        int r;
        if (!bExists)
            r = RecordDeleteUndo(strTarget);
        else if ((dwOld & FILE_ATTRIBUTE_DIRECTORY) == 0)
            r = RecordFileUndo(strTarget, MODE_DELETE);
        else
            r = ERR_OK;  // a directory: nothing to save, and the write below fails
        if (r != ERR_OK)
            return r;
        // A read-only file is not replaced. Windows refuses the write
        // itself; a file system that lets a privileged writer through must
        // not change that.
        if (bReadOnlyFile)
            return ERR_FAILED;
    }
    else if (bReadOnlyFile)
    {
        // Rolling back: the saved bytes go back whatever the run left
        // there, a read-only file included.
        SysSetFileAttributes(strTarget, dwOld & ~FILE_ATTRIBUTE_READONLY);
    }
    if (WriteFileBytes(strTarget, bytes) != 0)
    {
        // A file the rollback could not write (a running program, say)
        // keeps the read-only attribute it had.
        if (!m_bRecordUndo && bReadOnlyFile)
            SysSetFileAttributes(strTarget, dwOld);
        return ERR_FAILED;
    }
    if (bApplyAttributes && m_dwAttributes != kNoAttributes)
        SysSetFileAttributes(strTarget, m_dwAttributes);
    return ERR_OK;
}
