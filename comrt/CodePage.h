// The code-page conversions of the runtime (MultiByteToWideChar,
// WideCharToMultiByte, GetACP): UTF-8 (65001) and the single-byte Windows
// code pages 1250 to 1258, 437 and 850. CP_ACP and CP_THREAD_ACP name the ANSI
// code page, CP_OEMCP the OEM one (see AnsiCodePage). Arguments, flags and
// results follow Windows for each kind of code page: UTF-8 named as such takes
// only the ERR_INVALID_CHARS flags; an alias, and a single-byte code page,
// take the ANSI flags. Single-byte output falls back to a close character
// (the base letter of an accented one, ASCII for a full-width form) unless
// WC_NO_BEST_FIT_CHARS, then to the default character ('?' unless given).
// Thread-safety: stateless. Failure: the conversion functions answer 0 and set
// the last error (ERROR_INVALID_PARAMETER, ERROR_INVALID_FLAGS,
// ERROR_INSUFFICIENT_BUFFER, ERROR_NO_UNICODE_TRANSLATION,
// ERROR_NOT_ENOUGH_MEMORY).
#pragma once

#include <string>
#include <string_view>

#include <comrt/wintypes.h>

class SingleByteCodePage;

class CodePage {
public:
    static int ToWide(UINT codePage, DWORD flags, LPCCH text, int bytes, LPWSTR wide, int wideCount);
    static int ToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount, LPSTR text, int bytes,
                           LPCCH defaultChar, BOOL* usedDefault);

private:
    static constexpr UINT kUtf8 = 65001;

    // The number that an alias (CP_ACP, CP_OEMCP, CP_THREAD_ACP) stands for.
    static UINT Resolve(UINT codePage);
    static bool IsAlias(UINT codePage);

    // Decoded single-byte text; false (last error set) for an undefined byte
    // under MB_ERR_INVALID_CHARS.
    static bool FromSingleByte(const SingleByteCodePage& page, DWORD flags, std::string_view text,
                               std::u16string& out);
    // Encoded single-byte text; *usedDefault tells whether `fallback` was used.
    static void ToSingleByte(const SingleByteCodePage& page, DWORD flags, std::u16string_view wide, char fallback,
                             std::string& out, bool* usedDefault);
    // The byte of `c`, or of a close character unless best fit is off; -1.
    static int ByteOf(const SingleByteCodePage& page, DWORD flags, char16_t c);
    // Copies a result to the caller's buffer; answers its length or 0.
    template <typename Unit>
    static int Deliver(const std::basic_string<Unit>& result, Unit* target, int capacity);
};
