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
                while (pos < line.size()) {
                    const char q = line[pos];
                    if (q == '"') {
                        closed = true;
                        ++pos;
                        break;
                    }
                    if (q == '\\' && pos + 1 < line.size()) {
                        const char next = line[pos + 1];
                        if (next == '$' || next == '`' || next == '"' || next == '\\') {
                            word.text.push_back(next);
                            pos += 2;
                            continue;
                        }
                    }
                    word.text.push_back(q);
                    ++pos;
                }
                if (!closed) {
                    result.error_ = "unterminated double quote";
                    result.words_.clear();
                    return result;
                }
                quoted = true;
            } else if (c == '\\') {
                if (pos + 1 >= line.size()) {
                    result.error_ = "backslash at the end of the line";
                    result.words_.clear();
                    return result;
                }
                word.text.push_back(line[pos + 1]);
                quoted = true;
                pos += 2;
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
