// Holds a lock for the lifetime of a scope: anything with Lock()/Unlock()
// (CriticalSection, ObjectRoot). Not copyable; releases in the destructor.
#pragma once

template <class Lockable>
class ScopedLock {
public:
    explicit ScopedLock(Lockable& lock) noexcept : lock_(lock) { lock_.Lock(); }
    ~ScopedLock() { lock_.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Lockable& lock_;
};
