// A BSTR argument for the component's methods, freed at scope end: from wide
// text of any length (embedded NULs and lone surrogates kept), from ASCII, or
// null.
#pragma once

#include <string>

#include "com/Platform.h"

class BstrArg {
public:
    BstrArg() = default;
    explicit BstrArg(const WString& text) : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    explicit BstrArg(const std::string& ascii) : BstrArg(WString(ascii.begin(), ascii.end())) {}
    explicit BstrArg(const char* ascii) : BstrArg(std::string(ascii)) {}
    BstrArg(BstrArg&& other) noexcept : bstr_(other.bstr_) { other.bstr_ = nullptr; }
    ~BstrArg() { SysFreeString(bstr_); }
    BstrArg(const BstrArg&) = delete;
    BstrArg& operator=(const BstrArg&) = delete;
    BSTR Get() const { return bstr_; }
    operator BSTR() const { return bstr_; }

private:
    BSTR bstr_ = nullptr;
};
