// Helpers of the file-object tests: real folders, tree listings with hashes,
// versioned copies of the sample screen saver, and the undo list.
#ifndef TESTS_WIN_FILES_SUPPORT_H
#define TESTS_WIN_FILES_SUPPORT_H

#include <windows.h>

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjPatchFile.h"
#include "script/Installer.h"
#include "support/TestSupport.h"

namespace files_test
{
std::string Join(const std::string& dir, const std::string& name);
std::string Repeat(char ch, size_t n);

bool MakeDir(const std::string& path, DWORD attributes = 0);
bool MakeFile(const std::string& path, const std::string& text, DWORD attributes = 0);
bool Exists(const std::string& path);
std::string ReadText(const std::string& path);
Bytes ReadAll(const std::string& path);
// Attributes as the system reports them (INVALID_FILE_ATTRIBUTES when missing).
DWORD Attributes(const std::string& path);

// One entry of a tree listing: what a rollback must restore exactly.
struct Entry
{
    bool directory = false;
    DWORD attributes = 0;
    uint64_t size = 0;
    uint64_t hash = 0;  // FNV-1a of the bytes
    bool operator==(const Entry& o) const
    {
        return directory == o.directory && attributes == o.attributes && size == o.size && hash == o.hash;
    }
};
typedef std::map<std::string, Entry> Listing;  // by path relative to the root

Listing ListTree(const std::string& root);
// "" when equal; otherwise one line per difference.
std::string Differences(const Listing& before, const Listing& after);

// The sample screen saver builds (1.2.0.0, English 0x0409 and German 0x0407).
std::string GlimmerPath(bool bGerman);
bool HaveGlimmer();
// A copy of a build with its file version set to a.b.c.d and, unless 0, the
// language of its translation changed; bNoTranslation renames the table so
// that the copy has none.
bool MakeVersionedCopy(const std::string& from, const std::string& to, WORD a, WORD b, WORD c, WORD d,
                       WORD wLanguage = 0, bool bNoTranslation = false);

// gpi*.tmp files in the temporary folder.
int CountTempFiles();

// Points TMP at a scratch folder of its own for as long as it lives, so that
// other tests running at the same time cannot disturb the count of leftover
// temporary copies; TMP gets its old value (or none) back when it goes.
class PrivateTemp
{
public:
    PrivateTemp();
    ~PrivateTemp();
    const std::string& Path() const { return m_dir.Path(); }

private:
    ScratchDir m_dir;
    std::string m_previous;
    bool m_bHadPrevious = false;
};

// Executes the undo list newest first, as the run does after a failure.
void RunUndo(CInstaller& installer);
// The undo list, newest first: "Dir4 path", "Dir3 path", "File3 path".
std::vector<std::string> UndoSummary(const CInstaller& installer);

CInstObjDir* NewDir(int nMode, const std::vector<std::string>& sources, const std::vector<std::string>& targets,
                    DWORD dwAttributes = CInstObjDir::kNoAttributes);
CInstObjFile* NewFile(const std::vector<std::string>& targets, const Bytes& content,
                      DWORD dwAttributes = CInstObjDir::kNoAttributes);
// One list of (pattern, replacement) pairs per target.
typedef std::vector<std::pair<Bytes, Bytes>> PatchList;
CInstObjPatchFile* NewPatch(const std::vector<std::string>& targets, const Bytes& content,
                            const std::vector<PatchList>& patches);

// Counts the language questions and answers them with a fixed value.
struct QuestionLog
{
    static int s_nAsked;
    static int s_nAnswer;
    static std::string s_strNew, s_strOld;
    static int Ask(const char* pszNew, const char* pszOld);
    static void Reset(int nAnswer);
};
}  // namespace files_test

#endif
