// TOwner: the one owner of a system handle or interface pointer. Not
// copyable; closes what it holds when it goes; Detach() hands it on.
//
//     CFileOwner file(CreateFileA(...));
//     if (!file.IsValid()) return ...;
//
// Each handle type is one line below, its invalid value and its close
// function built into the traits.
#ifndef FRAMEWORK_OWNER_H
#define FRAMEWORK_OWNER_H

#include "framework/WinTypes.h"

template <typename T, typename Traits>
class TOwner
{
public:
    TOwner() : m_h(Traits::Invalid()) {}
    explicit TOwner(T h) : m_h(h) {}
    ~TOwner() { Close(); }

    bool IsValid() const { return m_h != Traits::Invalid(); }
    T Get() const { return m_h; }
    operator T() const { return m_h; }
    // Closes what was held and takes h.
    void Attach(T h)
    {
        Close();
        m_h = h;
    }
    // Gives up ownership without closing.
    T Detach()
    {
        T h = m_h;
        m_h = Traits::Invalid();
        return h;
    }
    // For functions that hand back a new handle through a pointer.
    T* Receive()
    {
        Close();
        return &m_h;
    }
    void Close()
    {
        if (IsValid())
            Traits::Close(m_h);
        m_h = Traits::Invalid();
    }

private:
    TOwner(const TOwner&) = delete;
    TOwner& operator=(const TOwner&) = delete;
    T m_h;
};

#ifdef _WIN32
// Process, thread and event handles: null when there is none.
struct CHandleTraits
{
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
// File handles from CreateFile: INVALID_HANDLE_VALUE when there is none.
struct CFileHandleTraits
{
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
// Listings from FindFirstFile.
struct CFindTraits
{
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};
// Registry keys. The predefined roots are never closed by their users, so
// an owner holds only keys that were opened or created.
struct CKeyTraits
{
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
// COM interface pointers.
template <typename I>
struct CInterfaceTraits
{
    static I* Invalid() { return nullptr; }
    static void Close(I* p) { p->Release(); }
};

typedef TOwner<HANDLE, CHandleTraits> CHandleOwner;
typedef TOwner<HANDLE, CFileHandleTraits> CFileOwner;
typedef TOwner<HANDLE, CFindTraits> CFindOwner;
typedef TOwner<HKEY, CKeyTraits> CKeyOwner;
template <typename I>
using TInterfaceOwner = TOwner<I*, CInterfaceTraits<I>>;
#endif

#endif
