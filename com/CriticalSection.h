// A critical section (spin count 0) owned by an object. Initialisation is a
// separate step because it can fail; a section that was never initialised is
// not deleted.
// Thread-safety: Lock/Unlock from any thread once Initialize succeeded;
// Initialize itself must run before the section is shared. Recursive.
#pragma once

#include "com/Platform.h"

class CriticalSection {
public:
    CriticalSection() noexcept = default;
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // S_OK, or the HRESULT of the system error code when the section cannot
    // be made. Calling it again after success does nothing.
    HRESULT Initialize() noexcept;
    bool IsInitialized() const noexcept { return initialized_; }

    void Lock() noexcept { EnterCriticalSection(&section_); }
    void Unlock() noexcept { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_{};
    bool initialized_ = false;
};
