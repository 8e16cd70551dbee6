// Backing up and deleting a registry tree of 10,000 values in 1,000 keys,
// then rolling it back, under Wine: the installer's key object as a ratio to
// a plain Win32 writer that makes the same tree, in the same run.
//
//   cmake --preset win64 && cmake --build --preset win64
//   build/win64/wine-run build/win64/bin/registry_bench.exe [keys] [values per key] [runs]
//
// The tree lies below HKCU\Software\SaverSetupBench and is removed at the end.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "objects/InstObjRegistry.h"
#include "script/Installer.h"

namespace
{
const char kBase[] = "Software\\SaverSetupBench";

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
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

// Key i of the tree: ten groups, each a key with its share of the others
// below it, so the tree has depth and breadth.
std::string KeyPath(const std::string& root, int i, int nKeys)
{
    int nGroups = 10;
    int nPerGroup = (nKeys + nGroups - 1) / nGroups;
    int g = i / nPerGroup, k = i % nPerGroup;
    std::string path = root + "\\g" + std::to_string(g);
    if (k > 0)
        path += "\\k" + std::to_string(k);
    return path;
}

// The plain writer: every key created, every value set, nothing else.
bool WriteTree(const std::string& root, int nKeys, int nValues)
{
    static const BYTE kBinary[48] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (int i = 0; i < nKeys; i++)
    {
        HKEY hKey;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(root, i, nKeys).c_str(), 0, nullptr, 0,
                            KEY_READ | KEY_WRITE, nullptr, &hKey, nullptr) != ERROR_SUCCESS)
            return false;
        for (int v = 0; v < nValues; v++)
        {
            char name[32];
            sprintf(name, "value%d", v);
            LONG r;
            if (v % 3 == 0)
            {
                char text[64];
                int n = sprintf(text, "text of value %d in key %d", v, i);
                r = RegSetValueExA(hKey, name, 0, REG_SZ, (const BYTE*)text, (DWORD)n + 1);
            }
            else if (v % 3 == 1)
            {
                DWORD dw = (DWORD)(i * 100 + v);
                r = RegSetValueExA(hKey, name, 0, REG_DWORD, (const BYTE*)&dw, sizeof(dw));
            }
            else
                r = RegSetValueExA(hKey, name, 0, REG_BINARY, kBinary, sizeof(kBinary));
            if (r != ERROR_SUCCESS)
            {
                RegCloseKey(hKey);
                return false;
            }
        }
        RegCloseKey(hKey);
    }
    return true;
}

LONG DeleteTree(HKEY hParent, const char* pszName)
{
    HKEY hKey;
    LONG r = RegOpenKeyExA(hParent, pszName, 0, KEY_READ | DELETE, &hKey);
    if (r != ERROR_SUCCESS)
        return r;
    char sub[256];
    DWORD n = sizeof(sub);
    while (RegEnumKeyExA(hKey, 0, sub, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           DeleteTree(hKey, sub) == ERROR_SUCCESS)
        n = sizeof(sub);
    RegCloseKey(hKey);
    return RegDeleteKeyA(hParent, pszName);
}

// Keys and values under the root, to check that the rollback made it whole.
void Count(HKEY hKey, int& nKeys, int& nValues)
{
    DWORD nSub = 0, nVal = 0;
    RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, &nSub, nullptr, nullptr, &nVal, nullptr, nullptr, nullptr,
                     nullptr);
    nKeys++;
    nValues += (int)nVal;
    for (DWORD i = 0; i < nSub; i++)
    {
        char sub[256];
        DWORD n = sizeof(sub);
        HKEY hSub;
        if (RegEnumKeyExA(hKey, i, sub, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            RegOpenKeyExA(hKey, sub, 0, KEY_READ, &hSub) == ERROR_SUCCESS)
        {
            Count(hSub, nKeys, nValues);
            RegCloseKey(hSub);
        }
    }
}

bool CountTree(const std::string& root, int& nKeys, int& nValues)
{
    nKeys = nValues = 0;
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, root.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    Count(hKey, nKeys, nValues);
    RegCloseKey(hKey);
    return true;
}

// The installer deletes the tree (backing it up first); with bFail a step
// that fails follows, and the run rolls everything back.
int RunInstaller(const std::string& root, bool bFail)
{
    CInstaller installer;
    CInstObjRegistry* step = new CInstObjRegistry;
    step->m_nMode = MODE_DELETE;
    step->m_Targets.Add(("HKEY_CURRENT_USER\\" + root).c_str());
    installer.m_RegistryList.AddTail(step);
    if (bFail)
    {
        CInstObjRegistry* failing = new CInstObjRegistry;
        failing->m_nMode = 9;
        installer.m_RegistryList.AddTail(failing);
    }
    return installer.Run();
}
}  // namespace

