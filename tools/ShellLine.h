// One line of an obzshell script, split into words much as a POSIX shell
// splits a simple command, with backslashes kept the way Windows paths need
// them:
//   - blanks (space, tab) separate words; a carriage return at the end of the
//     line is dropped, so scripts written with CRLF endings read the same;
//   - '...' keeps every character up to the next single quote literally;
//   - "..." keeps every character up to the next double quote that no
//     backslash escapes;
//   - a backslash is an ordinary character (C:\data\x.db, \\server\share and
//     C:\data\ stay as typed), except in front of a quote that would
//     otherwise open or close a quotation (' or " outside quotes, " inside
//     double quotes): there the backslashes before the quote pair up, each
//     pair standing for one backslash, and an odd one left over makes the
//     quote an ordinary character. So it\'s is it's, "say \"hi\"" is
//     say "hi", and "C:\data\\" is C:\data\ (as on the Windows command line);
//     inside single quotes a backslash is always ordinary;
//   - $'...' keeps every character up to the next single quote that no
//     backslash escapes, with \n, \r, \t, \xHH (one or two hex digits),
//     \\, \' and \" standing for their characters (the form of POSIX
//     shells), so that a value with line breaks fits on one line; any other
//     backslash is kept;
//   - quoted and unquoted pieces next to each other form one word, and ''
//     or "" is an empty word (an empty argument);
//   - a line whose first non-blank character is '#' is a comment: no words.
//     A '#' anywhere else is an ordinary character (so #*# and '#' separators
//     need no quoting).
// A word written as an unquoted $name (letters, digits, '_', not starting
// with a digit) and nothing else is a reference to a shell variable; any
// other '$' is literal text ('$name' passes the text itself). No other
// expansion, globbing or operator (; | & < >) exists.
// Malformed lines (an open quote) give an error text and no words.
// Thread-safety: a value type; no shared state.
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
    // The word that Parse reads back as `text`, not a reference and not the
    // start of a comment: the text itself when it needs no quotes, else in
    // single quotes, in double quotes when it holds a single quote, or as
    // $'...' when it holds a control character (a line break, a tab).
    static std::string Quote(std::string_view text);

    bool Ok() const noexcept { return error_.empty(); }
    // Empty when the line parsed; otherwise what is wrong with it.
    const std::string& Error() const noexcept { return error_; }
    // The words; none for a blank line, a comment or a malformed line.
    const std::vector<Word>& Words() const noexcept { return words_; }

private:
    std::vector<Word> words_;
    std::string error_;
};
