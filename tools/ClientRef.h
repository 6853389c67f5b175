// Owns one reference to a COM interface and releases it at scope end; the
// smart pointer of the client programs (the shell and the example client).
// Thread-safety: like the raw pointer it holds.
#pragma once

#include <OBZeveVevuVAD.h>

#include <utility>

template <class T>
class ClientRef {
public:
    ClientRef() noexcept = default;
    // Takes over a reference that the caller already holds.
    explicit ClientRef(T* owned) noexcept : p_(owned) {}
    ClientRef(const ClientRef& other) noexcept : p_(other.p_) {
        if (p_ != nullptr) p_->AddRef();
    }
    ClientRef(ClientRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ClientRef& operator=(ClientRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ClientRef() {
        if (p_ != nullptr) p_->Release();
    }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // The slot for an out-parameter; releases what was held first.
    T** Put() noexcept {
        *this = ClientRef();
        return &p_;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

private:
    T* p_ = nullptr;
};
