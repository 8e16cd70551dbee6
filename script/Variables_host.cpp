// System variables in the native build, which installs nothing: none.
#include "script/Installer.h"

void CInstaller::DefineSystemVariables()
{
}

int CInstaller::GetOsKind()
{
    return 0;
}
