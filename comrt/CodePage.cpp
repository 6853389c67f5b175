#include "CodePage.h"

#include <cstring>
#include <new>

#include <comrt/winbase.h>

#include "AnsiCodePage.h"
#include "SingleByteCodePage.h"
#include "UnicodeDecomposition.h"
#include "Utf.h"

namespace {
// Flags that the ANSI code page accepts on Windows.
constexpr DWORD kAnsiToWideFlags = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
constexpr DWORD kWideToAnsiFlags =
    WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Converts UTF-16 to UTF-8, writing `replacement` for every lone surrogate.
// Answers whether one was met.
bool ToUtf8(std::u16string_view wide, std::string_view replacement, std::string* out) {
    bool replaced = false;
    size_t start = 0;
    for (size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        if (IsHigh(c) && i + 1 < wide.size() && IsLow(wide[i + 1])) {
            ++i;
            continue;
        }
        if (!IsHigh(c) && !IsLow(c)) continue;
        out->append(Utf::ToUtf8(wide.substr(start, i - start)));
        out->append(replacement);
        replaced = true;
        start = i + 1;
    }
    out->append(Utf::ToUtf8(wide.substr(start)));
    return replaced;
}

// `c` as base character and marks, outermost mark last (MB_COMPOSITE).
void AppendDecomposed(char16_t c, std::u16string& out) {
    const std::optional<UnicodeDecomposition::Parts> parts = UnicodeDecomposition::Of(c);
    if (!parts) {
        out.push_back(c);
        return;
    }
    AppendDecomposed(parts->base, out);
    out.push_back(parts->mark);
}
}  // namespace

bool CodePage::IsAlias(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP;
}

UINT CodePage::Resolve(UINT codePage) {
    if (codePage == CP_ACP || codePage == CP_THREAD_ACP) return AnsiCodePage::Ansi();
    if (codePage == CP_OEMCP) return AnsiCodePage::Oem();
    return codePage;
}

template <typename Unit>
int CodePage::Deliver(const std::basic_string<Unit>& result, Unit* target, int capacity) {
    if (result.size() > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER);
    const int needed = static_cast<int>(result.size());
    if (capacity == 0) return needed;
    if (capacity < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(target, result.data(), result.size() * sizeof(Unit));
    return needed;
}

bool CodePage::FromSingleByte(const SingleByteCodePage& page, DWORD flags, std::string_view text,
                              std::u16string& out) {
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((flags & MB_ERR_INVALID_CHARS) && !page.IsDefined(byte)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return false;
        }
        if (flags & MB_COMPOSITE)
            AppendDecomposed(page.ToWide(byte), out);
        else
            out.push_back(page.ToWide(byte));
    }
    return true;
}

int CodePage::ByteOf(const SingleByteCodePage& page, DWORD flags, char16_t c) {
    int byte = page.ToByte(c);
    if (byte >= 0 || (flags & WC_NO_BEST_FIT_CHARS)) return byte;
    if (c >= 0xFF01 && c <= 0xFF5E) return page.ToByte(static_cast<char16_t>(c - 0xFEE0));  // full-width ASCII
    for (auto parts = UnicodeDecomposition::Of(c); parts; parts = UnicodeDecomposition::Of(parts->base)) {
        byte = page.ToByte(parts->base);
        if (byte >= 0) return byte;
    }
    return -1;
}

void CodePage::ToSingleByte(const SingleByteCodePage& page, DWORD flags, std::u16string_view wide, char fallback,
                            std::string& out, bool* usedDefault) {
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        const bool marked = (flags & WC_COMPOSITECHECK) && i + 1 < wide.size() &&
                            UnicodeDecomposition::IsNonSpacing(wide[i + 1]);
        if (marked) {
            const char16_t composed = UnicodeDecomposition::Compose(c, wide[i + 1]);
            const int byte = composed != 0 ? page.ToByte(composed) : -1;
            if (byte >= 0 || (flags & WC_DEFAULTCHAR)) {
                out.push_back(byte >= 0 ? static_cast<char>(byte) : fallback);
                *usedDefault |= byte < 0;
                ++i;
                continue;
            }
            // WC_DISCARDNS drops the mark; WC_SEPCHARS (the default) converts
            // it on its own after the base.
            if (flags & WC_DISCARDNS) ++i;
        }
        const int byte = ByteOf(page, flags, c);
        out.push_back(byte >= 0 ? static_cast<char>(byte) : fallback);
        *usedDefault |= byte < 0;
    }
}

