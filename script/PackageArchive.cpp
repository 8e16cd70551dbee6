// PackageArchive.
#include "script/PackageArchive.h"

#include <stdlib.h>
#include <zlib.h>

#include "framework/Exceptions.h"
#include "script/PackageFormat.h"

namespace
{
const UINT kChunk = 64 * 1024;
PackageMessageHandler s_pfnMessage = ShowPackageMessage;
}  // namespace

PackageMessageHandler PackageArchive::SetMessageHandler(PackageMessageHandler pfn)
{
    PackageMessageHandler pfnOld = s_pfnMessage;
    s_pfnMessage = pfn;
    return pfnOld;
}

PackageArchive::PackageArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf, const CString& strPassword,
                               BOOL bCompressed, LoadOnly)
    : CArchive(pFile, nMode, nBufSize, lpBuf),
      m_strPassword(strPassword),
      m_bCompressed(bCompressed),
      m_pBaseFile(pFile),
      m_pBlock(nullptr),
      m_pMemFile(nullptr),
      m_pInflateFile(nullptr),
      m_pfnStore(nullptr)
{
    if (!m_strPassword.IsEmpty())
        m_bCompressed = TRUE;
    if (!m_bCompressed || AfxExceptionPending())
        return;
    if (IsStoring())
    {
        // Nothing may reach the file before the storing half packs it.
        m_pFile = nullptr;
        return;
    }
    LoadPackage();
}

// Reads the package header, checks the body, and puts the plain stream in
// the place of the archive's file.
void PackageArchive::LoadPackage()
{
    using namespace PackageFormat;
    m_pFile = nullptr;  // nothing is read until the plain stream is ready

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

    if (!HasSignature(header))
    {
        // The bytes behind the header are the plain stream itself.
        m_pFile = m_pBaseFile;
        return;
    }

    // The body runs to the end of the file. A scrambled one is checked in a
    // first pass over the file; the second pass inflates it as the script
    // is read. Neither keeps the body in memory.
    DWORD dwBodyStart = m_pBaseFile->GetPosition();
    DWORD m = n - kHeaderSize;
    if (header.version == kVersionScrambled)
    {
        BYTE* pChunk = (BYTE*)malloc(kChunk);
        if (pChunk == nullptr)
        {
            AfxThrowMemoryException();
            return;
        }
        uLong checksum = adler32(0, nullptr, 0);
        m = 0;
        for (UINT nRead; (nRead = m_pBaseFile->Read(pChunk, kChunk)) > 0; m += nRead)
        {
            Scramble(pChunk, nRead, m_strPassword);
            checksum = adler32(checksum, pChunk, nRead);
        }
        free(pChunk);
        if (AfxExceptionPending())
            return;
        if ((DWORD)checksum != header.checksum)
        {
            if (s_pfnMessage != nullptr)
                s_pfnMessage("Password incorrect!!!");
            Abort();
            AfxThrowUserException();
            return;
        }
        m_pBaseFile->Seek((LONG)dwBodyStart, CFile::begin);
    }
    // A plain length beyond what deflate can produce from this body is not
    // worth reading towards.
    if ((unsigned long long)header.plainLength > (unsigned long long)m * kMaxInflateRatio + 64)
    {
        AfxThrowArchiveException(CArchiveException::generic, 0);
        return;
    }
    m_pInflateFile = new CInflateFile(m_pBaseFile, header.version == kVersionScrambled ? m_strPassword : CString(),
                                      header.plainLength);
    if (m_pInflateFile == nullptr)
    {
        AfxThrowMemoryException();
        return;
    }
    m_pFile = m_pInflateFile;
}

PackageArchive* PackageArchive::OpenInstallerPackage(CFile* pFile)
{
    return new PackageArchive(pFile, load | bNoFlushOnDelete, 4096, nullptr, PackageFormat::kPassword, TRUE,
                              loadOnly);
}

PackageArchive::~PackageArchive()
{
    if (m_pFile != nullptr && !(m_nMode & bNoFlushOnDelete))
        Close();
    Abort();
}

void PackageArchive::ReleaseMemFile()
{
    delete m_pInflateFile;
    m_pInflateFile = nullptr;
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
    if (!m_bCompressed)
    {
        m_pFile = nullptr;
        return;
    }
    // A body must be whole also where the script did not read it.
    if (m_pInflateFile != nullptr)
        m_pInflateFile->CheckRest();
    if (IsStoring() && !AfxExceptionPending())
    {
        if (m_pfnStore != nullptr)
            (this->*m_pfnStore)();
        else
            AfxThrowArchiveException(CArchiveException::readOnly, GetPosition());
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
