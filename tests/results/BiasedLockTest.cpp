// BiasedLock: one holder at a time across the end of the bias: while its
// owner keeps taking it, when another thread arrives as the owner enters,
// and when several threads claim a new lock at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "results/BiasedLock.h"

namespace {

// Ends the process when a test has not finished by the deadline: a broken
// lock tends to hang rather than let two holders in.
class Deadline {
public:
    explicit Deadline(std::chrono::seconds limit)
        : watcher_([this, limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "BiasedLockTest: no end after %lld s, the lock hangs\n",
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          }) {}
    ~Deadline() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_one();
        watcher_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread watcher_;
};

// A section that counts its holders and the times it was entered.
struct Guarded {
    BiasedLock lock;
    std::atomic<int> inside{0}, overlaps{0};
    long entries = 0;  // guarded by the lock alone

    void Enter(int holding = 0) {
        lock.Lock();
        if (inside.exchange(1, std::memory_order_relaxed) != 0) ++overlaps;
        ++entries;
        for (int spin = 0; spin < holding; ++spin) {
            if (inside.load(std::memory_order_relaxed) != 1) ++overlaps;
        }
        inside.store(0, std::memory_order_relaxed);
        lock.Unlock();
    }
};

// The owner holds the lock for long spells while other threads arrive: the
// bias mostly ends while the owner is inside, and the others wait for it.
TEST(BiasedLockTest, OtherThreadsWaitForAnOwnerInside) {
    Deadline deadline(std::chrono::seconds(120));
    constexpr int kRounds = 20, kOthers = 3, kOtherTimes = 50, kOwnerHolding = 2000;
    for (int round = 0; round < kRounds; ++round) {
        Guarded guarded;
        guarded.Enter();  // this thread becomes the owner
        std::atomic<bool> ownerBusy{false};
        std::atomic<int> finished{0};
        std::vector<std::thread> others;
        for (int t = 0; t < kOthers; ++t) {
            others.emplace_back([&] {
                while (!ownerBusy.load()) std::this_thread::yield();
                for (int i = 0; i < kOtherTimes; ++i) guarded.Enter();
                ++finished;
            });
        }
        long ownerTimes = 0;
        for (; finished.load(std::memory_order_relaxed) < kOthers; ++ownerTimes) {
            guarded.Enter(kOwnerHolding);
            ownerBusy.store(true, std::memory_order_relaxed);
        }
        for (std::thread& other : others) other.join();
        guarded.Enter();  // the owner again, after the bias has ended
        EXPECT_EQ(guarded.overlaps.load(), 0) << "round " << round;
        EXPECT_EQ(guarded.entries, 2 + ownerTimes + static_cast<long>(kOthers) * kOtherTimes) << "round " << round;
    }
}

// The owner takes and leaves the lock in a tight loop, so that another
// thread that arrives once often meets it between its announcement and its
// check: only the barrier on every thread keeps both from entering.
TEST(BiasedLockTest, AnOwnerEnteringAsTheBiasEndsIsSeen) {
    Deadline deadline(std::chrono::seconds(120));
    constexpr int kRounds = 500;
    int overlapping = 0, lost = 0;
    for (int round = 0; round < kRounds; ++round) {
        Guarded guarded;
        std::atomic<bool> ownerLooping{false}, done{false};
        long ownerTimes = 0;
        std::thread owner([&] {
            guarded.Enter();
            ownerLooping = true;
            for (; !done.load(std::memory_order_relaxed); ++ownerTimes) guarded.Enter();
        });
        while (!ownerLooping.load()) std::this_thread::yield();
        guarded.Enter(50);
        done = true;
        owner.join();
        if (guarded.overlaps.load() != 0) ++overlapping;
        if (guarded.entries != ownerTimes + 2) ++lost;
    }
    EXPECT_EQ(overlapping, 0) << "rounds with two holders, of " << kRounds;
    EXPECT_EQ(lost, 0) << "rounds that lost an entry, of " << kRounds;
}

// Three threads take a new lock at once: one claims it, and the others end
// the bias.
TEST(BiasedLockTest, ThreadsClaimingANewLockAtOnce) {
    Deadline deadline(std::chrono::seconds(120));
    constexpr int kRounds = 300, kThreads = 3, kTimes = 100;
    int overlapping = 0, lost = 0;
    for (int round = 0; round < kRounds; ++round) {
        Guarded guarded;
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                ++ready;
                while (ready.load() < kThreads) std::this_thread::yield();
                for (int i = 0; i < kTimes; ++i) guarded.Enter();
            });
        }
        for (std::thread& thread : threads) thread.join();
        if (guarded.overlaps.load() != 0) ++overlapping;
        if (guarded.entries != kThreads * kTimes) ++lost;
    }
    EXPECT_EQ(overlapping, 0) << "rounds with two holders, of " << kRounds;
    EXPECT_EQ(lost, 0) << "rounds that lost an entry, of " << kRounds;
}

}  // namespace