int CodePage::ToWide(UINT codePage, DWORD flags, LPCCH text, int bytes, LPWSTR wide, int wideCount) {
    if (text == nullptr || bytes == 0 || bytes < -1 || wideCount < 0 || (wide == nullptr && wideCount > 0) ||
        (wide != nullptr && static_cast<const void*>(wide) == static_cast<const void*>(text))) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const UINT resolved = Resolve(codePage);
    const SingleByteCodePage* page = resolved == kUtf8 ? nullptr : SingleByteCodePage::Find(resolved);
    if (resolved != kUtf8 && page == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const DWORD allowed = codePage == kUtf8 ? MB_ERR_INVALID_CHARS : kAnsiToWideFlags;
    if ((flags & ~allowed) != 0 || ((flags & MB_PRECOMPOSED) && (flags & MB_COMPOSITE))) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    // With -1 the terminator is part of the input and so of the result.
    const size_t length = bytes == -1 ? std::strlen(text) + 1 : static_cast<size_t>(bytes);
    std::u16string result;
    if (page != nullptr) {
        if (!FromSingleByte(*page, flags, std::string_view(text, length), result)) return 0;
    } else {
        bool replaced = false;
        result = Utf::ToUtf16(std::string_view(text, length), &replaced);
        if (replaced && (flags & MB_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    return Deliver(result, wide, wideCount);
}

int CodePage::ToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount, LPSTR text, int bytes,
                          LPCCH defaultChar, BOOL* usedDefault) {
    if (wide == nullptr || wideCount == 0 || wideCount < -1 || bytes < 0 || (text == nullptr && bytes > 0) ||
        (text != nullptr && static_cast<const void*>(wide) == static_cast<const void*>(text))) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const UINT resolved = Resolve(codePage);
    const SingleByteCodePage* page = resolved == kUtf8 ? nullptr : SingleByteCodePage::Find(resolved);
    if (resolved != kUtf8 && page == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (codePage == kUtf8) {
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
        if (defaultChar != nullptr || usedDefault != nullptr) return Fail(ERROR_INVALID_PARAMETER);
    } else if ((flags & ~kWideToAnsiFlags) != 0) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const size_t length =
        wideCount == -1 ? std::char_traits<char16_t>::length(wide) + 1 : static_cast<size_t>(wideCount);
    const std::u16string_view source(wide, length);
    std::string result;
    bool replaced = false;
    if (page != nullptr) {
        ToSingleByte(*page, flags, source, defaultChar != nullptr ? *defaultChar : '?', result, &replaced);
    } else {
        // Only a lone surrogate lacks a UTF-8 form; the ANSI alias writes the
        // caller's default character for it, UTF-8 proper writes U+FFFD.
        const std::string_view replacement =
            defaultChar != nullptr ? std::string_view(defaultChar, 1) : std::string_view("\xEF\xBF\xBD");
        replaced = ToUtf8(source, replacement, &result);
        if (replaced && (flags & WC_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    const int written = Deliver(result, text, bytes);
    if (written != 0 && usedDefault != nullptr) *usedDefault = replaced ? TRUE : FALSE;
    return written;
}

UINT GetACP() {
    try {
        return AnsiCodePage::Ansi();
    } catch (const std::bad_alloc&) {
        return 65001;
    }
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int bytes, LPWSTR wide, int wideCount) {
    try {
        return CodePage::ToWide(codePage, flags, text, bytes, wide, wideCount);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount, LPSTR text, int bytes,
                        LPCCH defaultChar, BOOL* usedDefault) {
    try {
        return CodePage::ToMultiByte(codePage, flags, wide, wideCount, text, bytes, defaultChar, usedDefault);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
