// Silent installation of a package carrying 1,000 files (64 MiB in all),
// run under Wine: the installer's wall time as a ratio to a plain Win32
// program that writes the same bytes to the same paths, both started as
// processes in the same prefix by this program; the rollback of the same
// installation (a failing last step); the installer's peak memory as a
// multiple of the package's plain size; what the temporary copy for the
// version check would cost if the installer made it for new files too; and,
// timed the same way in the same runs, any other installers of the same
// files ("peers") given on the command line.
//
//   cmake --preset win64 && cmake --build --preset win64
//   build/win64/wine-run build/win64/bin/install_bench.exe [files] [MiB] [runs]
//       [--peer NAME INSTALLER ARGUMENTS]...
//
// The stub is setup.exe beside this program. "install_bench.exe --plain DIR
// FILES MIB" is the plain writer; it also makes the files a peer installer
// is built from. A peer is started as "INSTALLER" ARGUMENTS, with {target}
// in ARGUMENTS replaced by the target folder; it must install every file
// there under the plain writer's names and exit with 0.
#include <windows.h>

#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "objects/InstObjDefine.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"
#include "sysutil/FileSystem.h"

namespace
{
const int kDirs = 10;

// The content of every file: slices of one 1 MiB pool that compresses like
// a real saver's files (text-like runs and noise), so that making it costs
// the plain writer next to nothing. Each file's slice is XORed with a byte
// of its own, in the same pass as the copy: without it the files would
// repeat each other, which a compressor with a window larger than zlib's
// (solid LZMA) turns into a package a hundred times smaller than real files
// give. One byte keeps each file's byte statistics those of the pool, so the
// package stays as large as without it; files with the same byte lie
// further apart than LZMA's window.
struct Content
{
    std::vector<BYTE> pool;
    std::vector<size_t> sizes;

    Content(int nFiles, size_t nTotal) : pool(1 << 20)
    {
        unsigned x = 12345;
        for (size_t i = 0; i < pool.size(); i++)
        {
            x = x * 1103515245u + 12345u;
            BYTE noise = (BYTE)(x >> 24);
            pool[i] = (i / 4096) % 3 == 0 ? noise : (BYTE)("screen saver glimmer "[i % 21] ^ (noise & 1));
        }
        // Sizes from a quarter to twice the mean, summing to the total.
        static const int kShares[] = {1, 2, 4, 6, 7};  // quarters of the mean
        size_t nMean = nTotal / nFiles, nSum = 0;
        for (int i = 0; i < nFiles; i++)
        {
            size_t n = nMean * kShares[i % 5] / 4;
            sizes.push_back(n);
            nSum += n;
        }
        sizes.back() += nTotal - nSum;  // the shares average exactly 1 except for rounding
    }
    // File i: its own index in front, then the pool from an offset of its
    // own, XORed with the file's byte.
    void Fill(int i, BYTE* p) const
    {
        unsigned long long key = 0x0101010101010101ull * (BYTE)(i * 167);
        size_t n = sizes[i];
        size_t offset = ((size_t)i * 7919u) % pool.size();
        for (size_t done = 0; done < n;)
        {
            size_t chunk = std::min(n - done, pool.size() - offset);
            const BYTE* from = &pool[offset];
            BYTE* to = p + done;
            size_t k = 0;
            for (; k + 8 <= chunk; k += 8)
            {
                unsigned long long word;
                memcpy(&word, from + k, 8);
                word ^= key;
                memcpy(to + k, &word, 8);
            }
            for (; k < chunk; k++)
                to[k] = from[k] ^ (BYTE)key;
            done += chunk;
            offset = 0;
        }
        if (n >= 4)
            memcpy(p, &i, 4);
    }
};

std::string DirName(const std::string& root, int d)
{
    char buf[16];
    snprintf(buf, sizeof buf, "\\d%02d", d);
    return root + buf;
}

std::string FileName(const std::string& root, int i)
{
    char buf[32];
    snprintf(buf, sizeof buf, "\\f%04d.bin", i);
    return DirName(root, i % kDirs) + buf;
}

double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)f.QuadPart;
}

// --- the plain writer ----------------------------------------------------------

