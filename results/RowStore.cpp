#include "results/RowStore.h"

#include <algorithm>
#include <cstring>

unsigned char* RowStore::Reserve(std::size_t bytes) {
    // Wide texts start on an even offset; blocks themselves are suitably
    // aligned by the allocator.
    const std::size_t start = (textUsed_ + 1) & ~std::size_t{1};
    if (textBlocks_.empty() || start + bytes > textCapacity_) {
        const std::size_t size = std::max(bytes, kTextBlockBytes);
        textBlocks_.push_back(std::unique_ptr<unsigned char[]>(new unsigned char[size]));
        textCapacity_ = size;
        textUsed_ = bytes;
        return textBlocks_.back().get();
    }
    textUsed_ = start + bytes;
    return textBlocks_.back().get() + start;
}

void RowStore::Append(const OLECHAR* text, std::size_t length) {
    // Room in the row index first, so that nothing below can fail half way.
    if (count_ == rowBlocks_.size() * kRowsPerBlock) {
        if (rowBlocks_.size() == rowBlocks_.capacity()) rowBlocks_.reserve(rowBlocks_.size() * 2 + 16);
        rowBlocks_.push_back(std::unique_ptr<Row[]>(new Row[kRowsPerBlock]));
    }
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
    rowBlocks_[count_ / kRowsPerBlock][count_ % kRowsPerBlock] = row;
    ++count_;
}

BSTR RowStore::Copy(std::size_t index) const noexcept {
    const Row& row = rowBlocks_[index / kRowsPerBlock][index % kRowsPerBlock];
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
    textCapacity_ = 0;
    rowBlocks_.clear();
    count_ = 0;
}
