// The archive's byte encoding, its object tags and how it refuses bad streams.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "framework/Archive.h"
#include "framework/Collections.h"
#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "support/TestSupport.h"

namespace
{
class CTestItem : public CObject
{
    DECLARE_SERIAL(CTestItem)
public:
    DWORD m_n = 0;
    UINT m_nSchemaSeen = 0;
    UINT m_nSchemaAgain = 0;
    void Serialize(CArchive& ar) override
    {
        if (ar.IsStoring())
            ar << m_n;
        else
        {
            m_nSchemaSeen = ar.GetObjectSchema();
            m_nSchemaAgain = ar.GetObjectSchema();
            ar >> m_n;
        }
    }
};
IMPLEMENT_SERIAL(CTestItem, CObject, 1)

class CTestOther : public CObject
{
    DECLARE_SERIAL(CTestOther)
};
IMPLEMENT_SERIAL(CTestOther, CObject, 2)

class ArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AfxRegisterClass(RUNTIME_CLASS(CTestItem));
        AfxRegisterClass(RUNTIME_CLASS(CTestOther));
    }
};

Bytes ClassTag(const char* name, int schema)
{
    return B({0xFF, 0xFF}) + Le16(schema) + Le16((unsigned)strlen(name)) + Text(name);
}
}  // namespace

TEST_F(ArchiveTest, CountsUseAWordOrTheEscapedDword)
{
    struct Case
    {
        DWORD count;
        Bytes bytes;
    } cases[] = {
        {0, B({0x00, 0x00})},
        {0xFFFE, B({0xFE, 0xFF})},
        {0xFFFF, B({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00})},
        {0x12345, B({0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00})},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(Hex(StoreBytes([&](CArchive& ar) { ar.WriteCount(c.count); })), Hex(c.bytes));
        DWORD read = 0;
        EXPECT_FALSE(LoadBytes(c.bytes, [&](CArchive& ar) { read = ar.ReadCount(); }).failed);
        EXPECT_EQ(read, c.count);
    }
}

