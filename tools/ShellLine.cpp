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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads $'...' from line[pos] (at the '$') into `text`: \n, \r, \t, \xHH,
// \\, \' and \" stand for their characters, any other backslash is kept.
// Returns the position after the closing quote, or npos when there is none.
size_t ReadEscaped(std::string_view line, size_t pos, std::string& text) {
    for (pos += 2; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '\'') return pos + 1;
        if (c != '\\' || pos + 1 == line.size()) {
            text.push_back(c);
            continue;
        }
        const char e = line[++pos];
        if (e == 'n') text.push_back('\n');
        else if (e == 'r') text.push_back('\r');
        else if (e == 't') text.push_back('\t');
        else if (e == '\\' || e == '\'' || e == '"') text.push_back(e);
        else if (e == 'x' && pos + 1 < line.size() && HexDigit(line[pos + 1]) >= 0) {
            int value = HexDigit(line[++pos]);
            if (pos + 1 < line.size() && HexDigit(line[pos + 1]) >= 0) value = value * 16 + HexDigit(line[++pos]);
            text.push_back(static_cast<char>(value));
        } else {
            text.push_back('\\');
            text.push_back(e);
        }
    }
    return std::string_view::npos;
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
            if (c == '$' && pos + 1 < line.size() && line[pos + 1] == '\'') {
                pos = ReadEscaped(line, pos, word.text);
                if (pos == std::string_view::npos) {
                    result.error_ = "unterminated $' quote";
                    result.words_.clear();
                    return result;
                }
                quoted = true;
            } else if (c == '\'') {
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

std::string ShellLine::Quote(std::string_view text) {
    if (text.empty()) return "''";
    bool plain = text[0] != '#' && !IsReference(text);
    bool control = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) control = true;
        if (IsBlank(c) || c == '\'' || c == '"' || byte < 0x20 || byte == 0x7F) plain = false;
    }
    if (plain) return std::string(text);
    if (control) {
        std::string out = "$'";
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '\n') out += "\\n";
            else if (c == '\r') out += "\\r";
            else if (c == '\t') out += "\\t";
            else if (c == '\\' || c == '\'') out += std::string("\\") + c;
            else if (byte < 0x20 || byte == 0x7F) {
                const char digits[] = "0123456789abcdef";
                out += std::string("\\x") + digits[byte >> 4] + digits[byte & 0xF];
            } else out.push_back(c);
        }
        return out + "'";
    }
    if (text.find('\'') == std::string_view::npos) return "'" + std::string(text) + "'";
    // Double quotes: backslashes before a quote, the closing one included,
    // are doubled, and each quote in the text gets one more.
    std::string out = "\"";
    size_t backslashes = 0;
    for (const char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}
