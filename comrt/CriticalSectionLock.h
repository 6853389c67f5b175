// The lock behind a CRITICAL_SECTION: a recursive mutex that
// InitializeCriticalSection allocates into DebugInfo and
// DeleteCriticalSection frees. Entering an uninitialised or deleted critical
// section is undefined, as on Windows.
// Thread-safety: the usual critical-section rules (Leave by the owner only).
#pragma once

#include <mutex>

#include <comrt/winbase.h>

class CriticalSectionLock {
public:
    // The lock of an initialised critical section.
    static CriticalSectionLock& Of(LPCRITICAL_SECTION cs);

    std::recursive_mutex mutex;
};
