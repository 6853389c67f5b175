// A BSTR owned for its lifetime, made from UTF-8 text or received from a
// method, and read back as UTF-8. The conversions go through the platform's
// code-page functions, so the same source builds on Linux and on Windows.
#pragma once

#include <OBZeveVevuVAD.h>

#include <string>
#include <string_view>

class OleText {
public:
    OleText() noexcept = default;
    explicit OleText(std::string_view utf8);
    OleText(const OleText&) = delete;
    OleText& operator=(const OleText&) = delete;
    ~OleText() { SysFreeString(text_); }

    // The BSTR, to pass as an [in] argument; it stays owned here.
    BSTR Get() const noexcept { return text_; }
    // The slot for a BSTR [out] argument; frees what was held first.
    BSTR* Put() noexcept;
    // The text as UTF-8; a null BSTR reads as empty.
    std::string Utf8() const { return ToUtf8(text_); }
    // Any BSTR (not taken over) as UTF-8; a null BSTR reads as empty.
    static std::string ToUtf8(BSTR text);

private:
    BSTR text_ = nullptr;
};
