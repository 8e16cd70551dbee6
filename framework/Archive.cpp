// CArchive and the stream form of run-time classes.
#include "framework/Archive.h"

#include <stdlib.h>
#include <string.h>

#include "framework/CodePage.h"
#include "framework/Exceptions.h"
#include "framework/FaultHooks.h"

namespace
{
const WORD wNullTag = 0x0000;
const WORD wNewClassTag = 0xFFFF;
const WORD wClassTag = 0x8000;
const DWORD dwBigClassTag = 0x80000000;
const WORD wBigObjectTag = 0x7FFF;
const DWORD nMaxMapCount = 0x3FFFFFFE;

// Class names in a stream are shorter than this.
const int kMaxClassName = 64;

WORD GetWord(const BYTE* p)
{
    return (WORD)(p[0] | (p[1] << 8));
}

DWORD GetDword(const BYTE* p)
{
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

void PutWord(BYTE* p, WORD w)
{
    p[0] = (BYTE)w;
    p[1] = (BYTE)(w >> 8);
}

void PutDword(BYTE* p, DWORD dw)
{
    p[0] = (BYTE)dw;
    p[1] = (BYTE)(dw >> 8);
    p[2] = (BYTE)(dw >> 16);
    p[3] = (BYTE)(dw >> 24);
}

size_t HashPointer(const void* p)
{
    size_t h = (size_t)p;
    h ^= h >> 17;
    h *= (size_t)0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}
}  // namespace

// --- run-time classes in a stream ---

void CRuntimeClass::Store(CArchive& ar) const
{
    WORD nLen = (WORD)strlen(m_lpszClassName);
    ar << (WORD)m_wSchema << nLen;
    ar.Write(m_lpszClassName, nLen);
}

const CRuntimeClass* CRuntimeClass::Load(CArchive& ar, UINT* pwSchemaNum)
{
    WORD wSchema = 0;
    WORD nLen = 0;
    ar >> wSchema >> nLen;
    *pwSchemaNum = wSchema;
    char szClassName[kMaxClassName];
    if (nLen >= kMaxClassName || !ar.ReadAll(szClassName, nLen))
        return nullptr;
    if (memchr(szClassName, 0, nLen) != nullptr)
        return nullptr;
    szClassName[nLen] = '\0';
    return FromName(szClassName);
}

// --- construction ---

CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf)
    : m_pFile(pFile),
      m_nMode(nMode),
      m_nObjectSchema((UINT)-1),
      m_lpBufStart(nullptr),
      m_lpBufCur(nullptr),
      m_lpBufMax(nullptr),
      m_nBufSize(nBufSize > 0 ? (UINT)nBufSize : 4096),
      m_bUserBuf(lpBuf != nullptr),
      m_dwBufBase(0),
      m_pLoadArray(nullptr),
      m_nLoadAlloc(0),
      m_pStoreMap(nullptr),
      m_nStoreAlloc(0),
      m_nMapCount(1),
      m_nDepth(0),
      m_pElementClass(nullptr)
{
    if (m_nBufSize < 16)
        m_nBufSize = 16;
    m_lpBufStart = (BYTE*)(lpBuf != nullptr ? lpBuf : FaultAllocationFails() ? nullptr : malloc(m_nBufSize));
    if (m_lpBufStart == nullptr)
    {
        // A buffer of nothing makes every access take the slow path, which
        // does nothing while the memory exception is pending.
        m_nBufSize = 0;
        AfxThrowMemoryException();
    }
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = IsLoading() ? m_lpBufStart : m_lpBufStart + m_nBufSize;
}

CArchive::~CArchive()
{
    if (m_pFile != nullptr && !(m_nMode & bNoFlushOnDelete))
        Close();
    Abort();
    if (!m_bUserBuf)
        free(m_lpBufStart);
    free(m_pLoadArray);
    free(m_pStoreMap);
}

UINT CArchive::GetObjectSchema()
{
    UINT nResult = m_nObjectSchema;
    m_nObjectSchema = (UINT)-1;
    return nResult;
}

