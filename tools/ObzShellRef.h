// Owns one reference to a COM interface and releases it at scope end.
// Thread-safety: like the raw pointer it holds.
#pragma once

#include <OBZeveVevuVAD.h>

#include <utility>

template <class T>
class ObzShellRef {
public:
    ObzShellRef() noexcept = default;
    // Takes over a reference that the caller already holds.
    explicit ObzShellRef(T* owned) noexcept : p_(owned) {}
    ObzShellRef(const ObzShellRef& other) noexcept : p_(other.p_) {
        if (p_ != nullptr) p_->AddRef();
    }
    ObzShellRef(ObzShellRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ObzShellRef& operator=(ObzShellRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ObzShellRef() {
        if (p_ != nullptr) p_->Release();
    }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // The slot for an out-parameter; releases what was held first.
    T** Put() noexcept {
        *this = ObzShellRef();
        return &p_;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

private:
    T* p_ = nullptr;
};
