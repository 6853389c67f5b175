// UTF-8 <-> UTF-16 conversion used throughout the runtime (host paths, hive
// files, the UTF-8 code page). Internal to libcomrt.
// Thread-safety: stateless. Invalid input: lone surrogates and malformed UTF-8
// become U+FFFD, and the result reports that a replacement happened.
#pragma once

#include <string>
#include <string_view>

#include <comrt/wintypes.h>

class Utf {
public:
    // Converts UTF-16 units to UTF-8 bytes. Sets *replaced when a lone
    // surrogate had to be replaced.
    static std::string ToUtf8(std::u16string_view text, bool* replaced = nullptr);
    // Converts UTF-8 bytes to UTF-16 units. Sets *replaced when malformed bytes
    // had to be replaced.
    static std::u16string ToUtf16(std::string_view text, bool* replaced = nullptr);
    // The offset of the first malformed UTF-8 sequence (what ToUtf16 would
    // replace), or npos when there is none.
    static size_t FirstInvalid(std::string_view text);
    // Length of a zero-terminated UTF-16 text; 0 for null.
    static size_t Length(const char16_t* text);
};
