// Exception scopes: one innermost scope per thread, the shared static
// out-of-memory exception, and the diagnostics' messages.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "framework/Exceptions.h"

namespace
{
std::string Str(const CString& s)
{
    return std::string((const char*)s, (size_t)s.GetLength());
}
}  // namespace

// A throw on one thread lands in that thread's scope, never in the scope
// another thread has open at the same moment.
TEST(Exceptions, ScopesBelongToTheirThread)
{
    std::atomic<int> stage{0};
    bool bOtherCaught = false;
    bool bOtherWasFile = false;

    CExceptionScope outer;
    std::thread other([&] {
        while (stage.load() < 1)
            std::this_thread::yield();
        EXPECT_FALSE(AfxExceptionPending());
        {
            CExceptionScope scope;
            AfxThrowFileException(CFileException::diskFull);
            bOtherCaught = scope.Failed() != FALSE;
            bOtherWasFile = scope.GetExceptionOf(RUNTIME_CLASS(CFileException)) != nullptr;
        }
        stage.store(2);
    });
    stage.store(1);
    while (stage.load() < 2)
        std::this_thread::yield();
    other.join();

    EXPECT_TRUE(bOtherCaught);
    EXPECT_TRUE(bOtherWasFile);
    EXPECT_FALSE(outer.Failed());
    EXPECT_FALSE(AfxExceptionPending());
}

// Nested scopes on one thread: the inner one catches, the outer one is
// current again once the inner one ends.
TEST(Exceptions, InnermostScopeCatches)
{
    CExceptionScope outer;
    {
        CExceptionScope inner;
        AfxThrowUserException();
        AfxThrowArchiveException(CArchiveException::badClass);  // the first one wins
        EXPECT_TRUE(AfxExceptionPending());
        EXPECT_NE(inner.GetExceptionOf(RUNTIME_CLASS(CUserException)), nullptr);
        EXPECT_EQ(inner.GetExceptionOf(RUNTIME_CLASS(CArchiveException)), nullptr);
    }
    EXPECT_FALSE(outer.Failed());
    AfxThrowArchiveException(CArchiveException::badClass);
    EXPECT_NE(outer.GetExceptionOf(RUNTIME_CLASS(CArchiveException)), nullptr);
}

// Threads that run out of memory at once get the one static exception; the
// scopes that drop it must not free it (ASan would see the free).
TEST(Exceptions, OutOfMemoryOnTwoThreadsAtOnce)
{
    std::atomic<int> ready{0};
    CException* caught[2] = {nullptr, nullptr};
    auto run = [&](int k) {
        ready.fetch_add(1);
        while (ready.load() < 2)
            std::this_thread::yield();
        for (int i = 0; i < 1000; i++)
        {
            CExceptionScope scope;
            AfxThrowMemoryException();
            caught[k] = scope.GetExceptionOf(RUNTIME_CLASS(CMemoryException));
            if (caught[k] == nullptr)
                break;
        }
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    ASSERT_NE(caught[0], nullptr);
    EXPECT_EQ(caught[0], caught[1]);
}

#ifdef _WIN32
// Opening a scope or throwing between a failed system call and the look at
// its error must not change the thread's last error.
TEST(Exceptions, ScopesKeepTheLastError)
{
    SetLastError(ERROR_SHARING_VIOLATION);
    {
        CExceptionScope scope;
        AfxThrowUserException();
        EXPECT_TRUE(AfxExceptionPending());
    }
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
}
#endif

TEST(Exceptions, Messages)
{
    CExceptionScope scope;
    const struct
    {
        void (*raise)();
        const char* message;
    } cases[] = {
        {[] { AfxThrowMemoryException(); }, "out of memory"},
        {[] { AfxThrowUserException(); }, "operation refused"},
        {[] { AfxThrowFileException(CFileException::fileNotFound, 2, "a.txt"); }, "file not found: a.txt"},
        {[] { AfxThrowFileException(99); }, "file error"},
        {[] { AfxThrowArchiveException(CArchiveException::badSchema, 17); }, "bad schema at offset 17"},
        {[] { AfxThrowArchiveException(-1, 0); }, "archive error at offset 0"},
    };
    for (const auto& c : cases)
    {
        c.raise();
        ASSERT_TRUE(scope.Failed()) << c.message;
        EXPECT_EQ(Str(scope.GetException()->GetErrorMessage()), c.message);
        scope.Clear();
    }
}
