#include "com/ComBstr.h"

HRESULT ComBstr::Assign(const OLECHAR* text, UINT length) noexcept {
    BSTR copy = SysAllocStringLen(text, length);
    if (copy == nullptr) {
        return E_OUTOFMEMORY;
    }
    Attach(copy);
    return S_OK;
}

HRESULT ComBstr::Assign(const WString& text) noexcept {
    return Assign(text.data(), static_cast<UINT>(text.size()));
}

void ComBstr::Attach(BSTR bstr) noexcept {
    if (bstr != bstr_) {
        SysFreeString(bstr_);
        bstr_ = bstr;
    }
}

HRESULT ComBstr::CopyTo(BSTR* out) const noexcept {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (bstr_ == nullptr) {
        return S_OK;
    }
    *out = SysAllocStringLen(bstr_, Length());
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

BSTR* ComBstr::Receive() noexcept {
    Free();
    return &bstr_;
}
