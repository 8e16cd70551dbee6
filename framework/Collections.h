// The framework's collections: CByteArray, CStringArray, CObArray, CObList.
// In a package every collection owns what it holds, so loading refuses a null
// element or a second reference to an object read before (see CArchive).
#ifndef FRAMEWORK_COLLECTIONS_H
#define FRAMEWORK_COLLECTIONS_H

#include "framework/Object.h"
#include "framework/String.h"

namespace afx
{
// Growable storage shared by the three arrays. Elements beyond the size are
// not constructed; a failed allocation leaves the array as it was and throws a
// memory exception.
template <class T>
class ArrayStorage
{
public:
    ArrayStorage() : m_pData(nullptr), m_nSize(0), m_nMaxSize(0), m_nGrowBy(-1) {}
    ~ArrayStorage();

    // New elements are zero (or default-constructed) unless bZero is false,
    // which leaves new bytes and pointers as they come.
    BOOL SetSize(int nNewSize, int nGrowBy, bool bZero = true);
    void RemoveAll() { SetSize(0, -1); }
    BOOL InsertAt(int nIndex, const T& value);
    void RemoveAt(int nIndex, int nCount);

    T* m_pData;
    int m_nSize;
    int m_nMaxSize;
    int m_nGrowBy;

private:
    ArrayStorage(const ArrayStorage&) = delete;
    ArrayStorage& operator=(const ArrayStorage&) = delete;
};
}  // namespace afx

class CByteArray : public CObject
{
    DECLARE_SERIAL(CByteArray)
public:
    CByteArray() {}

    int GetSize() const { return m_a.m_nSize; }
    int GetUpperBound() const { return m_a.m_nSize - 1; }
    BOOL SetSize(int nNewSize, int nGrowBy = -1) { return m_a.SetSize(nNewSize, nGrowBy); }
    void RemoveAll() { m_a.RemoveAll(); }

    BYTE GetAt(int nIndex) const { return m_a.m_pData[nIndex]; }
    void SetAt(int nIndex, BYTE b) { m_a.m_pData[nIndex] = b; }
    BYTE& ElementAt(int nIndex) { return m_a.m_pData[nIndex]; }
    BYTE operator[](int nIndex) const { return m_a.m_pData[nIndex]; }
    BYTE& operator[](int nIndex) { return m_a.m_pData[nIndex]; }
    const BYTE* GetData() const { return m_a.m_pData; }
    BYTE* GetData() { return m_a.m_pData; }

    int Add(BYTE b);
    // Appends nCount bytes; returns FALSE when memory is exhausted.
    BOOL Append(const BYTE* pData, int nCount);
    BOOL Append(const CByteArray& src) { return Append(src.GetData(), src.GetSize()); }
    BOOL Copy(const CByteArray& src);
    BOOL Copy(const BYTE* pData, int nCount);

    // Stream form: a count, then the bytes as they are.
    void Serialize(CArchive& ar) override;

private:
    afx::ArrayStorage<BYTE> m_a;
};

class CStringArray : public CObject
{
    DECLARE_SERIAL(CStringArray)
public:
    CStringArray() {}

    int GetSize() const { return m_a.m_nSize; }
    int GetUpperBound() const { return m_a.m_nSize - 1; }
    BOOL SetSize(int nNewSize, int nGrowBy = -1) { return m_a.SetSize(nNewSize, nGrowBy); }
    void RemoveAll() { m_a.RemoveAll(); }

    const CString& GetAt(int nIndex) const { return m_a.m_pData[nIndex]; }
    void SetAt(int nIndex, const CString& s) { m_a.m_pData[nIndex] = s; }
    CString& ElementAt(int nIndex) { return m_a.m_pData[nIndex]; }
    const CString& operator[](int nIndex) const { return m_a.m_pData[nIndex]; }
    CString& operator[](int nIndex) { return m_a.m_pData[nIndex]; }

    // Index of the new element, or -1 when memory is exhausted.
    int Add(const CString& s);
    BOOL Copy(const CStringArray& src);