// --- position and faults ---

DWORD CArchive::GetPosition() const
{
    return m_dwBufBase + (DWORD)(m_lpBufCur - m_lpBufStart);
}

DWORD CArchive::GetRemaining() const
{
    if (m_pFile == nullptr || !IsLoading())
        return 0;
    DWORD dwLength = m_pFile->GetLength();
    DWORD dwPos = m_pFile->GetPosition();
    DWORD dwInFile = dwLength > dwPos ? dwLength - dwPos : 0;
    return dwInFile + (DWORD)(m_lpBufMax - m_lpBufCur);
}

void CArchive::ThrowArchive(int cause)
{
    AfxThrowArchiveException(cause, GetPosition());
    if (IsLoading())
    {
        // Nothing more is read from this stream: every later access takes the
        // slow path, which sees the pending exception.
        m_dwBufBase = GetPosition();
        m_lpBufCur = m_lpBufMax = m_lpBufStart;
    }
}

BOOL CArchive::EnsureAvailable(DWORD nCount, UINT nMinBytesEach)
{
    if (AfxExceptionPending())
        return FALSE;
    unsigned long long nNeeded = (unsigned long long)nCount * nMinBytesEach;
    if (nNeeded > GetRemaining() || nCount > 0x7FFFFFF0u)
    {
        ThrowArchive(CArchiveException::endOfFile);
        return FALSE;
    }
    return TRUE;
}

// --- the buffer ---

void CArchive::FillBuffer(UINT nBytesNeeded)
{
    if (m_pFile == nullptr || AfxExceptionPending() || m_nBufSize == 0)
        return;
    UINT nUnused = (UINT)(m_lpBufMax - m_lpBufCur);
    m_dwBufBase += (DWORD)(m_lpBufCur - m_lpBufStart);
    if (nUnused > 0 && m_lpBufCur != m_lpBufStart)
        memmove(m_lpBufStart, m_lpBufCur, nUnused);
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = m_lpBufStart + nUnused;
    while ((UINT)(m_lpBufMax - m_lpBufStart) < nBytesNeeded)
    {
        UINT nRead = m_pFile->Read(m_lpBufMax, m_nBufSize - (UINT)(m_lpBufMax - m_lpBufStart));
        if (nRead == 0)
            break;
        m_lpBufMax += nRead;
    }
}

BOOL CArchive::ReadFixed(void* p, UINT n)
{
    if (!IsLoading())
    {
        if (!AfxExceptionPending())
            ThrowArchive(CArchiveException::writeOnly);
        memset(p, 0, n);
        return FALSE;
    }
    if ((UINT)(m_lpBufMax - m_lpBufCur) < n)
    {
        FillBuffer(n);
        if ((UINT)(m_lpBufMax - m_lpBufCur) < n)
        {
            if (!AfxExceptionPending())
                ThrowArchive(CArchiveException::endOfFile);
            memset(p, 0, n);
            return FALSE;
        }
    }
    memcpy(p, m_lpBufCur, n);
    m_lpBufCur += n;
    return TRUE;
}

UINT CArchive::Read(void* lpBuf, UINT nMax)
{
    if (nMax == 0 || AfxExceptionPending())
        return 0;
    if (!IsLoading())
    {
        ThrowArchive(CArchiveException::writeOnly);
        return 0;
    }
    BYTE* pDest = (BYTE*)lpBuf;
    UINT nLeft = nMax;
    UINT nTemp = (UINT)(m_lpBufMax - m_lpBufCur) < nLeft ? (UINT)(m_lpBufMax - m_lpBufCur) : nLeft;
    memcpy(pDest, m_lpBufCur, nTemp);
    m_lpBufCur += nTemp;
    pDest += nTemp;
    nLeft -= nTemp;
    if (nLeft == 0 || m_pFile == nullptr)
        return nMax - nLeft;

    if (nLeft >= m_nBufSize)
    {
        // Large reads go straight from the file, past the empty buffer.
        m_dwBufBase += (DWORD)(m_lpBufCur - m_lpBufStart);
        m_lpBufCur = m_lpBufMax = m_lpBufStart;
        UINT nRead = m_pFile->Read(pDest, nLeft);
        m_dwBufBase += nRead;
        nLeft -= nRead;
    }
    else
    {
        FillBuffer(nLeft);
        nTemp = (UINT)(m_lpBufMax - m_lpBufCur) < nLeft ? (UINT)(m_lpBufMax - m_lpBufCur) : nLeft;
        memcpy(pDest, m_lpBufCur, nTemp);
        m_lpBufCur += nTemp;
        nLeft -= nTemp;
    }
    return nMax - nLeft;
}

