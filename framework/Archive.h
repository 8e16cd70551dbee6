// CArchive: the binary object stream that a package's script is written in.
//
// Encoding (every number little-endian):
//   count    WORD; 0xFFFF announces a DWORD with the real count.
//   string   BYTE length; 0xFF announces a WORD length; WORD 0xFFFF a DWORD
//            length; WORD 0xFFFE after the 0xFF byte announces 16-bit
//            characters, whose length follows in the same form. Then the text.
//   object   WORD tag: 0x0000 null; 0xFFFF new class (WORD schema, WORD name
//            length, ASCII name) then the object's fields; 0x8000|i an object
//            of the class with index i, then its fields; 0x0001..0x7FFE a
//            reference to the object with that index; 0x7FFF a DWORD tag
//            follows (bit 0x80000000 marks a class index).
//   Every new class and every new object takes the next index of one shared
//   numbering from 1, a class before the object that introduced it.
//
// A package is untrusted: every fault of a loaded stream throws a
// CArchiveException (see Exceptions.h for how exceptions travel), and no count
// read from the stream is trusted with more memory than the rest of the
// stream could fill.
#ifndef FRAMEWORK_ARCHIVE_H
#define FRAMEWORK_ARCHIVE_H

#include "framework/File.h"
#include "framework/Object.h"
#include "framework/String.h"

class CArchive
{
public:
    enum Mode
    {
        store = 0,
        load = 1,
        bNoFlushOnDelete = 2,
        bNoByteSwap = 4
    };

    // Without lpBuf the archive allocates a buffer of nBufSize bytes.
    CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = nullptr);
    // Closes (storing: flushes) unless bNoFlushOnDelete is set, then aborts.
    ~CArchive();

    BOOL IsLoading() const { return (m_nMode & load) != 0; }
    BOOL IsStoring() const { return (m_nMode & load) == 0; }
    CFile* GetFile() const { return m_pFile; }

    // The schema of the object being loaded; can be taken once per object
    // (afterwards it is (UINT)-1).
    UINT GetObjectSchema();
    void SetObjectSchema(UINT nSchema) { m_nObjectSchema = nSchema; }

    // Bytes read, fewer at the end of the stream.
    UINT Read(void* lpBuf, UINT nMax);
    // Reads exactly nCount bytes or throws an end-of-file exception.
    BOOL ReadAll(void* lpBuf, DWORD nCount);
    void Write(const void* lpBuf, UINT nCount);
    // Storing: writes the buffer to the file.
    void Flush();
    void Close();
    // Detaches from the file without writing anything.
    void Abort();

    // Offset in the stream: bytes read or written so far.
    DWORD GetPosition() const;
    // Loading: bytes left between the current position and the end of the file.
    DWORD GetRemaining() const;
    // Loading: FALSE (with an end-of-file exception) when nCount elements of
    // at least nMinBytesEach could not fit in what is left of the stream.
    BOOL EnsureAvailable(DWORD nCount, UINT nMinBytesEach);

    DWORD ReadCount();
    void WriteCount(DWORD dwCount);

    CArchive& operator<<(BYTE b);
    CArchive& operator<<(WORD w);
    CArchive& operator<<(DWORD dw);
    CArchive& operator<<(LONG l);
    CArchive& operator<<(const CString& s);
    CArchive& operator>>(BYTE& b);
    CArchive& operator>>(WORD& w);
    CArchive& operator>>(DWORD& dw);
    CArchive& operator>>(LONG& l);
    CArchive& operator>>(CString& s);

    // Object pointers in the encoding above. ReadObject follows references;
    // ReadNewObject is for owners: it refuses a null tag and a reference, so
    // that no object can end up owned twice. Both check the class against
    // pClassRequested (any class when null) before creating anything. A new
    // object whose fields run into a fault is still returned: the caller owns
    // it. Null when nothing was created.
    CObject* ReadObject(const CRuntimeClass* pClassRequested);
    CObject* ReadNewObject(const CRuntimeClass* pClassRequested);
    void WriteObject(const CObject* pOb);
    const CRuntimeClass* ReadClass(const CRuntimeClass* pClassRequested = nullptr, UINT* pSchema = nullptr,
                                   DWORD* pObTag = nullptr);
    void WriteClass(const CRuntimeClass* pClass);

    // Loading: the class that the elements of collections (CObArray,
    // CObList) read through this archive must have; null allows any. An
    // owner that knows what its collections hold sets it around them.
    void SetElementClass(const CRuntimeClass* pClass) { m_pElementClass = pClass; }
    const CRuntimeClass* GetElementClass() const { return m_pElementClass; }

    // Loading: objects may hold objects only this deep; a stream that nests
    // deeper is refused rather than allowed to exhaust the stack.
    static const int kMaxObjectDepth = 32;

protected:
    void FillBuffer(UINT nBytesNeeded);
    void ThrowArchive(int cause);
    BOOL ReadFixed(void* p, UINT n);
    CObject* ReadObjectImpl(const CRuntimeClass* pClassRequested, BOOL bNewOnly);

    CFile* m_pFile;
    UINT m_nMode;
    UINT m_nObjectSchema;

    BYTE* m_lpBufStart;
    BYTE* m_lpBufCur;
    BYTE* m_lpBufMax;
    UINT m_nBufSize;
    BOOL m_bUserBuf;
    // Bytes that went through the buffer before its current contents.
    DWORD m_dwBufBase;

    // Loading: index -> class or object. Storing: pointer -> index.
    struct LoadEntry
    {
        const void* p;
        BOOL bClass;
    };
    LoadEntry* m_pLoadArray;
    DWORD m_nLoadAlloc;
    struct StoreEntry
    {
        const void* p;
        DWORD nIndex;
    };
    StoreEntry* m_pStoreMap;
    DWORD m_nStoreAlloc;
    DWORD m_nMapCount;
    int m_nDepth;
    const CRuntimeClass* m_pElementClass;

private:
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    BOOL AddLoadEntry(const void* p, BOOL bClass);
    DWORD LookupStore(const void* p) const;
    BOOL AddStoreEntry(const void* p);
};

#endif
