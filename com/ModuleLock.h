// The module's lock count: one per live object plus the clients' server
// locks. The server module answers DllCanUnloadNow from it.
// Thread-safety: every operation is atomic.
#pragma once

#include "com/Platform.h"

class ModuleLock {
public:
    ModuleLock() = delete;

    // Return the new count.
    static LONG Lock() noexcept { return InterlockedIncrement(&count_); }
    static LONG Unlock() noexcept { return InterlockedDecrement(&count_); }
    static LONG GetLockCount() noexcept { return InterlockedCompareExchange(&count_, 0, 0); }

private:
    static LONG volatile count_;
};
