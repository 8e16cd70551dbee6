// CInflateFile: a read-only file whose bytes are the inflated form of a zlib
// body that stands in another file. A package's plain stream is read through
// it, so the carried files are inflated straight into the objects that keep
// them: neither the body nor the whole plain stream is held in memory.
#ifndef SCRIPT_INFLATEFILE_H
#define SCRIPT_INFLATEFILE_H

#include <zlib.h>

#include "framework/File.h"
#include "framework/String.h"

class CInflateFile : public CFile
{
public:
    // The body runs from the source's current position to its end; each
    // chunk read is unscrambled with the password first (none: as it is).
    // nPlainLength is the length the body claims to inflate to.
    CInflateFile(CFile* pSource, const CString& strPassword, DWORD nPlainLength);
    ~CInflateFile() override;

    // Reads inflate as they go; a body that is not one complete zlib stream
    // of the claimed length throws a CArchiveException.
    UINT Read(void* lpBuf, UINT nCount) override;
    DWORD GetLength() const override { return m_nPlainLength; }
    DWORD GetPosition() const override { return m_nPosition; }
    // Only the position is reported; nothing is read back once handed out.
    DWORD Seek(LONG lOff, UINT nFrom) override;
    void Write(const void* lpBuf, UINT nCount) override;
    void Flush() override {}
    void Close() override;
    void Abort() override;

    // Inflates what was not read, to prove the body is whole.
    void CheckRest();

private:
    static const UINT kChunk = 64 * 1024;

    void Fail();
    bool FillInput();

    z_stream m_z;
    CFile* m_pSource;
    CString m_strPassword;
    BYTE* m_pChunk;
    DWORD m_nPlainLength;
    DWORD m_nPosition;
    bool m_bOpen;
    bool m_bEnd;
};

#endif
