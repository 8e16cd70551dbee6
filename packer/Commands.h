// The three commands of saverpack: build, dump, verify. Each prints its
// results to out and its errors to err, and returns the exit code.
#ifndef PACKER_COMMANDS_H
#define PACKER_COMMANDS_H

#include <ostream>
#include <string>

namespace Packer
{
const int kExitOk = 0;
const int kExitFailed = 1;

struct BuildOptions
{
    std::string script;
    std::string output;
    std::string stub;        // empty: defaultStub
    std::string defaultStub; // the 32-bit stub of the build
    bool packageOnly = false;
};
int RunBuild(const BuildOptions& options, std::ostream& out, std::ostream& err);

struct DumpOptions
{
    std::string input;
    std::string extractDir; // empty: content goes into the JSON
    std::string output;     // empty: the JSON goes to out
};
int RunDump(const DumpOptions& options, std::ostream& out, std::ostream& err);

int RunVerify(const std::string& input, std::ostream& out, std::ostream& err);
} // namespace Packer

#endif
