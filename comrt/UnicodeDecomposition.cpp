#include "UnicodeDecomposition.h"

#include <algorithm>
#include <iterator>

namespace {
struct Entry {
    char16_t composed;
    char16_t base;
    char16_t mark;
};

// Sorted by the composed character.
constexpr Entry kEntries[] = {
#include "UnicodeDecompositionTable.inc"
};
}  // namespace

std::optional<UnicodeDecomposition::Parts> UnicodeDecomposition::Of(char16_t c) {
    const Entry* found = std::lower_bound(std::begin(kEntries), std::end(kEntries), c,
                                          [](const Entry& e, char16_t key) { return e.composed < key; });
    if (found == std::end(kEntries) || found->composed != c) return std::nullopt;
    return Parts{found->base, found->mark};
}

char16_t UnicodeDecomposition::Compose(char16_t base, char16_t mark) {
    // Rare (only WC_COMPOSITECHECK asks), so a scan is enough.
    for (const Entry& e : kEntries)
        if (e.base == base && e.mark == mark) return e.composed;
    return 0;
}
