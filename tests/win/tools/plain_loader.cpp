// Loads the DLL named on its command line the plain way, by name alone, and
// ends with 0 when it was loaded. Copied beside a planted DLL, it shows that
// the system takes a DLL from the program's own folder.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    return LoadLibraryA(argv[1]) != nullptr ? 0 : 1;
}
