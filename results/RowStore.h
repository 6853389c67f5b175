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
#include <vector>

#include "com/Platform.h"
#include "results/StoreBlock.h"

class RowStore {
public:
    void Append(const OLECHAR* text, std::size_t length);
    std::size_t Size() const noexcept { return count_; }
    // A new BSTR with row index (the caller frees it); null when memory runs
    // out. index must be below Size().
    BSTR Copy(std::size_t index) const noexcept;
    void Clear() noexcept;
    // Exchanges the contents, so that a store can be emptied under a lock
    // and its blocks released after it.
    void Swap(RowStore& other) noexcept;

private:
    struct Row {
        const void* data;  // narrow: one byte per unit; otherwise OLECHAR units
        UINT length;       // in units
        bool narrow;
    };
    // Index chunk k holds kFirstRows << k rows; text blocks start at
    // kFirstTextBytes and double up to kMaxTextBytes.
    static constexpr std::size_t kFirstRows = 1024;
    static constexpr std::size_t kFirstTextBytes = std::size_t{64} << 10;
    static constexpr std::size_t kMaxTextBytes = std::size_t{8} << 20;

    // The storage of row index, in the chunk that holds it.
    void* Slot(std::size_t index) const noexcept;
    const Row& At(std::size_t index) const noexcept;
    // Room for bytes bytes (aligned for OLECHAR) in the current text block.
    unsigned char* Reserve(std::size_t bytes);

    std::vector<StoreBlock> textBlocks_;
    std::size_t textUsed_ = 0;
    std::vector<StoreBlock> rowChunks_;
    std::size_t count_ = 0;
};
