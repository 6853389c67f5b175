#include "OleText.h"

#include "tools/ClientText.h"

OleText::OleText(std::string_view utf8) {
    const OleString wide = ToOle(utf8);
    text_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

BSTR* OleText::Put() noexcept {
    SysFreeString(text_);
    text_ = nullptr;
    return &text_;
}

std::string OleText::ToUtf8(BSTR text) { return BstrToUtf8(text); }
