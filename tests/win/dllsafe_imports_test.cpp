// The stub imports only DLLs the system keeps in its known-DLL list (those
// come from the system folder whatever lies beside the program); every other
// DLL it loads at run time from the system folder. Read from the PE import
// directories of the built stubs, and the loader checked in this process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "saver_test_config.h"
#include "support/TestSupport.h"
#include "win/stub_installer.h"
#include "sysutil/SystemLibrary.h"

namespace
{
// The DLL names of a PE file's import and delay-import directories, upper
// case. False when the file is not a PE image or a directory points outside
// it.
struct Imports
{
    std::vector<std::string> dlls;
    std::vector<std::string> delayed;
};

class PeReader
{
public:
    explicit PeReader(const Bytes& bytes) : m_bytes(bytes) {}

    bool Read(Imports& imports)
    {
        DWORD peOffset = 0;
        if (!Get(0x3c, peOffset) || !Has(peOffset, 24) || memcmp(&m_bytes[peOffset], "PE\0\0", 4) != 0)
            return false;
        WORD nSections = 0, nOptional = 0, magic = 0;
        Get(peOffset + 6, nSections);
        Get(peOffset + 20, nOptional);
        DWORD optional = peOffset + 24;
        if (!Get(optional, magic) || (magic != 0x10b && magic != 0x20b))
            return false;
        // The data directories: 1 is the import table, 13 the delay imports.
        DWORD directories = optional + (magic == 0x20b ? 112 : 96);
        m_sections = optional + nOptional;
        m_nSections = nSections;
        DWORD importRva = 0, delayRva = 0;
        if (!Get(directories + 1 * 8, importRva) || !Get(directories + 13 * 8, delayRva))
            return false;
        // An import descriptor is 20 bytes, the name's RVA at 12; a delay
        // descriptor 32 bytes, the name's at 4. Both lists end with zeros.
        return ReadNames(importRva, 20, 12, imports.dlls) && ReadNames(delayRva, 32, 4, imports.delayed);
    }

private:
    bool Has(DWORD offset, DWORD size) const { return offset <= m_bytes.size() && size <= m_bytes.size() - offset; }

    template <typename T>
    bool Get(DWORD offset, T& value) const
    {
        if (!Has(offset, sizeof(T)))
            return false;
        memcpy(&value, &m_bytes[offset], sizeof(T));
        return true;
    }

    bool ToOffset(DWORD rva, DWORD& offset) const
    {
        for (DWORD i = 0; i < m_nSections; i++)
        {
            DWORD header = m_sections + i * 40, va = 0, rawSize = 0, raw = 0;
            if (!Get(header + 12, va) || !Get(header + 16, rawSize) || !Get(header + 20, raw))
                return false;
            if (rva >= va && rva - va < rawSize)
            {
                offset = raw + (rva - va);
                return true;
            }
        }
        return false;
    }

    bool ReadNames(DWORD rva, DWORD entrySize, DWORD nameAt, std::vector<std::string>& names) const
    {
        if (rva == 0)
            return true;
        DWORD offset = 0;
        if (!ToOffset(rva, offset))
            return false;
        for (;; offset += entrySize)
        {
            DWORD nameRva = 0, firstWord = 0, nameOffset = 0;
            if (!Get(offset, firstWord) || !Get(offset + nameAt, nameRva))
                return false;
            if (nameRva == 0 && firstWord == 0)
                return true;
            if (!ToOffset(nameRva, nameOffset))
                return false;
            std::string name;
            for (char c = 0; Get(nameOffset + (DWORD)name.size(), c) && c != 0;)
                name += (char)toupper((unsigned char)c);
            names.push_back(name);
        }
    }

