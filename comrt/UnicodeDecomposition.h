// Canonical decompositions of the accented letters of the Latin, Greek and
// Cyrillic blocks into a base character and one combining mark (Unicode's
// data, in UnicodeDecompositionTable.inc). The single-byte code pages use
// them to compose and decompose, and to fall back to a letter's base where
// the code page lacks the letter. Internal to libcomrt.
// Thread-safety: immutable data; safe from any thread.
#pragma once

#include <optional>

class UnicodeDecomposition {
public:
    struct Parts {
        char16_t base;
        char16_t mark;
    };

    // The base and mark of `c`; none when `c` has no such decomposition.
    static std::optional<Parts> Of(char16_t c);
    // The precomposed character of base + mark; 0 when there is none.
    static char16_t Compose(char16_t base, char16_t mark);
    // The combining diacritical marks, which take no room of their own.
    static bool IsNonSpacing(char16_t c) { return c >= 0x300 && c <= 0x36F; }
};
