#include "RowScanner.h"

#include <cstdint>

namespace {
using Value = RowScanner::Value;
using View = RowScanner::View;

// SQLite's tokenizer starts whitespace only at these bytes (a vertical tab
// is an illegal token there), so only these count as separators.
bool IsSpace(OLECHAR c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
bool IsDigit(OLECHAR c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(OLECHAR c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Reads a scan position forward through one row.
class Cursor {
public:
    explicit Cursor(View text) : text_(text) {}
    bool AtEnd() const { return at_ >= text_.size(); }
    OLECHAR Peek(size_t ahead = 0) const { return at_ + ahead < text_.size() ? text_[at_ + ahead] : OLECHAR(0); }
    size_t Position() const { return at_; }
    void Skip(size_t count = 1) { at_ += count; }
    void SkipSpace() {
        while (!AtEnd() && IsSpace(text_[at_])) ++at_;
    }
    View Text() const { return text_; }

private:
    View text_;
    size_t at_ = 0;
};

// Decimal digits [begin, end) as SQLite codes an integer literal: a value
// within 64 bits stays an integer (2^63 too when negated); any larger one
// becomes a real, which only SQLite's own conversion gives exactly.
bool DecimalInteger(View digits, bool negative, int64_t& value) {
    size_t first = 0;
    while (first < digits.size() && digits[first] == '0') ++first;
    if (digits.size() - first > 19) return false;  // 19 digits always fit 64 unsigned bits
    uint64_t magnitude = 0;
    for (size_t i = first; i < digits.size(); ++i) {
        const uint64_t digit = static_cast<uint64_t>(digits[i] - '0');
        magnitude = magnitude * 10 + digit;
    }
    constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
    if (magnitude <= kMax) {
        value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
        return true;
    }
    if (negative && magnitude == kMax + 1) {
        value = INT64_MIN;
        return true;
    }
    return false;
}

// A number token (with the sign already consumed), following SQLite's
// tokenizer: hex 0x..., or digits with an optional fraction and exponent.
bool ReadNumber(Cursor& in, size_t literalBegin, bool negative, Value& value) {
    const size_t begin = in.Position();
    if (in.Peek() == '0' && (in.Peek(1) == 'x' || in.Peek(1) == 'X') && IsHexDigit(in.Peek(2))) {
        in.Skip(2);
        while (IsHexDigit(in.Peek())) in.Skip();
        value.kind = Value::Kind::Literal;
    } else {
        bool real = false;
        while (IsDigit(in.Peek())) in.Skip();
        if (in.Peek() == '.') {
            real = true;
            in.Skip();
            while (IsDigit(in.Peek())) in.Skip();
        }
        if (in.Position() == begin || (in.Position() == begin + 1 && real)) return false;  // "." alone
        if (in.Peek() == 'e' || in.Peek() == 'E') {
            const size_t digitsAt = (in.Peek(1) == '+' || in.Peek(1) == '-') ? 2 : 1;
            if (!IsDigit(in.Peek(digitsAt))) return false;  // "1e" reads as an illegal token
            real = true;
            in.Skip(digitsAt);
            while (IsDigit(in.Peek())) in.Skip();
        }
        value.kind = Value::Kind::Literal;
        if (!real && DecimalInteger(in.Text().substr(begin, in.Position() - begin), negative, value.integer))
            value.kind = Value::Kind::Integer;
    }
    value.begin = literalBegin;
    value.length = in.Position() - literalBegin;
    return true;
}

// A string literal '...' with '' standing for one quote.
bool ReadString(Cursor& in, Value& value) {
    const View text = in.Text();
    size_t at = in.Position() + 1;
    value.kind = Value::Kind::Text;
    value.begin = at;
    value.escaped = false;
    for (;;) {
        const size_t quote = text.find('\'', at);
        if (quote == View::npos) return false;
        if (quote + 1 < text.size() && text[quote + 1] == '\'') {
            value.escaped = true;
            at = quote + 2;
            continue;
        }
        value.length = quote - value.begin;
        in.Skip(quote + 1 - in.Position());
        return true;
    }
}

// A blob literal X'..' with an even count of hex digits.
bool ReadBlob(Cursor& in, Value& value) {
    const size_t begin = in.Position();
    in.Skip(2);
    while (IsHexDigit(in.Peek())) in.Skip();
    if (in.Peek() != '\'' || (in.Position() - begin - 2) % 2 != 0) return false;
    in.Skip();
    value.kind = Value::Kind::Literal;
    value.begin = begin;
    value.length = in.Position() - begin;
    return true;
}

bool IsNullKeyword(const Cursor& in) {
    static const char kNull[] = "null";
    for (size_t i = 0; i < 4; ++i) {
        const OLECHAR c = in.Peek(i);
        if (c != OLECHAR(kNull[i]) && c != OLECHAR(kNull[i] - 'a' + 'A')) return false;
    }
    // A longer word is an identifier; the separator check after the value
    // rejects it, since only space, a comma or the end may follow.
    return true;
}

// "char(N)" in any case, N from 1 to 127 without a sign or spaces: the code
// point of an ASCII character, which SQLite's char() makes one character.
bool ReadChar(Cursor& in, OLECHAR& character) {
    static const char kName[] = "char(";
    for (size_t i = 0; i < 5; ++i) {
        const OLECHAR c = in.Peek(i);
        if (c != OLECHAR(kName[i]) && !(i < 4 && c == OLECHAR(kName[i] - 'a' + 'A'))) return false;
    }
    in.Skip(5);
    unsigned code = 0;
    size_t digits = 0;
    for (; digits < 4 && IsDigit(in.Peek()); ++digits, in.Skip()) code = code * 10 + (in.Peek() - '0');
    if (digits == 0 || in.Peek() != ')' || code < 1 || code > 127) return false;
    in.Skip();
    character = static_cast<OLECHAR>(code);
    return true;
}

// After a string literal and the space after it: "|| part" for as long as
// the join goes on, each part a string literal or char(N).
bool ReadJoin(Cursor& in, Value& value) {
    const size_t begin = value.begin - 1;  // the first literal's quote
    size_t end = in.Position();
    value.parts = 1;
    while (in.Peek() == '|' && in.Peek(1) == '|') {
        in.Skip(2);
        in.SkipSpace();
        Value part;
        OLECHAR character = 0;
        if (!(in.Peek() == '\'' ? ReadString(in, part) : ReadChar(in, character))) return false;
        ++value.parts;
        end = in.Position();
        in.SkipSpace();
    }
    value.kind = Value::Kind::Joined;
    value.begin = begin;
    value.length = end - begin;
    return true;
}

bool ReadValue(Cursor& in, Value& value) {
    const OLECHAR c = in.Peek();
    if (c == '\'') return ReadString(in, value);
    if ((c == 'x' || c == 'X') && in.Peek(1) == '\'') return ReadBlob(in, value);
    if (c == 'n' || c == 'N') {
        if (!IsNullKeyword(in)) return false;
        in.Skip(4);
        value.kind = Value::Kind::Null;
        return true;
    }
    const size_t begin = in.Position();
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        in.Skip();
        in.SkipSpace();
    }
    const OLECHAR first = in.Peek();
    if (!IsDigit(first) && !(first == '.' && IsDigit(in.Peek(1)))) return false;  // also "--" comments
    return ReadNumber(in, begin, negative, value);
}
}  // namespace

RowScanner::RowKind RowScanner::Scan(View row, std::vector<Value>& values, size_t& utf8Size) {
    values.clear();
    utf8Size = Utf8Size(row);
    if (utf8Size == SIZE_MAX) return RowKind::Other;
    RowKind kind = RowKind::Bindable;
    Cursor in(row);
    for (;;) {
        in.SkipSpace();
        Value value;
        if (in.AtEnd() || !ReadValue(in, value)) return RowKind::Other;
        if (value.kind == Value::Kind::Literal) kind = RowKind::Literal;
        in.SkipSpace();
        if (value.kind == Value::Kind::Text && in.Peek() == '|' && in.Peek(1) == '|' && !ReadJoin(in, value))
            return RowKind::Other;
        values.push_back(value);
        if (in.AtEnd()) return kind;
        if (in.Peek() != ',') return RowKind::Other;
        in.Skip();
    }
}

void RowScanner::Unescape(View row, const Value& value, WString& out) {
    out.clear();
    const View text = row.substr(value.begin, value.length);
    for (size_t at = 0; at < text.size(); ++at) {
        out.push_back(text[at]);
        if (text[at] == '\'') ++at;  // the second quote of a pair
    }
}

void RowScanner::Join(View row, const Value& value, WString& out) {
    out.clear();
    Cursor in(row.substr(value.begin, value.length));
    for (;;) {
        in.SkipSpace();
        if (in.AtEnd()) return;
        if (in.Peek() == '|') {
            in.Skip(2);
            continue;
        }
        if (in.Peek() == '\'') {
            Value part;
            ReadString(in, part);
            const View text = in.Text().substr(part.begin, part.length);
            for (size_t at = 0; at < text.size(); ++at) {
                out.push_back(text[at]);
                if (text[at] == '\'') ++at;  // the second quote of a pair
            }
        } else {
            OLECHAR character = 0;
            ReadChar(in, character);
            out.push_back(character);
        }
    }
}

size_t RowScanner::Utf8Size(View row) {
    // Most rows are ASCII without zero units: one branch-free pass (which
    // the compiler vectorises) settles them.
    OLECHAR high = 0;
    OLECHAR low = 0xFFFF;
    for (const OLECHAR c : row) {
        high |= c;
        low = c < low ? c : low;
    }
    if (!row.empty() && low == 0) return SIZE_MAX;
    if (high < 0x80) return row.size();
    size_t bytes = 0;
    for (size_t at = 0; at < row.size(); ++at) {
        const OLECHAR c = row[at];
        if (c < 0x80) {
            // A zero unit ends the statement text for SQLite.
            if (c == 0) return SIZE_MAX;
            bytes += 1;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (c > 0xDBFF || at + 1 == row.size() || row[at + 1] < 0xDC00 || row[at + 1] > 0xDFFF) return SIZE_MAX;
            ++at;
            bytes += 4;
        } else {
            bytes += 3;
        }
    }
    return bytes;
}
