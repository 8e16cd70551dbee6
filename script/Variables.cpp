// Script variables and the expansion of references to them.
#include <stdlib.h>
#include <string.h>

#include "framework/Exceptions.h"
#include "objects/InstObjDefine.h"
#include "script/Installer.h"

namespace
{
// The limit a caller asks for applies to the result only. Whatever the
// limit, no expansion builds a text, finished or on the way, longer than
// this or the text itself: references to long values, or values that refer
// to each other, could otherwise multiply it with every step.
// Values that refer to each other can keep a long text changing with every
// reference; past kMaxChainedWork characters scanned the text counts as too
// long.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
const int kMaxWorkingLength = 1024 * 1024;
const long long kMaxChainedWork = 32 * 1024 * 1024;
#else
// The fuzz build keeps both bounds at a sixteenth of their size: the same
// code, but an input that reaches them costs milliseconds, not a tenth of
// a second, and the fuzzer can afford to reach them often.
const int kMaxWorkingLength = 64 * 1024;
const long long kMaxChainedWork = 2 * 1024 * 1024;
#endif

const CInstObjDefine* FindDefine(const CObList& defines, const char* pchName, int nLength)
{
    for (POSITION pos = defines.GetHeadPosition(); pos != nullptr;)
    {
        CObject* pObject = defines.GetNext(pos);
        if (pObject->IsKindOf(RUNTIME_CLASS(CInstObjDefine)) &&
            ((const CInstObjDefine*)pObject)->NameEquals(pchName, nLength))
            return (const CInstObjDefine*)pObject;
    }
    return nullptr;
}

// One reference of the text: "<name>" at [nStart, nEnd) as written, and
// the value that replaces it.
struct Reference
{
    int nStart;
    int nEnd;
    const CString* pValue;
    int nFirst;         // the first reference written the same way
    int nNextDistinct;  // the next reference not written like an earlier one
    unsigned nClean;    // generation of the working copy last seen without this text
};

// A growing array of references.
class CReferences
{
public:
    CReferences() : m_pData(nullptr), m_nCount(0), m_nAlloc(0) {}
    ~CReferences() { free(m_pData); }

    bool Add(int nStart, int nEnd, const CString* pValue)
    {
        if (m_nCount == m_nAlloc)
        {
            int nAlloc = m_nAlloc == 0 ? 16 : m_nAlloc * 2;
            Reference* p = (Reference*)realloc(m_pData, (size_t)nAlloc * sizeof(Reference));
            if (p == nullptr)
                return false;
            m_pData = p;
            m_nAlloc = nAlloc;
        }
        Reference& r = m_pData[m_nCount++];
        r.nStart = nStart;
        r.nEnd = nEnd;
        r.pValue = pValue;
        r.nFirst = -1;
        r.nNextDistinct = -1;
        r.nClean = 0;
        return true;
    }
    int GetCount() const { return m_nCount; }
    Reference& operator[](int i) { return m_pData[i]; }

private:
    CReferences(const CReferences&) = delete;
    CReferences& operator=(const CReferences&) = delete;

    Reference* m_pData;
    int m_nCount;
    int m_nAlloc;
};

// Index of the first occurrence of the bytes pSub[0, nSub) in p[nFrom, n), or -1.
int FindBytes(const char* p, int n, int nFrom, const char* pSub, int nSub)
{
    while (nFrom + nSub <= n)
    {
        const char* q = (const char*)memchr(p + nFrom, (unsigned char)pSub[0], (size_t)(n - nSub - nFrom) + 1);
        if (q == nullptr)
            return -1;
        if (memcmp(q, pSub, (size_t)nSub) == 0)
            return (int)(q - p);
        nFrom = (int)(q - p) + 1;
    }
    return -1;
}

enum
{
    REPLACE_TOO_LONG = -1,
    REPLACE_NO_MEMORY = -2
};

// Replaces every occurrence of pOld in strText, left to right and without
// overlaps, by pNew into strOut. Returns the count (strOut untouched when 0),
// REPLACE_TOO_LONG when the result would be longer than nMaxLength, or
// REPLACE_NO_MEMORY.
int ReplaceAll(const CString& strText, const char* pOld, int nOld, const char* pNew, int nNew, int nMaxLength,
               CString& strOut)
{
    const char* p = strText;
    int n = strText.GetLength();
    int nCount = 0;
    for (int i = FindBytes(p, n, 0, pOld, nOld); i >= 0; i = FindBytes(p, n, i + nOld, pOld, nOld))
        nCount++;
    if (nCount == 0)
        return 0;
    long long nLength = (long long)n + (long long)nCount * (nNew - nOld);
    if (nLength > nMaxLength)
        return REPLACE_TOO_LONG;
    CString strResult;
    char* pOut = strResult.GetBuffer((int)nLength);
    if (pOut == nullptr)
        return REPLACE_NO_MEMORY;
    int nFrom = 0;
    for (int i = FindBytes(p, n, 0, pOld, nOld); i >= 0; i = FindBytes(p, n, i + nOld, pOld, nOld))
    {
        memcpy(pOut, p + nFrom, (size_t)(i - nFrom));
        pOut += i - nFrom;
        memcpy(pOut, pNew, (size_t)nNew);
        pOut += nNew;
        nFrom = i + nOld;
    }
    memcpy(pOut, p + nFrom, (size_t)(n - nFrom));
    strResult.ReleaseBuffer((int)nLength);
    strOut = static_cast<CString&&>(strResult);
    return nCount;
}
}  // namespace

bool CInstaller::LookupVariable(const CString& strName, CString& strValue) const
{
    const CInstObjDefine* pDefine = FindDefine(m_DefineList, strName, strName.GetLength());
    if (pDefine == nullptr)
        return false;
    CExceptionScope scope;  // a failed copy leaves the value as it was
    strValue = pDefine->m_strValue;
    return !scope.Failed();
}

