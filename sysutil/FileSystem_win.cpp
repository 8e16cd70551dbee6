// Files and directory trees.
#include "sysutil/FileSystem.h"

#include <stdio.h>
#include <string.h>

#include "sysutil/Handles.h"
#include "sysutil/SysCalls.h"

namespace
{
const char kAllFiles[] = "*.*";

bool IsDirectoryEntry(const WIN32_FIND_DATAA& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The longest text that walking the tree at strDir appends to nBase
// characters, or MAX_PATH as soon as anything would not fit. A link is an
// entry of its own; what it leads to is not part of the tree.
int LongestPath(const CString& strDir, int nBase)
{
    CString strPattern;
    if (!JoinPath(strPattern, strDir, kAllFiles))
        return MAX_PATH;
    int nLongest = nBase + (strPattern.GetLength() - strDir.GetLength());
    CFindHandle find;
    WIN32_FIND_DATAA data;
    if (!find.First(strPattern, data))
        return nLongest;
    do
    {
        if (IsDotEntry(data.cFileName))
            continue;
        CString strEntry;
        if (!JoinPath(strEntry, strDir, data.cFileName))
            return MAX_PATH;
        int nEntry = nBase + (strEntry.GetLength() - strDir.GetLength());
        if (IsDirectoryEntry(data) && !IsReparsePoint(data.dwFileAttributes))
            nEntry = LongestPath(strEntry, nEntry);
        if (nEntry > nLongest)
            nLongest = nEntry;
        if (nLongest >= MAX_PATH)
            return MAX_PATH;
    } while (find.Next(data));
    return nLongest;
}

// Removes a file or a folder; with bForce, a read-only one is made writable
// and tried again.
void RemoveEntry(BOOL (*pfnRemove)(const char*), const char* pszPath, BOOL bForce)
{
    if (!pfnRemove(pszPath) && bForce && ClearReadOnly(pszPath))
        pfnRemove(pszPath);
}

}  // namespace

BOOL JoinPath(CString& strOut, const char* pszDir, const char* pszName)
{
    size_t nDir = strlen(pszDir);
    size_t nName = strlen(pszName);
    bool bSeparator = nDir == 0 || pszDir[nDir - 1] != '\\';
    if (nDir + (bSeparator ? 1 : 0) + nName >= MAX_PATH)
        return FALSE;
    CString strJoined(pszDir, (int)nDir);
    if (bSeparator)
        strJoined += '\\';
    strJoined.Append(pszName, (int)nName);
    strOut = strJoined;
    return TRUE;
}

int NextPathComponent(const char* pszPath, int nStart)
{
    int nLength = (int)strlen(pszPath);
    int i = nStart;
    while (i < nLength)
    {
        if (pszPath[i] == ':')
        {
            i += 2;
            continue;
        }
        if (pszPath[i] == '\\')
            return i + 1;
        i++;
    }
    return nStart < nLength ? nLength : -1;
}

BOOL FileExists(const char* pszPath)
{
    CStdioHandle file(fopen(pszPath, "r"));
    return file.IsValid();
}

BOOL IsDirectory(const char* pszPath)
{
    DWORD dw = GetFileAttributesA(pszPath);
    return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

BOOL PathExists(const char* pszPath)
{
    return GetFileAttributesA(pszPath) != INVALID_FILE_ATTRIBUTES;
}

BOOL IsDotEntry(const char* pszName)
{
    return pszName[0] == '.' && (pszName[1] == 0 || (pszName[1] == '.' && pszName[2] == 0));
}

BOOL IsFile(const char* pszPath)
{
    DWORD dw = GetFileAttributesA(pszPath);
    return dw != INVALID_FILE_ATTRIBUTES && (dw & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

BOOL ClearReadOnly(const char* pszPath)
{
    DWORD dw = GetFileAttributesA(pszPath);
    if (dw == INVALID_FILE_ATTRIBUTES || (dw & FILE_ATTRIBUTE_READONLY) == 0)
        return FALSE;
    return SysSetFileAttributes(pszPath, dw & ~FILE_ATTRIBUTE_READONLY);
}

BOOL IsReadOnlyFile(const char* pszPath)
{
    DWORD dw = GetFileAttributesA(pszPath);
    return dw != INVALID_FILE_ATTRIBUTES && (dw & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) ==
                                                FILE_ATTRIBUTE_READONLY;
}

BOOL CreatePath(const char* pszPath)
{
    for (int n = 0; (n = NextPathComponent(pszPath, n)) > 0;)
    {
        CString strComponent(pszPath, n);
        DWORD dw = GetFileAttributesA(strComponent);
        if (dw == INVALID_FILE_ATTRIBUTES)
        {
            if (!SysCreateDirectory(strComponent))
                return FALSE;
        }
        else if ((dw & FILE_ATTRIBUTE_DIRECTORY) == 0)
        {
            // Not ERROR_ALREADY_EXISTS, which CopyTree accepts.
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
    }
    return TRUE;
}

namespace
{
int CopyTreeEntries(const char* pszSource, const char* pszTarget)
{
    if (!CreatePath(pszTarget) && GetLastError() != ERROR_ALREADY_EXISTS)
        return COPYTREE_NO_TARGET;
    CString strPattern;
    if (!JoinPath(strPattern, pszSource, kAllFiles))
        return COPYTREE_FAILED;
    CFindHandle find;
    WIN32_FIND_DATAA data;
    if (!find.First(strPattern, data))
        return COPYTREE_FAILED;
    do
    {
        if (IsDotEntry(data.cFileName))
            continue;
        CString strFrom, strTo;
        if (!JoinPath(strFrom, pszSource, data.cFileName) || !JoinPath(strTo, pszTarget, data.cFileName))
            return COPYTREE_FAILED;
        if (IsDirectoryEntry(data))
        {
            int r = CopyTreeEntries(strFrom, strTo);
            if (r != COPYTREE_OK)
                return r;
        }
        else if (!SysCopyFile(strFrom, strTo, TRUE) && GetLastError() != ERROR_FILE_EXISTS)
            return COPYTREE_FAILED;
    } while (find.Next(data));
    return GetLastError() == ERROR_NO_MORE_FILES ? COPYTREE_OK : COPYTREE_FAILED;
}
}  // namespace

int CopyTree(const char* pszSource, const char* pszTarget)
{
    // A link in the source would copy what lies outside it (or loop); such
    // a tree is refused whole, before anything is made.
    if (TreeHasReparsePoint(pszSource))
    {
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return COPYTREE_FAILED;
    }
    return CopyTreeEntries(pszSource, pszTarget);
}

BOOL DeleteTree(const char* pszBase, const char* pszRelative, BOOL bStrip, BOOL bRecursive, BOOL bForce)
{
    CString strRelative(pszRelative);
    if (bStrip)
    {
        int n = strRelative.ReverseFind('\\');
        if (n > 0)
            strRelative = strRelative.Left(n);
    }
    if (strlen(pszBase) + strRelative.GetLength() + 2 >= MAX_PATH)
        return FALSE;
    CString strDir;
    JoinPath(strDir, pszBase, strRelative);

    // A link is removed as itself, by its own name (without the closing
    // backslash, which would name what it leads to), never by emptying
    // what it leads to.
    BOOL bLink = IsReparsePoint(OwnAttributes(strDir));
    if (bLink)
        strDir = strDir.Left(strDir.GetLength() - (strDir[strDir.GetLength() - 1] == '\\' ? 1 : 0));
    if (bRecursive && !bLink)
    {
        CString strPattern;
        CFindHandle find;
        WIN32_FIND_DATAA data;
        if (JoinPath(strPattern, strDir, kAllFiles) && find.First(strPattern, data))
        {
            do
            {
                if (IsDotEntry(data.cFileName))
                    continue;
                // A folder, or a link to one, which that call removes as
                // a link.
                if (IsDirectoryEntry(data))
                {
                    DeleteTree(strDir, data.cFileName, FALSE, TRUE, bForce);
                    continue;
                }
                // A file, or a link to one: DeleteFile takes the link.
                CString strFile;
                if (JoinPath(strFile, strDir, data.cFileName))
                    RemoveEntry(SysDeleteFile, strFile, bForce);
            } while (find.Next(data));
        }
    }
    // A link to a folder goes with RemoveDirectory, which takes the link and
    // leaves what it leads to.
    RemoveEntry(SysRemoveDirectory, strDir, bForce);

    // Parents inside the base that are empty now go too.
    for (int n; (n = strRelative.ReverseFind('\\')) > 0;)
    {
        strRelative = strRelative.Left(n);
        CString strParent;
        if (JoinPath(strParent, pszBase, strRelative))
            SysRemoveDirectory(strParent);
    }
    return TRUE;
}

BOOL TreePathsFit(const char* pszTree, const char* pszOtherRoot)
{
    int nTree = (int)strlen(pszTree);
    int nLongest = LongestPath(pszTree, nTree);
    if (nLongest >= MAX_PATH)
        return FALSE;
    if (pszOtherRoot != nullptr)
    {
        // The other root takes the place of the tree's own path; the
        // separator after it is counted once, whichever side has it.
        int nRelative = nLongest - nTree;
        if (nTree > 0 && pszTree[nTree - 1] == '\\')
            nRelative++;
        int nOther = (int)strlen(pszOtherRoot);
        if (nOther > 0 && pszOtherRoot[nOther - 1] == '\\')
            nOther--;
        if (nOther + nRelative >= MAX_PATH)
            return FALSE;
    }
    return TRUE;
}
