#include <thread>

#include <gtest/gtest.h>

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

}  // namespace
