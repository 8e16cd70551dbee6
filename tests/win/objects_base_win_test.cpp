// What the install-object base offers the steps on Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include "objects/InstObj.h"

TEST(InstObjWin, TemporaryNamesAreReservedEmptyFilesOfTheirOwn)
{
    CString first, second;
    CInstObj::MakeTempFileName(first);
    CInstObj::MakeTempFileName(second);
    ASSERT_FALSE(first.IsEmpty());
    EXPECT_NE(first, second);

    char szTemp[MAX_PATH];
    GetTempPathA(MAX_PATH, szTemp);
    for (const CString* name : {&first, &second})
    {
        EXPECT_EQ(name->Left((int)strlen(szTemp)).CompareNoCase(szTemp), 0) << (const char*)*name;
        EXPECT_EQ(name->Mid((int)strlen(szTemp), 3).CompareNoCase("gpi"), 0) << (const char*)*name;
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(*name, GetFileExInfoStandard, &data)) << (const char*)*name;
        EXPECT_EQ(data.nFileSizeLow, 0u);
        DeleteFileA(*name);
    }
}
