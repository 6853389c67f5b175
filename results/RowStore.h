// The row texts of a RecordSet, packed for a result of a million rows and
// more: texts are copied end to end into blocks instead of one heap
// allocation each, and a text whose units are all below 0x100 (the usual
// case) keeps one byte per unit. Rows are indexed by number in constant time,
// and appending never moves what is stored, so the memory of a result is
// touched once when it is filled. Blocks double in size as the result grows:
// a small result stays small, and a large one lives in large blocks (see
// StoreBlock).
//
// Ownership: the store owns its blocks; Clear and destruction release them.
// Thread-safety: none of its own; reading rows from several threads at once
// is safe while nobody appends or clears.
// Failures: Append throws std::bad_alloc and then stores nothing.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "com/Platform.h"
#include "results/StoreBlock.h"

class RowStore {
public:
    // A stored text: length units at data, one byte a unit when narrow,
    // otherwise OLECHAR units. Valid until the store is cleared.
    struct Row {
        const void* data;
        UINT length;
        bool narrow;
    };

    void Append(const OLECHAR* text, std::size_t length);
    // Appends the text of count zero-terminated values joined by separator,
    // without building it first; a null value is empty.
    void AppendJoined(const OLECHAR* const* values, std::size_t count, std::basic_string_view<OLECHAR> separator);
    std::size_t Size() const noexcept { return count_; }
    // Row index; index must be below Size().
    const Row& At(std::size_t index) const noexcept;
    // A new BSTR with row index (the caller frees it); null when memory runs
    // out. index must be below Size().
    BSTR Copy(std::size_t index) const noexcept;
    void Clear() noexcept;
    // Exchanges the contents, so that a store can be emptied under a lock
    // and its blocks released after it.
    void Swap(RowStore& other) noexcept;

private:
    // Index chunk k holds kFirstRows << k rows; text blocks start at
    // kFirstTextBytes and double up to kMaxTextBytes.
    static constexpr std::size_t kFirstRows = 1024;
    static constexpr std::size_t kFirstTextBytes = std::size_t{64} << 10;
    static constexpr std::size_t kMaxTextBytes = std::size_t{8} << 20;

    // The storage of row index, in the chunk that holds it.
    void* Slot(std::size_t index) const noexcept;
    // Room in the row index for one more row.
    void ReserveIndex();
    // Stores row and counts it.
    void Commit(const Row& row) noexcept;
    // Room for bytes bytes (aligned for OLECHAR) in the current text block.
    unsigned char* Reserve(std::size_t bytes);

    std::vector<StoreBlock> textBlocks_;
    std::size_t textUsed_ = 0;
    std::vector<StoreBlock> rowChunks_;
    std::size_t count_ = 0;
};
