// CThread and CAutoEvent natively: a standard thread, and a flag under a
// mutex with a condition variable.
#include "framework/Thread.h"

#include <chrono>

CThread::CThread() {}

CThread::~CThread()
{
    Join();
}

bool CThread::Start(ThreadProc pfn, void* pArg)
{
    if (m_thread.joinable())
        return false;
    m_thread = std::thread(pfn, pArg);
    return m_thread.joinable();
}

void CThread::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool CThread::IsStarted() const
{
    return m_thread.joinable();
}

CAutoEvent::CAutoEvent() : m_bSet(false) {}

CAutoEvent::~CAutoEvent() {}

bool CAutoEvent::IsValid() const
{
    return true;
}

void CAutoEvent::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bSet = true;
    }
    m_changed.notify_one();
}

void CAutoEvent::Wait()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_bSet; });
    m_bSet = false;
}

bool CAutoEvent::Wait(DWORD nMilliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_changed.wait_for(lock, std::chrono::milliseconds(nMilliseconds), [this] { return m_bSet; }))
        return false;
    m_bSet = false;
    return true;
}
