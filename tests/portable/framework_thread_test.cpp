// CThread and CAutoEvent: a thread runs its function once and is waited
// for; the event lets exactly one wait through per Set, whichever side
// comes first, and a wait with a time limit ends when the limit runs out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "framework/Thread.h"

namespace
{
struct Counter
{
    std::atomic<int> nRuns{0};
    int nPlain = 0;  // written by the thread, read after Join without a lock
};

void Count(void* p)
{
    Counter* pCounter = (Counter*)p;
    pCounter->nPlain = 42;
    pCounter->nRuns++;
}

long long MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return (long long)std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}
}  // namespace

TEST(ThreadTest, RunsItsFunctionOnceAndIsJoined)
{
    Counter counter;
    CThread thread;
    EXPECT_FALSE(thread.IsStarted());
    thread.Join();  // nothing to wait for

    ASSERT_TRUE(thread.Start(Count, &counter));
    EXPECT_TRUE(thread.IsStarted());
    // One thread at a time: a second start before the join is refused and
    // runs nothing.
    EXPECT_FALSE(thread.Start(Count, &counter));
    thread.Join();
    EXPECT_FALSE(thread.IsStarted());
    EXPECT_EQ(counter.nRuns.load(), 1);
    EXPECT_EQ(counter.nPlain, 42);
    thread.Join();

    // Joined, the object starts another; a destructor waits for its thread.
    Counter other;
    {
        CThread again;
        ASSERT_TRUE(again.Start(Count, &other));
        ASSERT_TRUE(thread.Start(Count, &counter));
    }
    EXPECT_EQ(other.nPlain, 42);
    thread.Join();
    EXPECT_EQ(counter.nRuns.load(), 2);
}

TEST(AutoEventTest, OneWaitGoesThroughPerSet)
{
    CAutoEvent event;
    ASSERT_TRUE(event.IsValid());
    // Nothing set: a wait with a limit runs out, and takes about as long.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.Wait(50));
    EXPECT_GE(MillisecondsSince(start), 40);
    EXPECT_FALSE(event.Wait(0));

    // A Set before the Wait is kept for it; the Wait clears the event.
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
    // Two Sets before a Wait let one wait through, not two.
    event.Set();
    event.Set();
    event.Wait();
    EXPECT_FALSE(event.Wait(0));
}

// Two threads hand a turn to each other a few thousand times, each waking
// the other with its own event: a lost wake-up hangs the test (the waits
// have a limit, so it fails instead), and a wait that lets through without
// a Set breaks the strict alternation.
TEST(AutoEventTest, WakesAWaitingThreadEveryTime)
{
    struct Game
    {
        CAutoEvent ping, pong;
        std::atomic<int> nTurn{0};
        std::atomic<bool> bMissed{false};
        static void Ponger(void* p)
        {
            Game* pGame = (Game*)p;
            for (int i = 0; i < 2000; i++)
            {
                if (!pGame->ping.Wait(10000) || pGame->nTurn.load() != 2 * i + 1)
                {
                    pGame->bMissed = true;
                    return;
                }
                pGame->nTurn++;
                pGame->pong.Set();
            }
        }
    } game;
    CThread ponger;
    ASSERT_TRUE(ponger.Start(Game::Ponger, &game));
    for (int i = 0; i < 2000 && !game.bMissed; i++)
    {
        game.nTurn++;
        game.ping.Set();
        if (!game.pong.Wait(10000))
        {
            ADD_FAILURE() << "no answer to turn " << i;
            break;
        }
        EXPECT_EQ(game.nTurn.load(), 2 * i + 2);
    }
    ponger.Join();
    EXPECT_FALSE(game.bMissed.load());
    EXPECT_EQ(game.nTurn.load(), 4000);
}
