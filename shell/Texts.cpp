// Text lookup: package variables first, the string table second.
#include "objects/ErrorCodes.h"
#include "resources/resource.h"
#include "script/Installer.h"
#include "shell/Shell.h"

CString& PackageText(const char* pszName, CString& text)
{
    text.Empty();
    if (g_pInstaller != nullptr && pszName != nullptr)
        g_pInstaller->LookupVariable(pszName, text);
    return text;
}

CString& LoadText(const char* pszName, UINT nId, CString& text)
{
    text.Empty();
    if (g_pInstaller != nullptr && pszName != nullptr && g_pInstaller->LookupVariable(pszName, text))
        return text;
    char szBuffer[1024];
    int n = LoadStringA(g_hInstance, nId, szBuffer, sizeof szBuffer);
    if (n > 0)
        text = CString(szBuffer, n);
    return text;
}

CString& ErrorText(int nCode, CString& text)
{
    switch (nCode)
    {
    case ERR_VALUE_TYPE:
    case ERR_REG_OPEN:
    case ERR_REG_DELETE_TREE:
    case ERR_REG_COPY:
    case ERR_REG_DELETE_VALUE:
    case ERR_REG_WRITE_VALUE:
        return LoadText(TEXT_ARGS(IDS_ERR_REGISTRY), text);
    case ERR_DIR_DELETE:
    case ERR_DIR_MOVE:
    case ERR_DIR_CREATE:
        return LoadText(TEXT_ARGS(IDS_ERR_DIR), text);
    case ERR_FILE_COPY:
    case ERR_FILE_MOVE:
    case ERR_FILE_DELETE:
    case ERR_LINK:
        return LoadText(TEXT_ARGS(IDS_ERR_FILE), text);
    case ERR_CHECK_VETO:
        // The failed check's own message, possibly empty.
        text = g_strErrorMessage;
        return text;
    default:
        return LoadText(TEXT_ARGS(IDS_ERR_GENERAL), text);
    }
}
