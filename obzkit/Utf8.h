// UTF-8 to and from the component's UTF-16 text, through the platform's
// code-page functions (MultiByteToWideChar, WideCharToMultiByte), so that the
// same client source builds on Linux and on Windows.
// Thread-safety: none needed (no state). Only std::bad_alloc is thrown.
#pragma once

#include <OBZeveVevuVAD.h>

#include <climits>
#include <cstddef>
#include <string>
#include <string_view>

namespace obzkit {

// Wide text: char16_t units on Linux, wchar_t on Windows; UTF-16 on both.
using OleString = std::basic_string<OLECHAR>;

// UTF-8 to UTF-16; an invalid byte sequence becomes U+FFFD.
inline OleString ToOle(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return {};
    const int bytes = static_cast<int>(utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0);
    if (needed <= 0) return {};
    OleString wide(static_cast<std::size_t>(needed), OLECHAR{});
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, reinterpret_cast<LPWSTR>(wide.data()), needed);
    return wide;
}

// `length` UTF-16 units to UTF-8; a null text reads as empty, a lone
// surrogate becomes U+FFFD.
inline std::string ToUtf8(const OLECHAR* text, std::size_t length) {
    if (text == nullptr || length == 0 || length > INT_MAX / 4) return {};
    const int units = static_cast<int>(length);
    const auto* wide = reinterpret_cast<LPCWCH>(text);
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

// A whole BSTR, by its stored length (embedded zeros included), to UTF-8;
// a null BSTR reads as empty.
inline std::string ToUtf8(BSTR text) { return ToUtf8(text, text == nullptr ? 0 : SysStringLen(text)); }

}  // namespace obzkit
