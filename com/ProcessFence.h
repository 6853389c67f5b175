// A full memory barrier on every running thread of the process at once
// (FlushProcessWriteBuffers), for locks whose usual holder enters with plain
// stores and loads and whose rare other holder pays for both sides (see
// results/BiasedLock.h). Windows offers it; Wine's may do nothing, so under
// Wine it counts as unavailable; on Linux the runtime offers it where the
// kernel has membarrier. Available says so.
// Thread-safety: safe from any thread. Never fails, never throws.
#pragma once

class ProcessFence {
public:
    // Whether Run reaches the other threads; the same answer for the life of
    // the process.
    static bool Available() noexcept;
    static void Run() noexcept;
};
