// The arguments of one late-bound call, kept in the reverse order that
// IDispatch::Invoke expects. Owns the BSTRs and the object references that
// its VARIANTs hold and clears them at scope end.
// Thread-safety: one thread.
#pragma once

#include <OBZeveVevuVAD.h>

#include <vector>

class ObzShellArguments {
public:
    explicit ObzShellArguments(size_t count);
    ObzShellArguments(const ObzShellArguments&) = delete;
    ObzShellArguments& operator=(const ObzShellArguments&) = delete;
    ~ObzShellArguments();

    // The VARIANT of argument `index`, counted from the first argument; empty
    // until the caller fills it.
    VARIANT& At(size_t index) noexcept { return values_[values_.size() - 1 - index]; }
    // The parameters for Invoke; valid while this object lives.
    DISPPARAMS Params() noexcept;

private:
    std::vector<VARIANT> values_;
};
