#include "CodePage.h"

#include <cstring>
#include <string>
#include <string_view>

#include <comrt/winbase.h>

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
}  // namespace

bool CodePage::IsSupported(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

bool CodePage::IsExplicitUtf8(UINT codePage) { return codePage == CP_UTF8; }

UINT GetACP() { return CodePage::kAnsi; }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int bytes, LPWSTR wide, int wideCount) {
    if (text == nullptr || bytes == 0 || bytes < -1 || wideCount < 0 || (wide == nullptr && wideCount > 0) ||
        (wide != nullptr && static_cast<const void*>(wide) == static_cast<const void*>(text))) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!CodePage::IsSupported(codePage)) return Fail(ERROR_INVALID_PARAMETER);
    const DWORD allowed = CodePage::IsExplicitUtf8(codePage) ? MB_ERR_INVALID_CHARS : kAnsiToWideFlags;
    if ((flags & ~allowed) != 0 || ((flags & MB_PRECOMPOSED) && (flags & MB_COMPOSITE))) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    // With -1 the terminator is part of the input and so of the result.
    const size_t length = bytes == -1 ? std::strlen(text) + 1 : static_cast<size_t>(bytes);
    bool replaced = false;
    const std::u16string result = Utf::ToUtf16(std::string_view(text, length), &replaced);
    if (replaced && (flags & MB_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (result.size() > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER);
    const int needed = static_cast<int>(result.size());
    if (wideCount == 0) return needed;
    if (wideCount < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(wide, result.data(), result.size() * sizeof(WCHAR));
    return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount, LPSTR text, int bytes,
                        LPCCH defaultChar, BOOL* usedDefault) {
    if (wide == nullptr || wideCount == 0 || wideCount < -1 || bytes < 0 || (text == nullptr && bytes > 0) ||
        (text != nullptr && static_cast<const void*>(wide) == static_cast<const void*>(text))) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!CodePage::IsSupported(codePage)) return Fail(ERROR_INVALID_PARAMETER);
    const bool explicitUtf8 = CodePage::IsExplicitUtf8(codePage);
    if (explicitUtf8) {
        if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
        if (defaultChar != nullptr || usedDefault != nullptr) return Fail(ERROR_INVALID_PARAMETER);
    } else if ((flags & ~kWideToAnsiFlags) != 0) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const size_t length =
        wideCount == -1 ? std::char_traits<char16_t>::length(wide) + 1 : static_cast<size_t>(wideCount);
    // Only a lone surrogate lacks a UTF-8 form; the ANSI alias writes the
    // caller's default character for it, UTF-8 proper writes U+FFFD.
    const std::string_view replacement =
        defaultChar != nullptr ? std::string_view(defaultChar, 1) : std::string_view("\xEF\xBF\xBD");
    std::string result;
    const bool replaced = ToUtf8(std::u16string_view(wide, length), replacement, &result);
    if (replaced && (flags & WC_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (result.size() > 0x7FFFFFFF) return Fail(ERROR_INVALID_PARAMETER);
    const int needed = static_cast<int>(result.size());
    if (bytes != 0) {
        if (bytes < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(text, result.data(), result.size());
    }
    if (usedDefault != nullptr) *usedDefault = replaced ? TRUE : FALSE;
    return needed;
}
