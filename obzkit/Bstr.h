// obzkit::Bstr: owns one BSTR and frees it at scope end. Made from UTF-8 or
// UTF-16 text to pass as an [in] argument, or filled by a method through
// Put() as a [out] argument; read back as UTF-8.
// Thread-safety: like the BSTR it holds. Allocation failure leaves it null
// (a null BSTR is what the component reads as empty text).
#pragma once

#include <OBZeveVevuVAD.h>

#include <string>
#include <string_view>
#include <utility>

#include "obzkit/Utf8.h"

namespace obzkit {

class Bstr {
public:
    Bstr() noexcept = default;
    // A copy of UTF-8 text.
    explicit Bstr(std::string_view utf8) {
        const OleString wide = ToOle(utf8);
        text_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
    // A copy of zero-terminated UTF-16 text: Bstr(OLESTR("People")).
    explicit Bstr(const OLECHAR* text) noexcept : text_(text == nullptr ? nullptr : SysAllocString(text)) {}
    Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            SysFreeString(text_);
            text_ = std::exchange(other.text_, nullptr);
        }
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(text_); }

    // The BSTR for an [in] argument; it stays owned here.
    BSTR Get() const noexcept { return text_; }
    operator BSTR() const noexcept { return text_; }
    // The slot for a BSTR [out] argument; frees what was held first.
    BSTR* Put() noexcept {
        SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }
    // Hands the BSTR over to the caller, who frees it.
    BSTR Detach() noexcept { return std::exchange(text_, nullptr); }
    // Length in UTF-16 units; 0 for a null BSTR.
    UINT Length() const noexcept { return text_ == nullptr ? 0 : SysStringLen(text_); }
    std::string Utf8() const { return ToUtf8(text_); }

private:
    BSTR text_ = nullptr;
};

}  // namespace obzkit
