// An unnamed mutex as CreateMutexW makes it: owned by one thread at a time,
// recursive for its owner, released once per acquisition, and released only
// by its owner. A thread that ends while owning it leaves it owned (no
// abandonment is detected).
// Thread-safety: all members are safe from any thread.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "KernelObject.h"

class MutexObject : public KernelObject {
public:
    explicit MutexObject(bool initialOwner);

    DWORD Wait(DWORD milliseconds) override;
    // Gives up one acquisition; false when the caller does not own it.
    bool Release();

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_;
    ULONG count_ = 0;
};
