#include "MutexObject.h"

#include <chrono>
#include <new>

#include <comrt/winbase.h>

#include "HandleTable.h"

MutexObject::MutexObject(bool initialOwner) {
    if (initialOwner) {
        owner_ = std::this_thread::get_id();
        count_ = 1;
    }
}

DWORD MutexObject::Wait(DWORD milliseconds) {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex_);
    auto available = [&] { return count_ == 0 || owner_ == self; };
    if (milliseconds == INFINITE) {
        released_.wait(lock, available);
    } else if (!released_.wait_for(lock, std::chrono::milliseconds(milliseconds), available)) {
        return WAIT_TIMEOUT;
    }
    owner_ = self;
    ++count_;
    return WAIT_OBJECT_0;
}

bool MutexObject::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count_ == 0 || owner_ != std::this_thread::get_id()) return false;
        if (--count_ > 0) return true;
        owner_ = std::thread::id();
    }
    released_.notify_one();
    return true;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES /*sa*/, BOOL initialOwner, LPCWSTR name) {
    // Named mutexes would be shared between processes; the runtime has none.
    if (name != nullptr && name[0] != 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    std::shared_ptr<MutexObject> mutex;
    try {
        mutex = std::make_shared<MutexObject>(initialOwner != FALSE);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HANDLE handle = HandleTable::Instance().Add(std::move(mutex));
    if (handle == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Windows clears the last error when it creates a new mutex.
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE handle) {
    std::shared_ptr<KernelObject> object = HandleTable::Instance().Find(handle);
    auto* mutex = dynamic_cast<MutexObject*>(object.get());
    if (mutex == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!mutex->Release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
