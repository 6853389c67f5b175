#include "Utf.h"

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
}  // namespace

size_t Utf::Length(const char16_t* text) {
    return text == nullptr ? 0 : std::char_traits<char16_t>::length(text);
}

std::string Utf::ToUtf8(std::u16string_view text, bool* replaced) {
    // Paths and most other texts are ASCII: one pass without branches finds
    // that out, and such a text is copied a byte a unit.
    unsigned bits = 0;
    for (const char16_t unit : text) bits |= unit;
    if (bits < 0x80) {
        if (replaced) *replaced = false;
        std::string ascii(text.size(), '\0');
        for (size_t i = 0; i < text.size(); ++i) ascii[i] = static_cast<char>(text[i]);
        return ascii;
    }
    std::string out;
    out.reserve(text.size() * 3 / 2 + 1);
    if (replaced) *replaced = false;
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
    unsigned bits = 0;
    for (const char byte : text) bits |= static_cast<unsigned char>(byte);
    if (bits < 0x80) {
        if (replaced) *replaced = false;
        std::u16string ascii(text.size(), u'\0');
        for (size_t i = 0; i < text.size(); ++i) ascii[i] = static_cast<char16_t>(text[i]);
        return ascii;
    }
    std::u16string out;
    out.reserve(text.size());
    if (replaced) *replaced = false;
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
