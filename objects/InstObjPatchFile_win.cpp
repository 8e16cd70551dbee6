// CInstObjPatchFile: writing each target's variant of the carried bytes.
#include "objects/InstObjPatchFile.h"
#include "script/Installer.h"

int CInstObjPatchFile::Execute(CInstaller* pInstaller)
{
    int r = PrepareExecute(pInstaller);
    if (r != ERR_OK)
        return r;
    for (int i = 0; i < m_Targets.GetSize(); i++)
    {
        CByteArray working;
        {
            CExceptionScope scope;
            if (!working.Copy(m_Content) || scope.Failed())
                return ERR_NO_MEMORY;
        }
        if (!ApplyPatches(i, working))
            return ERR_FAILED;
        // The written file keeps whatever attributes the write gives it.
        r = WriteTarget(m_Targets[i], working, FALSE);
        if (r != ERR_OK)
            return r;
    }
    return ERR_OK;
}
