#include "results/BiasedLock.h"

#include <thread>

#include "com/ProcessFence.h"

bool BiasedLock::Claim(DWORD self) noexcept {
    if (!ProcessFence::Available()) return false;
    DWORD nobody = kNobody;
    return owner_.compare_exchange_strong(nobody, self, std::memory_order_relaxed);
}

void BiasedLock::LockShared() noexcept {
    shared_.Lock();
    if (ended_.load(std::memory_order_relaxed)) return;
    ended_.store(true, std::memory_order_relaxed);
    // Where the fence is not available nobody claims the lock. Otherwise a
    // claim may be under way even when no owner shows yet: fenced all the same.
    if (!ProcessFence::Available()) return;
    // After the fence the owner either sees the mark at its next check, or
    // its announcement is visible here; then it is waited for.
    ProcessFence::Run();
    while (ownerInside_.load(std::memory_order_acquire)) std::this_thread::yield();
}
