#include "OleText.h"

#include <climits>

OleText::OleText(std::string_view utf8) {
    const int bytes = utf8.size() > INT_MAX ? 0 : static_cast<int>(utf8.size());
    const int units = bytes == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0);
    text_ = SysAllocStringLen(nullptr, static_cast<UINT>(units > 0 ? units : 0));
    if (text_ != nullptr && units > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, text_, units);
}

BSTR* OleText::Put() noexcept {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
}

std::string OleText::ToUtf8(BSTR text) {
    const int units = static_cast<int>(text == nullptr ? 0 : SysStringLen(text));
    if (units == 0) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, units, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}
