// The exception family and the scopes that catch them.
#include "framework/Exceptions.h"

#include <stdlib.h>

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(CUserException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CArchiveException, CException)

namespace
{
// Exhausted memory must not need memory to be reported: the one memory
// exception lives in static storage and is never deleted. Its constructor is
// constexpr, so it is in place when the program is loaded, before a second
// thread can throw it.
CMemoryException s_memoryException(FALSE);

// Each thread catches its own exceptions: the innermost open scope is kept
// per thread. Windows keeps it in a slot of the system's thread-local
// storage (the compiler's thread_local would bring its emulation into the
// stub); elsewhere thread_local serves.
#ifdef _WIN32
LONG volatile s_nScopeSlot = (LONG)TLS_OUT_OF_INDEXES;

DWORD ScopeSlot()
{
    DWORD dwSlot = (DWORD)s_nScopeSlot;
    if (dwSlot != TLS_OUT_OF_INDEXES)
        return dwSlot;
    // The first scope of the program makes the slot. Should two threads
    // get here at once, the first to store its slot wins and the other
    // frees its own.
    dwSlot = TlsAlloc();
    if (dwSlot == TLS_OUT_OF_INDEXES)
        AfxAbort();
    DWORD dwFirst = (DWORD)InterlockedCompareExchange(&s_nScopeSlot, (LONG)dwSlot, (LONG)TLS_OUT_OF_INDEXES);
    if (dwFirst == TLS_OUT_OF_INDEXES)
        return dwSlot;
    TlsFree(dwSlot);
    return dwFirst;
}

// TlsGetValue clears the thread's last error; a scope opened or a throw made
// between a failed system call and its GetLastError must not lose it.
CExceptionScope* CurrentScope()
{
    DWORD dwError = GetLastError();
    CExceptionScope* pScope = (CExceptionScope*)TlsGetValue(ScopeSlot());
    SetLastError(dwError);
    return pScope;
}

void SetCurrentScope(CExceptionScope* pScope)
{
    DWORD dwError = GetLastError();
    TlsSetValue(ScopeSlot(), pScope);
    SetLastError(dwError);
}
#else
thread_local CExceptionScope* t_pScope = nullptr;

CExceptionScope* CurrentScope()
{
    return t_pScope;
}

void SetCurrentScope(CExceptionScope* pScope)
{
    t_pScope = pScope;
}
#endif
}  // namespace

CException::~CException()
{
}

void CException::Delete()
{
    // The static memory exception says so by its flag too; testing for it
    // here also shows the compiler that it is never freed.
    if (m_bAutoDelete && this != &s_memoryException)
        delete this;
}

CFileException::CFileException(int cause, LONG lOsError, const char* lpszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszFileName)
{
}

CArchiveException::CArchiveException(int cause, DWORD dwPosition)
    : m_cause(cause), m_dwPosition(dwPosition)
{
}

CExceptionScope::CExceptionScope() : m_pException(nullptr), m_pOuter(CurrentScope())
{
    SetCurrentScope(this);
}

CExceptionScope::~CExceptionScope()
{
    Clear();
    SetCurrentScope(m_pOuter);
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
    CExceptionScope* pScope = CurrentScope();
    return pScope != nullptr && pScope->m_pException != nullptr;
}

void AfxThrow(CException* pException)
{
    CExceptionScope* pScope = CurrentScope();
    if (pScope == nullptr)
        AfxAbort();
    if (pScope->m_pException == nullptr)
        pScope->m_pException = pException;
    else
        pException->Delete();
}

void AfxThrowMemoryException()
{
    AfxThrow(&s_memoryException);
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
