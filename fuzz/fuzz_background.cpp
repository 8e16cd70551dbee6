// Runs a script while it is read from its package, and compares that run
// with the run of the same script read whole: both end alike, and a run
// that succeeds leaves the same script behind. Natively every step that
// would change the system refuses, so the runs are safe to make.
//
// The input is a plain script stream behind one byte, as in the package
// target's plain modes, so that both targets share their seeds.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "script/Installer.h"
#include "script/PackageFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InitPackageReading();
    if (size < 1)
        return 0;

    // A sound package (header, checksum) around whatever the stream holds,
    // in a program file of this process's own, removed when it ends.
    static const struct ProgramFile
    {
        // In memory where the system offers it: a file on disk is written
        // back by the kernel on every execution.
        std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                           "/saver-fuzz-" + std::to_string((long)getpid()) + ".exe";
        ~ProgramFile() { unlink(path.c_str()); }
    } file;
    const std::string& path = file.path;
    std::vector<BYTE> program = {'M', 'Z'};
    CByteArray marker;
    PackageFormat::BuildMarker(marker);
    program.insert(program.end(), marker.GetData(), marker.GetData() + marker.GetSize());
    std::vector<BYTE> package = WrapPackage(data + 1, size - 1);
    program.insert(program.end(), package.begin(), package.end());
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr || fwrite(program.data(), 1, program.size(), f) != program.size() || fclose(f) != 0)
        abort();

    CInstaller whole;
    bool bWhole = whole.LoadPackage(path.c_str()) == ERR_OK;
    int nWhole = bWhole ? whole.Run() : ERR_FAILED;
    CInstaller background;
    if (background.BeginLoadPackage(path.c_str()) != ERR_OK)
        abort();  // the package itself is sound: only its script may not be
    int nBackground = background.Run();
    // A failed run stops the reader, so only a run that succeeded leaves
    // the whole script behind.
    bool bAlike = bWhole ? nBackground == nWhole &&
                               (nWhole != ERR_OK || StoreLoadedScript(background) == StoreLoadedScript(whole))
                         : nBackground != ERR_OK;
    if (!bAlike)
        abort();
    return 0;
}
