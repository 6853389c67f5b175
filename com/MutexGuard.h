// Owns a Mutex for the lifetime of a scope. When the wait fails (the mutex
// could not be created) the guard owns nothing and releases nothing.
#pragma once

#include "com/Mutex.h"

class MutexGuard {
public:
    explicit MutexGuard(Mutex& mutex) noexcept : mutex_(mutex), owned_(mutex.Lock()) {}
    ~MutexGuard() {
        if (owned_) {
            mutex_.Unlock();
        }
    }
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;

    bool Owns() const noexcept { return owned_; }

private:
    Mutex& mutex_;
    bool owned_;
};
