// Cuts a text that arrives in pieces (the lines of a file, joined without
// line breaks) into rows at a separator, as the list rule splits the whole
// text: at every whole occurrence from left to right, empty rows kept, no
// empty row after a separator at the very end, no row from an empty text.
// An empty separator cuts nothing: the whole text is one row.
// Holds only the text not yet handed out; each unit is searched a bounded
// number of times, so the work is linear in the text's length.
// Thread-safety: an instance is not shared. Throws only std::bad_alloc.
#pragma once

#include <string_view>
#include <utility>

#include "com/Platform.h"

class RowCutter {
public:
    explicit RowCutter(WString separator) : separator_(std::move(separator)) {}

    // Adds the next piece of text.
    void Append(const WString& piece);
    // The same, taking over piece's buffer when no text is pending (piece is
    // left with unspecified contents): a long line is then not copied.
    void Append(WString&& piece);

    using View = std::basic_string_view<OLECHAR>;

    // The next row that a separator has ended; false when none is complete.
    // The row stays valid until the next Append.
    bool Next(View& row);

    // After the last piece: the text after the last separator, when it is
    // not empty. Valid while the cutter lives.
    bool Finish(View& row);

private:
    WString separator_;
    WString pending_;
    size_t start_ = 0;       // first unit of pending_ not handed out
    size_t searchFrom_ = 0;  // no separator begins in [start_, searchFrom_)
};
