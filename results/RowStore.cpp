#include "results/RowStore.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {
// Copies length units as bytes and answers the units or-ed together: above
// 0xFF when one of them did not fit. Everything is local, so the compiler
// can keep it in registers and vector code.
unsigned CopyNarrow(unsigned char* out, const OLECHAR* text, std::size_t length) noexcept {
    unsigned bits = 0;
    for (std::size_t k = 0; k < length; ++k) {
        const unsigned unit = text[k];
        bits |= unit;
        out[k] = static_cast<unsigned char>(unit);
    }
    return bits;
}

constexpr std::size_t kNoRoom = ~std::size_t{0};
// Separators of up to this many units take the one-pass copy.
constexpr std::size_t kShortSeparator = 8;

// Copies the zero-terminated text to out, one byte a unit, into at most
// limit bytes, or-ing every unit into bits; answers the units copied, or
// kNoRoom when the text is longer than limit. Its end is found as it is
// copied, four units a round: a loop that stops at the terminator cannot be
// made vector code, and this halves the loop's work per unit.
std::size_t CopyNarrowTerminated(unsigned char* out, const OLECHAR* text, std::size_t limit, unsigned& bits) noexcept {
    unsigned seen = 0;
    std::size_t k = 0;
    // Copies unit at (the terminator too, which the room has space for) and
    // answers whether it was not the terminator.
    auto copy = [&](std::size_t at) {
        const unsigned unit = text[at];
        out[at] = static_cast<unsigned char>(unit);
        seen |= unit;
        return unit != 0;
    };
    for (; limit - k > 4; k += 4) {
        if (!copy(k)) break;
        if (!copy(k + 1)) {
            k += 1;
            break;
        }
        if (!copy(k + 2)) {
            k += 2;
            break;
        }
        if (!copy(k + 3)) {
            k += 3;
            break;
        }
    }
    if (limit - k <= 4) {
        while (k < limit && copy(k)) ++k;
        if (k == limit && text[k] != 0) return kNoRoom;
    }
    bits |= seen;
    return k;
}
}  // namespace

void* RowStore::Slot(std::size_t index) const noexcept {
    // Chunks 0..k-1 hold kFirstRows * (2^k - 1) rows together.
    const std::size_t chunk = static_cast<std::size_t>(std::bit_width(index / kFirstRows + 1)) - 1;
    const std::size_t first = kFirstRows * ((std::size_t{1} << chunk) - 1);
    return rowChunks_[chunk].Data() + (index - first) * sizeof(Row);
}

const RowStore::Row& RowStore::At(std::size_t index) const noexcept {
    return *std::launder(static_cast<const Row*>(Slot(index)));
}

unsigned char* RowStore::Reserve(std::size_t bytes) {
    // Wide texts start on an even offset; blocks themselves are suitably
    // aligned by their allocators.
    const std::size_t start = (textUsed_ + 1) & ~std::size_t{1};
    if (textBlocks_.empty() || start + bytes > textBlocks_.back().Size()) {
        const std::size_t next =
            textBlocks_.empty() ? kFirstTextBytes : std::min(textBlocks_.back().Size() * 2, kMaxTextBytes);
        textBlocks_.emplace_back(std::max(bytes, next));
        textUsed_ = bytes;
        return textBlocks_.back().Data();
    }
    textUsed_ = start + bytes;
    return textBlocks_.back().Data() + start;
}

void RowStore::ReserveIndex() {
    if (count_ == kFirstRows * ((std::size_t{1} << rowChunks_.size()) - 1)) {
        rowChunks_.emplace_back(sizeof(Row) * (kFirstRows << rowChunks_.size()));
    }
}

void RowStore::Commit(const Row& row) noexcept {
    ::new (Slot(count_)) Row(row);
    ++count_;
}

void RowStore::Append(const OLECHAR* text, std::size_t length) {
    // Room in the row index first, so that nothing below can fail half way.
    ReserveIndex();
    // One pass over all units without an early exit, which compilers turn
    // into vector code; most rows are short and narrow.
    unsigned bits = 0;
    for (std::size_t i = 0; i < length; ++i) bits |= text[i];
    const bool narrow = bits < 0x100;
    Row row{nullptr, static_cast<UINT>(length), narrow};
    if (length > 0) {
        unsigned char* room = Reserve(narrow ? length : length * sizeof(OLECHAR));
        if (narrow) {
            for (std::size_t i = 0; i < length; ++i) room[i] = static_cast<unsigned char>(text[i]);
        } else {
            std::memcpy(room, text, length * sizeof(OLECHAR));
        }
        row.data = room;
    }
    Commit(row);
}

