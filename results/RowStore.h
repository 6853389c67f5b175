// The row texts of a RecordSet, packed for a result of a million rows and
// more: texts are copied end to end into large blocks instead of one heap
// allocation each, and a text whose units are all below 0x100 (the usual
// case) keeps one byte per unit. Rows are indexed by number in constant time,
// and appending never moves what is stored, so the memory of a result is
// touched once when it is filled.
//
// Ownership: the store owns its blocks; Clear and destruction release them.
// Thread-safety: none of its own; reading rows from several threads at once
// is safe while nobody appends or clears.
// Failures: Append throws std::bad_alloc and then stores nothing.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "com/Platform.h"

class RowStore {
public:
    void Append(const OLECHAR* text, std::size_t length);
    std::size_t Size() const noexcept { return count_; }
    // A new BSTR with row index (the caller frees it); null when memory runs
    // out. index must be below Size().
    BSTR Copy(std::size_t index) const noexcept;
    void Clear() noexcept;

private:
    struct Row {
        const void* data;  // narrow: one byte per unit; otherwise OLECHAR units
        UINT length;       // in units
        bool narrow;
    };
    static constexpr std::size_t kRowsPerBlock = 4096;
    static constexpr std::size_t kTextBlockBytes = std::size_t{1} << 20;

    // Room for bytes bytes (aligned for OLECHAR) in the current text block.
    unsigned char* Reserve(std::size_t bytes);

    std::vector<std::unique_ptr<unsigned char[]>> textBlocks_;
    std::size_t textUsed_ = 0;
    std::size_t textCapacity_ = 0;
    std::vector<std::unique_ptr<Row[]>> rowBlocks_;
    std::size_t count_ = 0;
};
