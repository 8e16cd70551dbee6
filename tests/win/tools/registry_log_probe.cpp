// registry_log_probe.exe open|write KEYPATH: makes one registry call of the
// installer fail (the change fault hook of the test build refuses it with
// ERROR_ACCESS_DENIED), so that a test can read what the debug log says.
#include <string.h>

#include <windows.h>

#include "framework/Exceptions.h"
#include "framework/FaultHooks.h"
#include "registry/InstRegistry.h"

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    CExceptionScope scope;
    InstRegistry reg;
    if (strcmp(argv[1], "open") == 0)
    {
        FaultFailChange(1, ERROR_ACCESS_DENIED);
        return reg.OpenKey(HKEY_CURRENT_USER, argv[2], nullptr) ? 1 : 0;
    }
    if (!reg.OpenKey(HKEY_CURRENT_USER, argv[2], nullptr))
        return 3;
    FaultFailChange(1, ERROR_ACCESS_DENIED);
    const BYTE data[] = {1, 2, 3};
    return reg.SetByteArray("value", REG_BINARY, data, 3) ? 1 : 0;
}
