// Helpers shared by the tests: byte strings, archive round trips, scratch
// folders that work natively and under Wine.
#ifndef TESTS_SUPPORT_TESTSUPPORT_H
#define TESTS_SUPPORT_TESTSUPPORT_H

#include <functional>
#include <string>
#include <vector>

#include "framework/Archive.h"
#include "framework/Exceptions.h"
#include "framework/MemFile.h"

typedef std::vector<BYTE> Bytes;

#ifdef _WIN32
#define SAVER_SEP "\\"
#else
#define SAVER_SEP "/"
#endif

// Bytes from a list such as {0x01, 0x02}, and text appended as it is.
Bytes B(std::initializer_list<int> values);
Bytes operator+(Bytes a, const Bytes& b);
Bytes Text(const std::string& s);
Bytes Le16(unsigned v);
Bytes Le32(unsigned long v);
std::string Hex(const Bytes& b);

// What a storing archive writes when fn stores into it.
Bytes StoreBytes(const std::function<void(CArchive&)>& fn);
// The package stream (header and packed body) of what fn stores; empty
// when storing failed.
Bytes PackBytes(const char* password, const std::function<void(CArchive&)>& fn);

// Runs fn on a loading archive over the bytes inside an exception scope.
// Returns the exception caught (null when none), which the caller must
// Delete(); *pRemaining (if given) receives the bytes left unread.
struct LoadResult
{
    bool failed = false;
    int archiveCause = -1;  // CArchiveException cause, -1 for other kinds
    std::string exceptionClass;
    DWORD position = 0;
};
LoadResult LoadBytes(const Bytes& bytes, const std::function<void(CArchive&)>& fn, DWORD* pRemaining = nullptr);

// A fresh folder that is removed with everything in it when the object goes.
class ScratchDir
{
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& Path() const { return m_path; }
    // Path of a name inside the folder.
    std::string operator/(const std::string& name) const;

private:
    std::string m_path;
};

// What a run did, in the order it happened: its progress reports as
// "(kind,a,b)" through RecordProgress, and whatever the test's steps add.
std::vector<std::string>& RunEvents();
int RecordProgress(unsigned kind, unsigned a, unsigned b);

bool WriteFileBytes(const std::string& path, const Bytes& bytes);
bool ReadFileBytes(const std::string& path, Bytes& bytes);

#endif
