#include "RowCutter.h"

#include <algorithm>
#include <cstddef>

void RowCutter::Append(const WString& piece) {
    // Dropping the handed-out prefix only once it is at least half of the
    // buffer keeps the copying linear overall.
    if (start_ > 0 && start_ >= pending_.size() / 2) {
        pending_.erase(0, start_);
        searchFrom_ -= start_;
        start_ = 0;
    }
    pending_.append(piece);
}

void RowCutter::Append(WString&& piece) {
    if (start_ < pending_.size()) {
        Append(piece);
        return;
    }
    pending_.swap(piece);
    start_ = searchFrom_ = 0;
}

bool RowCutter::Next(View& row) {
    if (separator_.empty()) return false;
    size_t hit = WString::npos;
    if (separator_.size() == 1) {
        // One unit, the usual case: a plain search, unrolled by the library.
        const auto found = std::find(pending_.begin() + static_cast<std::ptrdiff_t>(searchFrom_), pending_.end(),
                                     separator_[0]);
        if (found != pending_.end()) hit = static_cast<size_t>(found - pending_.begin());
    } else {
        hit = pending_.find(separator_, searchFrom_);
    }
    if (hit == WString::npos) {
        // A separator may still begin in the last units, completed by the
        // next piece.
        const size_t tail = separator_.size() - 1;
        if (pending_.size() > searchFrom_ + tail) searchFrom_ = pending_.size() - tail;
        return false;
    }
    row = View(pending_).substr(start_, hit - start_);
    start_ = searchFrom_ = hit + separator_.size();
    return true;
}

bool RowCutter::Finish(View& row) {
    if (start_ >= pending_.size()) return false;
    row = View(pending_).substr(start_);
    start_ = pending_.size();
    return true;
}
