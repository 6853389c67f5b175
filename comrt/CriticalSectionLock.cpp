#include "CriticalSectionLock.h"

#include <new>

CriticalSectionLock& CriticalSectionLock::Of(LPCRITICAL_SECTION cs) {
    return *static_cast<CriticalSectionLock*>(cs->DebugInfo);
}

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { InitializeCriticalSectionAndSpinCount(cs, 0); }

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spinCount) {
    *cs = CRITICAL_SECTION{};
    cs->SpinCount = spinCount;
    // Windows raises on exhaustion here; the lock is tiny, so a failure is
    // reported the only way this signature allows.
    cs->DebugInfo = new (std::nothrow) CriticalSectionLock;
    return cs->DebugInfo != nullptr ? TRUE : FALSE;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) { CriticalSectionLock::Of(cs).mutex.lock(); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    return CriticalSectionLock::Of(cs).mutex.try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) { CriticalSectionLock::Of(cs).mutex.unlock(); }

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<CriticalSectionLock*>(cs->DebugInfo);
    cs->DebugInfo = nullptr;
}
