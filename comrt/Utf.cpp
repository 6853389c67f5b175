#include "Utf.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {
void PutUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}
// Paths and most other texts are ASCII: one pass without branches finds
// that out, and such a text is copied into out a unit at a time. False, out
// untouched, for any other text.
template <typename Out, typename Unit>
bool CopyIfAscii(std::basic_string_view<Unit> text, Out& out) {
    unsigned bits = 0;
    for (const Unit unit : text) bits |= static_cast<std::make_unsigned_t<Unit>>(unit);
    if (bits >= 0x80) return false;
    out.assign(text.size(), typename Out::value_type());
    for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<typename Out::value_type>(text[i]);
    return true;
}
}  // namespace

size_t Utf::Length(const char16_t* text) {
    return text == nullptr ? 0 : std::char_traits<char16_t>::length(text);
}

std::string Utf::ToUtf8(std::u16string_view text, bool* replaced) {
    if (replaced) *replaced = false;
    std::string out;
    if (CopyIfAscii(text, out)) return out;
    out.reserve(text.size() * 3 / 2 + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
            if (replaced) *replaced = true;
        }
        PutUtf8(out, c);
    }
    return out;
}

namespace {
// Decodes the sequence at text[i], which is not ASCII: sets `c` and answers
// the index after it, or answers 0 for a malformed sequence and sets `next`
// to where decoding goes on.
size_t DecodeSequence(std::string_view text, size_t i, char32_t& c, size_t& next) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t min = 0;
    if ((b & 0xE0) == 0xC0) {
        extra = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3, c = b & 0x07, min = 0x10000;
    } else {
        next = i + 1;
        return 0;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < extra; ++k, ++j) {
        if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
            ok = false;
            break;
        }
        c = (c << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
    }
    if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        next = ok ? j : (j > i + 1 ? j : i + 1);
        return 0;
    }
    next = j;
    return j;
}

// Eight bytes at a time while they are ASCII: where the first other byte
// may be.
size_t SkipAscii(std::string_view text, size_t i) {
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if ((word & 0x8080808080808080ull) != 0) break;
    }
    return i;
}
}  // namespace

size_t Utf::FirstInvalid(std::string_view text) {
    for (size_t i = SkipAscii(text, 0); i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            i = SkipAscii(text, i + 1);
            continue;
        }
        char32_t c = 0;
        size_t next = 0;
        if (DecodeSequence(text, i, c, next) == 0) return i;
        i = next;
    }
    return std::string_view::npos;
}

std::u16string Utf::ToUtf16(std::string_view text, bool* replaced) {
    if (replaced) *replaced = false;
    std::u16string out;
    if (CopyIfAscii(text, out)) return out;
    out.reserve(text.size());
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        char32_t c = 0;
        size_t next = 0;
        if (DecodeSequence(text, i, c, next) == 0) {
            out.push_back(0xFFFD);
            if (replaced) *replaced = true;
            i = next;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i = next;
    }
    return out;
}
