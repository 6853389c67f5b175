#include "com/Mutex.h"

Mutex::Mutex() noexcept : handle_(CreateMutexW(nullptr, FALSE, nullptr)) {}

Mutex::~Mutex() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
    }
}

bool Mutex::Lock() noexcept {
    if (handle_ == nullptr) {
        return false;
    }
    const DWORD wait = WaitForSingleObject(handle_, INFINITE);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

void Mutex::Unlock() noexcept {
    if (handle_ != nullptr) {
        ReleaseMutex(handle_);
    }
}
