// Finding the package in the program file and reading the script from it.
#include <stdlib.h>
#include <string.h>

#include "framework/Exceptions.h"
#include "objects/InstObj.h"
#include "script/BackgroundLoad.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"

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
    int nResult = OpenPackage(strProgramPath, file);
    if (nResult == ERR_OK)
        nResult = LoadPackageStream(file);
    file.Abort();
    return nResult;
}

int CInstaller::BeginLoadPackage(const CString& strProgramPath)
{
    if (m_pLoad != nullptr)
        return ERR_FAILED;  // one load per script
    CFile* pFile = new CFile;
    int nResult = pFile != nullptr ? OpenPackage(strProgramPath, *pFile) : ERR_FAILED;
    if (nResult == ERR_OK && (m_pLoad = new CBackgroundLoad(this)) == nullptr)
        nResult = ERR_FAILED;
    if (nResult != ERR_OK)
    {
        delete pFile;  // closes it
        return nResult;
    }
    return m_pLoad->Start(pFile);
}
