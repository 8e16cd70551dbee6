// exit_with.exe N: ends with exit code N (decimal or 0x hex), so tests can
// check that full 32-bit exit codes survive CreateProcess/GetExitCodeProcess.
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 0;
    return static_cast<int>(std::strtoul(argv[1], nullptr, 0));
}
