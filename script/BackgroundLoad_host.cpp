// CBackgroundLoad natively: a standard thread, and a flag under a mutex
// with a condition variable in the part of an auto-reset event.
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "script/BackgroundLoad.h"

namespace
{
struct Signal
{
    std::mutex mutex;
    std::condition_variable changed;
    bool bSet = false;
};
}  // namespace

bool CBackgroundLoad::CreateSignal()
{
    m_pSignal = new (std::nothrow) Signal;
    return m_pSignal != nullptr;
}

void CBackgroundLoad::DestroySignal()
{
    delete (Signal*)m_pSignal;
    m_pSignal = nullptr;
}

bool CBackgroundLoad::StartThread()
{
    m_pThread = new (std::nothrow) std::thread(RunReader, this);
    return m_pThread != nullptr;
}

void CBackgroundLoad::JoinThread()
{
    std::thread* pThread = (std::thread*)m_pThread;
    if (pThread == nullptr)
        return;
    pThread->join();
    delete pThread;
    m_pThread = nullptr;
}

void CBackgroundLoad::Sleep()
{
    Signal* pSignal = (Signal*)m_pSignal;
    std::unique_lock<std::mutex> lock(pSignal->mutex);
    pSignal->changed.wait(lock, [pSignal] { return pSignal->bSet; });
    pSignal->bSet = false;
}

void CBackgroundLoad::Wake()
{
    Signal* pSignal = (Signal*)m_pSignal;
    {
        std::lock_guard<std::mutex> lock(pSignal->mutex);
        pSignal->bSet = true;
    }
    pSignal->changed.notify_one();
}
