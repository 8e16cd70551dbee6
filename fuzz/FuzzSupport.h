// What the fuzz targets and the seed maker share: the input modes and how a
// plain script stream is wrapped into a package.
#ifndef FUZZ_FUZZSUPPORT_H
#define FUZZ_FUZZSUPPORT_H

#include <vector>

#include "framework/WinTypes.h"

// The first input byte selects what the rest is.
enum FuzzMode
{
    FUZZ_PACKAGE_STREAM = 0,  // a package stream, header and all
    FUZZ_PLAIN_SCRIPT = 1,    // a plain archive stream holding a script
    FUZZ_WRAPPED_SCRIPT = 2,  // a plain stream, wrapped here into a valid package
    FUZZ_INSTALLER = 3,       // a whole installer file: image, marker, package
    FUZZ_MODES = 4
};

class CInstaller;

// The plain archive stream of a script; false when storing failed.
bool StoreScript(CInstaller& script, std::vector<BYTE>& out);
// The same for a script that was loaded: it must store, or the target
// aborts.
std::vector<BYTE> StoreLoadedScript(CInstaller& script);

// Once per fuzz target: the classes a package may name, and no message box.
void InitPackageReading();

// A version-3 package stream whose body is the given plain stream.
std::vector<BYTE> WrapPackage(const BYTE* pPlain, size_t nPlain);

#endif
