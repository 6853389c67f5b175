// The list rule and the quoting helpers through which the facade reads its
// string arguments: lists of columns, values and conditions travel inside one
// string each, split at a client-chosen separator.
// Thread-safety: stateless; safe from any thread. Throws only std::bad_alloc.
#pragma once

#include <vector>

#include "com/Platform.h"

class ParamList {
public:
    // Splits text at every occurrence of the whole separator. Pieces are
    // copied out in order and never trimmed; empty pieces between separators
    // are kept, a separator at the very end gives no empty last piece, and an
    // empty text gives no pieces. An empty separator cannot split anything:
    // a non-empty text then comes back as one piece.
    static std::vector<WString> SplitString(WString text, WString separator);

    // The text with every single quote doubled, ready to stand between single
    // quotes in SQL text.
    static WString DoubleQuotes(const WString& text);

    // True when needle (zero-terminated, not null) occurs in text.
    static bool Contains(const WString& text, const OLECHAR* needle);

    // The working copy of a BSTR argument: its units up to the first zero
    // unit, as formatting it with "%s" copies it. A null BSTR reads as empty.
    static WString FromBstr(BSTR text);
    // The same units without a copy: valid while the BSTR lives.
    static WStringView ViewOf(BSTR text);
};
