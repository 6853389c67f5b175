// BiasedLock: one holder at a time, across the end of the bias, when its
// owner keeps taking it while other threads arrive.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "results/BiasedLock.h"

namespace {

TEST(BiasedLockTest, OneHolderAtATimeWhileOtherThreadsEndTheBias) {
    constexpr int kRounds = 20, kOthers = 3, kOtherTimes = 50, kOwnerHolding = 2000;
    for (int round = 0; round < kRounds; ++round) {
        BiasedLock lock;
        long counter = 0;  // guarded by the lock alone
        std::atomic<int> inside{0}, overlaps{0}, busy{0};
        auto work = [&](int times, int holding) {
            for (int i = 0; i < times; ++i) {
                lock.Lock();
                if (inside.exchange(1, std::memory_order_relaxed) != 0) ++overlaps;
                ++counter;
                for (int spin = 0; spin < holding; ++spin) busy.fetch_add(1, std::memory_order_relaxed);
                inside.store(0, std::memory_order_relaxed);
                lock.Unlock();
            }
        };
        work(1, 0);  // this thread becomes the owner
        // The others start once the owner is busy with the lock, and the
        // owner keeps taking it until every other thread is done.
        std::atomic<bool> ownerBusy{false};
        std::atomic<int> finished{0};
        std::vector<std::thread> others;
        for (int t = 0; t < kOthers; ++t) {
            others.emplace_back([&] {
                while (!ownerBusy.load()) std::this_thread::yield();
                work(kOtherTimes, 0);
                ++finished;
            });
        }
        long ownerTimes = 0;
        for (; finished.load(std::memory_order_relaxed) < kOthers; ++ownerTimes) {
            // Holdings long enough that the bias mostly ends while the owner
            // is inside.
            work(1, kOwnerHolding);
            ownerBusy.store(true, std::memory_order_relaxed);
        }
        for (std::thread& other : others) other.join();
        work(1, 0);  // the owner again, after the bias has ended
        EXPECT_EQ(overlaps.load(), 0) << "round " << round;
        EXPECT_EQ(counter, 2 + ownerTimes + static_cast<long>(kOthers) * kOtherTimes) << "round " << round;
    }
}

}  // namespace
