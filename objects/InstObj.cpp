// CInstObj: stream form and the byte-pattern search.
#include "objects/InstObj.h"

#include <string.h>

#include "framework/Exceptions.h"
#include "script/Installer.h"

IMPLEMENT_SERIAL(CInstObj, CObject, 1)

CInstObj::CInstObj() : m_nSchema(1), m_nMode(0), m_pInstaller(nullptr), m_bRecordUndo(1)
{
}

CInstObj::~CInstObj()
{
}

void CInstObj::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar << m_nMode;
        ar << m_strErrorTextName;
        return;
    }
    m_nSchema = ar.GetObjectSchema();
    if (m_nSchema != 1)
        return;
    ar >> m_nMode;
    ar >> m_strErrorTextName;
}

int CInstObj::Validate()
{
    return ERR_OK;
}

int CInstObj::ExpandVariables()
{
    return ERR_OK;
}

int CInstObj::Execute(CInstaller* pInstaller)
{
    m_pInstaller = pInstaller;
    return ERR_OK;
}

int CInstObj::PrepareExecute(CInstaller* pInstaller)
{
    m_pInstaller = pInstaller;
    if (pInstaller == nullptr)
        return ERR_NO_INSTALLER;
    int r = IsUndoRecord() ? ERR_OK : ExpandVariables();
    return r != ERR_OK ? r : Validate();
}

int CInstObj::HandOverUndo(CInstObj* pRecord, int nSetUp)
{
    if (pRecord == nullptr)
        return ERR_NO_MEMORY;
    int r = nSetUp;
    if (r == ERR_OK)
        r = m_pInstaller != nullptr ? m_pInstaller->AddUndo(pRecord) : ERR_NO_INSTALLER;
    if (r == ERR_OK)
        return ERR_OK;
    delete pRecord;
    // A set-up that ran out of memory may have left the exception pending
    // instead of saying so.
    return r == ERR_NO_MEMORY || AfxExceptionPending() ? ERR_NO_MEMORY : ERR_UNDO_RECORD;
}

int CInstObj::ExpandAll(CStringArray& strings)
{
    if (m_pInstaller == nullptr)
        return ERR_NO_INSTALLER;
    for (int i = 0; i < strings.GetSize(); i++)
    {
        int r = m_pInstaller->ExpandString(strings.ElementAt(i));
        if (r != ERR_OK)
            return r;
    }
    return ERR_OK;
}

bool CInstObj::FindPattern(const BYTE* pData, unsigned nLength, int* pPosition, const CByteArray& pattern)
{
    unsigned nPattern = (unsigned)pattern.GetSize();
    if (nPattern == 0)
        return false;
    const BYTE* pPattern = pattern.GetData();
    if (*pPosition >= 0 && (unsigned)*pPosition < nLength && nPattern <= nLength - (unsigned)*pPosition)
    {
        // The first occurrence, as a byte-by-byte scan with restart finds it:
        // look for the first byte, then compare the rest.
        const BYTE* p = pData + *pPosition;
        const BYTE* pLast = pData + (nLength - nPattern);
        while (p <= pLast)
        {
            p = (const BYTE*)memchr(p, pPattern[0], (size_t)(pLast - p) + 1);
            if (p == nullptr)
                break;
            if (memcmp(p + 1, pPattern + 1, nPattern - 1) == 0)
            {
                *pPosition = (int)(p - pData);
                return true;
            }
            p++;
        }
    }
    *pPosition = 0;
    return false;
}
