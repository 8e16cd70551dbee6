// CFile: a binary file on disk (Win32 handles on Windows, POSIX descriptors
// elsewhere). Failures after opening throw a CFileException (see Exceptions.h).
#ifndef FRAMEWORK_FILE_H
#define FRAMEWORK_FILE_H

#include <stdint.h>

#include "framework/Exceptions.h"
#include "framework/Object.h"
#include "framework/String.h"

class CFile : public CObject
{
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags
    {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000
    };
    enum SeekPosition
    {
        begin = 0,
        current = 1,
        end = 2
    };

    CFile();
    // Closes an open file; errors on the way are ignored.
    ~CFile() override;

    // FALSE when the file cannot be opened; pError (if given) then says why.
    // Does not throw.
    virtual BOOL Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    BOOL IsOpen() const { return m_hFile != hFileNull; }
    const CString& GetFilePath() const { return m_strFileName; }

    // The new position from the beginning.
    virtual DWORD Seek(LONG lOff, UINT nFrom);
    void SeekToBegin() { Seek(0, begin); }
    DWORD SeekToEnd() { return Seek(0, end); }
    virtual DWORD GetLength() const;
    virtual DWORD GetPosition() const;

    // The number of bytes read: fewer than asked at the end of the file.
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual void Flush();
    virtual void Close();
    // Closes without throwing.
    virtual void Abort();

    // Maps a system error code to a CFileException cause.
    static int OsErrorToCause(LONG lOsError);

protected:
    static const intptr_t hFileNull = -1;

    void ThrowOsError(LONG lOsError) const;
    // Tells a caller of Open why the file did not open (when it asked).
    static void ReportOpenError(CFileException* pError, LONG lOsError, const char* lpszFileName);

    intptr_t m_hFile;
    CString m_strFileName;
};

#endif
