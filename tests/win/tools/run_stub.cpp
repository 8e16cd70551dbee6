// run_stub.exe [--answer yes|no|ok|cancel|close|ID]... [--timeout MS] PROGRAM [ARGS...]
//
// Starts an installer (or setup.exe itself), presses the given buttons in the
// boxes it shows, one answer per box in order (a box beyond the answers gets
// Cancel, No or OK; the answer 0 or "close" uses the close box), prints every
// box, the progress windows it saw, and the full exit code, and ends with
// that code. The Linux shell sees only the low 8 bits of a Wine program's
// exit code; this prints all 32.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "win/stub_driver.h"

namespace
{
int ButtonId(const char* name)
{
    struct
    {
        const char* name;
        int id;
    } const names[] = {{"yes", IDYES}, {"no", IDNO}, {"ok", IDOK}, {"cancel", IDCANCEL}, {"close", 0}};
    for (const auto& n : names)
        if (lstrcmpiA(name, n.name) == 0)
            return n.id;
    return atoi(name);
}

// One command-line argument, quoted when it needs it.
std::string Quoted(const char* arg)
{
    if (*arg != '\0' && strpbrk(arg, " \t\"") == nullptr)
        return arg;
    std::string s = "\"";
    for (const char* p = arg; *p != '\0'; p++)
        s += *p == '"' ? std::string("\\\"") : std::string(1, *p);
    return s + "\"";
}

int Usage()
{
    fprintf(stderr, "usage: run_stub.exe [--answer yes|no|ok|cancel|close|ID]... [--timeout MS] PROGRAM [ARGS...]\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> answers;
    DWORD timeoutMs = 60000;
    int i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++)
    {
        if (i + 1 >= argc)
            return Usage();
        if (strcmp(argv[i], "--answer") == 0)
            answers.push_back(ButtonId(argv[++i]));
        else if (strcmp(argv[i], "--timeout") == 0)
            timeoutMs = (DWORD)strtoul(argv[++i], nullptr, 10);
        else
            return Usage();
    }
    if (i >= argc)
        return Usage();
    std::string program = argv[i++];
    std::string args;
    for (; i < argc; i++)
        args += (args.empty() ? "" : " ") + Quoted(argv[i]);

    stub::Run run = stub::RunProgram(program, args, answers, timeoutMs);
    if (!run.started)
    {
        fprintf(stderr, "run_stub: cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return 2;
    }
    for (const stub::Box& box : run.boxes)
        printf("box %s \"%s\": %s\n", box.className.c_str(), box.caption.c_str(), box.text.c_str());
    for (const stub::Box& box : run.progress)
        printf("progress \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
    if (run.timedOut)
        printf("timed out after %lu ms, ended by run_stub\n", timeoutMs);
    printf("exit code %lu\n", run.exitCode);
    return (int)run.exitCode;
}
