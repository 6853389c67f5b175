// The state every COM object of the component shares: the reference count
// (changed atomically), the object lock (a critical section with spin count
// 0, initialised by the creator in a step that can fail) and the controlling
// unknown (the object's own identity, or the outer object when aggregated).
//
// A class T becomes a COM object by deriving from ObjectRoot and its
// interfaces, declaring InterfaceTable() (see InterfaceEntry.h), and being
// instantiated through Creator<T> as ComObject<T> or ComAggObject<T>, which
// implement IUnknown. T may hide FinalConstruct (runs once the lock exists;
// a failure destroys the object) and FinalRelease (runs before T's
// destructor).
// Thread-safety: the count and the lock are safe from any thread.
#pragma once

#include "com/CriticalSection.h"
#include "com/Platform.h"

template <class T>
class ComObject;
template <class T>
class ComContainedObject;
template <class T>
class ComAggObject;

class ObjectRoot {
public:
    ObjectRoot(const ObjectRoot&) = delete;
    ObjectRoot& operator=(const ObjectRoot&) = delete;

    // Returns the new count.
    LONG InternalAddRef() noexcept { return InterlockedIncrement(&refCount_); }
    LONG InternalRelease() noexcept { return InterlockedDecrement(&refCount_); }

    // S_OK or the HRESULT of the system error code.
    HRESULT InitializeLock() noexcept { return lock_.Initialize(); }
    void Lock() noexcept { lock_.Lock(); }
    void Unlock() noexcept { lock_.Unlock(); }

    // The unknown that owns this object's reference count: the object itself,
    // or the outer object of an aggregate. Null only during construction.
    IUnknown* GetControllingUnknown() const noexcept { return controllingUnknown_; }

    HRESULT FinalConstruct() noexcept { return S_OK; }
    void FinalRelease() noexcept {}

protected:
    ObjectRoot() noexcept = default;
    ~ObjectRoot() = default;

private:
    template <class T>
    friend class ComObject;
    template <class T>
    friend class ComContainedObject;
    template <class T>
    friend class ComAggObject;

    // A count that no AddRef/Release pair during teardown brings back to 0.
    void MarkDestroying() noexcept { InterlockedExchange(&refCount_, -(0x7FFFFFFF / 2)); }

    LONG volatile refCount_ = 0;
    IUnknown* controllingUnknown_ = nullptr;
    CriticalSection lock_;
};
