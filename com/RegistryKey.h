// Owns one open registry key handle and closes it on destruction.
// Thread-safety: a value type; one owner.
#pragma once

#include <utility>

#include "com/Platform.h"

class RegistryKey {
public:
    RegistryKey() noexcept = default;
    ~RegistryKey() { Reset(); }
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            Reset();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY Get() const noexcept { return key_; }
    // Closes the current key and hands out the slot for a new one.
    PHKEY Receive() noexcept {
        Reset();
        return &key_;
    }
    void Reset() noexcept {
        if (HKEY key = std::exchange(key_, nullptr)) RegCloseKey(key);
    }

private:
    HKEY key_ = nullptr;
};
