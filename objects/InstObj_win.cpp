// CInstObj: the parts that need Windows.
#include "objects/InstObj.h"

#include "framework/Exceptions.h"

void CInstObj::MakeTempFileName(CString& name)
{
    char szDir[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, szDir);
    // The name's room is taken before the system creates the file: a file
    // whose name could not be kept could not be deleted again.
    char* pszName = name.GetBuffer(MAX_PATH);
    if (pszName == nullptr || AfxExceptionPending())
        return;
    pszName[0] = '\0';
    GetTempFileNameA(szDir, "gpi", 0, pszName);
    name.ReleaseBuffer();
}
