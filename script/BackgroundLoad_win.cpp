// CBackgroundLoad on Windows: a thread of the process and an auto-reset
// event (the run is the only one who waits on it).
#include <windows.h>

#include "script/BackgroundLoad.h"

namespace
{
DWORD WINAPI ReaderThread(LPVOID pParameter)
{
    CBackgroundLoad::RunReader(pParameter);
    return 0;
}
}  // namespace

bool CBackgroundLoad::CreateSignal()
{
    m_pSignal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return m_pSignal != nullptr;
}

void CBackgroundLoad::DestroySignal()
{
    if (m_pSignal != nullptr)
        CloseHandle((HANDLE)m_pSignal);
    m_pSignal = nullptr;
}

bool CBackgroundLoad::StartThread()
{
    DWORD dwId;
    m_pThread = CreateThread(nullptr, 0, ReaderThread, this, 0, &dwId);
    return m_pThread != nullptr;
}

void CBackgroundLoad::JoinThread()
{
    if (m_pThread == nullptr)
        return;
    WaitForSingleObject((HANDLE)m_pThread, INFINITE);
    CloseHandle((HANDLE)m_pThread);
    m_pThread = nullptr;
}

void CBackgroundLoad::Sleep()
{
    WaitForSingleObject((HANDLE)m_pSignal, INFINITE);
}

void CBackgroundLoad::Wake()
{
    SetEvent((HANDLE)m_pSignal);
}
