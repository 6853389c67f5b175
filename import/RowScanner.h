// Reads one import row (the UTF-16 text that stands between the parentheses
// of "VALUES (...)") with SQLite's token rules and says whether the row is a
// plain list of value literals, so that it can be stored without compiling
// the whole import as one statement.
// A row qualifies only when it is a comma-separated list of string literals,
// numbers (one optional sign), blob literals and NULL, with SQLite whitespace
// around them, and nothing else but texts joined from a string literal and
// further string literals or char(N) of an ASCII code N from 1 to 127, such
// as 'two'||char(10)||'lines' (how a line feed, which an import file cannot
// hold, reaches a value): no identifiers, keywords, parentheses,
// semicolons, comments, double quotes, unterminated quotes, zero units or
// lone surrogates (which the statement's UTF-8 text would not carry as such).
// Such a row cannot change how any other row of the statement is read.
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "com/Platform.h"

class RowScanner {
public:
    using View = std::basic_string_view<OLECHAR>;

    enum class RowKind {
        Bindable,  // strings (joined ones too), 64-bit integers and NULL only: values can be bound
        Literal,   // also reals, hex numbers, out-of-range integers or blobs:
                   // SQLite must evaluate the literals itself
        Other      // anything else: only the whole statement gives its meaning
    };

    struct Value {
        enum class Kind { Text, Integer, Null, Literal, Joined };
        Kind kind = Kind::Null;
        // Text: the units between the quotes (still with doubled quotes when
        // escaped is set). Literal: the whole literal including any sign.
        // Joined: the whole join, from the first quote to the last part.
        size_t begin = 0;
        size_t length = 0;
        bool escaped = false;
        int64_t integer = 0;
        size_t parts = 1;  // Joined: the literals and char() calls joined
    };

    // Classifies row and fills values (cleared first) with one entry per
    // value in order, and utf8Size with Utf8Size(row). values is meaningful
    // unless the answer is Other.
    static RowKind Scan(View row, std::vector<Value>& values, size_t& utf8Size);

    // The text of a Text value with every doubled quote made single.
    static void Unescape(View row, const Value& value, WString& out);

    // The text of a Joined value, as SQLite evaluates the join.
    static void Join(View row, const Value& value, WString& out);

    // The size of row in UTF-8 bytes; SIZE_MAX when it holds a zero unit or
    // a lone surrogate.
    static size_t Utf8Size(View row);
};
