// files_log_probe.exe on|off MESSAGE: logs MESSAGE once with the log-file
// switch as given, so that a test can watch the debugger output.
#include <string.h>

#include "sysutil/Log.h"

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    LogToFile = strcmp(argv[1], "on") == 0 ? 1 : 0;
    WriteLog(argv[2]);
    return 0;
}
