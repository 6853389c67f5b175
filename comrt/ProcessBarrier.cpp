#include "ProcessBarrier.h"

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include <comrt/comrt.h>

namespace {
long Membarrier(int command) noexcept { return syscall(SYS_membarrier, command, 0U, 0); }
}  // namespace

ProcessBarrier::Way ProcessBarrier::Chosen() noexcept {
    static const Way way = [] {
        const long offered = Membarrier(MEMBARRIER_CMD_QUERY);
        if (offered <= 0) return Way::kNone;
        if ((offered & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
            Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0)
            return Way::kExpedited;
        return (offered & MEMBARRIER_CMD_GLOBAL) != 0 ? Way::kGlobal : Way::kNone;
    }();
    return way;
}

bool ProcessBarrier::Available() noexcept { return Chosen() != Way::kNone; }

void ProcessBarrier::Flush() noexcept {
    // The call itself fences the calling thread as well.
    switch (Chosen()) {
    case Way::kExpedited:
        if (Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0) return;
        // A process made by fork may have to register again.
        if (Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0 &&
            Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0)
            return;
        [[fallthrough]];
    case Way::kGlobal:
        if (Membarrier(MEMBARRIER_CMD_GLOBAL) == 0) return;
        break;
    case Way::kNone:
        break;
    }
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

void FlushProcessWriteBuffers() { ProcessBarrier::Flush(); }

BOOL ComrtProcessBarrierAvailable() { return ProcessBarrier::Available() ? TRUE : FALSE; }
