// Finding the package in the program file and reading the script from it.
#include <stdlib.h>

#include "framework/Exceptions.h"
#include "objects/InstObj.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"

BOOL CInstaller::FindPackageMarker(CFile& file, const CByteArray& marker)
{
    DWORD dwLength = file.SeekToEnd();
    file.SeekToBegin();
    if (AfxExceptionPending())
        return FALSE;
    BYTE* pBuffer = (BYTE*)malloc(dwLength > 0 ? dwLength : 1);
    if (pBuffer == nullptr)
        return FALSE;
    DWORD dwRead = file.Read(pBuffer, dwLength);
    int nPosition = 0;
    bool bFound = !AfxExceptionPending() && CInstObj::FindPattern(pBuffer, dwRead, &nPosition, marker);
    free(pBuffer);
    if (bFound)
        file.Seek((LONG)(nPosition + marker.GetSize()), CFile::begin);
    return bFound && !AfxExceptionPending();
}

int CInstaller::LoadPackageStream(CFile& file)
{
    RegisterClasses();
    CExceptionScope scope;
    {
        PackageArchive ar(&file, CArchive::load | CArchive::bNoFlushOnDelete, 4096, nullptr,
                          PackageFormat::kPassword, TRUE);
        if (!scope.Failed() && file.GetLength() != 0)
        {
            Serialize(ar);
            ar.Close();
        }
    }
    return scope.Failed() ? ERR_FAILED : ERR_OK;
}

int CInstaller::LoadPackage(const CString& strProgramPath)
{
    CFile file;
    if (!file.Open(strProgramPath, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary))
        return ERR_FAILED;
    CByteArray marker;
    PackageFormat::BuildMarker(marker);
    {
        CExceptionScope scope;
        if (!FindPackageMarker(file, marker))
            return scope.Failed() ? ERR_FAILED : ERR_NO_MARKER;
    }
    int nResult = LoadPackageStream(file);
    file.Abort();
    return nResult;
}
