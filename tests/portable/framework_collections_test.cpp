// The arrays keep their elements while they grow from a few bytes into
// large blocks (which on Windows live on a heap of their own) and when they
// are emptied and filled again.
#include <gtest/gtest.h>

#include <string>

#include "framework/Collections.h"

namespace
{
BYTE ByteAt(int i)
{
    return (BYTE)(i * 31 + 7);
}

CString StringAt(int i)
{
    return CString(std::to_string(i * 13).c_str());
}
}  // namespace

TEST(Arrays, KeepTheirElementsAcrossTheLargeBlockSize)
{
    // Sizes around 4,096 bytes, where a block moves from one heap to the
    // other: byte by byte, in runs, and an array of strings (8 bytes each
    // on 64-bit Windows) and one of pointers past the same size.
    for (int nTarget : {4095, 4096, 4097, 70000})
    {
        CByteArray oneByOne;
        for (int i = 0; i < nTarget; i++)
            ASSERT_EQ(oneByOne.Add(ByteAt(i)), i);
        CByteArray inRuns;
        BYTE run[1000];
        for (int i = 0; i < nTarget; i += (int)sizeof run)
        {
            int n = nTarget - i < (int)sizeof run ? nTarget - i : (int)sizeof run;
            for (int k = 0; k < n; k++)
                run[k] = ByteAt(i + k);
            ASSERT_TRUE(inRuns.Append(run, n));
        }
        ASSERT_EQ(oneByOne.GetSize(), nTarget);
        ASSERT_EQ(inRuns.GetSize(), nTarget);
        for (int i = 0; i < nTarget; i++)
        {
            ASSERT_EQ(oneByOne[i], ByteAt(i)) << nTarget << " bytes, at " << i;
            ASSERT_EQ(inRuns[i], ByteAt(i)) << nTarget << " bytes, at " << i;
        }
        CByteArray copy;
        ASSERT_TRUE(copy.Copy(oneByOne));
        oneByOne.RemoveAll();
        EXPECT_EQ(oneByOne.GetSize(), 0);
        ASSERT_TRUE(oneByOne.Append(copy));  // filled again after emptying
        EXPECT_EQ(oneByOne.GetSize(), nTarget);
        EXPECT_EQ(oneByOne[nTarget - 1], ByteAt(nTarget - 1));
    }

    CStringArray strings;
    CObArray pointers;
    static CByteArray s_objects[2000];
    for (int i = 0; i < 2000; i++)
    {
        ASSERT_EQ(strings.Add(StringAt(i)), i);
        ASSERT_EQ(pointers.Add(&s_objects[i]), i);
    }
    for (int i = 0; i < 2000; i++)
    {
        ASSERT_STREQ((const char*)strings[i], (const char*)StringAt(i)) << i;
        ASSERT_EQ(pointers[i], &s_objects[i]) << i;
    }
    strings.RemoveAll();
    pointers.RemoveAll();
    EXPECT_EQ(strings.GetSize(), 0);
    EXPECT_EQ(pointers.GetSize(), 0);
}
