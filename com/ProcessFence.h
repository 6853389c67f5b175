// A full memory barrier on every running thread of the process at once
// (FlushProcessWriteBuffers), for locks whose usual holder enters with plain
// stores and loads and whose rare other holder pays for both sides (see
// results/BiasedLock.h). On Linux the runtime offers it where the kernel has
// membarrier. The Windows build does not count on it: it is tested under
// Wine only, whose FlushProcessWriteBuffers may do nothing. Available says
// which.
// Thread-safety: safe from any thread. Never fails, never throws.
#pragma once

class ProcessFence {
public:
    // Whether Run reaches the other threads; the same answer for the life of
    // the process.
    static bool Available() noexcept;
    static void Run() noexcept;
};
