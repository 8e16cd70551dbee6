// CMemFile: a file in one block of memory that grows by reallocation.
#ifndef FRAMEWORK_MEMFILE_H
#define FRAMEWORK_MEMFILE_H

#include "framework/File.h"

class CMemFile : public CFile
{
    DECLARE_DYNAMIC(CMemFile)
public:
    // An empty file that owns the blocks it allocates.
    explicit CMemFile(UINT nGrowBytes = 1024);
    // A file over a block of the caller's (see Attach).
    CMemFile(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
    ~CMemFile() override;

    // Takes the block as the file's memory. With nGrowBytes 0 the file is the
    // block's nBufferSize bytes and cannot grow; otherwise it starts empty and
    // grows the block with realloc in whole steps of nGrowBytes (by at least
    // half its size each time), so the block must come from malloc. The file
    // never frees an attached block.
    void Attach(BYTE* lpBuffer, UINT nBufferSize, UINT nGrowBytes = 0);
    // Hands back the current block (growth may have moved it) and leaves the
    // file empty; the caller frees it.
    BYTE* Detach();

    UINT GetBufferSize() const { return m_nBufferSize; }
    const BYTE* GetBuffer() const { return m_lpBuffer; }

    BOOL Open(const char* lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr) override;
    DWORD Seek(LONG lOff, UINT nFrom) override;
    DWORD GetLength() const override;
    DWORD GetPosition() const override;
    UINT Read(void* lpBuf, UINT nCount) override;
    void Write(const void* lpBuf, UINT nCount) override;
    void Flush() override;
    void Close() override;
    void Abort() override;

protected:
    void GrowFile(DWORD dwNewLen);

    UINT m_nGrowBytes;
    DWORD m_nPosition;
    DWORD m_nBufferSize;
    DWORD m_nFileSize;
    BYTE* m_lpBuffer;
    BOOL m_bAutoDelete;
};

#endif
