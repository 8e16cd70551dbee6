// PackageArchive.
#include "script/PackageArchive.h"

#include <stdlib.h>
#include <zlib.h>

#include "framework/Exceptions.h"
#include "script/PackageFormat.h"

namespace
{
const UINT kGrowBytes = 1024;
PackageMessageHandler s_pfnMessage = ShowPackageMessage;
}  // namespace

PackageMessageHandler PackageArchive::SetMessageHandler(PackageMessageHandler pfn)
{
    PackageMessageHandler pfnOld = s_pfnMessage;
    s_pfnMessage = pfn;
    return pfnOld;
}

PackageArchive::PackageArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf, const CString& strPassword,
                               BOOL bCompressed)
    : CArchive(pFile, nMode, nBufSize, lpBuf),
      m_strPassword(strPassword),
      m_bCompressed(bCompressed),
      m_pBaseFile(pFile),
      m_pBlock(nullptr),
      m_pMemFile(nullptr)
{
    if (!m_strPassword.IsEmpty())
        m_bCompressed = TRUE;
    if (!m_bCompressed || AfxExceptionPending())
        return;

    if (IsStoring())
    {
        m_pBlock = (BYTE*)malloc(kGrowBytes);
        m_pMemFile = m_pBlock != nullptr ? new CMemFile(m_pBlock, kGrowBytes, kGrowBytes) : nullptr;
        if (m_pMemFile == nullptr)
        {
            free(m_pBlock);
            m_pBlock = nullptr;
            m_pFile = nullptr;
            AfxThrowMemoryException();
            return;
        }
        m_pFile = m_pMemFile;
        return;
    }
    LoadPackage();
}

// Reads the whole package stream, checks and unpacks it, and puts the plain
// stream in a memory file in the place of the archive's file.
void PackageArchive::LoadPackage()
{
    using namespace PackageFormat;
    m_pFile = nullptr;  // nothing is read until the memory file is ready

    DWORD dwLength = m_pBaseFile->GetLength();
    DWORD dwPos = m_pBaseFile->GetPosition();
    DWORD n = dwLength > dwPos ? dwLength - dwPos : 0;
    if (AfxExceptionPending())
        return;
    if (n < kHeaderSize)
    {
        // Too short for a header: nothing in it can be trusted.
        AfxThrowArchiveException(CArchiveException::endOfFile, n);
        return;
    }
    BYTE rawHeader[kHeaderSize];
    if (m_pBaseFile->Read(rawHeader, kHeaderSize) != kHeaderSize)
    {
        if (!AfxExceptionPending())
            AfxThrowArchiveException(CArchiveException::endOfFile, 0);
        return;
    }
    Header header;
    DecodeHeader(rawHeader, header);

    // The bytes behind the header: the body, or without a signature the
    // plain stream itself.
    DWORD m = n - kHeaderSize;
    BYTE* pBody = (BYTE*)malloc(m > 0 ? m : 1);
    if (pBody == nullptr)
    {
        AfxThrowMemoryException();
        return;
    }
    m = m_pBaseFile->Read(pBody, m);
    if (AfxExceptionPending())
    {
        free(pBody);
        return;
    }

    if (!HasSignature(header))
    {
        m_pBlock = pBody;
    }
    else
    {
        if (header.version == kVersionScrambled)
        {
            Scramble(pBody, m, m_strPassword);
            if (Checksum(pBody, m) != header.checksum)
            {
                free(pBody);
                if (s_pfnMessage != nullptr)
                    s_pfnMessage("Password incorrect!!!");
                Abort();
                AfxThrowUserException();
                return;
            }
        }
        // A plain length beyond what deflate can produce from this body is
        // not worth allocating.
        if ((unsigned long long)header.plainLength > (unsigned long long)m * kMaxInflateRatio + 64)
        {
            free(pBody);
            AfxThrowArchiveException(CArchiveException::generic, 0);
            return;
        }
        BYTE* pPlain = (BYTE*)malloc(header.plainLength > 0 ? header.plainLength : 1);
        if (pPlain == nullptr)
        {
            free(pBody);
            AfxThrowMemoryException();
            return;
        }
        uLongf nPlain = header.plainLength;
        int z = uncompress(pPlain, &nPlain, pBody, m);
        free(pBody);
        if (z != Z_OK)
        {
            // A body that does not decompress is a damaged package, not
            // data to guess at.
            free(pPlain);
            AfxThrowArchiveException(CArchiveException::generic, 0);
            return;
        }
        m_pBlock = pPlain;
        m = (DWORD)nPlain;
    }

    // The block is handed over whole: no copy and no growth.
    m_pMemFile = new CMemFile(m_pBlock, m, 0);
    if (m_pMemFile == nullptr)
    {
        free(m_pBlock);
        m_pBlock = nullptr;
        AfxThrowMemoryException();
        return;
    }
    m_pFile = m_pMemFile;
}

PackageArchive::~PackageArchive()
{
    if (m_pFile != nullptr && !(m_nMode & bNoFlushOnDelete))
        Close();
    Abort();
}

void PackageArchive::ReleaseMemFile()
{
    if (m_pMemFile != nullptr)
    {
        BYTE* pBlock = m_pMemFile->Detach();
        if (pBlock != nullptr)
            m_pBlock = pBlock;
        delete m_pMemFile;
        m_pMemFile = nullptr;
    }
    free(m_pBlock);
    m_pBlock = nullptr;
}

void PackageArchive::Close()
{
    CArchive::Flush();
    if (!m_bCompressed || m_pMemFile == nullptr)
    {
        m_pFile = nullptr;
        return;
    }
    if (IsStoring() && !AfxExceptionPending())
    {
        using namespace PackageFormat;
        DWORD L = m_pMemFile->GetLength();
        m_pBlock = m_pMemFile->Detach();
        uLong nBound = compressBound(L);
        unsigned long long nSpec = 12 + (unsigned long long)L * 11 / 10;
        uLongf K = (uLongf)(nSpec > nBound ? nSpec : nBound);
        BYTE* pOut = (BYTE*)malloc(K + kHeaderSize);
        if (pOut == nullptr || compress(pOut + kHeaderSize, &K, m_pBlock, L) != Z_OK)
        {
            free(pOut);
            AfxThrowMemoryException();
        }
        else
        {
            BYTE* pBody = pOut + kHeaderSize;
            Header header = {{'a', 'k', 'z'},
                             m_strPassword.IsEmpty() ? kVersionPlain : kVersionScrambled,
                             L,
                             Checksum(pBody, (UINT)K)};
            Scramble(pBody, (UINT)K, m_strPassword);
            EncodeHeader(header, pOut);
            m_pBaseFile->Write(pOut, (UINT)(K + kHeaderSize));
            free(pOut);
        }
    }
    ReleaseMemFile();
    m_pFile = nullptr;
}

void PackageArchive::Abort()
{
    if (m_bCompressed)
        ReleaseMemFile();
    CArchive::Abort();
}

bool PackageArchive::Scramble(BYTE* pData, UINT nLength, const CString& strPassword)
{
    return PackageFormat::Scramble(pData, nLength, strPassword) != FALSE;
}
