// CInstObjAction: the shell verb and the closing of running programs.
#include "objects/InstObjAction.h"

#include <shellapi.h>

#include "sysutil/Processes.h"

namespace
{
const DWORD kShellPause = 50;
// Between asking the programs to close and ending those that did not.
const DWORD kClosePause = 100;
}  // namespace

int CInstObjAction::Execute(CInstaller* pInstaller)
{
    int r = PrepareExecute(pInstaller);
    if (r != ERR_OK)
        return r;
    switch (m_nMode)
    {
    case MODE_SHELL_VERB:
        // What the shell starts is neither checked nor waited for.
        ShellExecuteA(nullptr, m_strVerb, m_strFile, m_strParameters,
                      m_strDirectory.IsEmpty() ? nullptr : (const char*)m_strDirectory, m_nShowCmd);
        Sleep(kShellPause);
        return ERR_OK;
    case MODE_CLOSE_PROCESSES:
        CloseProcessesByName(m_strFile, FALSE);
        Sleep(kClosePause);
        switch (CloseProcessesByName(m_strFile, TRUE))
        {
        case CLOSE_OK:
            return ERR_OK;
        case CLOSE_NOT_ENDED:
            return ERR_TERMINATE;
        default:
            return ERR_FAILED;
        }
    default:
        return ERR_FAILED;
    }
}
