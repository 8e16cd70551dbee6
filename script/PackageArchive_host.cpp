// The package archive's message in the native build.
#include "script/PackageArchive.h"

#include <stdio.h>

void ShowPackageMessage(const char* pszText)
{
    fprintf(stderr, "%s\n", pszText);
}
