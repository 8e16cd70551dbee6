// The storing half of PackageArchive: what the packer and the tests write
// packages with. Only the public constructor leads here.
#include <stdlib.h>
#include <zlib.h>

#include "framework/Exceptions.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"

namespace
{
const UINT kGrowBytes = 1024;
}  // namespace

PackageArchive::PackageArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf, const CString& strPassword,
                               BOOL bCompressed)
    : PackageArchive(pFile, nMode, nBufSize, lpBuf, strPassword, bCompressed, loadOnly)
{
    if (IsStoring() && m_bCompressed && !AfxExceptionPending())
        BeginStoring();
}

// Everything stored goes to memory until Close packs it.
void PackageArchive::BeginStoring()
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
    m_pfnStore = &PackageArchive::StorePacked;
}

// Compresses what was stored, scrambles it and writes header and body.
void PackageArchive::StorePacked()
{
    using namespace PackageFormat;
    DWORD L = m_pMemFile->GetLength();
    m_pBlock = m_pMemFile->Detach();
    uLong nBound = compressBound(L);
    unsigned long long nSpec = 12 + (unsigned long long)L * 11 / 10;
    uLongf K = (uLongf)(nSpec > nBound ? nSpec : nBound);
    BYTE* pOut = (BYTE*)malloc(K + kHeaderSize);
    int z = pOut != nullptr ? compress(pOut + kHeaderSize, &K, m_pBlock, L) : Z_MEM_ERROR;
    if (z != Z_OK)
    {
        free(pOut);
        if (z == Z_MEM_ERROR)
            AfxThrowMemoryException();
        else
            AfxThrowArchiveException(CArchiveException::readOnly, GetPosition());
        return;
    }
    BYTE* pBody = pOut + kHeaderSize;
    Header header = {{'a', 'k', 'z'}, m_strPassword.IsEmpty() ? kVersionPlain : kVersionScrambled, L,
                     Checksum(pBody, (UINT)K)};
    Scramble(pBody, (UINT)K, m_strPassword);
    EncodeHeader(header, pOut);
    m_pBaseFile->Write(pOut, (UINT)(K + kHeaderSize));
    free(pOut);
}