int main(int argc, char** argv)
{
    int nKeys = argc > 1 ? atoi(argv[1]) : 1000;
    int nValues = argc > 2 ? atoi(argv[2]) : 10;
    int nRuns = argc > 3 ? atoi(argv[3]) : 3;
    if (nKeys < 10 || nValues < 1 || nRuns < 1)
    {
        fprintf(stderr, "usage: registry_bench [keys >= 10] [values per key] [runs]\n");
        return 2;
    }
    std::string root = std::string(kBase) + "\\tree";
    DeleteTree(HKEY_CURRENT_USER, kBase);

    std::vector<double> plain, deleted, rolledBack;
    int nExpectKeys = 0, nExpectValues = 0;
    for (int run = 0; run < nRuns; run++)
    {
        double t0 = Now();
        if (!WriteTree(root, nKeys, nValues))
        {
            fprintf(stderr, "the plain writer failed\n");
            return 1;
        }
        plain.push_back(Now() - t0);
        CountTree(root, nExpectKeys, nExpectValues);

        t0 = Now();
        int r = RunInstaller(root, false);
        deleted.push_back(Now() - t0);
        if (r != 0 || CountTree(root, nExpectKeys, nExpectValues))
        {
            fprintf(stderr, "the delete step failed: %d\n", r);
            return 1;
        }

        WriteTree(root, nKeys, nValues);
        CountTree(root, nExpectKeys, nExpectValues);
        t0 = Now();
        r = RunInstaller(root, true);
        rolledBack.push_back(Now() - t0);
        int nGotKeys, nGotValues;
        if (r != 1 || !CountTree(root, nGotKeys, nGotValues) || nGotKeys != nExpectKeys ||
            nGotValues != nExpectValues)
        {
            fprintf(stderr, "the rollback did not restore the tree: %d\n", r);
            return 1;
        }
        DeleteTree(HKEY_CURRENT_USER, root.c_str());
    }
    DeleteTree(HKEY_CURRENT_USER, kBase);

    double p = Median(plain), d = Median(deleted), b = Median(rolledBack);
    std::vector<double> rollbackAlone;
    for (int run = 0; run < nRuns; run++)
        rollbackAlone.push_back(rolledBack[run] - deleted[run]);
    printf("tree: %d keys, %d values (median of %d runs, lowest..highest)\n", nExpectKeys, nExpectValues, nRuns);
    printf("plain writer, making the tree:        %8.3f s (%.3f..%.3f)\n", p, Lowest(plain), Highest(plain));
    printf("installer, back up and delete:        %8.3f s (%.3f..%.3f)  (%.2f x plain)\n", d, Lowest(deleted),
           Highest(deleted), d / p);
    printf("installer, back up, delete, roll back: %7.3f s (%.3f..%.3f)  (%.2f x plain)\n", b, Lowest(rolledBack),
           Highest(rolledBack), b / p);
    printf("the rollback alone (difference):      %8.3f s (%.3f..%.3f)  (%.2f x plain)\n", b - d,
           Lowest(rollbackAlone), Highest(rollbackAlone), (b - d) / p);
    return 0;
}
