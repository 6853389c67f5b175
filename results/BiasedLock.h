// A lock that the thread which usually takes it takes without an atomic
// read-modify-write: a RecordItem's field lock, taken once per value read,
// where the exchange of a SpinLock was the largest single cost of reading a
// result (about 4 ns of every value).
//
// The first thread to take the lock becomes its owner. The owner enters by
// announcing itself and then checking that the bias still holds, both plain
// stores and loads. The first other thread to take the lock ends the bias
// for good: it marks it ended, runs a fence on every thread of the process
// (ProcessFence), so that the owner has either seen the mark or been seen
// announced, and waits until the owner has left. From then on every thread,
// the owner too, takes the inner SpinLock. One process-wide fence in the
// life of a lock, paid by the second thread to use it. Where the process
// cannot fence its other threads, nobody becomes owner and the lock is a
// SpinLock.
//
// Not recursive; Lock and Unlock from any thread, Unlock by the holder.
// Never fails, never throws.
#pragma once

#include <atomic>

#include "com/Platform.h"
#include "results/SpinLock.h"

class BiasedLock {
public:
    void Lock() noexcept {
        const DWORD self = GetCurrentThreadId();
        const DWORD owner = owner_.load(std::memory_order_relaxed);
        // Once the bias has ended (at once where nobody can be owner), no
        // thread tries to claim the lock again.
        if (owner == self || (owner == kNobody && !ended_.load(std::memory_order_relaxed) && Claim(self))) {
            ownerInside_.store(true, std::memory_order_relaxed);
            // Keeps the compiler from reading the mark before the
            // announcement; the processor is kept by the ending thread's fence.
            std::atomic_signal_fence(std::memory_order_seq_cst);
            if (!ended_.load(std::memory_order_relaxed)) {
                heldByOwner_ = true;
                return;
            }
            ownerInside_.store(false, std::memory_order_release);
        }
        LockShared();
    }

    void Unlock() noexcept {
        if (heldByOwner_) {
            heldByOwner_ = false;
            ownerInside_.store(false, std::memory_order_release);
        } else {
            shared_.Unlock();
        }
    }

private:
    // Makes self the owner when the lock has none and the bias can be
    // ended safely; false otherwise.
    bool Claim(DWORD self) noexcept;
    // Takes the inner lock, ending the bias first when it still holds.
    void LockShared() noexcept;

    static constexpr DWORD kNobody = 0;  // no thread has id 0
    std::atomic<DWORD> owner_{kNobody};
    std::atomic<bool> ownerInside_{false};
    std::atomic<bool> ended_{false};
    bool heldByOwner_ = false;  // written by the holder only, under the lock
    SpinLock shared_;
};
