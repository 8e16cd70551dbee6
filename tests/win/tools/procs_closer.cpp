// procs_closer.exe PASS NAME: closes the running programs named NAME and
// ends with the result. PASS "ask" and "terminate" are the two passes of
// the process closing; "action" runs a closing action step (both passes).
// "list" prints the process list and the platform. Run in its own process
// so that the system version it sees can be set for it alone.
#include <stdio.h>
#include <string.h>

#include "objects/InstObjAction.h"
#include "script/Installer.h"
#include "sysutil/Processes.h"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 100;
    const char* pszPass = argv[1];
    const char* pszName = argv[2];
    if (strcmp(pszPass, "ask") == 0)
        return CloseProcessesByName(pszName, FALSE);
    if (strcmp(pszPass, "terminate") == 0)
        return CloseProcessesByName(pszName, TRUE);
    if (strcmp(pszPass, "action") == 0)
    {
        CInstaller installer;
        CInstObjAction action;
        action.m_nMode = MODE_CLOSE_PROCESSES;
        action.m_strFile = pszName;
        return action.Execute(&installer);
    }
    if (strcmp(pszPass, "list") == 0)
    {
        static TaskEntry tasks[kTaskListSize];
        OSVERSIONINFOA info = {sizeof(info)};
        GetVersionExA(&info);
        DWORD n = info.dwPlatformId == VER_PLATFORM_WIN32_NT ? ListTasksPerfData(tasks, kTaskListSize)
                                                             : ListTasksToolhelp(tasks, kTaskListSize);
        AssignTaskWindows(tasks, n);
        printf("platform %lu, %lu processes\n", info.dwPlatformId, n);
        for (DWORD i = 0; i < n; i++)
            printf("%lu %s %p %s\n", tasks[i].dwProcessId, tasks[i].szProcessName, (void*)tasks[i].hWindow,
                   tasks[i].szWindowTitle);
        return 0;
    }
    return 100;
}
