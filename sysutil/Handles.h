// Owners of the system handles the utilities and the file objects use: each
// closes what it holds when it goes, and none can be copied.
#ifndef SYSUTIL_HANDLES_H
#define SYSUTIL_HANDLES_H

#include <stdio.h>

#include "framework/String.h"
#include "framework/WinTypes.h"

// A listing opened with FindFirstFileA.
class CFindHandle
{
public:
    CFindHandle() : m_h(INVALID_HANDLE_VALUE) {}
    ~CFindHandle() { Close(); }
    // FindFirstFileA; false when nothing could be listed (GetLastError says why).
    bool First(const char* pszPattern, WIN32_FIND_DATAA& data)
    {
        Close();
        m_h = FindFirstFileA(pszPattern, &data);
        return m_h != INVALID_HANDLE_VALUE;
    }
    // FindNextFileA; false at the end (ERROR_NO_MORE_FILES) or on failure.
    bool Next(WIN32_FIND_DATAA& data) { return FindNextFileA(m_h, &data) != FALSE; }
    void Close()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            FindClose(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    HANDLE m_h;
};

// A file opened with fopen (the log file, the existence test).
class CStdioHandle
{
public:
    explicit CStdioHandle(FILE* p) : m_p(p) {}
    ~CStdioHandle()
    {
        if (m_p != nullptr)
            fclose(m_p);
    }
    bool IsValid() const { return m_p != nullptr; }
    FILE* Get() const { return m_p; }

private:
    CStdioHandle(const CStdioHandle&) = delete;
    CStdioHandle& operator=(const CStdioHandle&) = delete;
    FILE* m_p;
};

// Memory the system allocated for the caller (FORMAT_MESSAGE_ALLOCATE_BUFFER).
class CLocalMemory
{
public:
    explicit CLocalMemory(void* p) : m_p(p) {}
    ~CLocalMemory()
    {
        if (m_p != nullptr)
            LocalFree((HLOCAL)m_p);
    }

private:
    CLocalMemory(const CLocalMemory&) = delete;
    CLocalMemory& operator=(const CLocalMemory&) = delete;
    void* m_p;
};

// A file that exists only for the length of one step: deleted when the owner
// goes, unless it was deleted before.
class CTempFile
{
public:
    CTempFile() {}
    ~CTempFile() { Delete(); }
    CString& Path() { return m_strPath; }
    void Delete()
    {
        if (!m_strPath.IsEmpty())
            DeleteFileA(m_strPath);
        m_strPath.Empty();
    }

private:
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    CString m_strPath;
};

#endif
