// Writes records in the component's import format, for ImportDbFile with
// RowSplit kRowSplit and ColumnSplit kColumnSplit: UTF-8 with its byte-order
// mark (which the component reads as UTF-8 whatever the ANSI code page), one
// row a line, each value a quoted SQL string literal ('' for a quote),
// values separated by kColumnSplit, each row ended by kRowSplit before its
// line break.
// No separator ever stands inside a value: ImportDbFile would cut a row at
// it, or replace it with "," even inside quotes. Nor does a line feed, which
// the component's reader drops with the file's own line breaks. A value
// that holds one of these three characters is written as a join,
// 'a'||char(10)||'b', which ImportDbFile stores as the text it stands for.
// SQLite takes a join of at most 999 parts, so a value may hold at most
// kMostJoined of these characters.
// Ownership: writes to a stream that the caller owns and keeps open.
// Thread-safety: an instance is not shared. Throws only std::bad_alloc.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "CsvReader.h"

class ImportFileWriter {
public:
    // The information separators "unit" and "record" of ASCII: rare in text.
    static constexpr char kColumnSplit = '\x1F';
    static constexpr char kRowSplit = '\x1E';

    // Writes the byte-order mark.
    explicit ImportFileWriter(std::FILE* out);

    static constexpr size_t kMostJoined = 499;

    // Writes the record's values as one row; false, writing nothing, when a
    // value holds more than kMostJoined line feeds and separators, with its
    // position (from 0) in `refused`.
    bool Write(const CsvReader::Record& record, size_t& refused);

    // Writes what is still buffered; false when any write failed.
    bool Finish();

private:
    // False when the value holds too many characters to join.
    bool AppendValue(std::string_view value);
    void Flush();

    std::FILE* out_;
    std::string buffer_;
    bool failed_ = false;
};
