// Base of the objects that HANDLEs name (today: the mutex). A handle is the
// object's address; HandleTable keeps the live ones, so a stale or foreign
// handle is recognised instead of dereferenced.
// Thread-safety: derived classes are safe to use from any thread.
#pragma once

#include <comrt/wintypes.h>

class KernelObject {
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;

    // Waits until the object is signalled for the caller, up to milliseconds
    // (INFINITE for no limit). Answers WAIT_OBJECT_0, WAIT_ABANDONED or
    // WAIT_TIMEOUT.
    virtual DWORD Wait(DWORD milliseconds) = 0;
};
