// Loading a package whose script carries 64 MiB of file content: the time
// from package stream (on disk) to loaded script, as a ratio to a plain zlib
// uncompress of the same body into a fresh buffer in the same run; and the
// peak heap of the load as a multiple of package size plus plain size.
//
//   cmake --preset release && cmake --build --preset release --target load_bench
//   build/release/bin/load_bench [MiB]
#ifndef _WIN32
#include <malloc.h>
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "objects/InstObjDefine.h"
#include "objects/InstObjFile.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"

#include "bench/support/HeapMeter.h"

namespace
{
double Seconds(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Content that compresses like a real saver's files: some text-like runs,
// some noise.
void FillContent(BYTE* p, size_t n, unsigned seed)
{
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; i++)
    {
        x = x * 1103515245u + 12345u;
        BYTE noise = (BYTE)(x >> 24);
        p[i] = (i / 4096) % 3 == 0 ? noise : (BYTE)("screen saver glimmer "[(i + seed) % 21] ^ (noise & 1));
    }
}

std::vector<BYTE> MakePackage(size_t nMiB, size_t* pPlain)
{
    CInstaller script;
    CInstObjDefine* define = new CInstObjDefine;
    define->SetVariable("SaverName", "Bench");
    script.m_DefineList.AddTail(define);
    for (size_t i = 0; i < nMiB; i++)
    {
        CInstObjFile* file = new CInstObjFile;
        file->m_nMode = MODE_CREATE;
        char name[64];
        snprintf(name, sizeof name, "<WinDir>\\bench\\file%03u.bin", (unsigned)i);
        file->m_Targets.Add(name);
        file->m_Content.SetSize(1 << 20);
        FillContent(file->m_Content.GetData(), 1 << 20, (unsigned)i);
        script.m_FileList.AddTail(file);
    }
    CExceptionScope scope;
    CMemFile out;
    {
        PackageArchive ar(&out, CArchive::store, 4096, nullptr, PackageFormat::kPassword, TRUE);
        script.Serialize(ar);
        ar.Close();
    }
    PackageFormat::Header h;
    PackageFormat::DecodeHeader(out.GetBuffer(), h);
    *pPlain = h.plainLength;
    return std::vector<BYTE>(out.GetBuffer(), out.GetBuffer() + out.GetLength());
}
}  // namespace

int main(int argc, char** argv)
{
    size_t nMiB = argc > 1 ? (size_t)atoi(argv[1]) : 64;
    // Large blocks always come fresh from the system, in both measurements:
    // glibc would otherwise start reusing freed, already touched memory for
    // the loader's 1 MiB arrays from the second round on.
#ifndef _WIN32
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
    CInstaller::RegisterClasses();
    size_t nPlain = 0;
    std::vector<BYTE> package = MakePackage(nMiB, &nPlain);
    printf("package: %lu bytes, plain stream %lu bytes, %lu MiB of content\n", (unsigned long)package.size(),
           (unsigned long)nPlain, (unsigned long)nMiB);

    // The installer reads its package from disk.
    const char* path = "load_bench.package";
    FILE* f = fopen(path, "wb");
    if (f == nullptr || fwrite(package.data(), 1, package.size(), f) != package.size() || fclose(f) != 0)
    {
        fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }

    const int kRounds = 5;
    double bestInflate = 1e9, bestLoad = 1e9;
    std::vector<BYTE> body(package.begin() + PackageFormat::kHeaderSize, package.end());
    PackageFormat::Scramble(body.data(), (UINT)body.size(), PackageFormat::kPassword);
    for (int round = 0; round < kRounds; round++)
    {
        // The plain program: a fresh output buffer and one uncompress.
        auto t0 = std::chrono::steady_clock::now();
        uLongf n = (uLongf)nPlain;
        BYTE* plain = (BYTE*)malloc(nPlain);
        if (plain == nullptr || uncompress(plain, &n, body.data(), (uLong)body.size()) != Z_OK || n != nPlain)
        {
            fprintf(stderr, "uncompress failed\n");
            return 1;
        }
        bestInflate = std::min(bestInflate, Seconds(t0));
        free(plain);

        CFile file;
        if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone))
            return 1;
        CInstaller* loaded = new CInstaller;
        size_t nHeapBefore = HeapMeter::Current();
        HeapMeter::ResetPeak();
        t0 = std::chrono::steady_clock::now();
        int r = loaded->LoadPackageStream(file);
        double t = Seconds(t0);
        size_t nPeak = HeapMeter::Peak() - nHeapBefore;
        if (r != ERR_OK || loaded->m_FileList.GetCount() != (int)nMiB)
        {
            fprintf(stderr, "load failed: %d\n", r);
            return 1;
        }
        delete loaded;
        bestLoad = std::min(bestLoad, t);
        if (round == 0 && nPeak > 0)
            printf("peak heap of a load: %lu bytes = %.2f x (package + plain)\n", (unsigned long)nPeak,
                   (double)nPeak / (double)(package.size() + nPlain));
    }
    remove(path);
    printf("zlib uncompress: %.3f s\n", bestInflate);
    printf("load to script:  %.3f s\n", bestLoad);
    printf("ratio: %.2f (target at most 1.3)\n", bestLoad / bestInflate);
    return 0;
}
