// procs_windowless.exe: a program without any window that waits a minute
// and ends with 5, unless it is terminated first.
#include <windows.h>

int main()
{
    Sleep(60000);
    return 5;
}
