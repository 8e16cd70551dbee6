// CThread and CAutoEvent on Windows: CreateThread and an auto-reset event.
#include "framework/Thread.h"

CThread::CThread() : m_pfn(nullptr), m_pArg(nullptr) {}

CThread::~CThread()
{
    Join();
}

DWORD WINAPI CThread::Entry(LPVOID pThread)
{
    CThread* pThis = (CThread*)pThread;
    pThis->m_pfn(pThis->m_pArg);
    return 0;
}

bool CThread::Start(ThreadProc pfn, void* pArg)
{
    if (m_hThread.IsValid())
        return false;
    // Set before the thread exists, so it reads them without a lock.
    m_pfn = pfn;
    m_pArg = pArg;
    DWORD dwId;
    m_hThread.Attach(CreateThread(nullptr, 0, Entry, this, 0, &dwId));
    return m_hThread.IsValid();
}

void CThread::Join()
{
    if (!m_hThread.IsValid())
        return;
    WaitForSingleObject(m_hThread, INFINITE);
    m_hThread.Close();
}

bool CThread::IsStarted() const
{
    return m_hThread.IsValid();
}

CAutoEvent::CAutoEvent() : m_hEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

CAutoEvent::~CAutoEvent() {}

bool CAutoEvent::IsValid() const
{
    return m_hEvent.IsValid();
}

void CAutoEvent::Set()
{
    SetEvent(m_hEvent);
}

void CAutoEvent::Wait()
{
    WaitForSingleObject(m_hEvent, INFINITE);
}

bool CAutoEvent::Wait(DWORD nMilliseconds)
{
    return WaitForSingleObject(m_hEvent, nMilliseconds) == WAIT_OBJECT_0;
}
