// CThread and CAutoEvent: a second thread of the process, and the signal it
// and the thread that started it wake each other with.
//
//     CThread reader;
//     if (!reader.Start(ReadAll, &state))
//         ReadAll(&state);  // no thread: do the work here
//     ...
//     reader.Join();
//
// Neither is copyable. On Windows both are kernel objects owned through
// CHandleOwner; natively a standard thread, and a flag under a mutex with a
// condition variable.
#ifndef FRAMEWORK_THREAD_H
#define FRAMEWORK_THREAD_H

#include "framework/WinTypes.h"

#ifdef _WIN32
#include "framework/Owner.h"
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

class CThread
{
public:
    typedef void (*ThreadProc)(void* pArg);

    CThread();
    // Waits for a thread that was started and not yet joined.
    ~CThread();

    // Runs pfn(pArg) on a new thread. False when no thread could be made
    // (pfn does not run) or when this one holds a thread not yet joined.
    // Natively a thread that cannot be made ends the process, as the
    // standard library does without exceptions.
    bool Start(ThreadProc pfn, void* pArg);
    // Waits until the thread has returned from pfn; returns at once when
    // none was started. The object may then start another.
    void Join();
    bool IsStarted() const;

private:
#ifdef _WIN32
    static DWORD WINAPI Entry(LPVOID pThread);
    CHandleOwner m_hThread;
    ThreadProc m_pfn;
    void* m_pArg;
#else
    std::thread m_thread;
#endif

    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;
};

// An auto-reset event: Set lets one Wait through, the first to come, and
// the event is clear again. A Set while no one waits is kept until the next
// Wait; two Sets before a Wait let it through once.
class CAutoEvent
{
public:
    CAutoEvent();
    ~CAutoEvent();

    // False when the system could not make the event (Windows only); Set
    // and Wait must not be used then.
    bool IsValid() const;
    void Set();
    // Waits until the event is set, and clears it.
    void Wait();
    // The same, for at most nMilliseconds: true when the event was set,
    // false when the time ran out first.
    bool Wait(DWORD nMilliseconds);

private:
#ifdef _WIN32
    CHandleOwner m_hEvent;
#else
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bSet;
#endif

    CAutoEvent(const CAutoEvent&) = delete;
    CAutoEvent& operator=(const CAutoEvent&) = delete;
};

#endif
