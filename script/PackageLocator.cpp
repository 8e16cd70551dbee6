// Finding the package in the program file and reading the script from it.
#include <stdlib.h>
#include <string.h>

#include "framework/Exceptions.h"
#include "objects/InstObj.h"
#include "script/BackgroundLoad.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"
#include "script/PeSignature.h"

namespace
{
// The package stream of a signed installer: the program file up to the
// certificate table, as though the file ended there.
class CPackageWindow : public CFile
{
public:
    CPackageWindow(CFile* pFile, DWORD dwEnd, bool bOwned) : m_pFile(pFile), m_dwEnd(dwEnd), m_bOwned(bOwned) {}
    ~CPackageWindow() override
    {
        if (m_bOwned)
            delete m_pFile;
    }

    DWORD Seek(LONG lOff, UINT nFrom) override
    {
        long long base = nFrom == begin ? 0 : (nFrom == current ? (long long)GetPosition() : (long long)m_dwEnd);
        long long pos = base + lOff;
        if (pos < 0)
            pos = 0;
        if (pos > (long long)m_dwEnd)
            pos = m_dwEnd;
        return m_pFile->Seek((LONG)pos, begin);
    }
    DWORD GetLength() const override { return m_dwEnd; }
    DWORD GetPosition() const override { return m_pFile->GetPosition(); }
    UINT Read(void* lpBuf, UINT nCount) override
    {
        DWORD dwPos = GetPosition();
        if (AfxExceptionPending() || dwPos >= m_dwEnd)
            return 0;
        if (nCount > m_dwEnd - dwPos)
            nCount = m_dwEnd - dwPos;
        return m_pFile->Read(lpBuf, nCount);
    }
    void Write(const void*, UINT) override { AfxThrowFileException(CFileException::accessDenied); }
    void Flush() override {}
    void Close() override { m_pFile->Close(); }
    void Abort() override { m_pFile->Abort(); }

private:
    CFile* m_pFile;
    DWORD m_dwEnd;
    bool m_bOwned;
};

// Where the package behind the marker ends: the end of the file, or, in a
// signed installer, the start of its signature. ERR_FAILED when the file
// cannot be read.
int FindPackageEnd(CFile& file, DWORD& dwEnd, bool& bCut)
{
    CExceptionScope scope;
    dwEnd = PeSignature::FindPackageEnd(file);
    bCut = !scope.Failed() && dwEnd < file.GetLength();
    return scope.Failed() ? ERR_FAILED : ERR_OK;
}
}  // namespace

BOOL CInstaller::FindPackageMarker(CFile& file, const CByteArray& marker)
{
    // The file is searched in chunks that overlap by the marker's length less
    // one, which finds the same first occurrence as a search over the whole
    // file in one buffer, without holding the package twice in memory.
    const UINT kChunk = 256 * 1024;
    UINT nMarker = (UINT)marker.GetSize();
    if (nMarker == 0)
        return FALSE;
    file.SeekToBegin();
    BYTE* pBuffer = (BYTE*)malloc(kChunk + nMarker);
    if (pBuffer == nullptr)
        return FALSE;
    DWORD dwBase = 0;  // file offset of pBuffer[0]
    UINT nHeld = 0;
    bool bFound = false;
    int nPosition = 0;
    while (!AfxExceptionPending())
    {
        UINT nRead = file.Read(pBuffer + nHeld, kChunk);
        if (nRead == 0)
            break;
        nHeld += nRead;
        nPosition = 0;
        if (CInstObj::FindPattern(pBuffer, nHeld, &nPosition, marker))
        {
            bFound = true;
            break;
        }
        UINT nKeep = nHeld < nMarker - 1 ? nHeld : nMarker - 1;
        memmove(pBuffer, pBuffer + nHeld - nKeep, nKeep);
        dwBase += nHeld - nKeep;
        nHeld = nKeep;
    }
    free(pBuffer);
    if (bFound)
        file.Seek((LONG)(dwBase + (DWORD)nPosition + nMarker), CFile::begin);
    return bFound && !AfxExceptionPending();
}

int CInstaller::LoadPackageStream(CFile& file)
{
    RegisterClasses();
    CExceptionScope scope;
    PackageArchive* pArchive = PackageArchive::OpenInstallerPackage(&file);
    if (pArchive == nullptr)
        AfxThrowMemoryException();
    else if (!scope.Failed() && file.GetLength() != 0)
    {
        Serialize(*pArchive);
        pArchive->Close();
    }
    delete pArchive;
    return scope.Failed() ? ERR_FAILED : ERR_OK;
}

int CInstaller::OpenPackage(const CString& strProgramPath, CFile& file)
{
    // The package is read twice, its checksum first and then the body it
    // inflates; nobody may write the file in between, nor while it is open
    // here. Others may still read it, and a running program's own file is
    // open for reading by the system already.
    if (!file.Open(strProgramPath, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary))
        return ERR_FAILED;
    CByteArray marker;
    PackageFormat::BuildMarker(marker);
    CExceptionScope scope;
    if (!FindPackageMarker(file, marker))
        return scope.Failed() ? ERR_FAILED : ERR_NO_MARKER;
    return ERR_OK;
}

int CInstaller::LoadPackage(const CString& strProgramPath)
{
    CFile file;
    DWORD dwEnd = 0;
    bool bCut = false;
    int nResult = OpenPackage(strProgramPath, file);
    if (nResult == ERR_OK)
        nResult = FindPackageEnd(file, dwEnd, bCut);
    if (nResult == ERR_OK && bCut)
    {
        CPackageWindow window(&file, dwEnd, false);
        nResult = LoadPackageStream(window);
    }
    else if (nResult == ERR_OK)
        nResult = LoadPackageStream(file);
    file.Abort();
    return nResult;
}

int CInstaller::BeginLoadPackage(const CString& strProgramPath)
{
    if (m_pLoad != nullptr)
        return ERR_FAILED;  // one load per script
    CFile* pFile = new CFile;
    DWORD dwEnd = 0;
    bool bCut = false;
    int nResult = pFile != nullptr ? OpenPackage(strProgramPath, *pFile) : ERR_FAILED;
    if (nResult == ERR_OK)
        nResult = FindPackageEnd(*pFile, dwEnd, bCut);
    if (nResult == ERR_OK && bCut)
    {
        CFile* pWindow = new CPackageWindow(pFile, dwEnd, true);
        if (pWindow == nullptr)
            nResult = ERR_FAILED;
        else
            pFile = pWindow;
    }
    if (nResult == ERR_OK && (m_pLoad = new CBackgroundLoad(this)) == nullptr)
        nResult = ERR_FAILED;
    if (nResult != ERR_OK)
    {
        delete pFile;  // closes it
        return nResult;
    }
    return m_pLoad->Start(pFile);
}