BOOL CArchive::ReadAll(void* lpBuf, DWORD nCount)
{
    if (Read(lpBuf, nCount) == nCount)
        return TRUE;
    if (!AfxExceptionPending())
        ThrowArchive(CArchiveException::endOfFile);
    return FALSE;
}

void CArchive::Write(const void* lpBuf, UINT nCount)
{
    if (nCount == 0 || AfxExceptionPending())
        return;
    if (IsLoading())
    {
        ThrowArchive(CArchiveException::readOnly);
        return;
    }
    const BYTE* pSrc = (const BYTE*)lpBuf;
    UINT nRoom = (UINT)(m_lpBufMax - m_lpBufCur);
    UINT nTemp = nRoom < nCount ? nRoom : nCount;
    memcpy(m_lpBufCur, pSrc, nTemp);
    m_lpBufCur += nTemp;
    pSrc += nTemp;
    nCount -= nTemp;
    if (nCount == 0)
        return;
    Flush();
    if (AfxExceptionPending() || m_pFile == nullptr)
        return;
    if (nCount >= m_nBufSize)
    {
        m_pFile->Write(pSrc, nCount);
        m_dwBufBase += nCount;
        return;
    }
    memcpy(m_lpBufCur, pSrc, nCount);
    m_lpBufCur += nCount;
}

void CArchive::Flush()
{
    if (m_pFile == nullptr || AfxExceptionPending())
        return;
    if (IsLoading())
    {
        // Hand back what was read ahead, so the file stands where the
        // archive's reading stopped.
        if (m_lpBufMax != m_lpBufCur)
            m_pFile->Seek(-(LONG)(m_lpBufMax - m_lpBufCur), CFile::current);
        m_dwBufBase += (DWORD)(m_lpBufCur - m_lpBufStart);
        m_lpBufCur = m_lpBufMax = m_lpBufStart;
        return;
    }
    if (m_lpBufCur != m_lpBufStart)
        m_pFile->Write(m_lpBufStart, (UINT)(m_lpBufCur - m_lpBufStart));
    m_dwBufBase += (DWORD)(m_lpBufCur - m_lpBufStart);
    m_lpBufCur = m_lpBufStart;
}

void CArchive::Close()
{
    Flush();
    m_pFile = nullptr;
}

void CArchive::Abort()
{
    m_pFile = nullptr;
}

// --- numbers, counts and strings ---

CArchive& CArchive::operator<<(BYTE b)
{
    Write(&b, 1);
    return *this;
}

CArchive& CArchive::operator<<(WORD w)
{
    BYTE b[2];
    PutWord(b, w);
    Write(b, 2);
    return *this;
}

CArchive& CArchive::operator<<(DWORD dw)
{
    BYTE b[4];
    PutDword(b, dw);
    Write(b, 4);
    return *this;
}

CArchive& CArchive::operator<<(LONG l)
{
    return *this << (DWORD)l;
}

CArchive& CArchive::operator>>(BYTE& b)
{
    ReadFixed(&b, 1);
    return *this;
}

CArchive& CArchive::operator>>(WORD& w)
{
    BYTE b[2];
    ReadFixed(b, 2);
    w = GetWord(b);
    return *this;
}

CArchive& CArchive::operator>>(DWORD& dw)
{
    BYTE b[4];
    ReadFixed(b, 4);
    dw = GetDword(b);
    return *this;
}

