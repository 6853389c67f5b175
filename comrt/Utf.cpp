#include "Utf.h"

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

std::u16string Utf::ToUtf16(std::string_view text, bool* replaced) {
    if (replaced) *replaced = false;
    std::u16string out;
    if (CopyIfAscii(text, out)) return out;
    out.reserve(text.size());
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t c = 0;
        char32_t min = 0;
        if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, min = 0x10000;
        } else {
            out.push_back(0xFFFD);
            if (replaced) *replaced = true;
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= n || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
        }
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            if (replaced) *replaced = true;
            i = ok ? j : (j > i + 1 ? j : i + 1);
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i = j;
    }
    return out;
}
