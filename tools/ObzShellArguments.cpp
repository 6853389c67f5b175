#include "ObzShellArguments.h"

ObzShellArguments::ObzShellArguments(size_t count) : values_(count) {
    for (VARIANT& v : values_) VariantInit(&v);
}

ObzShellArguments::~ObzShellArguments() {
    for (VARIANT& v : values_) VariantClear(&v);
}

DISPPARAMS ObzShellArguments::Params() noexcept {
    return DISPPARAMS{values_.empty() ? nullptr : values_.data(), nullptr, static_cast<UINT>(values_.size()), 0};
}