CArchive& CArchive::operator>>(LONG& l)
{
    DWORD dw;
    *this >> dw;
    l = (LONG)dw;
    return *this;
}

DWORD CArchive::ReadCount()
{
    WORD wCount = 0;
    *this >> wCount;
    if (wCount != 0xFFFF)
        return wCount;
    DWORD dwCount = 0;
    *this >> dwCount;
    return dwCount;
}

void CArchive::WriteCount(DWORD dwCount)
{
    if (dwCount < 0xFFFF)
        *this << (WORD)dwCount;
    else
    {
        *this << (WORD)0xFFFF;
        *this << dwCount;
    }
}

CArchive& CArchive::operator<<(const CString& s)
{
    DWORD n = (DWORD)s.GetLength();
    if (n < 255)
        *this << (BYTE)n;
    else if (n < 0xFFFE)
    {
        *this << (BYTE)0xFF;
        *this << (WORD)n;
    }
    else
    {
        *this << (BYTE)0xFF;
        *this << (WORD)0xFFFF;
        *this << n;
    }
    Write((const char*)s, n);
    return *this;
}

// One length in the string encoding; *pbWide is set for the marker of
// 16-bit text instead.
static DWORD ReadStringLengthOf(CArchive& ar, BOOL* pbWide)
{
    *pbWide = FALSE;
    BYTE bLen = 0;
    ar >> bLen;
    if (bLen < 0xFF)
        return bLen;
    WORD wLen = 0;
    ar >> wLen;
    if (wLen == 0xFFFE)
    {
        *pbWide = TRUE;
        return 0;
    }
    if (wLen != 0xFFFF)
        return wLen;
    DWORD dwLen = 0;
    ar >> dwLen;
    return dwLen;
}

CArchive& CArchive::operator>>(CString& s)
{
    BOOL bWide = FALSE;
    DWORD n = ReadStringLengthOf(*this, &bWide);
    if (bWide)
    {
        BOOL bAgain = FALSE;
        n = ReadStringLengthOf(*this, &bAgain);
        if (bAgain && !AfxExceptionPending())
            ThrowArchive(CArchiveException::generic);
    }
    if (!EnsureAvailable(n, bWide ? 2 : 1))
        return *this;
    if (!bWide)
    {
        char* p = s.GetBufferSetLength((int)n);
        if (p == nullptr || !ReadAll(p, n))
            s.Empty();
        return *this;
    }
    WORD* pWide = FaultAllocationFails() ? nullptr : (WORD*)malloc(((size_t)n + 1) * sizeof(WORD));
    if (pWide == nullptr)
    {
        AfxThrowMemoryException();
        return *this;
    }
    BYTE* pRaw = (BYTE*)pWide;
    if (ReadAll(pRaw, n * 2))
    {
        for (DWORD i = 0; i < n; i++)
            pWide[i] = GetWord(pRaw + 2 * i);
        s = AnsiFromUtf16(pWide, n);
    }
    else
        s.Empty();
    free(pWide);
    return *this;
}

// --- objects ---

BOOL CArchive::AddLoadEntry(const void* p, BOOL bClass)
{
    if (m_nMapCount >= nMaxMapCount)
    {
        ThrowArchive(CArchiveException::badIndex);
        return FALSE;
    }
    if (m_nMapCount >= m_nLoadAlloc)
    {
        DWORD nNew = m_nLoadAlloc == 0 ? 64 : m_nLoadAlloc * 2;
        LoadEntry* pNew =
            FaultAllocationFails() ? nullptr : (LoadEntry*)realloc(m_pLoadArray, (size_t)nNew * sizeof(LoadEntry));
        if (pNew == nullptr)
        {
            AfxThrowMemoryException();
            return FALSE;
        }
        if (m_nLoadAlloc == 0)
        {
            pNew[0].p = nullptr;  // index 0 is the null pointer
            pNew[0].bClass = FALSE;
        }
        m_pLoadArray = pNew;
        m_nLoadAlloc = nNew;
    }
    m_pLoadArray[m_nMapCount].p = p;
    m_pLoadArray[m_nMapCount].bClass = bClass;
    m_nMapCount++;
    return TRUE;
}

