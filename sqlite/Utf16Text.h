// The text that SQLite's UTF-16 entry points get: the wide text itself when
// it is well-formed UTF-16, otherwise a copy in which every lone surrogate
// is U+FFFD. SQLite's own UTF-16 reader joins a lone high surrogate with the
// unit after it; when that unit is the quote that closes a value, the rest
// of the value would be read as SQL. The UTF-8 conversion (Utf8Text, the
// platform's WideCharToMultiByte) makes the same replacement, so a value
// reaches the file alike on every path.
// Ownership: the object holds the copy, or borrows the text it was made from,
// which must then outlive it; c_str() is valid while both live.
// Thread-safety: an instance is not shared.
// Failures: throws only std::bad_alloc.
#pragma once

#include "com/Platform.h"

class Utf16Text {
public:
    explicit Utf16Text(const OLECHAR* text);

    // The zero-terminated well-formed text; null for a null text.
    const OLECHAR* c_str() const { return repaired_ ? copy_.c_str() : text_; }

private:
    const OLECHAR* text_;
    WString copy_;
    bool repaired_ = false;
};
