// One single-byte Windows code page (1250 to 1258, 437, 850): its 256
// characters, read from the C library's converter when the code page is first
// used, and the way back from a character to its byte. A byte that the code
// page leaves undefined reads as the control character of the same number in
// 0x80-0x9F (as Windows reads them) and as U+FFFD elsewhere.
// Ownership: Find's objects live until the process ends. Internal to libcomrt.
// Thread-safety: Find and every const member are safe from any thread.
// Failure: Find answers null for other code pages and when the converter is
// missing; it throws std::bad_alloc.
#pragma once

#include <utility>
#include <vector>

#include <comrt/wintypes.h>

class SingleByteCodePage {
public:
    static constexpr char16_t kUndefined = 0xFFFD;

    static const SingleByteCodePage* Find(UINT codePage);

    char16_t ToWide(unsigned char byte) const { return toWide_[byte]; }
    bool IsDefined(unsigned char byte) const { return toWide_[byte] != kUndefined; }
    // The byte that reads as `c`; -1 when the code page lacks it.
    int ToByte(char16_t c) const;

private:
    SingleByteCodePage() = default;
    // Fills both directions from the converter named `charset`.
    bool Load(const char* charset);

    char16_t toWide_[256] = {};
    std::vector<std::pair<char16_t, unsigned char>> toByte_;  // sorted by character
};