    // Stream form: a count, then each string.
    void Serialize(CArchive& ar) override;

private:
    afx::ArrayStorage<CString> m_a;
};

class CObArray : public CObject
{
    DECLARE_SERIAL(CObArray)
public:
    CObArray() {}

    int GetSize() const { return m_a.m_nSize; }
    int GetUpperBound() const { return m_a.m_nSize - 1; }
    BOOL SetSize(int nNewSize, int nGrowBy = -1) { return m_a.SetSize(nNewSize, nGrowBy); }
    // Forgets the pointers; deleting the objects is the owner's business.
    void RemoveAll() { m_a.RemoveAll(); }

    CObject* GetAt(int nIndex) const { return m_a.m_pData[nIndex]; }
    void SetAt(int nIndex, CObject* p) { m_a.m_pData[nIndex] = p; }
    CObject*& ElementAt(int nIndex) { return m_a.m_pData[nIndex]; }
    CObject* operator[](int nIndex) const { return m_a.m_pData[nIndex]; }
    CObject*& operator[](int nIndex) { return m_a.m_pData[nIndex]; }

    int Add(CObject* p);
    void RemoveAt(int nIndex, int nCount = 1) { m_a.RemoveAt(nIndex, nCount); }

    // Stream form: a count, then each element as an object.
    void Serialize(CArchive& ar) override;
    // Loading half of Serialize, for owners that know their elements' class:
    // appends the new objects read, each of pElementClass (any class when
    // null); stops at the first fault, keeping what was read before it.
    void LoadElements(CArchive& ar, const CRuntimeClass* pElementClass);

private:
    afx::ArrayStorage<CObject*> m_a;
};

struct __POSITION;
typedef __POSITION* POSITION;

class CObList : public CObject
{
    DECLARE_SERIAL(CObList)
public:
    explicit CObList(int nBlockSize = 10);
    ~CObList() override;

    int GetCount() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }

    CObject* GetHead() const;
    CObject* GetTail() const;
    // Null POSITION when memory is exhausted.
    POSITION AddHead(CObject* p);
    POSITION AddTail(CObject* p);
    CObject* RemoveHead();
    CObject* RemoveTail();
    // Forgets the pointers; deleting the objects is the owner's business.
    void RemoveAll();

    POSITION GetHeadPosition() const;
    POSITION GetTailPosition() const;
    CObject* GetNext(POSITION& pos) const;
    CObject* GetPrev(POSITION& pos) const;
    CObject* GetAt(POSITION pos) const;
    void SetAt(POSITION pos, CObject* p);
    void RemoveAt(POSITION pos);
    POSITION Find(const CObject* p, POSITION startAfter = nullptr) const;

    // Stream form: a count, then each element as an object.
    void Serialize(CArchive& ar) override;
    // Loading half of Serialize, for owners that know their elements' class:
    // appends the new objects read, each of pElementClass (any class when
    // null); stops at the first fault, keeping what was read before it.
    void LoadElements(CArchive& ar, const CRuntimeClass* pElementClass);
    // The same, telling pfnLoaded(pContext, count) after each element that
    // has been read whole and has joined the list. The observer stops the
    // reading by throwing.
    typedef void (*LoadedFunction)(void* pContext, DWORD nLoaded);
    void LoadElements(CArchive& ar, const CRuntimeClass* pElementClass, LoadedFunction pfnLoaded, void* pContext);

private:
    struct CNode
    {
        CNode* pNext;
        CNode* pPrev;
        CObject* data;
    };
    struct CBlock
    {
        CBlock* pNext;
    };

    CNode* NewNode(CNode* pPrev, CNode* pNext);
    void FreeNode(CNode* pNode);

    CNode* m_pNodeHead;
    CNode* m_pNodeTail;
    int m_nCount;
    CNode* m_pNodeFree;
    CBlock* m_pBlocks;
    int m_nBlockSize;
};

#endif