DWORD CArchive::LookupStore(const void* p) const
{
    if (m_pStoreMap == nullptr)
        return 0;
    size_t mask = m_nStoreAlloc - 1;
    for (size_t i = HashPointer(p) & mask;; i = (i + 1) & mask)
    {
        if (m_pStoreMap[i].p == p)
            return m_pStoreMap[i].nIndex;
        if (m_pStoreMap[i].p == nullptr)
            return 0;
    }
}

BOOL CArchive::AddStoreEntry(const void* p)
{
    if (m_nMapCount >= nMaxMapCount)
    {
        ThrowArchive(CArchiveException::badIndex);
        return FALSE;
    }
    // Open addressing, kept at most half full.
    if ((m_nMapCount + 1) * 2 > m_nStoreAlloc)
    {
        DWORD nNew = m_nStoreAlloc == 0 ? 64 : m_nStoreAlloc * 2;
        StoreEntry* pNew = (StoreEntry*)calloc(nNew, sizeof(StoreEntry));
        if (pNew == nullptr)
        {
            AfxThrowMemoryException();
            return FALSE;
        }
        for (DWORD k = 0; k < m_nStoreAlloc; k++)
        {
            if (m_pStoreMap[k].p == nullptr)
                continue;
            size_t i = HashPointer(m_pStoreMap[k].p) & (nNew - 1);
            while (pNew[i].p != nullptr)
                i = (i + 1) & (nNew - 1);
            pNew[i] = m_pStoreMap[k];
        }
        free(m_pStoreMap);
        m_pStoreMap = pNew;
        m_nStoreAlloc = nNew;
    }
    size_t mask = m_nStoreAlloc - 1;
    size_t i = HashPointer(p) & mask;
    while (m_pStoreMap[i].p != nullptr)
        i = (i + 1) & mask;
    m_pStoreMap[i].p = p;
    m_pStoreMap[i].nIndex = m_nMapCount++;
    return TRUE;
}

void CArchive::WriteClass(const CRuntimeClass* pClass)
{
    if (AfxExceptionPending())
        return;
    if (IsLoading())
    {
        ThrowArchive(CArchiveException::readOnly);
        return;
    }
    DWORD nClassIndex = LookupStore(pClass);
    if (nClassIndex != 0)
    {
        if (nClassIndex < wBigObjectTag)
            *this << (WORD)(wClassTag | nClassIndex);
        else
        {
            *this << wBigObjectTag;
            *this << (DWORD)(dwBigClassTag | nClassIndex);
        }
        return;
    }
    *this << wNewClassTag;
    pClass->Store(*this);
    AddStoreEntry(pClass);
}

void CArchive::WriteObject(const CObject* pOb)
{
    if (AfxExceptionPending())
        return;
    if (IsLoading())
    {
        ThrowArchive(CArchiveException::readOnly);
        return;
    }
    if (pOb == nullptr)
    {
        *this << wNullTag;
        return;
    }
    DWORD nObIndex = LookupStore(pOb);
    if (nObIndex != 0)
    {
        if (nObIndex < wBigObjectTag)
            *this << (WORD)nObIndex;
        else
        {
            *this << wBigObjectTag;
            *this << nObIndex;
        }
        return;
    }
    WriteClass(pOb->GetRuntimeClass());
    if (!AddStoreEntry(pOb))
        return;
    const_cast<CObject*>(pOb)->Serialize(*this);
}

const CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* pClassRequested, UINT* pSchema, DWORD* pObTag)
{
    if (AfxExceptionPending())
        return nullptr;
    if (!IsLoading())
    {
        ThrowArchive(CArchiveException::writeOnly);
        return nullptr;
    }
    WORD wTag = 0;
    DWORD obTag = 0;
    *this >> wTag;
    if (wTag == wBigObjectTag)
        *this >> obTag;
    else
        obTag = ((DWORD)(wTag & wClassTag) << 16) | (wTag & ~wClassTag);
    if (AfxExceptionPending())
        return nullptr;

    if (!(obTag & dwBigClassTag))
    {
        // A null pointer or a reference to an object read before.
        if (pObTag == nullptr)
        {
            ThrowArchive(CArchiveException::badIndex);
            return nullptr;
        }
        *pObTag = obTag;
        return nullptr;
    }

    const CRuntimeClass* pClass = nullptr;
    UINT nSchema = 0;
    if (wTag == wNewClassTag)
    {
        pClass = CRuntimeClass::Load(*this, &nSchema);
        if (AfxExceptionPending())
            return nullptr;
        if (pClass == nullptr)
        {
            ThrowArchive(CArchiveException::badClass);
            return nullptr;
        }
        if (pClass->m_wSchema != nSchema)
        {
            ThrowArchive(CArchiveException::badSchema);
            return nullptr;
        }
        if (!AddLoadEntry(pClass, TRUE))
            return nullptr;
    }
    else
    {
        DWORD nClassIndex = obTag & ~dwBigClassTag;
        if (nClassIndex == 0 || nClassIndex >= m_nMapCount || !m_pLoadArray[nClassIndex].bClass)
        {
            ThrowArchive(CArchiveException::badIndex);
            return nullptr;
        }
        pClass = (const CRuntimeClass*)m_pLoadArray[nClassIndex].p;
        nSchema = pClass->m_wSchema;
    }

    if (pClassRequested != nullptr && !pClass->IsDerivedFrom(pClassRequested))
    {
        ThrowArchive(CArchiveException::badClass);
        return nullptr;
    }
    if (pSchema != nullptr)
        *pSchema = nSchema;
    else
        m_nObjectSchema = nSchema;
    if (pObTag != nullptr)
        *pObTag = obTag;
    return pClass;
}

CObject* CArchive::ReadObjectImpl(const CRuntimeClass* pClassRequested, BOOL bNewOnly)
{
    UINT nSchema = 0;
    DWORD obTag = 0;
    const CRuntimeClass* pClass = ReadClass(pClassRequested, &nSchema, &obTag);
    if (AfxExceptionPending())
        return nullptr;

    if (pClass == nullptr)
    {
        if (bNewOnly)
        {
            ThrowArchive(CArchiveException::badIndex);
            return nullptr;
        }
        if (obTag == 0)
            return nullptr;
        if (obTag >= m_nMapCount || m_pLoadArray[obTag].bClass)
        {
            ThrowArchive(CArchiveException::badIndex);
            return nullptr;
        }
        CObject* pOb = (CObject*)m_pLoadArray[obTag].p;
        if (pClassRequested != nullptr && !pOb->IsKindOf(pClassRequested))
        {
            ThrowArchive(CArchiveException::badClass);
            return nullptr;
        }
        return pOb;
    }

    if (m_nDepth >= kMaxObjectDepth)
    {
        ThrowArchive(CArchiveException::generic);
        return nullptr;
    }
    CObject* pOb = pClass->CreateObject();
    if (pOb == nullptr)
    {
        AfxThrowMemoryException();
        return nullptr;
    }
    if (!AddLoadEntry(pOb, FALSE))
    {
        delete pOb;
        return nullptr;
    }
    UINT nSchemaSave = m_nObjectSchema;
    m_nObjectSchema = nSchema;
    m_nDepth++;
    pOb->Serialize(*this);
    m_nDepth--;
    m_nObjectSchema = nSchemaSave;
    return pOb;
}

CObject* CArchive::ReadObject(const CRuntimeClass* pClassRequested)
{
    return ReadObjectImpl(pClassRequested, FALSE);
}

CObject* CArchive::ReadNewObject(const CRuntimeClass* pClassRequested)
{
    return ReadObjectImpl(pClassRequested, TRUE);
}
