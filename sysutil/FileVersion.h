// Comparison of two files by their version resources.
#ifndef SYSUTIL_FILEVERSION_H
#define SYSUTIL_FILEVERSION_H

#include "framework/WinTypes.h"

enum
{
    VERSION_HIGHER = 1,
    VERSION_EQUAL = 0,
    VERSION_LOWER = -1,
    VERSION_UNKNOWN = -2  // a file without readable version information
};

// The file versions of both files, each half compared as a number: 1 when
// the first is higher, -1 when lower, 0 when equal, -2 when either file has
// no fixed version information.
int CompareFileVersions(const char* pszFirst, const char* pszSecond);

// The languages of the first translation of both files: 1 when they differ,
// 0 when equal, -2 when either file has no translation table. On 0 and 1 the
// buffers receive the localized language names (at most nSize characters);
// on -2 they are left as they were.
int CompareFileLanguages(const char* pszFirst, const char* pszSecond, char* pszFirstName, char* pszSecondName,
                         int nSize);

#endif
