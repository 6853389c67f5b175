// obzkit::Ref<T>: owns one reference to a COM interface and releases it at
// scope end. Copies take a reference of their own; moves hand it over.
// Thread-safety: like the raw pointer it holds.
#pragma once

#include <OBZeveVevuVAD.h>

#include <utility>

namespace obzkit {

template <class T>
class Ref {
public:
    Ref() noexcept = default;
    // Takes over a reference that the caller already holds (no AddRef).
    explicit Ref(T* owned) noexcept : p_(owned) {}
    Ref(const Ref& other) noexcept : p_(other.p_) {
        if (p_ != nullptr) p_->AddRef();
    }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() {
        if (p_ != nullptr) p_->Release();
    }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // The slot for an interface out-parameter; releases what was held first.
    T** Put() noexcept {
        *this = Ref();
        return &p_;
    }
    // The same slot typed as QueryInterface and CoCreateInstance want it.
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }
    // Gives up the reference without releasing it.
    T* Detach() noexcept { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

}  // namespace obzkit
