// CBackgroundLoad: the reader and the waiting, apart from the platform.
#include "script/BackgroundLoad.h"

#include "framework/Exceptions.h"
#include "objects/ErrorCodes.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/ScriptLists.h"

CBackgroundLoad::CBackgroundLoad(CInstaller* pInstaller)
    : m_pInstaller(pInstaller),
      m_pFile(nullptr),
      m_pArchive(nullptr),
      m_nState(0),
      m_nResult(kReading),
      m_bWaiting(false),
      m_bCancelled(false)
{
}

CBackgroundLoad::~CBackgroundLoad()
{
    Cancel();
    m_reader.Join();
    {
        CExceptionScope scope;  // what closing reports is of no use now
        delete m_pArchive;
        m_pArchive = nullptr;
    }
    if (m_pFile != nullptr)
        m_pFile->Abort();
    delete m_pFile;
}

int CBackgroundLoad::Start(CFile* pFile)
{
    m_pFile = pFile;
    CInstaller::RegisterClasses();
    {
        CExceptionScope scope;
        m_pArchive = PackageArchive::OpenInstallerPackage(m_pFile);
        if (m_pArchive == nullptr)
            AfxThrowMemoryException();
        // An empty program file holds no script: nothing to read.
        bool bEmpty = !scope.Failed() && m_pFile->GetLength() == 0;
        int nResult = scope.Failed() ? ERR_FAILED : ERR_OK;
        if (nResult != ERR_OK || bEmpty)
        {
            Finish(nResult);
            return nResult;
        }
    }
    // Without a thread the script is read here, before the run, as a plain
    // load would read it.
    if (!m_changed.IsValid() || !m_reader.Start(RunReader, this))
        Read();
    return ERR_OK;
}

void CBackgroundLoad::Read()
{
    int nResult;
    {
        CExceptionScope scope;
        m_pInstaller->Serialize(*m_pArchive);
        m_pArchive->Close();
        delete m_pArchive;
        m_pArchive = nullptr;
        nResult = scope.Failed() ? ERR_FAILED : ERR_OK;
    }
    Finish(nResult);
}

void CBackgroundLoad::Finish(int nResult)
{
    if (nResult == ERR_OK)
        m_nState.store((unsigned)LIST_COUNT << kCountBits);
    m_nResult.store(nResult);
    Wake();
}

void CBackgroundLoad::Published(int nList, DWORD nCount)
{
    if (m_bCancelled.load(std::memory_order_relaxed))
    {
        AfxThrowUserException();
        return;
    }
    if (nCount > kCountMask)
    {
        // More objects than the progress word can count: no real script.
        AfxThrowArchiveException(CArchiveException::generic, 0);
        return;
    }
    m_nState.store((unsigned)nList << kCountBits | (unsigned)nCount);
    Wake();
}

bool CBackgroundLoad::HasReached(int nList, DWORD nIndex) const
{
    unsigned nState = m_nState.load();
    int nAt = (int)(nState >> kCountBits);
    return nAt > nList || (nAt == nList && nIndex != kWholeList && (nState & kCountMask) > nIndex);
}

int CBackgroundLoad::WaitForElement(int nList, DWORD nIndex)
{
    for (;;)
    {
        if (HasReached(nList, nIndex))
            return ERR_OK;
        if (m_nResult.load() != kReading)
            return HasReached(nList, nIndex) ? ERR_OK : ERR_FAILED;
        // Say that the run sleeps, then look again: a reader that published
        // in between either sees the flag and wakes it, or is seen here.
        m_bWaiting.store(true);
        if (!HasReached(nList, nIndex) && m_nResult.load() == kReading)
            m_changed.Wait();
        m_bWaiting.store(false);
    }
}

int CBackgroundLoad::WaitForEnd()
{
    for (;;)
    {
        int nResult = m_nResult.load();
        if (nResult != kReading)
            return nResult;
        m_bWaiting.store(true);
        if (m_nResult.load() == kReading)
            m_changed.Wait();
        m_bWaiting.store(false);
    }
}

void CBackgroundLoad::Cancel()
{
    m_bCancelled.store(true);
}

void CBackgroundLoad::Wake()
{
    if (m_bWaiting.load() && m_changed.IsValid())
        m_changed.Set();
}
