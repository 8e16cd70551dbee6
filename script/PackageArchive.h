// PackageArchive: a CArchive over a package stream (see PackageFormat.h).
// Loading reads and checks the whole stream at construction and inflates it
// as the archive reads; storing collects everything in memory and packs it
// when the archive is closed. The storing half (PackageArchiveStore.cpp) is
// reached only through the public constructor, so that the stub, which opens
// its package with OpenInstallerPackage, carries no package writer.
#ifndef SCRIPT_PACKAGEARCHIVE_H
#define SCRIPT_PACKAGEARCHIVE_H

#include "framework/Archive.h"
#include "framework/MemFile.h"
#include "framework/String.h"
#include "script/InflateFile.h"

// Shows the archive's one message to the user.
typedef void (*PackageMessageHandler)(const char* pszText);

class PackageArchive : public CArchive
{
public:
    // The first four arguments are CArchive's. A non-empty password makes
    // the stream packed whatever bCompressed says. Loading a packed stream
    // reads the rest of pFile from its current position; a package that
    // cannot be read throws (CUserException for a wrong password or damaged
    // body, CArchiveException for a short or undecodable one).
    PackageArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf, const CString& strPassword,
                   BOOL bCompressed);
    virtual ~PackageArchive();

    // The archive an installer reads its own package with: loading, no
    // flush on delete, a 4096-byte buffer, the package password, packed.
    // Null when memory is exhausted; a package that cannot be read throws.
    static PackageArchive* OpenInstallerPackage(CFile* pFile);

    // Storing: packs what was written and writes header and body to the
    // file. Both directions release the memory.
    virtual void Close();
    // Releases the memory without writing anything.
    virtual void Abort();
    // Scrambles or unscrambles in place; false for an empty password.
    virtual bool Scramble(BYTE* pData, UINT nLength, const CString& strPassword);

    // Where "Password incorrect!!!" goes: by default a message box on
    // Windows and standard error elsewhere; null shows nothing. Returns the
    // previous handler.
    static PackageMessageHandler SetMessageHandler(PackageMessageHandler pfn);

    CString m_strPassword;
    BOOL m_bCompressed;
    CFile* m_pBaseFile;
    BYTE* m_pBlock;

protected:
    enum LoadOnly
    {
        loadOnly
    };
    // The constructor without the storing half; a storing archive made by
    // it alone packs nothing.
    PackageArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf, const CString& strPassword,
                   BOOL bCompressed, LoadOnly);

    void LoadPackage();
    void BeginStoring();
    void StorePacked();
    void ReleaseMemFile();

    CMemFile* m_pMemFile;        // storing, and loading a stream without signature
    CInflateFile* m_pInflateFile;  // loading a packed stream
    // Set by the storing half: packs and writes what was stored.
    void (PackageArchive::*m_pfnStore)();
};

// The platform's way of showing the message (PackageArchive_win/_host.cpp).
void ShowPackageMessage(const char* pszText);

#endif
