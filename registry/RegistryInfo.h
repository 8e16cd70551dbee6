// RegistryInfo: an MRegistry with the key that OpenKey opened and its path,
// string reads and the deletion of whole key trees.
#ifndef REGISTRY_REGISTRYINFO_H
#define REGISTRY_REGISTRYINFO_H

#include "registry/MRegistry.h"

class RegistryInfo : public MRegistry
{
public:
    // The longest key path, without root, that OpenKey takes; longer ones
    // are refused, never cut.
    static const int kMaxPath = 263;
    // The longest key name a tree deletion takes.
    static const int kMaxKeyName = 259;

    RegistryInfo();
    // Closes the main key, however it was opened.
    ~RegistryInfo() override;

    // Reads a value as a string from the main key, or from its sub-key when
    // pszSubKey is not empty. Always true; after a failed read the buffer
    // holds the empty string.
    bool ReadString(const char* pszSubKey, const char* pszValueName, char* pszBuffer, DWORD nSize);
    // Deletes the main key's sub-key with everything below it. An empty name
    // (which would be the main key itself) is refused.
    bool DeleteKeyTree(const char* pszSubKey);
    // Deletes every sub-key of the key, deepest first; true when none is left.
    static bool DeleteSubKeys(HKEY hKey);

    const char* GetPath() const { return m_szPath; }

protected:
    HKEY m_hOpenKey;              // the key OpenKey opened (m_hKey), or null
    char m_szPath[kMaxPath + 1];  // the path handed to OpenKey, without root
};

#endif
