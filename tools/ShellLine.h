// One line of an obzshell script, split into words the way a POSIX shell
// splits a simple command:
//   - blanks (space, tab) separate words; a carriage return at the end of the
//     line is dropped, so scripts written with CRLF endings read the same;
//   - '...' keeps every character up to the next single quote literally;
//   - "..." keeps every character, except that a backslash before one of
//     the four characters $ ` " and backslash is dropped and that character
//     kept; any other backslash stays;
//   - outside quotes a backslash keeps the next character literally;
//   - quoted and unquoted pieces next to each other form one word, and ''
//     or "" is an empty word (an empty argument);
//   - a line whose first non-blank character is '#' is a comment: no words.
//     A '#' anywhere else is an ordinary character (so #*# and '#' separators
//     need no quoting).
// A word written as an unquoted $name (letters, digits, '_', not starting
// with a digit) and nothing else is a reference to a shell variable; any
// other '$' is literal text. No other expansion, globbing or operator
// (; | & < >) exists.
// Malformed lines (an open quote, a backslash at the very end) give an error
// text and no words. Thread-safety: a value type; no shared state.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class ShellLine {
public:
    struct Word {
        std::string text;        // the word's text; for a reference, the variable name
        bool reference = false;  // written as an unquoted $name
        bool operator==(const Word&) const = default;
    };

    static ShellLine Parse(std::string_view line);

    bool Ok() const noexcept { return error_.empty(); }
    // Empty when the line parsed; otherwise what is wrong with it.
    const std::string& Error() const noexcept { return error_; }
    // The words; none for a blank line, a comment or a malformed line.
    const std::vector<Word>& Words() const noexcept { return words_; }

private:
    std::vector<Word> words_;
    std::string error_;
};
