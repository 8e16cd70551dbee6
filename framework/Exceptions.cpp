// The exception family and the scopes that catch them.
#include "framework/Exceptions.h"

#include <new>
#include <stdlib.h>

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(CUserException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CArchiveException, CException)

namespace
{
// Each thread catches its own exceptions; in practice only the thread that
// runs the script uses the framework's files and archives.
thread_local CExceptionScope* t_pScope = nullptr;

// Exhausted memory must not need memory to be reported: the one memory
// exception lives in static storage and is never deleted.
CMemoryException* StaticMemoryException()
{
    alignas(CMemoryException) static unsigned char s_storage[sizeof(CMemoryException)];
    static CMemoryException* s_pException = nullptr;
    if (s_pException == nullptr)
        s_pException = new (s_storage) CMemoryException(FALSE);
    return s_pException;
}
}  // namespace

CException::~CException()
{
}

void CException::Delete()
{
    if (m_bAutoDelete)
        delete this;
}

CString CException::GetErrorMessage() const
{
    return CString("unknown error");
}

CString CMemoryException::GetErrorMessage() const
{
    return CString("out of memory");
}

CString CUserException::GetErrorMessage() const
{
    return CString("operation refused");
}

CFileException::CFileException(int cause, LONG lOsError, const char* lpszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszFileName)
{
}

CString CFileException::GetErrorMessage() const
{
    static const char* const kCauses[] = {
        "no error",           "generic file error", "file not found",     "bad path",
        "too many open files", "access denied",     "invalid file",       "cannot remove current directory",
        "directory full",     "bad seek",           "hardware I/O error", "sharing violation",
        "lock violation",     "disk full",          "end of file"};
    CString s(m_cause >= 0 && m_cause <= endOfFile ? kCauses[m_cause] : "file error");
    if (!m_strFileName.IsEmpty())
        s += CString(": ") + m_strFileName;
    return s;
}

CArchiveException::CArchiveException(int cause, DWORD dwPosition)
    : m_cause(cause), m_dwPosition(dwPosition)
{
}

CString CArchiveException::GetErrorMessage() const
{
    static const char* const kCauses[] = {"no error",    "generic archive error", "archive is read-only",
                                          "end of file", "archive is write-only", "bad object index",
                                          "bad class",   "bad schema"};
    CString s;
    s.Format("%s at offset %lu",
             m_cause >= 0 && m_cause <= badSchema ? kCauses[m_cause] : "archive error",
             (unsigned long)m_dwPosition);
    return s;
}

CExceptionScope::CExceptionScope() : m_pException(nullptr), m_pOuter(t_pScope)
{
    t_pScope = this;
}

CExceptionScope::~CExceptionScope()
{
    Clear();
    t_pScope = m_pOuter;
}

CException* CExceptionScope::GetExceptionOf(const CRuntimeClass* pClass) const
{
    return m_pException != nullptr && m_pException->IsKindOf(pClass) ? m_pException : nullptr;
}

void CExceptionScope::Clear()
{
    if (m_pException != nullptr)
        m_pException->Delete();
    m_pException = nullptr;
}

BOOL AfxExceptionPending()
{
    return t_pScope != nullptr && t_pScope->m_pException != nullptr;
}

void AfxThrow(CException* pException)
{
    CExceptionScope* pScope = t_pScope;
    if (pScope == nullptr)
        AfxAbort();
    if (pScope->m_pException == nullptr)
        pScope->m_pException = pException;
    else
        pException->Delete();
}

void AfxThrowMemoryException()
{
    AfxThrow(StaticMemoryException());
}

void AfxThrowUserException()
{
    CException* e = new CUserException;
    if (e == nullptr)
        AfxThrowMemoryException();
    else
        AfxThrow(e);
}

void AfxThrowFileException(int cause, LONG lOsError, const char* lpszFileName)
{
    CException* e = new CFileException(cause, lOsError, lpszFileName);
    if (e == nullptr)
        AfxThrowMemoryException();
    else
        AfxThrow(e);
}

void AfxThrowArchiveException(int cause, DWORD dwPosition)
{
    CException* e = new CArchiveException(cause, dwPosition);
    if (e == nullptr)
        AfxThrowMemoryException();
    else
        AfxThrow(e);
}

void AfxAbort()
{
#ifdef _WIN32
    // abort() in a GUI program may wait for a click; an unattended
    // installation must end.
    ExitProcess(3);
#else
    abort();
#endif
}
