// Making the installed screen saver the system's active one.
#include "objects/InstObjRegValue.h"
#include "script/Installer.h"
#include "shell/Shell.h"

int ActivateScreenSaver()
{
    CString strPath;
    CString strKey;
    CString strValueName;
    CString strData;
    PackageText("SCRNSAVE.EXE", strPath);
    PackageText("AktSaverKey", strKey);
    PackageText("AktSaverValueName", strValueName);
    // No separate variable exists for the data: the value holds its own name.
    PackageText("AktSaverValueName", strData);
    if (g_pInstaller != nullptr)
    {
        // A text that does not expand stays as it is.
        g_pInstaller->ExpandString(strPath);
        g_pInstaller->ExpandString(strData);
        g_pInstaller->ExpandString(strValueName);
        g_pInstaller->ExpandString(strKey);
    }

    // Without a path there is nothing to name; an empty entry would only
    // switch off the saver the user had.
    if (!strPath.IsEmpty())
    {
        char szShort[MAX_PATH];
        DWORD n = GetShortPathNameA(strPath, szShort, sizeof szShort);
        if (n > 0 && n < sizeof szShort)
            strPath = szShort;
        WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", strPath, "system.ini");
    }
    // Stored in the user's profile too: without it the saver would be off
    // again at the next logon.
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);

    if (!strKey.IsEmpty() && !strValueName.IsEmpty() && !strData.IsEmpty())
    {
        CInstObjRegValue* pValue = new CInstObjRegValue;
        if (pValue == nullptr)
            return ERR_NO_MEMORY;
        pValue->SetTextValue(strKey, strValueName, strData, REG_SZ);
        // Undo records it makes go to the script, which is deleted unrun.
        pValue->Execute(g_pInstaller);
        delete pValue;
    }
    return ERR_OK;
}
