#include "Utf8Text.h"

#include <climits>
#include <cstring>
#include <stdexcept>

namespace {
// The platform's conversion counts in int; longer UTF-8 texts go to it in
// pieces of this many bytes at most.
constexpr size_t kChunkUnits = size_t{1} << 28;

bool IsHighSurrogate(OLECHAR unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(OLECHAR unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Output room for one piece, in the platform's int; one piece never needs
// more than three bytes per unit (or one unit per byte), far below the cap.
int Room(size_t bytesLeft) {
    return bytesLeft > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(bytesLeft);
}

// Length of the UTF-8 piece starting at offset, never splitting a sequence.
size_t BytePieceLength(const char* text, size_t size, size_t offset) {
    size_t length = size - offset;
    if (length <= kChunkUnits) return length;
    length = kChunkUnits;
    while (length > 1 && (static_cast<unsigned char>(text[offset + length]) & 0xC0) == 0x80) --length;
    return length;
}
}  // namespace

Utf8Text::Utf8Text(const WString& text) {
    if (text.empty()) return;
    Append(bytes_, text.data(), text.size());
    held_ = true;
}

void Utf8Text::Append(std::string& out, const OLECHAR* units, size_t count) {
    // Encoded here rather than by the platform's conversion, which is several
    // times slower and runs once for every statement a client writes. The
    // bytes are the same, a lone surrogate becoming U+FFFD. The first pass
    // sizes the output, the second writes it in place.
    // Most statements are ASCII throughout: one pass without branches finds
    // that out, and such a text is copied a byte a unit.
    const size_t start = out.size();
    unsigned bits = 0;
    for (size_t i = 0; i < count; ++i) bits |= units[i];
    if (bits < 0x80) {
        out.resize(start + count);
        char* ascii = out.data() + start;
        for (size_t i = 0; i < count; ++i) ascii[i] = static_cast<char>(units[i]);
        return;
    }
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        const char32_t unit = units[i];
        if (unit < 0x80) {
            total += 1;
        } else if (unit < 0x800) {
            total += 2;
        } else if (IsHighSurrogate(units[i]) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
            total += 4;
            ++i;
        } else {
            total += 3;  // the rest of the plane, and U+FFFD for a lone surrogate
        }
    }
    out.resize(start + total);
    char* next = out.data() + start;
    auto put = [&next](unsigned value) { *next++ = static_cast<char>(value); };
    for (size_t i = 0; i < count; ++i) {
        char32_t unit = units[i];
        if (unit < 0x80) {
            put(unit);
        } else if (unit < 0x800) {
            put(0xC0 | (unit >> 6));
            put(0x80 | (unit & 0x3F));
        } else if (IsHighSurrogate(units[i]) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
            const char32_t code = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
            put(0xF0 | (code >> 18));
            put(0x80 | ((code >> 12) & 0x3F));
            put(0x80 | ((code >> 6) & 0x3F));
            put(0x80 | (code & 0x3F));
        } else {
            if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
            put(0xE0 | (unit >> 12));
            put(0x80 | ((unit >> 6) & 0x3F));
            put(0x80 | (unit & 0x3F));
        }
    }
}

WString Utf8Text::ToWide(const char* utf8) {
    WString out;
    if (utf8 == nullptr) return out;
    const size_t size = std::strlen(utf8);
    size_t total = 0;
    for (size_t offset = 0; offset < size;) {
        const size_t length = BytePieceLength(utf8, size, offset);
        const int units = MultiByteToWideChar(CP_UTF8, 0, utf8 + offset, static_cast<int>(length), nullptr, 0);
        if (units <= 0) throw std::runtime_error("UTF-16 conversion refused");
        total += static_cast<size_t>(units);
        offset += length;
    }
    out.resize(total);
    size_t written = 0;
    for (size_t offset = 0; offset < size;) {
        const size_t length = BytePieceLength(utf8, size, offset);
        const int units = MultiByteToWideChar(CP_UTF8, 0, utf8 + offset, static_cast<int>(length),
                                              out.data() + written, Room(total - written));
        if (units <= 0) throw std::runtime_error("UTF-16 conversion refused");
        written += static_cast<size_t>(units);
        offset += length;
    }
    return out;
}
