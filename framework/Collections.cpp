// CByteArray, CStringArray, CObArray and CObList.
#include "framework/Collections.h"

#include <new>
#include <stdlib.h>
#include <string.h>
#include <type_traits>

#include "framework/Archive.h"
#include "framework/BlockHeap.h"
#include "framework/Exceptions.h"
#include "framework/FaultHooks.h"

IMPLEMENT_SERIAL(CByteArray, CObject, 0)
IMPLEMENT_SERIAL(CStringArray, CObject, 0)
IMPLEMENT_SERIAL(CObArray, CObject, 0)
IMPLEMENT_SERIAL(CObList, CObject, 0)

namespace afx
{
// The element types (bytes, pointers, CString) may all be moved by copying
// their bytes, so the block is grown with realloc (AfxReallocBlock).
template <class T>
ArrayStorage<T>::~ArrayStorage()
{
    for (int i = 0; i < m_nSize; i++)
        m_pData[i].~T();
    AfxFreeBlock(m_pData, (size_t)m_nMaxSize * sizeof(T));
}

template <class T>
BOOL ArrayStorage<T>::SetSize(int nNewSize, int nGrowBy, bool bZero)
{
    if (nGrowBy >= 0)
        m_nGrowBy = nGrowBy;
    if (nNewSize < 0 || (size_t)nNewSize > (size_t)0x7FFFFFF0 / sizeof(T))
    {
        AfxThrowMemoryException();
        return FALSE;
    }
    if (nNewSize == 0)
    {
        for (int i = 0; i < m_nSize; i++)
            m_pData[i].~T();
        AfxFreeBlock(m_pData, (size_t)m_nMaxSize * sizeof(T));
        m_pData = nullptr;
        m_nSize = m_nMaxSize = 0;
        return TRUE;
    }
    if (nNewSize > m_nMaxSize)
    {
        int nGrow = m_nGrowBy;
        if (nGrow <= 0)
        {
            nGrow = m_nSize / 8;
            nGrow = nGrow < 4 ? 4 : (nGrow > 1024 ? 1024 : nGrow);
        }
        int nNewMax = m_nMaxSize + nGrow;
        if (nNewMax < nNewSize || (size_t)nNewMax > (size_t)0x7FFFFFF0 / sizeof(T))
            nNewMax = nNewSize;
        T* pNew = FaultAllocationFails() ? nullptr
                                         : (T*)AfxReallocBlock((void*)m_pData, (size_t)m_nMaxSize * sizeof(T),
                                                               (size_t)nNewMax * sizeof(T));
        if (pNew == nullptr)
        {
            AfxThrowMemoryException();
            return FALSE;
        }
        m_pData = pNew;
        m_nMaxSize = nNewMax;
    }
    if (std::is_trivially_default_constructible<T>::value)
    {
        if (nNewSize > m_nSize && bZero)
            memset((void*)&m_pData[m_nSize], 0, (size_t)(nNewSize - m_nSize) * sizeof(T));
    }
    else
    {
        for (int i = m_nSize; i < nNewSize; i++)
            new (&m_pData[i]) T();
        for (int i = nNewSize; i < m_nSize; i++)
            m_pData[i].~T();
    }
    m_nSize = nNewSize;
    return TRUE;
}

template <class T>
BOOL ArrayStorage<T>::InsertAt(int nIndex, const T& value)
{
    T copy(value);  // value may live in this array
    int nOldSize = m_nSize;
    if (!SetSize(nOldSize + 1, -1))
        return FALSE;
    m_pData[nOldSize].~T();
    memmove((void*)&m_pData[nIndex + 1], (void*)&m_pData[nIndex], (size_t)(nOldSize - nIndex) * sizeof(T));
    new (&m_pData[nIndex]) T(static_cast<T&&>(copy));
    return TRUE;
}

template <class T>
void ArrayStorage<T>::RemoveAt(int nIndex, int nCount)
{
    for (int i = nIndex; i < nIndex + nCount; i++)
        m_pData[i].~T();
    memmove((void*)&m_pData[nIndex], (void*)&m_pData[nIndex + nCount],
            (size_t)(m_nSize - nIndex - nCount) * sizeof(T));
    m_nSize -= nCount;
}

// Reads a count and that many new objects, handing each to add; stops at
// the first fault. An object that cannot be added is deleted.
template <class Add>
void LoadNewObjects(CArchive& ar, const CRuntimeClass* pElementClass, Add add)
{
    DWORD nCount = ar.ReadCount();
    if (!ar.EnsureAvailable(nCount, 2))
        return;
    for (DWORD i = 0; i < nCount; i++)
    {
        CObject* p = ar.ReadNewObject(pElementClass);
        if (p == nullptr)
            return;
        if (!add(p))
        {
            delete p;
            return;
        }
    }
}

template class ArrayStorage<BYTE>;
template class ArrayStorage<CString>;
template class ArrayStorage<CObject*>;
}  // namespace afx

