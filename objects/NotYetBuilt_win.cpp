// Steps whose Windows work is not built yet refuse, so that a script that
// uses them fails and is rolled back instead of reporting a false success.
#include "objects/InstObjShellLink.h"

namespace
{
int Refuse(CInstObj* pObject, CInstaller* pInstaller)
{
    pObject->m_pInstaller = pInstaller;
    return pInstaller == nullptr ? ERR_NO_INSTALLER : ERR_FAILED;
}
}  // namespace

int CInstObjShellLink::Execute(CInstaller* pInstaller) { return Refuse(this, pInstaller); }