    const Bytes& m_bytes;
    DWORD m_sections = 0;
    DWORD m_nSections = 0;
};

std::string Upper(std::string s)
{
    for (char& c : s)
        c = (char)toupper((unsigned char)c);
    return s;
}

std::string SystemFolder()
{
    char sz[MAX_PATH];
    UINT n = GetSystemDirectoryA(sz, MAX_PATH);
    return Upper(std::string(sz, n < MAX_PATH ? n : 0));
}

std::string ModuleFolder(HMODULE h)
{
    char sz[MAX_PATH];
    DWORD n = GetModuleFileNameA(h, sz, MAX_PATH);
    std::string path(sz, n < MAX_PATH ? n : 0);
    size_t slash = path.find_last_of('\\');
    return Upper(slash == std::string::npos ? std::string() : path.substr(0, slash));
}
}  // namespace

TEST(DllSafeImports, TheStubsImportOnlyKnownDlls)
{
    // Known DLLs on every system from XP on.
    const std::set<std::string> known = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL",
                                         "SHELL32.DLL",  "OLE32.DLL",  "MSVCRT.DLL"};
    std::vector<std::string> stubs = stub::BuiltStubs();
    if (stubs.empty())
        GTEST_SKIP() << "setup.exe is not built in this tree";
    for (const std::string& stub : stubs)
    {
        SCOPED_TRACE(stub);
        Bytes bytes;
        ASSERT_TRUE(ReadFileBytes(stub, bytes));
        Imports imports;
        ASSERT_TRUE(PeReader(bytes).Read(imports));
        // The reader found the table: every program imports kernel32.
        EXPECT_NE(std::find(imports.dlls.begin(), imports.dlls.end(), "KERNEL32.DLL"), imports.dlls.end());
        for (const std::string& dll : imports.dlls)
            EXPECT_TRUE(known.count(dll) != 0) << dll << " is imported but is not a known DLL";
        // Delay-loaded DLLs are searched for like any other: none at all.
        EXPECT_TRUE(imports.delayed.empty()) << imports.delayed.front();
    }
}

TEST(DllSafeImports, TheReaderRefusesBrokenImages)
{
    Bytes pe;
    if (!ReadFileBytes(SAVER_TEST_BIN_DIR SAVER_TEST_SEP "dll_loader.exe", pe))
        GTEST_SKIP() << "dll_loader.exe is not built";
    DWORD peOffset = 0;
    memcpy(&peOffset, &pe[0x3c], 4);
    Imports whole;
    ASSERT_TRUE(PeReader(pe).Read(whole));
    struct Case
    {
        const char* what;
        DWORD offset;  // from the PE signature; ~0u: cut the file there instead
        DWORD value;
    } cases[] = {
        {"no PE signature", 0, 0},
        {"the import table's address outside every section", 24 + 112 + 8, 0x7fff0000},
        {"the sections' headers past the end", 20, 0xfff0},
        {"cut inside the headers", ~0u, 0x100},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Bytes broken = pe;
        if (c.offset == ~0u)
            broken.resize(c.value);
        else if (c.offset == 20)
        {
            WORD w = (WORD)c.value;
            memcpy(&broken[peOffset + c.offset], &w, 2);
        }
        else
            memcpy(&broken[peOffset + c.offset], &c.value, 4);
        Imports imports;
        EXPECT_FALSE(PeReader(broken).Read(imports));
    }
}

TEST(DllSafeLoader, LoadsFromTheSystemFolderOnlyAndRefusesPaths)
{
    // Both branches, whichever one this system takes.
    for (auto load : {&LoadSystemLibrary, &LoadSystemLibraryByPath})
    {
        HMODULE h = load("version.dll");
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(ModuleFolder(h), SystemFolder());
        EXPECT_NE(GetProcAddress(h, "GetFileVersionInfoSizeA"), nullptr);
        const char* refused[] = {nullptr, "", ".", "..", "..\\version.dll", "sub\\version.dll", "sub/version.dll",
                                 "C:version.dll", "C:\\windows\\system32\\version.dll"};
        for (const char* name : refused)
            EXPECT_EQ(load(name), nullptr) << (name != nullptr ? name : "(null)");
        EXPECT_EQ(load("no-such-library-here.dll"), nullptr);
    }
}
