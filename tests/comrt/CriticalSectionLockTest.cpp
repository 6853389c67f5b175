#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <comrt/comrt.h>

namespace {

TEST(CriticalSectionLockTest, OwnerReentersOthersWaitAndUpdatesAreExcluded) {
    CRITICAL_SECTION cs;
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&cs, 0));
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));  // recursive for the owner
    BOOL other = TRUE;
    LeaveCriticalSection(&cs);
    std::thread([&] { other = TryEnterCriticalSection(&cs); }).join();
    EXPECT_FALSE(other);  // still held once
    LeaveCriticalSection(&cs);

    long counter = 0;  // deliberately not atomic: the lock must protect it
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                EnterCriticalSection(&cs);
                ++counter;
                LeaveCriticalSection(&cs);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 40000);
    DeleteCriticalSection(&cs);
}

}  // namespace
