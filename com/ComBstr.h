// Owns one BSTR and frees it in the destructor. A null BSTR is the empty text.
// Copies allocate and report failure as E_OUTOFMEMORY instead of throwing.
// Thread-safety: none (a value type).
#pragma once

#include <utility>

#include "com/Platform.h"

class ComBstr {
public:
    ComBstr() noexcept = default;
    ~ComBstr() { SysFreeString(bstr_); }
    ComBstr(const ComBstr&) = delete;
    ComBstr& operator=(const ComBstr&) = delete;
    ComBstr(ComBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    ComBstr& operator=(ComBstr&& other) noexcept {
        if (this != &other) {
            Attach(std::exchange(other.bstr_, nullptr));
        }
        return *this;
    }

    // Replace the text with a copy; on failure the old text is kept.
    HRESULT Assign(const OLECHAR* text, UINT length) noexcept;
    HRESULT Assign(const WString& text) noexcept;
    HRESULT AssignBstr(BSTR text) noexcept { return Assign(text, SysStringLen(text)); }

    // Take ownership of a BSTR (the current one is freed).
    void Attach(BSTR bstr) noexcept;
    // Give up ownership; the caller frees the result.
    BSTR Detach() noexcept { return std::exchange(bstr_, nullptr); }
    // A new BSTR with the same text (null when this is null); the caller
    // frees it. Fails only when out of memory.
    HRESULT CopyTo(BSTR* out) const noexcept;
    // Frees the text and hands out the slot for an [out] BSTR argument.
    BSTR* Receive() noexcept;
    void Free() noexcept { Attach(nullptr); }

    BSTR Get() const noexcept { return bstr_; }
    UINT Length() const noexcept { return SysStringLen(bstr_); }
    bool IsNull() const noexcept { return bstr_ == nullptr; }
    // The text as a wide string; may throw std::bad_alloc.
    WString ToString() const { return WString(bstr_ ? bstr_ : OLESTR(""), Length()); }

private:
    BSTR bstr_ = nullptr;
};
