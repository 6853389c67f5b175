// A zero-terminated UTF-8 copy of a wide text, made for one call of SQLite's
// 8-bit entry points and released when the object goes out of scope. An empty
// text converts to no buffer: c_str() is then null, which SQLite reads as no
// text.
// Ownership: the object owns its buffer; c_str() stays valid while it lives.
// Thread-safety: an instance is not shared.
// Failures: the UTF-8 copy throws only std::bad_alloc (a lone surrogate
// becomes U+FFFD); ToWide also throws std::runtime_error when the platform
// refuses its conversion.
#pragma once

#include <string>

#include "com/Platform.h"

class Utf8Text {
public:
    explicit Utf8Text(const WString& text);

    // The UTF-8 bytes followed by a zero byte, or null for an empty text.
    const char* c_str() const { return held_ ? bytes_.c_str() : nullptr; }
    // Number of bytes without the terminator.
    size_t size() const { return bytes_.size(); }

    // The reverse conversion, for texts that SQLite hands back in UTF-8 (a
    // null text reads as empty).
    static WString ToWide(const char* utf8);

    // Appends the UTF-8 bytes of count units to out, as the constructor
    // converts them (a lone surrogate becomes U+FFFD), so that a caller can
    // convert several texts into one buffer that it reuses.
    static void Append(std::string& out, const OLECHAR* units, size_t count);

private:
    std::string bytes_;
    bool held_ = false;
};
