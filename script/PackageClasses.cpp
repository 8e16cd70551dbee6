// The classes a package may name.
#include "objects/InstObjAction.h"
#include "objects/InstObjDefine.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjPatchFile.h"
#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "objects/InstObjShellLink.h"
#include "script/Installer.h"

void CInstaller::RegisterClasses()
{
    static const CRuntimeClass* const kClasses[] = {
        RUNTIME_CLASS(CInstObj),         RUNTIME_CLASS(CInstObjDefine),   RUNTIME_CLASS(CInstObjRegistry),
        RUNTIME_CLASS(CInstObjRegValue), RUNTIME_CLASS(CInstObjDir),      RUNTIME_CLASS(CInstObjFile),
        RUNTIME_CLASS(CInstObjPatchFile), RUNTIME_CLASS(CInstObjAction), RUNTIME_CLASS(CInstObjShellLink),
    };
    for (const CRuntimeClass* pClass : kClasses)
        AfxRegisterClass(pClass);
}