int CInstaller::AddVariable(const CString& strName, const CString& strValue)
{
    CInstObjDefine* pDefine = new CInstObjDefine;
    if (pDefine == nullptr)
        return ERR_NO_MEMORY;
    CExceptionScope scope;
    int r = pDefine->SetVariable(strName, strValue);
    if (scope.Failed())
        r = ERR_NO_MEMORY;
    if (r == ERR_OK && m_DefineList.AddTail(pDefine) == nullptr)
        r = ERR_NO_MEMORY;
    if (r != ERR_OK)
        delete pDefine;
    return r;
}

// Each reference, in the order written, replaces every occurrence of its own
// text in the working copy, so a value that holds the text of a later
// reference is replaced too; values are not expanded otherwise. When no value
// holds a "<", no such text can arise and one pass builds the same result.
int CInstaller::ExpandString(CString& strText, int nMaxLength)
{
    const char* p = strText;
    int nLength = strText.GetLength();
    const int nMaxWorking = nLength > kMaxWorkingLength ? nLength : kMaxWorkingLength;
    const int nMaxResult = nMaxLength >= 0 && nMaxLength < nMaxWorking ? nMaxLength : nMaxWorking;

    // The errors depend only on the text and the variables, so find them all
    // before anything is replaced.
    CReferences refs;
    int nOpen = -1;
    bool bChained = false;
    long long nResult = nLength;
    for (int i = 0; i < nLength; i++)
    {
        if (p[i] == '<')
        {
            if (nOpen >= 0)
                return ERR_BAD_REFERENCE;
            nOpen = i;
        }
        else if (p[i] == '>')
        {
            if (nOpen < 0)
                return ERR_BAD_REFERENCE;
            const CInstObjDefine* pDefine = FindDefine(m_DefineList, p + nOpen + 1, i - nOpen - 1);
            if (pDefine == nullptr)
                return ERR_UNDEFINED_VARIABLE;
            const CString& strValue = pDefine->m_strValue;
            if (!refs.Add(nOpen, i + 1, &strValue))
                return ERR_NO_MEMORY;
            if (strValue.Find('<') >= 0)
                bChained = true;
            nResult += strValue.GetLength() - (i + 1 - nOpen);
            nOpen = -1;
        }
    }
    // A "<" without its ">" at the end stays as it is.
    if (refs.GetCount() == 0)
        return ERR_OK;

    CExceptionScope scope;
    CString strWorking;
    if (!bChained)
    {
        if (nResult > nMaxResult)
            return ERR_TOO_LONG;
        char* pOut = strWorking.GetBuffer((int)nResult);
        if (pOut == nullptr || scope.Failed())
            return ERR_NO_MEMORY;
        int nFrom = 0;
        for (int k = 0; k < refs.GetCount(); k++)
        {
            const Reference& r = refs[k];
            memcpy(pOut, p + nFrom, (size_t)(r.nStart - nFrom));
            pOut += r.nStart - nFrom;
            memcpy(pOut, (const char*)*r.pValue, (size_t)r.pValue->GetLength());
            pOut += r.pValue->GetLength();
            nFrom = r.nEnd;
        }
        memcpy(pOut, p + nFrom, (size_t)(nLength - nFrom));
        strWorking.ReleaseBuffer((int)nResult);
    }
    else
    {
        // Only the result is held to the caller's limit: a working copy
        // beyond it may still shrink to fit (a value that brings references
        // to empty ones).
        strWorking = strText;
        if (scope.Failed())
            return ERR_NO_MEMORY;
        // A reference written like an earlier one finds nothing to replace
        // unless the working copy has changed since that one was replaced.
        unsigned nGeneration = 1;
        int nLastDistinct = -1;
        long long nWork = 0;
        for (int k = 0; k < refs.GetCount(); k++)
        {
            Reference& r = refs[k];
            const char* pOld = p + r.nStart;
            int nOld = r.nEnd - r.nStart;
            for (int j = nLastDistinct < 0 ? -1 : 0; j >= 0 && r.nFirst < 0; j = refs[j].nNextDistinct)
            {
                const Reference& s = refs[j];
                if (s.nEnd - s.nStart == nOld && memcmp(p + s.nStart, pOld, (size_t)nOld) == 0)
                    r.nFirst = j;
            }
            if (r.nFirst < 0)
            {
                r.nFirst = k;
                if (nLastDistinct >= 0)
                    refs[nLastDistinct].nNextDistinct = k;
                nLastDistinct = k;
            }
            Reference& first = refs[r.nFirst];
            if (first.nClean == nGeneration)
                continue;
            nWork += strWorking.GetLength();
            int nCount = ReplaceAll(strWorking, pOld, nOld, *r.pValue, r.pValue->GetLength(), nMaxWorking,
                                    strWorking);
            if (nCount == REPLACE_TOO_LONG)
                return ERR_TOO_LONG;
            if (nCount == REPLACE_NO_MEMORY || scope.Failed())
                return ERR_NO_MEMORY;
            if (nCount > 0)
            {
                nGeneration++;
                nWork += 2LL * strWorking.GetLength();
            }
            if (nWork > kMaxChainedWork)
                return ERR_TOO_LONG;
            // The replacement can join a new occurrence from the pieces
            // around it, so look again after a change.
            if (nCount == 0 || FindBytes(strWorking, strWorking.GetLength(), 0, pOld, nOld) < 0)
                first.nClean = nGeneration;
        }
        if (strWorking.GetLength() > nMaxResult)
            return ERR_TOO_LONG;
    }
    strText = static_cast<CString&&>(strWorking);
    return ERR_OK;
}
