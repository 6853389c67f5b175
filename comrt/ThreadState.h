// Per-thread state of the runtime: the last-error code and the COM
// initialisation count with its apartment kind, the logical thread id. Backs
// GetLastError, SetLastError, CoInitializeEx, CoUninitialize and
// CoGetCurrentLogicalThreadId.
// Thread-safety: every thread sees only its own instance.
#pragma once

#include <comrt/wintypes.h>

class ThreadState {
public:
    // The calling thread's state.
    static ThreadState& Current();

    DWORD lastError = 0;
    // Successful CoInitializeEx calls not yet balanced by CoUninitialize.
    ULONG comInitCount = 0;
    // The apartment kind of the first successful CoInitializeEx.
    DWORD comInitModel = 0;
    // The logical thread id; GUID_NULL until first asked for.
    GUID logicalThreadId{};
};