// --- CByteArray ---

int CByteArray::Add(BYTE b)
{
    int n = m_a.m_nSize;
    if (!m_a.InsertAt(n, b))
        return -1;
    return n;
}

BOOL CByteArray::Append(const BYTE* pData, int nCount)
{
    int nOld = m_a.m_nSize;
    if (nCount <= 0)
        return TRUE;
    if (nCount > 0x7FFFFFF0 - nOld || !m_a.SetSize(nOld + nCount, -1))
        return FALSE;
    memcpy(m_a.m_pData + nOld, pData, nCount);
    return TRUE;
}

BOOL CByteArray::Copy(const BYTE* pData, int nCount)
{
    if (pData >= m_a.m_pData && pData < m_a.m_pData + m_a.m_nSize)
    {
        CByteArray copy;
        return copy.Copy(pData, nCount) && Copy(copy);
    }
    if (!m_a.SetSize(nCount, -1))
        return FALSE;
    if (nCount > 0)
        memcpy(m_a.m_pData, pData, nCount);
    return TRUE;
}

BOOL CByteArray::Copy(const CByteArray& src)
{
    if (&src == this)
        return TRUE;
    return Copy(src.GetData(), src.GetSize());
}

void CByteArray::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar.WriteCount((DWORD)GetSize());
        ar.Write(GetData(), (UINT)GetSize());
        return;
    }
    DWORD nCount = ar.ReadCount();
    // The bytes are read over the new elements, so they need no zeroing;
    // what a failed read leaves is dropped.
    if (!ar.EnsureAvailable(nCount, 1) || !m_a.SetSize((int)nCount, -1, false))
        return;
    if (!ar.ReadAll(GetData(), nCount))
        RemoveAll();
}

// --- CStringArray ---

int CStringArray::Add(const CString& s)
{
    int n = m_a.m_nSize;
    if (!m_a.InsertAt(n, s))
        return -1;
    return n;
}

BOOL CStringArray::Copy(const CStringArray& src)
{
    if (&src == this)
        return TRUE;
    if (!m_a.SetSize(src.GetSize(), -1))
        return FALSE;
    for (int i = 0; i < src.GetSize(); i++)
        m_a.m_pData[i] = src.m_a.m_pData[i];
    return TRUE;
}

void CStringArray::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar.WriteCount((DWORD)GetSize());
        for (int i = 0; i < GetSize(); i++)
            ar << GetAt(i);
        return;
    }
    DWORD nCount = ar.ReadCount();
    if (!ar.EnsureAvailable(nCount, 1) || !SetSize((int)nCount))
        return;
    for (int i = 0; i < GetSize() && !AfxExceptionPending(); i++)
        ar >> ElementAt(i);
}

// --- CObArray ---

int CObArray::Add(CObject* p)
{
    int n = m_a.m_nSize;
    if (!m_a.InsertAt(n, p))
        return -1;
    return n;
}

void CObArray::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar.WriteCount((DWORD)GetSize());
        for (int i = 0; i < GetSize(); i++)
            ar.WriteObject(GetAt(i));
        return;
    }
    LoadElements(ar, ar.GetElementClass());
}

void CObArray::LoadElements(CArchive& ar, const CRuntimeClass* pElementClass)
{
    afx::LoadNewObjects(ar, pElementClass, [this](CObject* p) { return Add(p) >= 0; });
}

// --- CObList ---

CObList::CObList(int nBlockSize)
    : m_pNodeHead(nullptr),
      m_pNodeTail(nullptr),
      m_nCount(0),
      m_pNodeFree(nullptr),
      m_pBlocks(nullptr),
      m_nBlockSize(nBlockSize > 0 ? nBlockSize : 10)
{
}

CObList::~CObList()
{
    while (m_pBlocks != nullptr)
    {
        CBlock* p = m_pBlocks;
        m_pBlocks = p->pNext;
        free(p);
    }
}

// Nodes come from blocks of m_nBlockSize that live as long as the list.
CObList::CNode* CObList::NewNode(CNode* pPrev, CNode* pNext)
{
    if (m_pNodeFree == nullptr)
    {
        CBlock* pBlock = FaultAllocationFails() ? nullptr
                         : (CBlock*)malloc(sizeof(CBlock) + (size_t)m_nBlockSize * sizeof(CNode));
        if (pBlock == nullptr)
        {
            AfxThrowMemoryException();
            return nullptr;
        }
        pBlock->pNext = m_pBlocks;
        m_pBlocks = pBlock;
        CNode* pNode = (CNode*)(pBlock + 1) + m_nBlockSize - 1;
        for (int i = 0; i < m_nBlockSize; i++, pNode--)
        {
            pNode->pNext = m_pNodeFree;
            m_pNodeFree = pNode;
        }
    }
    CNode* pNode = m_pNodeFree;
    m_pNodeFree = pNode->pNext;
    pNode->pPrev = pPrev;
    pNode->pNext = pNext;
    pNode->data = nullptr;
    m_nCount++;
    return pNode;
}

