// Helpers shared by the tests.
#include "support/TestSupport.h"

#include "script/PackageArchive.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <ftw.h>
#include <unistd.h>
#endif

Bytes B(std::initializer_list<int> values)
{
    Bytes b;
    for (int v : values)
        b.push_back((BYTE)v);
    return b;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes Le16(unsigned v)
{
    return B({(int)(v & 0xFF), (int)((v >> 8) & 0xFF)});
}

Bytes Le32(unsigned long v)
{
    return B({(int)(v & 0xFF), (int)((v >> 8) & 0xFF), (int)((v >> 16) & 0xFF), (int)((v >> 24) & 0xFF)});
}

std::string Hex(const Bytes& b)
{
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < b.size(); i++)
    {
        if (i > 0)
            s += ' ';
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

// What a storing archive left in the memory file; nothing if it failed.
static Bytes Written(const CExceptionScope& scope, CMemFile& file)
{
    if (scope.Failed())
        return Bytes();
    const BYTE* p = file.GetBuffer();
    return Bytes(p, p + file.GetLength());
}

Bytes StoreBytes(const std::function<void(CArchive&)>& fn)
{
    CExceptionScope scope;
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        fn(ar);
        ar.Close();
    }
    return Written(scope, file);
}

Bytes PackBytes(const char* password, const std::function<void(CArchive&)>& fn)
{
    CExceptionScope scope;
    CMemFile file;
    {
        PackageArchive ar(&file, CArchive::store, 4096, nullptr, password, TRUE);
        fn(ar);
        ar.Close();
    }
    return Written(scope, file);
}

LoadResult LoadBytes(const Bytes& bytes, const std::function<void(CArchive&)>& fn, DWORD* pRemaining)
{
    LoadResult result;
    CExceptionScope scope;
    Bytes copy(bytes);
    CMemFile file(copy.empty() ? nullptr : copy.data(), (UINT)copy.size());
    {
        CArchive ar(&file, CArchive::load);
        fn(ar);
        if (pRemaining != nullptr)
            *pRemaining = scope.Failed() ? 0 : ar.GetRemaining();
        ar.Close();
    }
    if (CException* e = scope.GetException())
    {
        result.failed = true;
        result.exceptionClass = e->GetRuntimeClass()->m_lpszClassName;
        if (CException* a = scope.GetExceptionOf(RUNTIME_CLASS(CArchiveException)))
        {
            result.archiveCause = ((CArchiveException*)a)->m_cause;
            result.position = ((CArchiveException*)a)->m_dwPosition;
        }
    }
    return result;
}

#ifdef _WIN32
static void RemoveTree(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(dir.c_str());
}

ScratchDir::ScratchDir()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;)
    {
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%ssaver-test-%lu-%u", temp, (unsigned long)GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, nullptr))
        {
            m_path = name;
            break;
        }
    }
}

ScratchDir::~ScratchDir()
{
    RemoveTree(m_path);
}

std::string ScratchDir::operator/(const std::string& name) const
{
    return m_path + "\\" + name;
}
#else
ScratchDir::ScratchDir()
{
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base != nullptr && *base ? base : "/tmp") + "/saver-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) != nullptr)
        m_path = buf.data();
}

ScratchDir::~ScratchDir()
{
    if (m_path.empty())
        return;
    nftw(
        m_path.c_str(),
        [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

std::string ScratchDir::operator/(const std::string& name) const
{
    return m_path + "/" + name;
}
#endif

bool WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool ReadFileBytes(const std::string& path, Bytes& bytes)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    bytes.clear();
    BYTE buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    return true;
}

std::vector<std::string>& RunEvents()
{
    static std::vector<std::string> events;
    return events;
}

int RecordProgress(unsigned kind, unsigned a, unsigned b)
{
    RunEvents().push_back("(" + std::to_string(kind) + "," + std::to_string(a) + "," + std::to_string(b) + ")");
    return 0;
}
