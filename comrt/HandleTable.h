// The process's live kernel-object handles. Each handle holds a shared
// reference, so an object outlives a CloseHandle racing a wait on it.
// Thread-safety: all members are safe from any thread. Failure: Find and
// Close answer null/false for a handle that is not live.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

#include "KernelObject.h"

class HandleTable {
public:
    static HandleTable& Instance();

    // Makes a handle for a new object; null when memory runs out.
    HANDLE Add(std::shared_ptr<KernelObject> object);
    // The object of a live handle, or null.
    std::shared_ptr<KernelObject> Find(HANDLE handle);
    // Forgets a handle; false when it was not live.
    bool Close(HANDLE handle);

private:
    std::mutex mutex_;
    std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> objects_;
};
