// Files and directory trees: existence tests, path creation, tree copy and
// deletion. Paths are narrow (Windows-1252) and limited to MAX_PATH
// characters with the terminating zero; a path that would not fit is refused,
// never cut short.
#ifndef SYSUTIL_FILESYSTEM_H
#define SYSUTIL_FILESYSTEM_H

#include "framework/String.h"
#include "framework/WinTypes.h"

// Joins dir and name with one backslash (none is added when dir already ends
// in one). FALSE, with strOut untouched, when the result would not fit in
// MAX_PATH.
BOOL JoinPath(CString& strOut, const char* pszDir, const char* pszName);

// The end (exclusive) of the next component of the path at or after nStart:
// every prefix that ends at a backslash, and the whole path, is a component;
// the character after a colon is skipped, so "C:\" is not one of its own.
// -1 when no component is left.
int NextPathComponent(const char* pszPath, int nStart);

// The file can be opened for reading (a directory counts as absent).
BOOL FileExists(const char* pszPath);
// The path exists and is a directory.
BOOL IsDirectory(const char* pszPath);
// The path exists as anything at all.
BOOL PathExists(const char* pszPath);
// The path exists and is not a directory (whether or not it can be read).
BOOL IsFile(const char* pszPath);
// The path is a file with the read-only attribute.
BOOL IsReadOnlyFile(const char* pszPath);
// Takes the read-only attribute off a file; FALSE when it had none or it
// could not be changed.
BOOL ClearReadOnly(const char* pszPath);
// "." or "..", the entries every listing of a directory begins with.
BOOL IsDotEntry(const char* pszName);

// Creates every missing directory of the path. FALSE when a component exists
// as a file or cannot be created (GetLastError says why).
BOOL CreatePath(const char* pszPath);

// Copies the tree at pszSource into pszTarget, creating the target path.
// Files that exist in the target stay as they are. 0; 3 when the target
// path cannot be created; 8 when the source cannot be listed or a file
// cannot be copied, and, before anything is made, when the source is or
// holds a reparse point (a junction or a symbolic link).
int CopyTree(const char* pszSource, const char* pszTarget);
enum
{
    COPYTREE_OK = 0,
    COPYTREE_NO_TARGET = 3,
    COPYTREE_FAILED = 8
};

// Deletes the directory pszBase\pszRelative (with bStrip, the last name of
// pszRelative is taken as a file name and dropped), with everything in it
// when bRecursive is set, then each parent inside pszBase that is left
// empty. Single deletions that fail are passed over; with bForce a read-only
// entry is made writable first. FALSE only when the path would not fit.
// A reparse point (the directory itself or an entry in it) is removed as a
// link; what it leads to is never listed or deleted.
BOOL DeleteTree(const char* pszBase, const char* pszRelative, BOOL bStrip, BOOL bRecursive, BOOL bForce = FALSE);

// TRUE when every path that walking the tree at pszTree composes (entries
// and "\*.*" listing patterns) fits in MAX_PATH, and, given pszOtherRoot,
// also fits with the tree's path replaced by that one (the paths of a copy).
// A tree that cannot be listed is left for the operation itself to report.
// Reparse points count as entries and are not descended into.
BOOL TreePathsFit(const char* pszTree, const char* pszOtherRoot);

#endif