void CObList::FreeNode(CNode* pNode)
{
    pNode->pNext = m_pNodeFree;
    m_pNodeFree = pNode;
    m_nCount--;
}

CObject* CObList::GetHead() const
{
    return m_pNodeHead->data;
}

CObject* CObList::GetTail() const
{
    return m_pNodeTail->data;
}

POSITION CObList::AddHead(CObject* p)
{
    CNode* pNode = NewNode(nullptr, m_pNodeHead);
    if (pNode == nullptr)
        return nullptr;
    pNode->data = p;
    if (m_pNodeHead != nullptr)
        m_pNodeHead->pPrev = pNode;
    else
        m_pNodeTail = pNode;
    m_pNodeHead = pNode;
    return (POSITION)pNode;
}

POSITION CObList::AddTail(CObject* p)
{
    CNode* pNode = NewNode(m_pNodeTail, nullptr);
    if (pNode == nullptr)
        return nullptr;
    pNode->data = p;
    if (m_pNodeTail != nullptr)
        m_pNodeTail->pNext = pNode;
    else
        m_pNodeHead = pNode;
    m_pNodeTail = pNode;
    return (POSITION)pNode;
}

CObject* CObList::RemoveHead()
{
    CNode* pNode = m_pNodeHead;
    CObject* p = pNode->data;
    m_pNodeHead = pNode->pNext;
    if (m_pNodeHead != nullptr)
        m_pNodeHead->pPrev = nullptr;
    else
        m_pNodeTail = nullptr;
    FreeNode(pNode);
    return p;
}

CObject* CObList::RemoveTail()
{
    CNode* pNode = m_pNodeTail;
    CObject* p = pNode->data;
    m_pNodeTail = pNode->pPrev;
    if (m_pNodeTail != nullptr)
        m_pNodeTail->pNext = nullptr;
    else
        m_pNodeHead = nullptr;
    FreeNode(pNode);
    return p;
}

void CObList::RemoveAll()
{
    while (m_pNodeHead != nullptr)
        RemoveHead();
}

POSITION CObList::GetHeadPosition() const
{
    return (POSITION)m_pNodeHead;
}

POSITION CObList::GetTailPosition() const
{
    return (POSITION)m_pNodeTail;
}

CObject* CObList::GetNext(POSITION& pos) const
{
    CNode* pNode = (CNode*)pos;
    pos = (POSITION)pNode->pNext;
    return pNode->data;
}

CObject* CObList::GetPrev(POSITION& pos) const
{
    CNode* pNode = (CNode*)pos;
    pos = (POSITION)pNode->pPrev;
    return pNode->data;
}

CObject* CObList::GetAt(POSITION pos) const
{
    return ((CNode*)pos)->data;
}

void CObList::SetAt(POSITION pos, CObject* p)
{
    ((CNode*)pos)->data = p;
}

void CObList::RemoveAt(POSITION pos)
{
    CNode* pNode = (CNode*)pos;
    if (pNode == m_pNodeHead)
        m_pNodeHead = pNode->pNext;
    else
        pNode->pPrev->pNext = pNode->pNext;
    if (pNode == m_pNodeTail)
        m_pNodeTail = pNode->pPrev;
    else
        pNode->pNext->pPrev = pNode->pPrev;
    FreeNode(pNode);
}

POSITION CObList::Find(const CObject* p, POSITION startAfter) const
{
    CNode* pNode = startAfter != nullptr ? ((CNode*)startAfter)->pNext : m_pNodeHead;
    for (; pNode != nullptr; pNode = pNode->pNext)
        if (pNode->data == p)
            return (POSITION)pNode;
    return nullptr;
}

void CObList::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar.WriteCount((DWORD)m_nCount);
        for (CNode* pNode = m_pNodeHead; pNode != nullptr; pNode = pNode->pNext)
            ar.WriteObject(pNode->data);
        return;
    }
    LoadElements(ar, ar.GetElementClass());
}

void CObList::LoadElements(CArchive& ar, const CRuntimeClass* pElementClass)
{
    LoadElements(ar, pElementClass, nullptr, nullptr);
}

void CObList::LoadElements(CArchive& ar, const CRuntimeClass* pElementClass, LoadedFunction pfnLoaded, void* pContext)
{
    afx::LoadNewObjects(ar, pElementClass, [&](CObject* p) {
        if (AddTail(p) == nullptr)
            return false;
        // An object whose reading failed stays with the list (its owner
        // deletes it) but is never announced as read.
        if (pfnLoaded != nullptr && !AfxExceptionPending())
            pfnLoaded(pContext, (DWORD)m_nCount);
        return true;
    });
}
