// CBackgroundLoad: reading a script on a thread of its own while it runs.
//
// A silent installation need not wait for the whole package before its
// first step: the reader thread inflates the package and builds the objects
// one by one, and the run takes each object as soon as it has been read
// whole. Inflating the package and writing the files then overlap.
//
// The reader publishes its progress as (list, count): the list it is
// reading, in stream order, and how many objects that list holds so far.
// Everything before that point is finished and is never touched by the
// reader again, so the run may walk it without a lock. The run waits only
// where the reader has not got that far yet.
#ifndef SCRIPT_BACKGROUNDLOAD_H
#define SCRIPT_BACKGROUNDLOAD_H

#include <atomic>

#include "framework/File.h"
#include "framework/Thread.h"
#include "framework/WinTypes.h"

class CInstaller;
class PackageArchive;

class CBackgroundLoad
{
public:
    explicit CBackgroundLoad(CInstaller* pInstaller);
    // Stops the reader and waits for its thread.
    ~CBackgroundLoad();

    // Takes the file, which stands on the first byte of the package stream;
    // opens the package there (header, body check, password) on the
    // calling thread, then starts the reader. ERR_OK, or ERR_FAILED when the
    // package cannot be read; nothing is read then.
    int Start(CFile* pFile);

    // The run's side (see CScriptCursor). Each returns ERR_OK once the
    // reader has got past the point asked for, or ERR_FAILED when the read
    // failed before it. Lists are numbered as in ScriptLists.h.
    // Element nIndex of list nList: read whole, or the list ended before it.
    int WaitForElement(int nList, DWORD nIndex);
    // The whole of list nList.
    int WaitForList(int nList) { return WaitForElement(nList, kWholeList); }
    // The whole package, down to the end of the stream.
    int WaitForEnd();
    // The run needs nothing more: the reader stops at the next object.
    void Cancel();

    // The reader's side, from the script's Serialize: list nList now holds
    // nCount objects. Throws (the read stops) once cancelled.
    void Published(int nList, DWORD nCount);

private:
    static const DWORD kWholeList = 0xFFFFFFFFu;
    static const unsigned kCountBits = 28;
    static const unsigned kCountMask = (1u << kCountBits) - 1;
    static void RunReader(void* pLoad) { ((CBackgroundLoad*)pLoad)->Read(); }
    // Reads the script; runs on the reader thread (or inline, when no
    // thread can be started).
    void Read();
    void Finish(int nResult);
    bool HasReached(int nList, DWORD nIndex) const;
    // Wakes the run if it sleeps or is about to.
    void Wake();

    CInstaller* m_pInstaller;
    CFile* m_pFile;
    PackageArchive* m_pArchive;
    CAutoEvent m_changed;  // the reader got further; only the run waits on it
    CThread m_reader;
    std::atomic<unsigned> m_nState;  // list << kCountBits | count
    std::atomic<int> m_nResult;      // of the whole read; kReading until it ends
    std::atomic<bool> m_bWaiting;    // the run sleeps or is about to
    std::atomic<bool> m_bCancelled;
    static const int kReading = -1;

    CBackgroundLoad(const CBackgroundLoad&) = delete;
    CBackgroundLoad& operator=(const CBackgroundLoad&) = delete;
};

#endif
