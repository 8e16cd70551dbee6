// Owners of the system handles the utilities and the file objects use, all
// built on TOwner (framework/Owner.h): each closes what it holds when it
// goes, and none can be copied.
#ifndef SYSUTIL_HANDLES_H
#define SYSUTIL_HANDLES_H

#include <stdio.h>

#include "framework/Exceptions.h"
#include "framework/Owner.h"
#include "framework/String.h"
#include "framework/WinTypes.h"
#include "sysutil/SysCalls.h"

// A listing opened with FindFirstFileA.
class CFindHandle
{
public:
    // FindFirstFileA; false when nothing could be listed (GetLastError says why).
    bool First(const char* pszPattern, WIN32_FIND_DATAA& data)
    {
        m_find.Attach(FindFirstFileA(pszPattern, &data));
        return m_find.IsValid();
    }
    // FindNextFileA; false at the end (ERROR_NO_MORE_FILES) or on failure.
    bool Next(WIN32_FIND_DATAA& data) { return FindNextFileA(m_find, &data) != FALSE; }
    void Close() { m_find.Close(); }

private:
    CFindOwner m_find;
};

// Files opened with fopen (the log file, the existence test).
struct CStdioTraits
{
    static FILE* Invalid() { return nullptr; }
    static void Close(FILE* p) { fclose(p); }
};
typedef TOwner<FILE*, CStdioTraits> CStdioHandle;

// Memory the system allocated for the caller (FORMAT_MESSAGE_ALLOCATE_BUFFER).
struct CLocalMemoryTraits
{
    static char* Invalid() { return nullptr; }
    static void Close(char* p) { LocalFree((HLOCAL)p); }
};
typedef TOwner<char*, CLocalMemoryTraits> CLocalMemory;

// A file that exists only for the length of one step: deleted when the owner
// goes, unless it was deleted before. The step's own scratch file goes even
// after a memory failure, when the wrapper refuses every other change.
class CTempFile
{
public:
    CTempFile() {}
    ~CTempFile() { Delete(); }
    CString& Path() { return m_strPath; }
    void Delete()
    {
        if (!m_strPath.IsEmpty() && !SysDeleteFile(m_strPath) && AfxExceptionPending())
            DeleteFileA(m_strPath);
        m_strPath.Empty();
    }

private:
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    CString m_strPath;
};

#endif
