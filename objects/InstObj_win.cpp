// CInstObj: the parts that need Windows.
#include "objects/InstObj.h"

void CInstObj::MakeTempFileName(CString& name)
{
    char szDir[MAX_PATH] = "";
    char szName[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, szDir);
    GetTempFileNameA(szDir, "gpi", 0, szName);
    name = szName;
}
