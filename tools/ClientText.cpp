#include "tools/ClientText.h"

#include <climits>

OleString ToOle(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return {};
    const int bytes = static_cast<int>(utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0);
    if (needed <= 0) return {};
    OleString wide(static_cast<size_t>(needed), OLECHAR{});
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, reinterpret_cast<LPWSTR>(wide.data()), needed);
    return wide;
}

std::string ToUtf8(const OLECHAR* text, size_t length) {
    if (text == nullptr || length == 0 || length > INT_MAX / 4) return {};
    const int units = static_cast<int>(length);
    const auto* wide = reinterpret_cast<LPCWCH>(text);
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string utf8(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

std::string BstrToUtf8(BSTR text) { return ToUtf8(text, text == nullptr ? 0 : SysStringLen(text)); }
