// setup.exe: the entry point and the run sequence. The package is appended
// to this program's own file.
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "shell/Shell.h"
#include "sysutil/SystemLibrary.h"

namespace
{
// The program's own path. The buffer grows until the whole path fits: a cut
// path could name another file.
void GetProgramPath(CString& strPath)
{
    for (DWORD nSize = MAX_PATH; nSize <= 32768; nSize *= 2)
    {
        char* pBuffer = strPath.GetBuffer((int)nSize);
        if (pBuffer == nullptr)
            break;
        DWORD n = GetModuleFileNameA(g_hInstance, pBuffer, nSize);
        if (n < nSize)
        {
            strPath.ReleaseBuffer((int)n);
            return;
        }
    }
    strPath.Empty();
}

void InitCommonControlsLate()
{
    typedef void(WINAPI * InitFunction)();
    HMODULE hLibrary = LoadSystemLibrary("comctl32.dll");
    InitFunction pfnInit = hLibrary != nullptr ? (InitFunction)GetProcAddress(hLibrary, "InitCommonControls") : nullptr;
    if (pfnInit != nullptr)
        pfnInit();
}

// Loads the package, asks, runs and reports; returns the exit code.
int Install(const CString& strProgram)
{
    if (g_bSilent)
    {
        // Nothing may wait for a click in an unattended installation, not
        // even the package archive's own message.
        PackageArchive::SetMessageHandler(nullptr);
    }
    else
    {
        g_pInstaller->SetQuestionCallback(AskLanguage);
        g_pInstaller->SetProgressCallback(ShowProgress);
    }

    // Unattended, the script runs while the package is still being read:
    // each step starts as soon as its object is in, and a package that
    // breaks later fails the run, which undoes what it did. Otherwise the
    // whole package is read before the user is asked.
    g_nErrorCode =
        g_bSilent ? g_pInstaller->BeginLoadPackage(strProgram) : g_pInstaller->LoadPackage(strProgram);
    // A dialog that cannot be made (-1) has told the user nothing: the exit
    // code has to.
    bool bUntold = false;
    if (g_nErrorCode != ERR_OK)
    {
        // The script is not run after a failed load.
        bUntold = ShowLoadErrorDialog(g_nErrorCode) == -1;
    }
    else
    {
        int nAnswer = g_bSilent ? IDYES : ShowInstallDialog();
        if (nAnswer == -1)
        {
            // Nothing was asked, so nothing is installed.
            g_nErrorCode = ERR_FAILED;
            bUntold = true;
        }
        else if (nAnswer == IDYES)
        {
            g_nErrorCode = g_pInstaller->Run();
            if (g_nErrorCode != ERR_OK)
            {
                g_strErrorMessage = g_pInstaller->m_strMessage;
                bUntold = ShowErrorDialog(g_nErrorCode) == -1;
            }
            else
            {
                if (!g_bSilent)
                    ShowSuccessDialog();
                if (g_bActivate)
                    ActivateScreenSaver();
            }
        }
    }
    // A silent installation can tell a failure only to the program that
    // started it. Interactive runs end with 0: the user has seen the result.
    return g_bSilent || bUntold ? g_nErrorCode : EXIT_OK;
}
}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    g_hInstance = hInstance;
    g_nErrorCode = ERR_OK;
    g_bSilent = FALSE;

    g_pInstaller = new CInstaller;  // null when memory is exhausted

    CString strProgram;
    GetProgramPath(strProgram);

    CommandLineOptions options;
    ScanCommandLine(lpCmdLine, options);
    if (options.bSilent)
    {
        g_bSilent = TRUE;
        // No system box ("no disk in the drive", a file that cannot be
        // opened) may wait for a click in an unattended run. The process
        // mode can only be read by setting it, hence the two calls.
        SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        if (g_pInstaller != nullptr)
            g_pInstaller->m_bAskLanguage = FALSE;
    }
    if (options.bActivate)
        g_bActivate = TRUE;
    if (options.bNewLanguage && g_pInstaller != nullptr)
    {
        g_pInstaller->m_bAskLanguage = FALSE;
        g_pInstaller->m_bUseNewLanguage = TRUE;
    }

    // The progress bar needs the common controls. A silent run shows no
    // window and does not even load them: the library is found at run time,
    // not imported, because loading it is a good part of the start-up (and
    // it is not one of the system's known DLLs: it comes from the system
    // folder, or from the side-by-side assembly the manifest names).
    if (!g_bSilent)
        InitCommonControlsLate();

    int nExitCode = EXIT_OK;
    if (options.bHelp)
    {
        ShowUsage(strProgram);
    }
    else if (options.bUsage)
    {
        ShowUsage(strProgram);
        nExitCode = EXIT_USAGE;
    }
    else if (g_pInstaller == nullptr)
        nExitCode = EXIT_NO_MEMORY;
    else
        nExitCode = Install(strProgram);

    delete g_pInstaller;
    g_pInstaller = nullptr;
    return nExitCode;
}
