// Names for a person typing shell lines: what the word being typed can
// become (tab completion), and the name closest to a misspelt one (the
// "did you mean" of an unknown method or line).
//
// Completion looks at the line up to the cursor. Its first word completes to
// a keyword (new, select, ...), a method of the database object, or a
// variable followed by "." (rs.), and NAME.Met to the methods of NAME's
// class; the word after help to a keyword or any method; the word after
// new NAME to a ProgID; an argument that starts with $ to $VARIABLE. Method
// names match without case, as late binding matches them; completions are
// written as the tables write them.
// Thread-safety: stateless.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

class ShellCompletion {
public:
    // Each variable with the ProgID of its class ("Ombrel.RecordSet"; empty
    // for a class the shell does not know).
    using Variables = std::map<std::string, std::string>;

    // The whole words that the last word of `line` can become, sorted; none
    // when nothing fits.
    static std::vector<std::string> Candidates(std::string_view line, const Variables& variables);
    // The name in `names` nearest to `word` (without case) when it is a near
    // miss: at most two edits (a letter added, dropped, changed, or two next
    // to each other swapped), three for words of eight letters or more.
    // Empty when none is that near, or for an exact match.
    static std::string Nearest(std::string_view word, const std::vector<std::string>& names);
};
