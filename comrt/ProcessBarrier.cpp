#include "ProcessBarrier.h"

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include <comrt/comrt.h>

namespace {
long Membarrier(int command) noexcept { return syscall(SYS_membarrier, command, 0U, 0); }

// The commands the kernel offers; 0 without membarrier.
long Offered() noexcept {
    static const long offered = [] {
        const long answer = Membarrier(MEMBARRIER_CMD_QUERY);
        return answer > 0 ? answer : 0L;
    }();
    return offered;
}
}  // namespace

ProcessBarrier::Way ProcessBarrier::Chosen() noexcept {
    static const Way way = [] {
        if ((Offered() & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
            Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0)
            return Way::kExpedited;
        return (Offered() & MEMBARRIER_CMD_GLOBAL) != 0 ? Way::kGlobal : Way::kNone;
    }();
    return way;
}

bool ProcessBarrier::Available() noexcept { return Chosen() != Way::kNone; }

void ProcessBarrier::Flush() noexcept {
    // The call itself fences the calling thread as well.
    const Way way = Chosen();
    if (way == Way::kExpedited) {
        if (Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) return;
        // Only a precaution: the registration is the process's, and the
        // kernel keeps it across fork.
        if (Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0 &&
            Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0)
            return;
    }
    if (way != Way::kNone && (Offered() & MEMBARRIER_CMD_GLOBAL) != 0 && Membarrier(MEMBARRIER_CMD_GLOBAL) == 0)
        return;
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

void FlushProcessWriteBuffers() { ProcessBarrier::Flush(); }

BOOL ComrtProcessBarrierAvailable() { return ProcessBarrier::Available() ? TRUE : FALSE; }