void RowStore::AppendJoined(const OLECHAR* const* values, std::size_t count,
                            std::basic_string_view<OLECHAR> separator) {
    ReserveIndex();
    // Most rows are narrow and fit in what is left of the current block:
    // they are copied there in one pass, each value's end found as it is
    // copied. Any other row is measured first and copied as below.
    // The separator is narrowed once for the row.
    unsigned char narrowSeparator[kShortSeparator];
    if (!textBlocks_.empty() && count > 0 && separator.size() <= kShortSeparator &&
        CopyNarrow(narrowSeparator, separator.data(), separator.size()) < 0x100) {
        unsigned char* const room = textBlocks_.back().Data() + textUsed_;
        const std::size_t left = textBlocks_.back().Size() - textUsed_;
        std::size_t used = 0;
        unsigned bits = 0;
        std::size_t i = 0;
        for (; i < count; ++i) {
            if (i > 0) {
                if (left - used < separator.size()) break;
                for (std::size_t k = 0; k < separator.size(); ++k) room[used + k] = narrowSeparator[k];
                used += separator.size();
            }
            if (values[i] == nullptr) continue;
            const std::size_t length = CopyNarrowTerminated(room + used, values[i], left - used, bits);
            if (length == kNoRoom) break;
            used += length;
        }
        if (i == count && bits < 0x100) {
            textUsed_ += used;
            Commit(Row{used > 0 ? room : nullptr, static_cast<UINT>(used), true});
            return;
        }
    }
    // First pass: the lengths.
    constexpr std::size_t kInline = 16;
    std::size_t inlineLengths[kInline];
    std::vector<std::size_t> spill;
    std::size_t* lengths = inlineLengths;
    if (count > kInline) {
        spill.resize(count);
        lengths = spill.data();
    }
    std::size_t total = count > 0 ? separator.size() * (count - 1) : 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t length = 0;
        if (const OLECHAR* value = values[i]; value != nullptr) {
            while (value[length] != 0) ++length;
        }
        lengths[i] = length;
        total += length;
    }
    Row row{nullptr, static_cast<UINT>(total), true};
    if (total > 0) {
        // Second pass: one byte a unit, noting whether any unit needed more;
        // most rows do not, and the rare one that does is copied again wide
        // (its narrow room is given back when it is the last in its block).
        const std::size_t usedBefore = textUsed_;
        const std::size_t blocksBefore = textBlocks_.size();
        unsigned char* room = Reserve(total);
        unsigned bits = 0;
        unsigned char* out = room;
        for (std::size_t i = 0; i < count; ++i) {
            if (i > 0) {
                bits |= CopyNarrow(out, separator.data(), separator.size());
                out += separator.size();
            }
            bits |= CopyNarrow(out, values[i], lengths[i]);
            out += lengths[i];
        }
        if (bits >= 0x100) {
            if (textBlocks_.size() == blocksBefore) textUsed_ = usedBefore;
            room = Reserve(total * sizeof(OLECHAR));
            out = room;
            auto wide = [&](const OLECHAR* text, std::size_t length) {
                std::memcpy(out, text, length * sizeof(OLECHAR));
                out += length * sizeof(OLECHAR);
            };
            for (std::size_t i = 0; i < count; ++i) {
                if (i > 0) wide(separator.data(), separator.size());
                if (lengths[i] > 0) wide(values[i], lengths[i]);
            }
            row.narrow = false;
        }
        row.data = room;
    }
    Commit(row);
}

BSTR RowStore::Copy(std::size_t index) const noexcept {
    const Row& row = At(index);
    if (!row.narrow) return SysAllocStringLen(static_cast<const OLECHAR*>(row.data), row.length);
    BSTR copy = SysAllocStringLen(nullptr, row.length);
    if (copy == nullptr) return nullptr;
    const auto* bytes = static_cast<const unsigned char*>(row.data);
    for (UINT i = 0; i < row.length; ++i) copy[i] = bytes[i];
    return copy;
}

void RowStore::Clear() noexcept {
    textBlocks_.clear();
    textUsed_ = 0;
    rowChunks_.clear();
    count_ = 0;
}

void RowStore::Swap(RowStore& other) noexcept {
    textBlocks_.swap(other.textBlocks_);
    std::swap(textUsed_, other.textUsed_);
    rowChunks_.swap(other.rowChunks_);
    std::swap(count_, other.count_);
}
