// realfaults_holder.exe PATH SHARE EVENT: opens PATH for reading with the
// share mode SHARE (a number: 0 lets no one else in, 1 lets others read),
// sets the named event EVENT once it holds the file, and keeps it open for
// a minute unless it is ended first. Ends with 3 when PATH cannot be opened.
#include <windows.h>

#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    DWORD share = (DWORD)strtoul(argv[2], nullptr, 10);
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (ready == nullptr)
        return 4;
    SetEvent(ready);
    CloseHandle(ready);
    Sleep(60000);
    CloseHandle(file);
    return 0;
}
