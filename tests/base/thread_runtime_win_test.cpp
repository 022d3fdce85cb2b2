// The threads services the library gives the C++ runtime (guarded statics, exception handling and
// thread-local data call them from any thread), and the library's own lock.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "base/lock.hpp"
#include "base/thread_runtime_win.hpp"

namespace tb {
namespace {

using namespace thread_runtime;

// Runs body on several threads at once and waits for them.
template <class Body>
void OnThreads(int count, Body body) {
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) threads.emplace_back(body);
    for (std::thread& thread : threads) thread.join();
}

TEST(ThreadRuntime, LocksFromEachStaticInitialiserExcludeOtherThreadsAndLetTheirOwnerIn) {
    // -1 plain, -2 error-checking, -3 recursive (the runtime's guarded statics use that one), and a
    // lock set up by LockInit.
    for (std::intptr_t initial : {std::intptr_t{-1}, std::intptr_t{-2}, std::intptr_t{-3}, std::intptr_t{0}}) {
        SCOPED_TRACE(initial);
        std::intptr_t slot = initial;
        if (initial == 0) {
            ASSERT_EQ(LockInit(&slot), 0);
        }
        long counter = 0;  // unguarded but for the lock
        OnThreads(4, [&] {
            for (int i = 0; i < 2000; ++i) {
                ASSERT_EQ(LockAcquire(&slot), 0);
                ASSERT_EQ(LockAcquire(&slot), 0);  // its owner takes it again
                counter = counter + 1;
                ASSERT_EQ(LockRelease(&slot), 0);
                ASSERT_EQ(LockRelease(&slot), 0);
            }
        });
        EXPECT_EQ(counter, 8000);
        EXPECT_EQ(LockDestroy(&slot), 0);
        EXPECT_EQ(slot, -1);  // ready for use again
    }
}

TEST(ThreadRuntime, ReleasingALockNeverTakenIsRefused) {
    std::intptr_t slot = -1;
    EXPECT_NE(LockRelease(&slot), 0);
}

long g_once_runs = 0;
std::atomic<bool> g_once_done{false};
void SlowOnce() {
    ++g_once_runs;
    Sleep(50);
    g_once_done = true;
}

TEST(ThreadRuntime, RunOnceRunsOnceAndNoThreadGoesOnBeforeItHasFinished) {
    long flag = 0;
    std::atomic<int> early{0};
    OnThreads(4, [&] {
        EXPECT_EQ(RunOnce(&flag, &SlowOnce), 0);
        if (!g_once_done) ++early;
    });
    EXPECT_EQ(g_once_runs, 1);
    EXPECT_EQ(early, 0);
    RunOnce(&flag, &SlowOnce);
    EXPECT_EQ(g_once_runs, 1);
}

TEST(ThreadRuntime, AWaiterWakesWhenTheConditionIsBroadcast) {
    std::intptr_t lock = -1;
    std::intptr_t condition = -1;  // the runtime's static initialiser
    bool ready = false;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            LockAcquire(&lock);
            while (!ready) {
                ASSERT_EQ(ConditionWait(&condition, &lock), 0);
            }
            LockRelease(&lock);
            ++woken;
        });
    }
    Sleep(20);
    LockAcquire(&lock);
    ready = true;
    EXPECT_EQ(ConditionWakeAll(&condition), 0);
    LockRelease(&lock);
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(woken, 3);
}

TEST(ThreadRuntime, KeysHoldAValuePerThreadAndReadingOneKeepsTheLastError) {
    unsigned key = 0;
    ASSERT_EQ(KeyCreate(&key), 0);
    int mine = 1;
    ASSERT_EQ(SetKeyValue(key, &mine), 0);
    std::thread([&] {
        EXPECT_EQ(KeyValue(key), nullptr);
        int theirs = 2;
        SetKeyValue(key, &theirs);
        EXPECT_EQ(KeyValue(key), &theirs);
    }).join();
    // Code that reads a thread-local value between a failed call and GetLastError still sees the error.
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(KeyValue(key), &mine);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(KeyDelete(key), 0);
}

TEST(Lock, ExcludesOtherThreadsAndIsFreeAgainAfterward) {
    static Lock lock;  // constant-initialised: usable from the first line of the program
    long counter = 0;
    OnThreads(4, [&] {
        for (int i = 0; i < 5000; ++i) {
            std::lock_guard guard(lock);
            counter = counter + 1;
        }
    });
    EXPECT_EQ(counter, 20000);
    std::lock_guard again(lock);
}

}  // namespace
}  // namespace tb
