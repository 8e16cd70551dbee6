// The package archive's message on Windows.
#include "script/PackageArchive.h"

void ShowPackageMessage(const char* pszText)
{
    MessageBoxA(nullptr, pszText, nullptr, MB_OK);
}