TEST_F(ArchiveTest, StringsUseTheThreeLengthForms)
{
    struct Case
    {
        int length;
        Bytes prefix;
    } cases[] = {
        {0, B({0x00})},
        {3, B({0x03})},
        {254, B({0xFE})},
        {255, B({0xFF, 0xFF, 0x00})},
        {0xFFFD, B({0xFF, 0xFD, 0xFF})},
        {0xFFFE, B({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {0x10000, B({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00})},
    };
    for (const Case& c : cases)
    {
        CString s('q', c.length);
        Bytes stored = StoreBytes([&](CArchive& ar) { ar << s; });
        Bytes expected = c.prefix + Bytes(c.length, 'q');
        ASSERT_EQ(stored.size(), expected.size()) << c.length;
        EXPECT_TRUE(stored == expected) << c.length;
        CString back;
        EXPECT_FALSE(LoadBytes(stored, [&](CArchive& ar) { ar >> back; }).failed);
        EXPECT_TRUE(back == s) << c.length;
    }
}

TEST_F(ArchiveTest, SixteenBitStringsAreReadAndConverted)
{
    struct Case
    {
        Bytes bytes;
        const char* text;
    } cases[] = {
        {B({0xFF, 0xFE, 0xFF, 0x03, 'A', 0, 0xE9, 0, 0xAC, 0x20}), "A\xE9\x80"},
        {B({0xFF, 0xFE, 0xFF, 0x00}), ""},
        {B({0xFF, 0xFE, 0xFF, 0xFF, 0x02, 0x00, 'h', 0, 'i', 0}), "hi"},
        {B({0xFF, 0xFE, 0xFF, 0x01, 0x2D, 0x4E}), "?"},
    };
    for (const Case& c : cases)
    {
        CString s("old");
        DWORD remaining = 99;
        EXPECT_FALSE(LoadBytes(c.bytes, [&](CArchive& ar) { ar >> s; }, &remaining).failed);
        EXPECT_EQ(s, c.text);
        EXPECT_EQ(remaining, 0u);
    }
}

TEST_F(ArchiveTest, ObjectsUseNewClassClassIndexAndReferenceTags)
{
    CTestItem first, second;
    first.m_n = 0x11;
    second.m_n = 0x22;
    Bytes stored = StoreBytes([&](CArchive& ar) {
        ar.WriteObject(&first);
        ar.WriteObject(&second);
        ar.WriteObject(&first);
        ar.WriteObject(nullptr);
    });
    // Shared numbering: the class is 1, the objects 2 and 3.
    Bytes expected = ClassTag("CTestItem", 1) + Le32(0x11) + B({0x01, 0x80}) + Le32(0x22) +
                     B({0x02, 0x00}) + B({0x00, 0x00});
    EXPECT_EQ(Hex(stored), Hex(expected));

    CObject* objects[4] = {};
    EXPECT_FALSE(LoadBytes(stored, [&](CArchive& ar) {
                     for (CObject*& p : objects)
                         p = ar.ReadObject(nullptr);
                 }).failed);
    ASSERT_NE(objects[0], nullptr);
    ASSERT_TRUE(objects[1]->IsKindOf(RUNTIME_CLASS(CTestItem)));
    EXPECT_EQ(((CTestItem*)objects[0])->m_n, 0x11u);
    EXPECT_EQ(((CTestItem*)objects[1])->m_n, 0x22u);
    EXPECT_EQ(objects[2], objects[0]);
    EXPECT_EQ(objects[3], nullptr);
    EXPECT_EQ(((CTestItem*)objects[1])->m_nSchemaSeen, 1u);
    EXPECT_EQ(((CTestItem*)objects[1])->m_nSchemaAgain, (UINT)-1);  // taken once
    delete objects[0];
    delete objects[1];
}

TEST_F(ArchiveTest, IndicesFromThe7FFFthOnUseTheBigTag)
{
    // 0x7FFE objects take the indices 2..0x7FFF; the new class then gets
    // 0x8000, which no longer fits a WORD tag.
    const int nFirst = 0x7FFE;
    std::vector<CTestItem> items(nFirst);
    CTestOther other1, other2;
    Bytes stored = StoreBytes([&](CArchive& ar) {
        for (CTestItem& item : items)
            ar.WriteObject(&item);
        ar.WriteObject(&other1);
        ar.WriteObject(&other2);
        ar.WriteObject(&items.back());
        ar.WriteObject(&items[0]);
    });
    Bytes tail = ClassTag("CTestOther", 2) + B({0xFF, 0x7F}) + Le32(0x80008000) + B({0xFF, 0x7F}) + Le32(0x7FFF) +
                 B({0x02, 0x00});
    ASSERT_GE(stored.size(), tail.size());
    EXPECT_EQ(Hex(Bytes(stored.end() - tail.size(), stored.end())), Hex(tail));

    std::vector<CObject*> loaded;
    EXPECT_FALSE(LoadBytes(stored, [&](CArchive& ar) {
                     for (int i = 0; i < nFirst + 4; i++)
                         loaded.push_back(ar.ReadObject(nullptr));
                 }).failed);
    ASSERT_EQ(loaded.size(), (size_t)nFirst + 4);
    EXPECT_TRUE(loaded[nFirst + 1]->IsKindOf(RUNTIME_CLASS(CTestOther)));
    EXPECT_EQ(loaded[nFirst + 2], loaded[nFirst - 1]);
    EXPECT_EQ(loaded[nFirst + 3], loaded[0]);
    for (int i = 0; i < nFirst + 2; i++)
        delete loaded[i];
}

TEST_F(ArchiveTest, MalformedStreamsEndInAnArchiveException)
{
    Bytes item = ClassTag("CTestItem", 1) + Le32(7);
    struct Case
    {
        const char* what;
        Bytes bytes;
        bool newOnly;
        int cause;
    } cases[] = {
        {"empty stream", Bytes(), false, CArchiveException::endOfFile},
        {"tag cut short", B({0xFF}), false, CArchiveException::endOfFile},
        {"class name cut short", B({0xFF, 0xFF, 1, 0, 9, 0}) + Text("CTest"), false, CArchiveException::endOfFile},
        {"fields cut short", ClassTag("CTestItem", 1) + B({7, 0}), false, CArchiveException::endOfFile},
        {"unknown class", ClassTag("CNoSuchClass", 1), false, CArchiveException::badClass},
        {"name in other case", ClassTag("ctestitem", 1), false, CArchiveException::badClass},
        {"name with a zero byte", B({0xFF, 0xFF, 1, 0, 10, 0}) + Text("CTestItem") + B({0}), false,
         CArchiveException::badClass},
        {"name of 64 bytes", B({0xFF, 0xFF, 1, 0, 64, 0}) + Bytes(64, 'A'), false, CArchiveException::badClass},
        {"wrong schema", ClassTag("CTestItem", 2), false, CArchiveException::badSchema},
        {"class index 0", B({0x00, 0x80}), false, CArchiveException::badIndex},
        {"class index not seen", B({0x05, 0x80}), false, CArchiveException::badIndex},
        {"reference not seen", B({0x05, 0x00}), false, CArchiveException::badIndex},
        {"reference to a class", item + B({0x01, 0x00}), false, CArchiveException::badIndex},
        {"class index of an object", item + B({0x02, 0x80}), false, CArchiveException::badIndex},
        {"big tag cut short", item + B({0xFF, 0x7F, 0x02}), false, CArchiveException::endOfFile},
        {"big reference not seen", item + B({0xFF, 0x7F}) + Le32(0x1234), false, CArchiveException::badIndex},
        {"big class index of an object", item + B({0xFF, 0x7F}) + Le32(0x80000002), false, CArchiveException::badIndex},
        {"owned: null", B({0x00, 0x00}), true, CArchiveException::badIndex},
        {"owned: reference", item + B({0x02, 0x00}), true, CArchiveException::badIndex},
    };
    for (const Case& c : cases)
    {
        std::vector<CObject*> created;
        LoadResult r = LoadBytes(c.bytes, [&](CArchive& ar) {
            for (int i = 0; i < 2; i++)
            {
                CObject* p = c.newOnly ? ar.ReadNewObject(nullptr) : ar.ReadObject(nullptr);
                if (p != nullptr && std::find(created.begin(), created.end(), p) == created.end())
                    created.push_back(p);
            }
        });
        EXPECT_TRUE(r.failed) << c.what;
        EXPECT_EQ(r.exceptionClass, "CArchiveException") << c.what;
        EXPECT_EQ(r.archiveCause, c.cause) << c.what;
        for (CObject* p : created)
            delete p;
    }
}

TEST_F(ArchiveTest, RequestedClassIsCheckedBeforeAnythingIsCreated)
{
    Bytes other = ClassTag("CTestOther", 2);
    LoadResult r = LoadBytes(other, [&](CArchive& ar) { EXPECT_EQ(ar.ReadObject(RUNTIME_CLASS(CTestItem)), nullptr); });
    EXPECT_EQ(r.archiveCause, CArchiveException::badClass);
}

TEST_F(ArchiveTest, ForgedCountsDoNotAllocateMoreThanTheStreamHolds)
{
    struct Case
    {
        const char* what;
        Bytes bytes;
        int kind;  // 0 bytes, 1 strings, 2 objects, 3 string
    } cases[] = {
        {"byte count 0xFFFFFFFF", B({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}), 0},
        {"byte count beyond the rest", B({0x10, 0x00, 1, 2, 3}), 0},
        {"string count 0xFFFFFFFF", B({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}), 1},
        {"object count beyond the rest", B({0x05, 0x00, 0, 0, 0, 0}), 2},
        {"string length 0xFFFFFFFF", B({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}), 3},
        {"string longer than the rest", B({0x05, 'a', 'b'}), 3},
        {"wide string longer than the rest", B({0xFF, 0xFE, 0xFF, 0x03, 'a', 0}), 3},
        {"two wide markers", B({0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 0x00}), 3},
    };
    for (const Case& c : cases)
    {
        CByteArray bytes;
        CStringArray strings;
        CObArray objects;
        CString s;
        LoadResult r = LoadBytes(c.bytes, [&](CArchive& ar) {
            switch (c.kind)
            {
            case 0:
                bytes.Serialize(ar);
                break;
            case 1:
                strings.Serialize(ar);
                break;
            case 2:
                objects.Serialize(ar);
                break;
            default:
                ar >> s;
                break;
            }
        });
        EXPECT_TRUE(r.failed) << c.what;
        EXPECT_EQ(r.exceptionClass, "CArchiveException") << c.what;
        EXPECT_LE(bytes.GetSize() + strings.GetSize() + objects.GetSize() + s.GetLength(), 16) << c.what;
    }
}

TEST_F(ArchiveTest, NestingBeyondTheLimitIsRefused)
{
    // An array holding an array holding an array ...
    Bytes deep = B({0xFF, 0xFF, 0x00, 0x00, 0x08, 0x00}) + Text("CObArray") + B({0x01, 0x00});
    for (int i = 0; i < 100; i++)
        deep = deep + B({0x01, 0x80, 0x01, 0x00});
    deep = deep + B({0x01, 0x80, 0x00, 0x00});
    CObject* p = nullptr;
    LoadResult r = LoadBytes(deep, [&](CArchive& ar) { p = ar.ReadObject(nullptr); });
    EXPECT_EQ(r.archiveCause, CArchiveException::generic);
    // Every level holds the one below it; delete from the top.
    while (p != nullptr)
    {
        CObArray* a = (CObArray*)p;
        p = a->GetSize() > 0 ? a->GetAt(0) : nullptr;
        delete a;
    }
}

TEST_F(ArchiveTest, CollectionsRoundTrip)
{
    CByteArray bytes;
    for (int i = 0; i < 70000; i++)
        bytes.Add((BYTE)(i * 7));
    CStringArray strings;
    strings.Add("one");
    strings.Add(CString('z', 300));
    strings.Add("");
    Bytes stored = StoreBytes([&](CArchive& ar) {
        bytes.Serialize(ar);
        strings.Serialize(ar);
    });
    EXPECT_EQ(Hex(Bytes(stored.begin(), stored.begin() + 6)), "FF FF 70 11 01 00");

    CByteArray bytes2;
    CStringArray strings2;
    DWORD remaining = 1;
    EXPECT_FALSE(LoadBytes(stored, [&](CArchive& ar) {
                     bytes2.Serialize(ar);
                     strings2.Serialize(ar);
                 }, &remaining).failed);
    EXPECT_EQ(remaining, 0u);
    ASSERT_EQ(bytes2.GetSize(), 70000);
    EXPECT_EQ(memcmp(bytes2.GetData(), bytes.GetData(), 70000), 0);
    ASSERT_EQ(strings2.GetSize(), 3);
    EXPECT_EQ(strings2[1], CString('z', 300));
    EXPECT_EQ(strings2[2], "");
}

TEST_F(ArchiveTest, WorksOverAFileOnDiskAcrossBufferBoundaries)
{
    ScratchDir dir;
    std::string path = dir / "archive.bin";
    {
        CExceptionScope scope;
        CFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite));
        CArchive ar(&file, CArchive::store, 64);
        for (DWORD i = 0; i < 10000; i++)
            ar << i << CString('s', (int)(i % 300));
        ar.Close();
        file.Close();
        EXPECT_FALSE(scope.Failed());
    }
    CExceptionScope scope;
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    CArchive ar(&file, CArchive::load, 64);
    for (DWORD i = 0; i < 10000; i++)
    {
        DWORD n = 0;
        CString s;
        ar >> n >> s;
        ASSERT_EQ(n, i);
        ASSERT_EQ(s.GetLength(), (int)(i % 300));
    }
    EXPECT_EQ(ar.GetRemaining(), 0u);
    BYTE extra;
    ar >> extra;
    ASSERT_TRUE(scope.GetExceptionOf(RUNTIME_CLASS(CArchiveException)) != nullptr);
    EXPECT_EQ(((CArchiveException*)scope.GetException())->m_cause, CArchiveException::endOfFile);
}

TEST(CMemFile, GrowsInWholeStepsAndHandsBackItsBlock)
{
    CMemFile file(1024);
    BYTE data[5000] = {1, 2, 3};
    file.Write(data, 1025);
    EXPECT_EQ(file.GetBufferSize(), 2048u);
    file.Write(data, 5000);
    EXPECT_EQ(file.GetBufferSize(), 6144u);
    EXPECT_EQ(file.GetLength(), 6025u);
    // A large block grows by at least half, in whole steps.
    for (int i = 0; i < 200; i++)
        file.Write(data, 5000);
    EXPECT_EQ(file.GetLength(), 1006025u);
    EXPECT_EQ(file.GetBufferSize() % 1024, 0u);
    EXPECT_LE(file.GetBufferSize(), 1006025u * 3 / 2 + 1024);
    file.SeekToBegin();
    BYTE back[3] = {};
    EXPECT_EQ(file.Read(back, 3), 3u);
    EXPECT_EQ(back[2], 3);
    BYTE* block = file.Detach();
    EXPECT_EQ(file.GetLength(), 0u);
    free(block);
}

TEST(CMemFile, AFixedBlockCannotGrow)
{
    BYTE block[4] = {9, 8, 7, 6};
    CMemFile file(block, 4);
    EXPECT_EQ(file.GetLength(), 4u);
    CExceptionScope scope;
    file.SeekToEnd();
    file.Write(block, 1);
    EXPECT_TRUE(scope.GetExceptionOf(RUNTIME_CLASS(CMemoryException)) != nullptr);
}

TEST(CFile, ReportsWhyItCannotOpen)
{
    ScratchDir dir;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open((dir / "missing.bin").c_str(), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(file.Open((dir / "no-such-dir" + SAVER_SEP "x.bin").c_str(), CFile::modeRead, &error));
    EXPECT_NE(error.m_cause, CFileException::none);
}

TEST(ExceptionScope, InnermostScopeCatchesAndOperationsStop)
{
    CExceptionScope outer;
    {
        CExceptionScope inner;
        AfxThrowArchiveException(CArchiveException::badClass, 5);
        AfxThrowMemoryException();  // the first one wins
        EXPECT_TRUE(AfxExceptionPending());
        ASSERT_TRUE(inner.GetExceptionOf(RUNTIME_CLASS(CArchiveException)) != nullptr);
        BYTE b[4] = {1, 2, 3, 4};
        CMemFile file(b, 4);
        BYTE out = 0;
        EXPECT_EQ(file.Read(&out, 1), 0u);  // no-op while pending
    }
    EXPECT_FALSE(outer.Failed());
    EXPECT_FALSE(AfxExceptionPending());
}
