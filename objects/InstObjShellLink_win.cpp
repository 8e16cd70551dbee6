// CInstObjShellLink: writes the link file through the shell's link object.
#include "objects/InstObjShellLink.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "framework/Exceptions.h"
#include "framework/FaultHooks.h"
#include "framework/Owner.h"
#include "objects/InstObjDir.h"
#include "script/Installer.h"
#include "sysutil/Log.h"

namespace
{
// Named here rather than taken from the uuid library.
const CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// COM for the calling thread while the object lives.
class CComScope
{
public:
    CComScope() : m_hr(CoInitialize(nullptr)) {}
    ~CComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    bool Failed() const { return FAILED(m_hr); }

private:
    HRESULT m_hr;
};

// Saving writes the link file: a change like every other, refused while a
// framework exception is pending and open to the change fault hook.
HRESULT SaveLink(IPersistFile* pFile, const WCHAR* pszPath, const char* pszLog)
{
    DWORD dwError = 0;
    HRESULT hr;
    if (AfxExceptionPending())
        hr = HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
    else if (FaultChangeFails(&dwError))
        hr = HRESULT_FROM_WIN32(dwError != 0 ? dwError : ERROR_GEN_FAILURE);
    else
        hr = pFile->Save(pszPath, TRUE);
    if (FAILED(hr))
    {
        SetLastError(HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : (DWORD)hr);
        LogSystemError(CString("IPersistFile::Save ") + pszLog);
    }
    return hr;
}

// The undo record of the link about to be saved: a file that stands there
// now is written back as it was (a rollback must not lose a link the user
// had), anything else is deleted. *ppRecord receives the record, null
// when none was made.
int RecordLinkUndo(CInstObjShellLink& link, CInstObj** ppRecord)
{
    *ppRecord = nullptr;
    if (!link.GetRecordUndo())
        return ERR_OK;
    CInstObjDir recorder;  // records through the installer, holds nothing
    recorder.m_pInstaller = link.m_pInstaller;
    DWORD dwAttributes = GetFileAttributesA(link.m_strFile);
    bool bFile = dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    int r = bFile ? recorder.RecordFileUndo(link.m_strFile, MODE_DELETE) : recorder.RecordDeleteUndo(link.m_strFile);
    if (r == ERR_OK)
        *ppRecord = (CInstObj*)link.m_pInstaller->m_UndoList.GetHead();
    return r;
}
}  // namespace

int CInstObjShellLink::Execute(CInstaller* pInstaller)
{
    int r = PrepareExecute(pInstaller);
    if (r != ERR_OK)
        return r;
    if (m_nMode == MODE_DELETE)
        return ERR_OK;  // the link made by an earlier run is removed by its undo record
    if (m_nMode != MODE_CREATE)
        return ERR_FAILED;


    // The link's path as the shell wants it: a path that does not fit
    // would be saved under a name cut short.
    WCHAR szPath[MAX_PATH];
    if (m_strFile.GetLength() >= MAX_PATH ||
        MultiByteToWideChar(CP_ACP, 0, m_strFile, -1, szPath, MAX_PATH) == 0)
        return ERR_TOO_LONG;

    CComScope com;
    if (com.Failed())
        return ERR_LINK;
    TInterfaceOwner<IShellLinkA> link;
    if (FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkA,
                                (void**)link.Receive())))
        return ERR_LINK;
    IShellLinkA* pLink = link;
    pLink->SetPath(m_strTarget);
    pLink->SetDescription(m_strVerb);
    pLink->SetArguments(m_strParameters);
    pLink->SetWorkingDirectory(m_strDirectory);
    pLink->SetShowCmd(m_nShowCmd);
    TInterfaceOwner<IPersistFile> file;
    if (FAILED(pLink->QueryInterface(kPersistFile, (void**)file.Receive())))
        return ERR_LINK;

    // The record first: a file that stood there comes back as it was, a
    // new one is deleted. A save that fails takes its record back.
    CInstObj* pRecord = nullptr;
    r = RecordLinkUndo(*this, &pRecord);
    if (r != ERR_OK)
        return r;
    if (FAILED(SaveLink(file, szPath, m_strFile)))
    {
        if (pRecord != nullptr)
            m_pInstaller->WithdrawUndo(pRecord);
        return ERR_LINK;
    }
    return ERR_OK;
}
