// Owns one reference to an interface: AddRef on copy, Release on reset and
// destruction. Thread-safety: none (a value type); the object it points to
// decides its own.
#pragma once

#include <utility>

#include "com/Platform.h"

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    // Adds a reference to p.
    explicit ComPtr(T* p) noexcept : p_(p) {
        if (p_ != nullptr) {
            p_->AddRef();
        }
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(const ComPtr& other) noexcept {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }

    void Reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) {
            p->Release();
        }
    }
    // Takes over a reference the caller already holds.
    void Attach(T* p) noexcept {
        Reset();
        p_ = p;
    }
    // Hands the reference to the caller.
    T* Detach() noexcept { return std::exchange(p_, nullptr); }
    // Releases the current pointer and hands out the slot for an [out] pointer.
    T** Receive() noexcept {
        Reset();
        return &p_;
    }
    void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }
    // Queries for another interface; the result replaces what `out` held.
    template <class U>
    HRESULT QueryInterface(REFIID iid, ComPtr<U>& out) const noexcept {
        if (p_ == nullptr) {
            out.Reset();
            return E_POINTER;
        }
        return p_->QueryInterface(iid, out.ReceiveVoid());
    }
    void Swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};