int PlainWriter(const std::string& root, int nFiles, size_t nTotal)
{
    Content content(nFiles, nTotal);
    std::vector<BYTE> buffer;
    for (int d = 0; d < kDirs; d++)
        CreateDirectoryA(DirName(root, d).c_str(), nullptr);
    for (int i = 0; i < nFiles; i++)
    {
        buffer.resize(content.sizes[i]);
        content.Fill(i, buffer.data());
        HANDLE h = CreateFileA(FileName(root, i).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (h == INVALID_HANDLE_VALUE || !WriteFile(h, buffer.data(), (DWORD)buffer.size(), &written, nullptr) ||
            written != buffer.size())
            return 1;
        CloseHandle(h);
    }
    return 0;
}

// --- the installers --------------------------------------------------------------

bool ReadWhole(const std::string& path, std::vector<BYTE>& bytes)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    fseek(f, 0, SEEK_END);
    bytes.resize((size_t)ftell(f));
    fseek(f, 0, SEEK_SET);
    bool ok = fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    fclose(f);
    return ok;
}

// Writes stub + marker + package; the script's plain size goes to *pdwPlain.
bool MakeInstaller(const std::string& stub, const std::string& out, const std::string& root, const Content& content,
                   bool bFailAtTheEnd, DWORD* pdwPlain)
{
    CInstaller script;
    CInstObjDefine* define = new CInstObjDefine;
    define->SetVariable("BenchDir", root.c_str());
    script.m_DefineList.AddTail(define);
    CInstObjDir* dirs = new CInstObjDir;
    dirs->m_nMode = MODE_CREATE;
    for (int d = 0; d < kDirs; d++)
        dirs->m_Targets.Add(DirName("<BenchDir>", d).c_str());
    script.m_PrepareList.AddTail(dirs);
    for (int i = 0; i < (int)content.sizes.size(); i++)
    {
        CInstObjFile* file = new CInstObjFile;
        file->m_nMode = MODE_CREATE;
        file->m_Targets.Add(FileName("<BenchDir>", i).c_str());
        file->m_Content.SetSize((int)content.sizes[i]);
        content.Fill(i, file->m_Content.GetData());
        script.m_FileList.AddTail(file);
    }
    if (bFailAtTheEnd)
    {
        CInstObjDir* failing = new CInstObjDir;  // deletes a file that is not there
        failing->m_nMode = MODE_DELETE;
        failing->m_Targets.Add("<BenchDir>\\no such file");
        script.m_FinishList2.AddTail(failing);
    }

    std::vector<BYTE> image;
    if (!ReadWhole(stub, image))
        return false;
    // The plain stream goes to memory that grows in large steps, and is
    // packed here the way the packer packs it: packing 64 MiB through the
    // storing archive would take minutes under Wine, and only the
    // installation is measured.
    CExceptionScope scope;
    CMemFile stream(16 << 20);
    {
        CArchive ar(&stream, CArchive::store, 64 * 1024, nullptr);
        script.Serialize(ar);
        ar.Close();
    }
    DWORD dwPlain = stream.GetLength();
    BYTE* pStream = stream.Detach();
    uLongf nBody = compressBound(dwPlain);
    std::vector<BYTE> package(PackageFormat::kHeaderSize + nBody);
    bool bPacked =
        pStream != nullptr && compress(&package[PackageFormat::kHeaderSize], &nBody, pStream, dwPlain) == Z_OK;
    free(pStream);
    if (!bPacked || scope.Failed())
        return false;
    package.resize(PackageFormat::kHeaderSize + nBody);
    BYTE* pBody = &package[PackageFormat::kHeaderSize];
    PackageFormat::Header header = {{'a', 'k', 'z'}, PackageFormat::kVersionScrambled, dwPlain,
                                    PackageFormat::Checksum(pBody, (UINT)nBody)};
    PackageFormat::Scramble(pBody, (UINT)nBody, PackageFormat::kPassword);
    PackageFormat::EncodeHeader(header, &package[0]);
    *pdwPlain = dwPlain;

    CByteArray marker;
    PackageFormat::BuildMarker(marker);
    FILE* f = fopen(out.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = fwrite(image.data(), 1, image.size(), f) == image.size() &&
              fwrite(marker.GetData(), 1, marker.GetSize(), f) == (size_t)marker.GetSize() &&
              fwrite(package.data(), 1, package.size(), f) == package.size();
    return fclose(f) == 0 && ok;
}

struct RunResult
{
    DWORD code = 0xFFFFFFFF;
    double seconds = 0;
    SIZE_T peakWorkingSet = 0;
    SIZE_T peakPrivate = 0;
};

// The child's memory is read while it runs: once it has ended, Wine no
// longer reports it.
typedef BOOL(WINAPI* MemoryInfo)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);

