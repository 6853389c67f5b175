// An unnamed mutex (CreateMutexW(nullptr, FALSE, nullptr)), waited for without
// a time limit. Creation can fail: IsValid() tells, and Lock() then fails.
// Thread-safety: Lock/Unlock from any thread; recursive for the owning thread.
#pragma once

#include "com/Platform.h"

class Mutex {
public:
    Mutex() noexcept;
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    bool IsValid() const noexcept { return handle_ != nullptr; }
    // True once the calling thread owns the mutex (an abandoned mutex is owned too).
    bool Lock() noexcept;
    void Unlock() noexcept;

private:
    HANDLE handle_ = nullptr;
};
