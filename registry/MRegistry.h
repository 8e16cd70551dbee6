// MRegistry: one main key and one sub-key handle, the few registry calls the
// registry classes need, and a log line for each failed call.
#ifndef REGISTRY_MREGISTRY_H
#define REGISTRY_MREGISTRY_H

#include "framework/WinTypes.h"

class MRegistry
{
public:
    MRegistry();
    // Closes neither handle: the derived classes close the main key, and
    // every operation that opens a sub-key closes it again.
    virtual ~MRegistry();

    // Opens root\path into m_hKey, creating every missing key of the path
    // (KEY_READ | KEY_WRITE, non-volatile). A key held before is not closed.
    LONG Open(HKEY hRoot, const char* pszPath);
    // Opens parent\name into m_hSubKey.
    LONG OpenSubKey(HKEY hParent, const char* pszName);
    // Reads a value of the key into the buffer; on failure the buffer holds
    // the empty string (a value larger than the buffer fails too).
    LONG GetString(HKEY hKey, const char* pszValueName, char* pszBuffer, DWORD nSize);
    // Flushes and closes m_hSubKey; 0 when there is none. m_hSubKey is null
    // afterwards in every case.
    LONG CloseSubKey();
    // Flushes and closes the given key. The key is closed even when the
    // flush fails (the flush's result is returned then): a handle is never
    // left behind.
    LONG Close(HKEY hKey);
    // Deletes the named value of m_hKey; null or empty is the default value.
    LONG DeleteKeyValue(const char* pszName);

    HKEY GetKey() const { return m_hKey; }
    HKEY GetSubKey() const { return m_hSubKey; }
    LONG GetLastResult() const { return m_nLastError; }

protected:
    HKEY m_hSubKey;
    HKEY m_hKey;
    LONG m_nLastError;  // result of the last Open, OpenSubKey, GetString or CloseSubKey

private:
    MRegistry(const MRegistry&) = delete;
    MRegistry& operator=(const MRegistry&) = delete;
};

#endif
