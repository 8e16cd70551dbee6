// setup.exe's entry point, in place of the run-time library's start-up code
// (linked with -nostartfiles: it saves some 9 KB of the stub, which every
// user downloads). What the stub needs of that code is done here: the global
// constructors run, WinMain gets its arguments, and its result ends the
// process through ExitProcess.
//
// What it leaves out: no global destructors and no atexit functions run (the
// process ends at once, as the stub always has: its files and keys are
// closed by their owners before WinMain returns), streams of <stdio.h> are
// not flushed at the end (the stub closes every file it opens), and no
// handler turns faults into signals.
#include "framework/WinTypes.h"
#include "sysutil/SystemLibrary.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

// The global constructors, as the linker gathers them: a first entry of -1
// or their count, the constructors, then a null.
extern "C" void (*__CTOR_LIST__[])();

namespace
{
void RunConstructors()
{
    unsigned long nCount = (unsigned long)(ptrdiff_t)__CTOR_LIST__[0];
    if (nCount == (unsigned long)-1)
        for (nCount = 0; __CTOR_LIST__[nCount + 1] != nullptr; nCount++)
        {
        }
    // Last to first, as the run-time library does.
    for (unsigned long i = nCount; i >= 1; i--)
        __CTOR_LIST__[i]();
}

// The command line behind the program's name, the way the run-time library
// hands it to WinMain: the name ends at the first blank outside quotes.
char* SkipProgramName(char* p)
{
    bool bQuoted = false;
    for (; *p != '\0' && ((unsigned char)*p > ' ' || bQuoted); p++)
        if (*p == '"')
            bQuoted = !bQuoted;
    while (*p != '\0' && (unsigned char)*p <= ' ')
        p++;
    return p;
}
}  // namespace

// Destructors of global objects register themselves here; the process ends
// with ExitProcess and runs none of them.
extern "C" int atexit(void (*)())
{
    return 0;
}

extern "C" void StubEntry()
{
    // Before anything can load a DLL: none from the program's own folder or
    // the current one.
    SetSafeDllSearch();
    RunConstructors();
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int nCmdShow = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess((UINT)WinMain(GetModuleHandleA(nullptr), nullptr, SkipProgramName(GetCommandLineA()), nCmdShow));
}
