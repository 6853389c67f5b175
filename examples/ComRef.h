// Owns one reference to a COM interface and releases it at scope end.
#pragma once

#include <OBZeveVevuVAD.h>

#include <utility>

template <class T>
class ComRef {
public:
    ComRef() noexcept = default;
    // Takes over a reference that the caller already holds.
    explicit ComRef(T* owned) noexcept : p_(owned) {}
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { Reset(); }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // The slot for an out-parameter (void** form for CoCreateInstance and
    // QueryInterface); releases what was held first.
    void** Put() noexcept {
        Reset();
        return reinterpret_cast<void**>(&p_);
    }
    void Reset() noexcept {
        if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};
