// "saverpack build" of a script carrying 64 MiB of files: its time as a
// ratio to a plain zlib compress of the same plain stream in the same run,
// and its peak heap.
//
//   cmake --preset release && cmake --build --preset release --target pack_bench
//   build/release/bin/pack_bench [MiB]
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "framework/Archive.h"
#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "packer/Commands.h"
#include "packer/ScriptReader.h"
#include "script/Installer.h"

#include "bench/support/HeapMeter.h"

namespace fs = std::filesystem;

namespace
{
double Seconds(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A screen saver's files compress unevenly: a third of each file is noise,
// the rest repeats text with a little noise in it.
void FillContent(std::vector<char>& data, unsigned seed)
{
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < data.size(); i++)
    {
        x = x * 1103515245u + 12345u;
        unsigned char noise = (unsigned char)(x >> 24);
        data[i] = (char)((i / 4096) % 3 == 0 ? noise
                                             : (unsigned char)("screen saver glimmer "[(i + seed) % 21] ^ (noise & 1)));
    }
}

// The plain archive stream of the script: what both measurements compress.
std::vector<BYTE> PlainStream(const fs::path& script)
{
    Packer::Problems problems;
    std::unique_ptr<CInstaller> installer = Packer::ReadScriptFile(script, problems);
    if (!installer)
        return {};
    CExceptionScope scope;
    CMemFile out(1 << 20);
    {
        CArchive ar(&out, CArchive::store);
        installer->Serialize(ar);
        ar.Close();
    }
    return std::vector<BYTE>(out.GetBuffer(), out.GetBuffer() + out.GetLength());
}
} // namespace

int main(int argc, char** argv)
{
    size_t nMiB = argc > 1 ? (size_t)atoi(argv[1]) : 64;
    fs::path dir = fs::temp_directory_path() / ("pack_bench-" + std::to_string((long)getpid()));
    fs::create_directories(dir);

    std::ostringstream script;
    script << "{\n  \"define\": [{\"type\": \"define\", \"name\": \"SaverName\", \"value\": \"Bench\"}],\n"
           << "  \"prepare\": [{\"type\": \"dir\", \"mode\": \"create\", \"targets\": [\"<WinDir>\\\\bench\"]}],\n"
           << "  \"file\": [\n";
    std::vector<char> data(1 << 20);
    for (size_t i = 0; i < nMiB; i++)
    {
        char name[32];
        snprintf(name, sizeof name, "file%03u.bin", (unsigned)i);
        FillContent(data, (unsigned)i);
        std::ofstream(dir / name, std::ios::binary).write(data.data(), (std::streamsize)data.size());
        script << "    {\"type\": \"file\", \"targets\": [\"<WinDir>\\\\bench\\\\" << name << "\"], \"contentFile\": \""
               << name << "\"}" << (i + 1 < nMiB ? ",\n" : "\n");
    }
    script << "  ]\n}\n";
    std::ofstream(dir / "bench.json") << script.str();

    std::vector<BYTE> plain = PlainStream(dir / "bench.json");
    if (plain.empty())
    {
        fprintf(stderr, "the bench script does not read\n");
        return 1;
    }
    printf("script: %zu files of 1 MiB, plain stream %zu bytes\n", nMiB, plain.size());

    Packer::BuildOptions options;
    options.script = (dir / "bench.json").string();
    options.output = (dir / "bench.pkg").string();
    options.packageOnly = true;

    const int kRounds = 3;
    double bestBuild = 1e9, bestCompress = 1e9;
    size_t nPeak = 0, nPackage = 0;
    for (int round = 0; round < kRounds; round++)
    {
        // The plain program: one compress of the plain stream into a fresh
        // buffer.
        auto t0 = std::chrono::steady_clock::now();
        uLongf n = compressBound((uLong)plain.size());
        BYTE* out = (BYTE*)malloc(n);
        if (out == nullptr || compress(out, &n, plain.data(), (uLong)plain.size()) != Z_OK)
        {
            fprintf(stderr, "compress failed\n");
            return 1;
        }
        bestCompress = std::min(bestCompress, Seconds(t0));
        free(out);

        // The whole build: read and check the script, read the carried
        // files, serialize, compress, scramble, write the output file.
        std::ostringstream sink;
        size_t nHeapBefore = HeapMeter::Current();
        HeapMeter::ResetPeak();
        t0 = std::chrono::steady_clock::now();
        int r = Packer::RunBuild(options, sink, sink);
        double t = Seconds(t0);
        if (r != Packer::kExitOk)
        {
            fprintf(stderr, "build failed: %s\n", sink.str().c_str());
            return 1;
        }
        nPeak = std::max(nPeak, HeapMeter::Peak() - nHeapBefore);
        nPackage = (size_t)fs::file_size(dir / "bench.pkg");
        bestBuild = std::min(bestBuild, t);
    }
    fs::remove_all(dir);

    printf("package: %zu bytes\n", nPackage);
    printf("zlib compress:   %.3f s\n", bestCompress);
    printf("saverpack build: %.3f s\n", bestBuild);
    printf("ratio: %.2fx (target at most 1.2x)\n", bestBuild / bestCompress);
    printf("peak heap of a build: %zu bytes = %.2f x the plain stream\n", nPeak, (double)nPeak / (double)plain.size());
    return 0;
}
