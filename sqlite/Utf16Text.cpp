#include "Utf16Text.h"

namespace {
bool IsHigh(OLECHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(OLECHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Index of the first lone surrogate of text[start, size), or size when none.
size_t NextLone(const OLECHAR* text, size_t start, size_t size) {
    for (size_t i = start; i < size; ++i) {
        if (IsHigh(text[i]) && i + 1 < size && IsLow(text[i + 1])) {
            ++i;
        } else if (IsHigh(text[i]) || IsLow(text[i])) {
            return i;
        }
    }
    return size;
}
}  // namespace

Utf16Text::Utf16Text(const OLECHAR* text) : text_(text) {
    if (text == nullptr) return;
    const size_t size = std::char_traits<OLECHAR>::length(text);
    size_t lone = NextLone(text, 0, size);
    if (lone == size) return;  // the common case: no copy
    copy_.assign(text, size);
    for (; lone < size; lone = NextLone(copy_.data(), lone + 1, size)) copy_[lone] = OLECHAR(0xFFFD);
    repaired_ = true;
}
