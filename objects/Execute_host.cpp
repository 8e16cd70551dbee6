// The native build reads and writes scripts but installs nothing: every step
// that would change the system refuses.
#include "objects/InstObjAction.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjPatchFile.h"
#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "objects/InstObjShellLink.h"

namespace
{
int Refuse(CInstObj* pObject, CInstaller* pInstaller)
{
    pObject->m_pInstaller = pInstaller;
    return pInstaller == nullptr ? ERR_NO_INSTALLER : ERR_FAILED;
}
}  // namespace

int CInstObjDir::Execute(CInstaller* pInstaller) { return Refuse(this, pInstaller); }
int CInstObjFile::Execute(CInstaller* pInstaller) { return Refuse(this, pInstaller); }
int CInstObjPatchFile::Execute(CInstaller* pInstaller) { return Refuse(this, pInstaller); }
int CInstObjRegistry::Execute(CInstaller* pInstaller) { return Refuse(this, pInstaller); }
int CInstObjRegValue::Execute(CInstaller* pInstaller) { return Refuse(this, pInstaller); }
int CInstObjAction::Execute(CInstaller* pInstaller) { return Refuse(this, pInstaller); }
int CInstObjShellLink::Execute(CInstaller* pInstaller) { return Refuse(this, pInstaller); }
