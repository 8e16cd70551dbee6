// The framework's exception family and how it travels.
//
// The installer is built without C++ unwinding (it would more than double the
// size of the stub), so a framework exception is recorded, not unwound: a
// throw hands the exception to the innermost open CExceptionScope and returns
// normally. While that scope holds an exception, the framework's file and
// archive operations do nothing and return zeros, so the code between the
// throw and the end of the scope runs out harmlessly; the owner of the scope
// then looks at what it caught. A throw with no scope open ends the process,
// as an uncaught exception would.
//
//     CExceptionScope scope;               // try
//     ... file and archive work ...
//     if (scope.Failed()) return 1;         // catch
#ifndef FRAMEWORK_EXCEPTIONS_H
#define FRAMEWORK_EXCEPTIONS_H

#include "framework/Object.h"
#include "framework/String.h"

class CException : public CObject
{
    DECLARE_DYNAMIC(CException)
public:
    constexpr explicit CException(BOOL bAutoDelete = TRUE) : m_bAutoDelete(bAutoDelete) {}
    ~CException() override;

    // Frees the exception unless it is one of the static ones.
    void Delete();
    // A short English description for the packer's and the tests'
    // diagnostics. Not virtual, and kept in a file of its own
    // (ExceptionMessages.cpp), so that the stub, which never shows it, does
    // not carry the message tables.
    CString GetErrorMessage() const;

protected:
    BOOL m_bAutoDelete;
};

class CMemoryException : public CException
{
    DECLARE_DYNAMIC(CMemoryException)
public:
    constexpr explicit CMemoryException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}
};

class CUserException : public CException
{
    DECLARE_DYNAMIC(CUserException)
public:
    explicit CUserException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}
};

class CFileException : public CException
{
    DECLARE_DYNAMIC(CFileException)
public:
    enum
    {
        none,
        generic,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    explicit CFileException(int cause = none, LONG lOsError = -1, const char* lpszFileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

class CArchiveException : public CException
{
    DECLARE_DYNAMIC(CArchiveException)
public:
    enum
    {
        none,
        generic,
        readOnly,
        endOfFile,
        writeOnly,
        badIndex,
        badClass,
        badSchema
    };

    explicit CArchiveException(int cause = none, DWORD dwPosition = 0);

    int m_cause;
    // Offset in the archive's own stream where the fault was found.
    DWORD m_dwPosition;
};

class CExceptionScope
{
public:
    CExceptionScope();
    ~CExceptionScope();

    BOOL Failed() const { return m_pException != nullptr; }
    CException* GetException() const { return m_pException; }
    // The caught exception if it is of that class, else null.
    CException* GetExceptionOf(const CRuntimeClass* pClass) const;
    // Drops what was caught so that work can go on inside this scope.
    void Clear();

private:
    CExceptionScope(const CExceptionScope&) = delete;
    CExceptionScope& operator=(const CExceptionScope&) = delete;
    friend void AfxThrow(CException* pException);
    friend BOOL AfxExceptionPending();

    CException* m_pException;
    CExceptionScope* m_pOuter;
};

// True while the innermost scope holds an exception.
BOOL AfxExceptionPending();

// Records the exception in the innermost scope of the calling thread (the
// first one wins; later ones are dropped). Without a scope the process ends.
// Out of memory, every thread throws the same static CMemoryException: it is
// made when the program is loaded, needs no memory and is never deleted.
void AfxThrow(CException* pException);
void AfxThrowMemoryException();
void AfxThrowUserException();
void AfxThrowFileException(int cause, LONG lOsError = -1, const char* lpszFileName = nullptr);
void AfxThrowArchiveException(int cause, DWORD dwPosition = 0);

// Ends the process at once; used for a throw that nobody can catch.
[[noreturn]] void AfxAbort();

#endif
