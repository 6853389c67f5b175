// Reads delimited text (RFC 4180 CSV, or the same with another delimiter,
// such as a tab) one record at a time from a TextDecoder, as UTF-8.
// - Fields are separated by the delimiter; a record ends at CR LF, LF or a
//   lone CR. Blank lines are skipped.
// - With quotes on, a field that begins with '"' is quoted: it ends at the
//   next lone '"', "" stands for one '"', and delimiters and line breaks
//   inside it are part of the value (kept as they are). After the closing
//   quote only the delimiter or the end of the record may follow. A '"'
//   inside an unquoted field is an ordinary character.
// - Nothing is trimmed.
// A record is bad when a quoted field has text after its closing quote, a
// quoted field is still open at the end of the file, or a value holds a
// zero character or input that is not valid text; the reader still reads
// the whole bad record, so the next one starts where it should.
// Memory: the decoded block being read and the current record.
// Thread-safety: an instance is not shared. Throws only std::bad_alloc.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "TextDecoder.h"

class CsvReader {
public:
    struct Record {
        std::string text;          // the values one after another, UTF-8
        std::vector<size_t> ends;  // where each value ends in text
        size_t line = 0;           // the line the record starts on, from 1
        std::string problem;       // why the record is bad; empty when good

        size_t Count() const noexcept { return ends.size(); }
        std::string_view Value(size_t i) const noexcept {
            const size_t begin = i == 0 ? 0 : ends[i - 1];
            return std::string_view(text).substr(begin, ends[i] - begin);
        }
    };

    // delimiter: an ASCII character other than '"', CR and LF.
    CsvReader(TextDecoder& decoder, char delimiter, bool quotes);

    // Reads the next record into `record`; false at the end of the text.
    bool Next(Record& record);

private:
    // True when a unit is available at pos_ (reading the next block if need be).
    bool Available();
    // Reads an unquoted field's units up to the delimiter or the record's end.
    void ReadPlain(Record& record);
    // Reads a quoted field from after its opening quote.
    void ReadQuoted(Record& record);
    // After a line break unit at pos_: consumes it (CR LF as one) and counts the line.
    void EndLine();
    // Sets the record's problem, unless it has one, when the value being
    // read held a zero unit or invalid input.
    void Note(bool zero, bool invalid, Record& record) const;

    TextDecoder& decoder_;
    std::string block_;
    size_t pos_ = 0;
    size_t line_ = 1;
    char delimiter_;
    bool quotes_;
};
