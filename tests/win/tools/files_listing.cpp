// files_listing.exe PATH...: one line per file found at or below each path,
// "path<TAB>size<TAB>file version<TAB>language", sorted; "-" where a file
// has no version resource. The demo and the benchmark compare two listings
// to show what an installation changed.
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
std::string VersionOf(const std::string& path, std::string& language)
{
    language = "-";
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0)
        return "-";
    std::vector<BYTE> info(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data()))
        return "-";
    void* p = nullptr;
    UINT n = 0;
    std::string version = "-";
    if (VerQueryValueA(info.data(), "\\", &p, &n) && n >= sizeof(VS_FIXEDFILEINFO))
    {
        const VS_FIXEDFILEINFO* f = (const VS_FIXEDFILEINFO*)p;
        char buf[64];
        snprintf(buf, sizeof buf, "%u.%u.%u.%u", (unsigned)HIWORD(f->dwFileVersionMS),
                 (unsigned)LOWORD(f->dwFileVersionMS), (unsigned)HIWORD(f->dwFileVersionLS),
                 (unsigned)LOWORD(f->dwFileVersionLS));
        version = buf;
    }
    if (VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &p, &n) && n >= 4)
    {
        char name[128] = "";
        if (GetLocaleInfoA(MAKELCID(*(const WORD*)p, SORT_DEFAULT), LOCALE_SLANGUAGE, name, sizeof name) > 0)
            language = name;
    }
    return version;
}

void Walk(const std::string& path, std::vector<std::string>& lines)
{
    WIN32_FIND_DATAA fd;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        HANDLE h = FindFirstFileA(path.c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return;
        FindClose(h);
        unsigned long long size = ((unsigned long long)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
        std::string language;
        std::string version = VersionOf(path, language);
        char buf[64];
        snprintf(buf, sizeof buf, "%llu", size);
        lines.push_back(path + "\t" + buf + "\t" + version + "\t" + language);
        return;
    }
    lines.push_back(path + "\\\t<dir>\t\t");
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do
    {
        std::string name = fd.cFileName;
        if (name != "." && name != "..")
            Walk(path + "\\" + name, lines);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}
}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> lines;
    for (int i = 1; i < argc; i++)
    {
        std::string path = argv[i];
        while (path.size() > 3 && path.back() == '\\')
            path.pop_back();
        Walk(path, lines);
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines)
        printf("%s\n", line.c_str());
    return 0;
}
