#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <comrt/comrt.h>

namespace {

// Runs body on a fresh thread, so no earlier test's state leaks in.
template <typename F>
void OnNewThread(F body) {
    std::thread t(body);
    t.join();
}

TEST(ThreadStateTest, LastErrorIsPerThread) {
    SetLastError(1234);
    OnNewThread([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(5);
    });
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(ThreadStateTest, CoInitializeCountsPerThread) {
    OnNewThread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
        OnNewThread([] { EXPECT_EQ(CoInitialize(nullptr), S_OK); });
        CoUninitialize();
        CoUninitialize();
        // Balanced: the next call initialises afresh, in any apartment kind.
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
        CoUninitialize();  // one too many is ignored
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
}

// Without marshaling every thread is its own logical thread: one id for the
// thread's lifetime, another on every other thread.
TEST(ThreadStateTest, LogicalThreadIdIsPerThread) {
    GUID first{}, again{}, other{};
    ASSERT_EQ(CoGetCurrentLogicalThreadId(&first), S_OK);
    ASSERT_EQ(CoGetCurrentLogicalThreadId(&again), S_OK);
    OnNewThread([&] { EXPECT_EQ(CoGetCurrentLogicalThreadId(&other), S_OK); });
    EXPECT_NE(first, GUID_NULL);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    EXPECT_EQ(CoGetCurrentLogicalThreadId(nullptr), E_INVALIDARG);
}

// A thread's id stays while it lives and differs from every other live
// thread's; the process-wide barrier can be run from any of them.
TEST(ThreadStateTest, ThreadIdsAndTheProcessBarrier) {
    const DWORD self = GetCurrentThreadId();
    EXPECT_NE(self, 0u);
    EXPECT_EQ(GetCurrentThreadId(), self);
    std::vector<std::thread> threads;
    std::vector<DWORD> ids(4, 0);
    std::atomic<int> started{0};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        threads.emplace_back([&, i] {
            ids[i] = GetCurrentThreadId();
            ++started;
            // Alive together, so no id can be handed out twice.
            while (started.load() < static_cast<int>(ids.size())) std::this_thread::yield();
            FlushProcessWriteBuffers();
        });
    }
    for (std::thread& thread : threads) thread.join();
    ids.push_back(self);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_NE(ids[i], 0u);
        for (std::size_t j = i + 1; j < ids.size(); ++j) EXPECT_NE(ids[i], ids[j]);
    }
    FlushProcessWriteBuffers();
    // A child of fork is a new thread: it gets an id of its own, not the
    // parent's, which the system may give to another thread later.
    const pid_t child = fork();
    if (child == 0) _exit(GetCurrentThreadId() == static_cast<DWORD>(gettid()) ? 0 : 1);
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child kept its parent's thread id";
}

}  // namespace
