// The pieces of a split text as (offset, length) pairs into that text. The
// first pieces live inside the object, so splitting a typical row allocates
// nothing; longer lists spill to the heap (Add may throw std::bad_alloc).
// Thread-safety: none (a value type).
#pragma once

#include <cstddef>
#include <vector>

class PieceList {
public:
    struct Piece {
        std::size_t offset;
        std::size_t length;
    };

    void Add(std::size_t offset, std::size_t length) {
        if (count_ < kInline) {
            inline_[count_] = Piece{offset, length};
        } else {
            spill_.push_back(Piece{offset, length});
        }
        ++count_;
    }
    std::size_t Size() const noexcept { return count_; }
    const Piece& operator[](std::size_t i) const noexcept { return i < kInline ? inline_[i] : spill_[i - kInline]; }

private:
    static constexpr std::size_t kInline = 32;
    Piece inline_[kInline];
    std::vector<Piece> spill_;
    std::size_t count_ = 0;
};
