#include "ShellLine.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

// True when text (read unquoted) is "$" followed by a variable name.
bool IsReference(std::string_view raw) {
    if (raw.size() < 2 || raw[0] != '$' || !IsNameStart(raw[1])) return false;
    for (char c : raw.substr(1)) {
        if (!IsNameChar(c)) return false;
    }
    return true;
}

// Reads the run of backslashes at line[pos] into `text`. Before one of the
// `quotes` the run pairs up and an odd backslash left over takes the quote
// as text; elsewhere every backslash is kept. Returns the position after
// what was read: the quote itself when it still opens or closes a quotation.
size_t ReadBackslashes(std::string_view line, size_t pos, std::string_view quotes, std::string& text) {
    size_t end = pos;
    while (end < line.size() && line[end] == '\\') ++end;
    const size_t count = end - pos;
    if (end == line.size() || quotes.find(line[end]) == std::string_view::npos) {
        text.append(count, '\\');
        return end;
    }
    text.append(count / 2, '\\');
    if (count % 2 == 0) return end;
    text.push_back(line[end]);
    return end + 1;
}

}  // namespace

ShellLine ShellLine::Parse(std::string_view line) {
    ShellLine result;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos < line.size() && line[pos] == '#') return result;

    while (pos < line.size()) {
        if (IsBlank(line[pos])) {
            ++pos;
            continue;
        }
        // One word: runs until an unquoted blank or the end of the line.
        const size_t start = pos;
        bool quoted = false;
        Word word;
        while (pos < line.size() && !IsBlank(line[pos])) {
            const char c = line[pos];
            if (c == '\'') {
                const size_t close = line.find('\'', pos + 1);
                if (close == std::string_view::npos) {
                    result.error_ = "unterminated single quote";
                    result.words_.clear();
                    return result;
                }
                word.text.append(line.substr(pos + 1, close - pos - 1));
                quoted = true;
                pos = close + 1;
            } else if (c == '"') {
                ++pos;
                bool closed = false;
                bool escapedQuote = false;
                while (pos < line.size() && !closed) {
                    if (line[pos] == '\\') {
                        const size_t before = word.text.size();
                        pos = ReadBackslashes(line, pos, "\"", word.text);
                        escapedQuote = escapedQuote || (word.text.size() > before && word.text.back() == '"');
                    } else if (line[pos] == '"') {
                        closed = true;
                        ++pos;
                    } else {
                        word.text.push_back(line[pos++]);
                    }
                }
                if (!closed) {
                    result.error_ = "unterminated double quote";
                    // The likely slip: a folder path ending in a backslash.
                    if (escapedQuote) {
                        result.error_ += " (a backslash before \" keeps the quote as text: write a folder as "
                                         "'C:\\dir\\' or \"C:\\dir\\\\\")";
                    }
                    result.words_.clear();
                    return result;
                }
                quoted = true;
            } else if (c == '\\') {
                pos = ReadBackslashes(line, pos, "'\"", word.text);
            } else {
                word.text.push_back(c);
                ++pos;
            }
        }
        if (!quoted && IsReference(line.substr(start, pos - start))) {
            word.text.erase(0, 1);
            word.reference = true;
        }
        result.words_.push_back(std::move(word));
    }
    return result;
}
