#include "HandleTable.h"

#include <new>

#include <comrt/winbase.h>

HandleTable& HandleTable::Instance() {
    // Never destroyed: handles may be closed from static destructors.
    static HandleTable* table = new HandleTable;
    return *table;
}

HANDLE HandleTable::Add(std::shared_ptr<KernelObject> object) {
    HANDLE handle = object.get();
    try {
        std::lock_guard<std::mutex> lock(mutex_);
        objects_.emplace(handle, std::move(object));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return handle;
}

std::shared_ptr<KernelObject> HandleTable::Find(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : it->second;
}

bool HandleTable::Close(HANDLE handle) {
    std::shared_ptr<KernelObject> object;  // released after the lock is dropped
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find(handle);
    if (it == objects_.end()) return false;
    object = std::move(it->second);
    objects_.erase(it);
    return true;
}

BOOL CloseHandle(HANDLE handle) {
    if (!HandleTable::Instance().Close(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::shared_ptr<KernelObject> object = HandleTable::Instance().Find(handle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(milliseconds);
}