MemoryInfo MemoryInfoFunction()
{
    // From kernel32 where it has it, else from psapi.dll: no import library
    // needed either way.
    MemoryInfo pfn = (MemoryInfo)GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo");
    if (pfn == nullptr)
        pfn = (MemoryInfo)GetProcAddress(LoadLibraryA("psapi.dll"), "GetProcessMemoryInfo");
    return pfn;
}

RunResult RunProcess(std::string commandLine)
{
    static MemoryInfo pfnMemory = MemoryInfoFunction();
    RunResult r;
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    // Wine now and then refuses to start a program while the last one is
    // still going away: a few tries, each timed from its own start.
    double t0 = 0;
    bool bStarted = false;
    for (int attempt = 0; attempt < 5 && !bStarted; attempt++)
    {
        if (attempt > 0)
            Sleep(200);
        std::string line = commandLine;
        t0 = Now();
        bStarted = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != FALSE;
        if (!bStarted)
            fprintf(stderr, "cannot start %s: error %lu\n", commandLine.c_str(), (unsigned long)GetLastError());
    }
    if (!bStarted)
        return r;
    for (;;)
    {
        DWORD w = WaitForSingleObject(pi.hProcess, 5);
        PROCESS_MEMORY_COUNTERS pmc = {sizeof(pmc)};
        if (pfnMemory != nullptr && pfnMemory(pi.hProcess, &pmc, sizeof(pmc)))
        {
            r.peakWorkingSet = std::max(r.peakWorkingSet, std::max(pmc.PeakWorkingSetSize, pmc.WorkingSetSize));
            r.peakPrivate = std::max(r.peakPrivate, std::max(pmc.PeakPagefileUsage, pmc.PagefileUsage));
        }
        if (w != WAIT_TIMEOUT)
            break;
    }
    r.seconds = Now() - t0;
    GetExitCodeProcess(pi.hProcess, &r.code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return r;
}

// Loads and runs the installer's script the way a silent installation
// does (the script runs while the package is read), in this process, and
// writes the seconds it took to timeFile. Run in a fresh process, it shows
// what a new process pays for the memory the script's content needs.
int Overlapped(const std::string& installer, const std::string& timeFile)
{
    CInstaller::RegisterClasses();
    double t0 = Now();
    CInstaller* pInstaller = new CInstaller;
    int r = pInstaller->BeginLoadPackage(installer.c_str());
    if (r == ERR_OK)
        r = pInstaller->Run();
    delete pInstaller;
    double seconds = Now() - t0;
    FILE* f = fopen(timeFile.c_str(), "w");
    if (f == nullptr)
        return 1;
    fprintf(f, "%.6f\n", seconds);
    return fclose(f) == 0 ? r : 1;
}

double ReadSeconds(const std::string& timeFile)
{
    double seconds = -1;
    FILE* f = fopen(timeFile.c_str(), "r");
    if (f != nullptr)
    {
        if (fscanf(f, "%lf", &seconds) != 1)
            seconds = -1;
        fclose(f);
    }
    return seconds;
}

void RemoveTree(const std::string& dir)
{
    DeleteTree(dir.c_str(), "", FALSE, TRUE);
}

// Every file is there with the expected bytes, and nothing else.
bool Installed(const std::string& root, const Content& content)
{
    std::vector<BYTE> expected, actual;
    for (int i = 0; i < (int)content.sizes.size(); i++)
    {
        expected.resize(content.sizes[i]);
        content.Fill(i, expected.data());
        if (!ReadWhole(FileName(root, i), actual) || actual != expected)
            return false;
    }
    return true;
}

bool Empty(const std::string& root)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((root + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    int n = 0;
    do
        n++;
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return n == 2;  // "." and ".."
}

// What the temporary copy of every new file would cost: each file's bytes
// written to a fresh "gpi" file and deleted again.
double TemporaryCopies(const Content& content)
{
    std::vector<BYTE> bytes;
    double t0 = Now();
    for (int i = 0; i < (int)content.sizes.size(); i++)
    {
        CString name;
        CInstObj::MakeTempFileName(name);
        CByteArray data;
        data.SetSize((int)content.sizes[i]);
        content.Fill(i, data.GetData());
        if (CInstObjFile::WriteFileBytes(name, data) != 0)
            return -1;
        DeleteFileA(name);
    }
    return Now() - t0;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Lowest(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

double Highest(const std::vector<double>& v)
{
    return *std::max_element(v.begin(), v.end());
}

std::string Quote(const std::string& s)
{
    return "\"" + s + "\"";
}

DWORD FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA fa;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &fa) ? fa.nFileSizeLow : 0;
}

// One program of the timed runs and what it must leave behind.
struct Timed
{
    std::string name;
    std::string command;
    DWORD expectedCode;
    bool bRollsBack;  // leaves the target folder empty instead of installed
    std::vector<double> seconds;
    SIZE_T peakWorkingSet = 0;
    SIZE_T peakPrivate = 0;
};

// "median s (lowest..highest)"
void PrintTimes(const char* label, const std::vector<double>& v)
{
    printf("  %-22s %7.3f s (%.3f..%.3f)", label, Median(v), Lowest(v), Highest(v));
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && strcmp(argv[1], "--plain") == 0)
        return PlainWriter(argv[2], atoi(argv[3]), (size_t)atoi(argv[4]) << 20);
    if (argc == 4 && strcmp(argv[1], "--overlapped") == 0)
        return Overlapped(argv[2], argv[3]);

    std::vector<int> numbers;
    std::vector<Timed> peers;
    bool bUsage = false;
    for (int a = 1; a < argc && !bUsage; a++)
    {
        if (strcmp(argv[a], "--peer") == 0 && a + 3 < argc)
        {
            Timed peer = {argv[a + 1], Quote(argv[a + 2]) + " " + argv[a + 3], 0, false};
            peers.push_back(peer);
            a += 3;
        }
        else if (argv[a][0] != '-' && numbers.size() < 3)
            numbers.push_back(atoi(argv[a]));
        else
            bUsage = true;
    }
    int nFiles = numbers.size() > 0 ? numbers[0] : 1000;
    int nMiB = numbers.size() > 1 ? numbers[1] : 64;
    int nRuns = numbers.size() > 2 ? numbers[2] : 3;
    if (bUsage || nFiles < kDirs || nMiB < 1 || nRuns < 1)
    {
        fprintf(stderr, "usage: install_bench [files >= %d] [MiB] [runs] [--peer NAME INSTALLER ARGUMENTS]...\n",
                kDirs);
        return 2;
    }
    CInstaller::RegisterClasses();

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string bin(self);
    bin = bin.substr(0, bin.rfind('\\'));
    std::string stub = bin + "\\setup.exe";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string work = std::string(temp) + "install_bench";
    std::string root = work + "\\target";
    RemoveTree(work);
    CreateDirectoryA(work.c_str(), nullptr);

    Content content(nFiles, (size_t)nMiB << 20);
    std::string installer = work + "\\bench-setup.exe";
    std::string failing = work + "\\bench-setup-failing.exe";
    DWORD dwPlain = 0;
    double t0 = Now();
    if (!MakeInstaller(stub, installer, root, content, false, &dwPlain) ||
        !MakeInstaller(stub, failing, root, content, true, &dwPlain))
    {
        fprintf(stderr, "cannot make the installers from %s\n", stub.c_str());
        return 1;
    }
    printf("package: %d files, %d MiB of content; installer %lu bytes, plain script stream %lu bytes (made in %.2f s)\n",
           nFiles, nMiB, (unsigned long)FileSize(installer), (unsigned long)dwPlain, Now() - t0);
    for (Timed& peer : peers)
    {
        std::string exe = peer.command.substr(1, peer.command.find('"', 1) - 1);
        DWORD dwSize = FileSize(exe);
        if (dwSize == 0)
        {
            fprintf(stderr, "no peer installer %s\n", exe.c_str());
            return 1;
        }
        printf("peer %s: installer %lu bytes\n", peer.name.c_str(), (unsigned long)dwSize);
        for (size_t at; (at = peer.command.find("{target}")) != std::string::npos;)
            peer.command.replace(at, 8, root);
    }

    // Where the installation's time goes: starting the stub (without a
    // package it stops at once); and, in this process, loading the package,
    // running the script, and the plain writer's work.
    std::vector<double> start, startPlain, load, running, plainWork, overlapped, overlappedFresh;
    const std::string timeFile = work + "\\overlapped.txt";
    for (int run = 0; run < nRuns; run++)
    {
        start.push_back(RunProcess(Quote(stub) + " -s").seconds);
        RemoveTree(root);
        CreateDirectoryA(root.c_str(), nullptr);
        startPlain.push_back(RunProcess(Quote(self) + " --plain " + Quote(root) + " 1 0").seconds);
        RemoveTree(root);
        CreateDirectoryA(root.c_str(), nullptr);
        double tl = Now();
        CInstaller* pLoaded = new CInstaller;
        int r = pLoaded->LoadPackage(installer.c_str());
        load.push_back(Now() - tl);
        tl = Now();
        if (r == ERR_OK)
            r = pLoaded->Run();
        delete pLoaded;
        running.push_back(Now() - tl);
        if (r != ERR_OK || !Installed(root, content))
        {
            fprintf(stderr, "cannot install %s in-process: %d\n", installer.c_str(), r);
            return 1;
        }
        RemoveTree(root);
        CreateDirectoryA(root.c_str(), nullptr);
        tl = Now();
        PlainWriter(root, nFiles, (size_t)nMiB << 20);
        plainWork.push_back(Now() - tl);
        // Loading and running overlapped, as the installer does: here, and
        // in a fresh process.
        for (bool bFresh : {false, true})
        {
            RemoveTree(root);
            CreateDirectoryA(root.c_str(), nullptr);
            DeleteFileA(timeFile.c_str());
            int ro = bFresh ? (int)RunProcess(Quote(self) + " --overlapped " + Quote(installer) + " " + Quote(timeFile)).code
                            : Overlapped(installer, timeFile);
            double seconds = ReadSeconds(timeFile);
            if (ro != ERR_OK || seconds < 0 || !Installed(root, content))
            {
                fprintf(stderr, "cannot install %s overlapped%s: %d\n", installer.c_str(),
                        bFresh ? " in a fresh process" : "", ro);
                return 1;
            }
            (bFresh ? overlappedFresh : overlapped).push_back(seconds);
        }
    }

    // The timed runs: every program once per run, each into a fresh, empty
    // target folder. The order turns by one program from run to run, so that
    // none always follows the same other (the writes a program leaves to
    // the system slow down the next one).
    std::vector<Timed> timed = {
        {"plain writer",
         Quote(self) + " --plain " + Quote(root) + " " + std::to_string(nFiles) + " " + std::to_string(nMiB), 0,
         false},
        {"install", Quote(installer) + " -s", 0, false},
        {"install + rollback", Quote(failing) + " -s", ERR_UNDO_RECORD, true}};
    timed.insert(timed.end(), peers.begin(), peers.end());
    const size_t kPlain = 0, kInstall = 1, kRollback = 2, kPeers = 3;
    std::vector<double> ratios;
    std::vector<std::vector<double>> peerRatios(peers.size());
    for (int run = 0; run < nRuns; run++)
    {
        printf("run %d:", run + 1);
        for (size_t k = 0; k < timed.size(); k++)
        {
            Timed& t = timed[(k + (size_t)run) % timed.size()];
            RemoveTree(root);
            CreateDirectoryA(root.c_str(), nullptr);
            RunResult r = RunProcess(t.command);
            if (r.code != t.expectedCode || !(t.bRollsBack ? Empty(root) : Installed(root, content)))
            {
                fprintf(stderr, "\n%s: exit code %lu, %s\n", t.name.c_str(), (unsigned long)r.code,
                        t.bRollsBack ? "the target folder is not empty" : "the files are not all installed");
                return 1;
            }
            t.seconds.push_back(r.seconds);
            t.peakWorkingSet = std::max(t.peakWorkingSet, r.peakWorkingSet);
            t.peakPrivate = std::max(t.peakPrivate, r.peakPrivate);
            printf(" %s %.3f s%s", t.name.c_str(), r.seconds, k + 1 < timed.size() ? "," : "\n");
            fflush(stdout);
        }
        double tInstall = timed[kInstall].seconds.back();
        ratios.push_back(tInstall / timed[kPlain].seconds.back());
        for (size_t p = 0; p < peers.size(); p++)
            peerRatios[p].push_back(tInstall / timed[kPeers + p].seconds.back());
    }
    double tPlain = Median(timed[kPlain].seconds), tInstall = Median(timed[kInstall].seconds);
    double tTemp = TemporaryCopies(content);
    RemoveTree(work);

    double mib = 1024.0 * 1024.0;
    printf("\nmedians of %d runs (lowest..highest)\n", nRuns);
    PrintTimes("plain writer", timed[kPlain].seconds);
    printf("\n");
    PrintTimes("silent installation", timed[kInstall].seconds);
    printf("   %.2fx the plain writer (target at most 1.15x)\n", tInstall / tPlain);
    // The machine's speed drifts between runs; each installation against
    // the plain writer of the same run is steadier than the medians.
    printf("    run by run            median %.2fx, from %.2fx to %.2fx\n", Median(ratios), Lowest(ratios),
           Highest(ratios));
    printf("    in parts              %7.3f s starting a stub (the plain writer: %.3f s); in-process: %.3f s loading\n"
           "                                  the package, %.3f s running the script and deleting it (the plain\n"
           "                                  writer's work: %.3f s); both overlapped as the installer runs them:\n"
           "                                  %.3f s in this process, %.3f s in a fresh process\n",
           Median(start), Median(startPlain), Median(load), Median(running), Median(plainWork), Median(overlapped),
           Median(overlappedFresh));
    PrintTimes("install + rollback", timed[kRollback].seconds);
    // The rollback alone: each run's failing installation less the
    // installation of the same run.
    std::vector<double> rollbackAlone;
    for (int run = 0; run < nRuns; run++)
        rollbackAlone.push_back(timed[kRollback].seconds[run] - timed[kInstall].seconds[run]);
    double tRollback = Median(rollbackAlone);
    printf("   rollback alone %.3f s (%.3f..%.3f) = %.2fx the installation (target at most 1.5x)\n", tRollback,
           Lowest(rollbackAlone), Highest(rollbackAlone), tRollback / tInstall);
    SIZE_T peakWorkingSet = timed[kInstall].peakWorkingSet, peakPrivate = timed[kInstall].peakPrivate;
    printf("  peak memory             working set %.1f MiB = %.2fx, private %.1f MiB = %.2fx the plain size\n",
           peakWorkingSet / mib, peakWorkingSet / (double)dwPlain, peakPrivate / mib, peakPrivate / (double)dwPlain);
    printf("  temporary copies        %7.3f s   what copying every new file to a gpi*.tmp first would add "
           "(%.0f%% of the installation)\n",
           tTemp, 100.0 * tTemp / tInstall);
    for (size_t p = 0; p < peers.size(); p++)
    {
        const Timed& peer = timed[kPeers + p];
        PrintTimes(("peer " + peer.name).c_str(), peer.seconds);
        printf("   the installation takes %.2fx its time (run by run: median %.2fx, from %.2fx to %.2fx);"
               " peak working set %.1f MiB, private %.1f MiB\n",
               tInstall / Median(peer.seconds), Median(peerRatios[p]), Lowest(peerRatios[p]),
               Highest(peerRatios[p]), peer.peakWorkingSet / mib, peer.peakPrivate / mib);
    }
    return 0;
}
