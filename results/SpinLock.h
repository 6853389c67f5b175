// A lock for sections of a few dozen instructions that never call out: one
// atomic exchange to take it and a plain store to release it, about half the
// cost of a mutex when nobody else holds it, which matters on paths taken
// once per row of a result. A thread that finds it held spins briefly, then
// yields its time slice, so a holder that was preempted gets to run.
//
// Not recursive; Lock/Unlock from any thread. Never fails, never throws.
#pragma once

#include <atomic>
#include <thread>

class SpinLock {
public:
    void Lock() noexcept {
        while (held_.exchange(true, std::memory_order_acquire)) {
            for (int spins = 0; held_.load(std::memory_order_relaxed); ++spins) {
                if (spins >= kSpinsBeforeYield) std::this_thread::yield();
            }
        }
    }
    void Unlock() noexcept { held_.store(false, std::memory_order_release); }

private:
    static constexpr int kSpinsBeforeYield = 64;
    std::atomic<bool> held_{false};
};
