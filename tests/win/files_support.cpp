#include "files_support.h"

#include <stdio.h>
#include <string.h>

#include "saver_test_config.h"

namespace files_test
{
int QuestionLog::s_nAsked = 0;
int QuestionLog::s_nAnswer = 0;
std::string QuestionLog::s_strNew;
std::string QuestionLog::s_strOld;

int QuestionLog::Ask(const char* pszNew, const char* pszOld)
{
    s_nAsked++;
    s_strNew = pszNew;
    s_strOld = pszOld;
    return s_nAnswer;
}

void QuestionLog::Reset(int nAnswer)
{
    s_nAsked = 0;
    s_nAnswer = nAnswer;
    s_strNew.clear();
    s_strOld.clear();
}

std::string Join(const std::string& dir, const std::string& name)
{
    if (!dir.empty() && dir.back() == '\\')
        return dir + name;
    return dir + "\\" + name;
}

std::string Repeat(char ch, size_t n)
{
    return std::string(n, ch);
}

bool MakeDir(const std::string& path, DWORD attributes)
{
    if (!CreateDirectoryA(path.c_str(), nullptr))
        return false;
    return attributes == 0 || SetFileAttributesA(path.c_str(), attributes);
}

bool MakeFile(const std::string& path, const std::string& text, DWORD attributes)
{
    if (!WriteFileBytes(path, Bytes(text.begin(), text.end())))
        return false;
    return attributes == 0 || SetFileAttributesA(path.c_str(), attributes);
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Bytes ReadAll(const std::string& path)
{
    Bytes b;
    ReadFileBytes(path, b);
    return b;
}

std::string ReadText(const std::string& path)
{
    Bytes b = ReadAll(path);
    return std::string(b.begin(), b.end());
}

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

namespace
{
uint64_t Fnv1a(const Bytes& bytes)
{
    uint64_t h = 1469598103934665603ull;
    for (BYTE b : bytes)
    {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

void ListInto(const std::string& root, const std::string& relative, Listing& listing)
{
    std::string dir = relative.empty() ? root : Join(root, relative);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(Join(dir, "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do
    {
        std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string rel = relative.empty() ? name : relative + "\\" + name;
        Entry e;
        e.attributes = fd.dwFileAttributes;
        e.directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!e.directory)
        {
            Bytes bytes = ReadAll(Join(root, rel));
            e.size = bytes.size();
            e.hash = Fnv1a(bytes);
        }
        listing[rel] = e;
        if (e.directory)
            ListInto(root, rel, listing);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

std::string Describe(const Entry& e)
{
    char buf[96];
    if (e.directory)
        snprintf(buf, sizeof buf, "dir attr %lx", (unsigned long)e.attributes);
    else
        snprintf(buf, sizeof buf, "file attr %lx size %llu hash %016llx", (unsigned long)e.attributes,
                 (unsigned long long)e.size, (unsigned long long)e.hash);
    return buf;
}
}  // namespace

Listing ListTree(const std::string& root)
{
    Listing listing;
    ListInto(root, "", listing);
    return listing;
}

std::string Differences(const Listing& before, const Listing& after)
{
    std::string out;
    for (const auto& b : before)
    {
        auto a = after.find(b.first);
        if (a == after.end())
            out += "missing " + b.first + " (" + Describe(b.second) + ")\n";
        else if (!(a->second == b.second))
            out += "changed " + b.first + ": " + Describe(b.second) + " -> " + Describe(a->second) + "\n";
    }
    for (const auto& a : after)
        if (before.find(a.first) == before.end())
            out += "added " + a.first + " (" + Describe(a.second) + ")\n";
    return out;
}

std::string GlimmerPath(bool bGerman)
{
    return std::string(SAVER_TEST_BIN_DIR) + (bGerman ? "\\glimmer_de.scr" : "\\glimmer.scr");
}

bool HaveGlimmer()
{
    return Exists(GlimmerPath(false)) && Exists(GlimmerPath(true));
}

namespace
{
size_t FindBytes(const Bytes& hay, const Bytes& needle)
{
    if (needle.empty() || hay.size() < needle.size())
        return std::string::npos;
    for (size_t i = 0; i + needle.size() <= hay.size(); i++)
        if (memcmp(&hay[i], needle.data(), needle.size()) == 0)
            return i;
    return std::string::npos;
}

Bytes Utf16(const char* text)
{
    Bytes b;
    for (const char* p = text; *p; p++)
    {
        b.push_back((BYTE)*p);
        b.push_back(0);
    }
    b.push_back(0);
    b.push_back(0);
    return b;
}

void PutWord(Bytes& b, size_t at, WORD w)
{
    b[at] = (BYTE)(w & 0xFF);
    b[at + 1] = (BYTE)(w >> 8);
}
}  // namespace

bool MakeVersionedCopy(const std::string& from, const std::string& to, WORD a, WORD b, WORD c, WORD d,
                       WORD wLanguage, bool bNoTranslation)
{
    Bytes image = ReadAll(from);
    // VS_FIXEDFILEINFO: signature, structure version, file version MS, LS.
    size_t fixed = FindBytes(image, B({0xBD, 0x04, 0xEF, 0xFE}));
    if (fixed == std::string::npos)
        return false;
    PutWord(image, fixed + 8, b);
    PutWord(image, fixed + 10, a);
    PutWord(image, fixed + 12, d);
    PutWord(image, fixed + 14, c);
    if (wLanguage != 0 || bNoTranslation)
    {
        Bytes key = Utf16("Translation");
        size_t at = FindBytes(image, key);
        if (at == std::string::npos)
            return false;
        if (bNoTranslation)
            image[at] = 'X';
        else
        {
            // The value follows the key, aligned to four bytes.
            size_t value = (at + key.size() + 3) & ~(size_t)3;
            PutWord(image, value, wLanguage);
        }
    }
    return WriteFileBytes(to, image);
}

int CountTempFiles()
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(Join(dir, "gpi*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do
        n++;
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return n;
}

void RunUndo(CInstaller& installer)
{
    for (POSITION pos = installer.m_UndoList.GetHeadPosition(); pos != nullptr;)
        ((CInstObj*)installer.m_UndoList.GetNext(pos))->Execute(&installer);
}

std::vector<std::string> UndoSummary(const CInstaller& installer)
{
    std::vector<std::string> out;
    for (POSITION pos = installer.m_UndoList.GetHeadPosition(); pos != nullptr;)
    {
        CInstObj* p = (CInstObj*)installer.m_UndoList.GetNext(pos);
        const char* kind = p->IsKindOf(RUNTIME_CLASS(CInstObjFile)) ? "File" : "Dir";
        CInstObjDir* d = (CInstObjDir*)p;
        std::string s = std::string(kind) + std::to_string(p->m_nMode);
        for (int i = 0; i < d->m_Targets.GetSize(); i++)
            s += " " + std::string((const char*)d->m_Targets[i]);
        out.push_back(s);
    }
    return out;
}

namespace
{
void Fill(CStringArray& array, const std::vector<std::string>& values)
{
    for (const std::string& v : values)
        array.Add(CString(v.c_str()));
}

CByteArray* NewBytes(const Bytes& b)
{
    CByteArray* p = new CByteArray;
    p->Copy(b.data(), (int)b.size());
    return p;
}
}  // namespace

CInstObjDir* NewDir(int nMode, const std::vector<std::string>& sources, const std::vector<std::string>& targets,
                    DWORD dwAttributes)
{
    CInstObjDir* p = new CInstObjDir;
    p->m_nMode = (DWORD)nMode;
    Fill(p->m_Sources, sources);
    Fill(p->m_Targets, targets);
    p->m_dwAttributes = dwAttributes;
    return p;
}

CInstObjFile* NewFile(const std::vector<std::string>& targets, const Bytes& content, DWORD dwAttributes)
{
    CInstObjFile* p = new CInstObjFile;
    p->m_nMode = MODE_CREATE;
    Fill(p->m_Targets, targets);
    p->m_Content.Copy(content.data(), (int)content.size());
    p->m_dwAttributes = dwAttributes;
    return p;
}

CInstObjPatchFile* NewPatch(const std::vector<std::string>& targets, const Bytes& content,
                            const std::vector<PatchList>& patches)
{
    CInstObjPatchFile* p = new CInstObjPatchFile;
    p->m_nMode = MODE_CREATE;
    Fill(p->m_Targets, targets);
    p->m_Content.Copy(content.data(), (int)content.size());
    for (const PatchList& list : patches)
    {
        CObArray* pPatterns = new CObArray;
        CObArray* pReplacements = new CObArray;
        for (const auto& pair : list)
        {
            pPatterns->Add(NewBytes(pair.first));
            pReplacements->Add(NewBytes(pair.second));
        }
        p->m_SearchPatterns.Add(pPatterns);
        p->m_Replacements.Add(pReplacements);
    }
    return p;
}
PrivateTemp::PrivateTemp()
{
    DWORD n = GetEnvironmentVariableA("TMP", nullptr, 0);
    if (n > 0)
    {
        m_previous.resize(n);
        n = GetEnvironmentVariableA("TMP", &m_previous[0], n);
        m_previous.resize(n);
        m_bHadPrevious = true;
    }
    SetEnvironmentVariableA("TMP", m_dir.Path().c_str());
}

PrivateTemp::~PrivateTemp()
{
    SetEnvironmentVariableA("TMP", m_bHadPrevious ? m_previous.c_str() : nullptr);
}

}  // namespace files_test
