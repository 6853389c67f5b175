#include "HiveScanner.h"

#include <cstdint>
#include <cstring>

#include <comrt/winbase.h>

#include "Utf.h"

namespace {
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ReadHexNumber(std::string_view digits, DWORD* number) {
    if (digits.empty() || digits.size() > 8) return false;
    DWORD result = 0;
    for (char c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        result = result * 16 + static_cast<DWORD>(digit);
    }
    if (number != nullptr) *number = result;
    return true;
}

// The end of a quoted text that starts at text[at] == '"': the index after
// its closing quote, or npos. Only \\ and \" are escapes, so a quote closes
// the text when an even number of backslashes precedes it.
size_t QuotedEnd(std::string_view text, size_t at) {
    for (size_t from = at + 1;;) {
        const void* found = std::memchr(text.data() + from, '"', text.size() - from);
        if (found == nullptr) return std::string_view::npos;
        const size_t quote = static_cast<size_t>(static_cast<const char*>(found) - text.data());
        size_t slashes = 0;
        while (quote - slashes > at + 1 && text[quote - slashes - 1] == '\\') ++slashes;
        if (slashes % 2 == 0) return quote + 1;
        from = quote + 1;
    }
}

// The text between the quotes of `quoted` (both included), escapes undone.
std::string Unescape(std::string_view quoted) {
    std::string out;
    out.reserve(quoted.size());
    for (size_t at = 1; at + 1 < quoted.size(); ++at) {
        char c = quoted[at];
        if (c == '\\' && at + 2 < quoted.size() && (quoted[at + 1] == '\\' || quoted[at + 1] == '"')) c = quoted[++at];
        out.push_back(c);
    }
    return out;
}

// "01,02, 03": two hex digits a byte, separated by commas. Checks, and
// appends the bytes to `out` when given.
bool ReadHexBytes(std::string_view text, std::vector<BYTE>* out) {
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at >= text.size()) break;
        if (at + 1 >= text.size()) return false;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) return false;
        if (out != nullptr) out->push_back(static_cast<BYTE>(high * 16 + low));
        at += 2;
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at < text.size() && text[at++] != ',') return false;
    }
    return true;
}

// Checks the data after '=' of a value line and, when `value` is given,
// decodes it.
bool ParseData(std::string_view text, RegTree::Value* value) {
    if (!text.empty() && text.front() == '"') {
        if (QuotedEnd(text, 0) != text.size()) return false;
        if (value != nullptr) {
            std::u16string body = Utf::ToUtf16(Unescape(text));
            body.push_back(u'\0');
            value->type = REG_SZ;
            value->data.resize(body.size() * 2);
            for (size_t i = 0; i < body.size(); ++i) {
                value->data[2 * i] = static_cast<BYTE>(body[i] & 0xFF);
                value->data[2 * i + 1] = static_cast<BYTE>(body[i] >> 8);
            }
        }
        return true;
    }
    if (text.substr(0, 6) == "dword:") {
        DWORD number = 0;
        if (!ReadHexNumber(text.substr(6), &number)) return false;
        if (value != nullptr) {
            value->type = REG_DWORD;
            value->data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                           static_cast<BYTE>(number >> 24)};
        }
        return true;
    }
    if (text.substr(0, 4) == "hex:") {
        if (value != nullptr) value->type = REG_BINARY;
        return ReadHexBytes(text.substr(4), value != nullptr ? &value->data : nullptr);
    }
    if (text.substr(0, 4) == "hex(") {
        const size_t close = text.find("):");
        if (close == std::string_view::npos) return false;
        if (!ReadHexNumber(text.substr(4, close - 4), value != nullptr ? &value->type : nullptr)) return false;
        return ReadHexBytes(text.substr(close + 2), value != nullptr ? &value->data : nullptr);
    }
    return false;
}

// Where the key path starts in a section name ("ROOT\path" -> after the
// '\'), or npos when the section is another root's. Root names compare
// without case, as the registry does; `upper` is the root's folded ASCII
// form.
size_t PathStart(std::string_view name, std::u16string_view root, std::string_view upper) {
    bool ascii = name.size() >= root.size() && upper.size() == root.size();
    for (size_t i = 0; ascii && i < root.size(); ++i) ascii = static_cast<unsigned char>(name[i]) < 0x80;
    if (ascii) {
        for (size_t i = 0; i < root.size(); ++i) {
            if (UpperAscii(name[i]) != upper[i]) return std::string_view::npos;
        }
        if (name.size() == root.size()) return name.size();
        return name[root.size()] == '\\' ? root.size() + 1 : std::string_view::npos;
    }
    // Letters beyond ASCII may fold to ASCII ones; compare as the tree does.
    const std::u16string wide = Utf::ToUtf16(name);
    if (wide.size() < root.size() || RegTree::Fold(std::u16string_view(wide).substr(0, root.size())) != RegTree::Fold(root))
        return std::string_view::npos;
    if (wide.size() > root.size() && wide[root.size()] != u'\\') return std::string_view::npos;
    const size_t bytes = Utf::ToUtf8(std::u16string_view(wide).substr(0, root.size())).size();
    return bytes == name.size() ? bytes : bytes + 1;
}

// The number of non-empty levels of a key path, counted up to `limit` + 1.
size_t Depth(std::string_view path, size_t limit) {
    size_t depth = 0;
    for (size_t start = 0; start <= path.size() && depth <= limit;) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) ++depth;
        start = end + 1;
    }
    return depth;
}

class Scanner {
public:
    Scanner(std::string_view text, std::u16string_view root, HiveScanner::Sink& sink)
        : text_(text), root_(root), sink_(sink) {
        bool replaced = false;
        rootUpper_ = Utf::ToUtf8(RegTree::Fold(root), &replaced);
        if (replaced) rootUpper_.clear();
    }

    // `started`: the text starts after the file's first line.
    std::string Run(bool started);

private:
    // The next line from `at_`: sets `line` (its text, ending included) and
    // `body` (trimmed); false at the end of the text.
    bool NextLine(std::string_view& line, std::string_view& body) {
        if (at_ >= text_.size()) return false;
        const void* found = std::memchr(text_.data() + at_, '\n', text_.size() - at_);
        const size_t end = found == nullptr ? text_.size() : static_cast<size_t>(static_cast<const char*>(found) - text_.data()) + 1;
        line = text_.substr(at_, end - at_);
        body = Trim(found == nullptr ? line : line.substr(0, line.size() - 1));
        at_ = end;
        ++number_;
        return true;
    }
    std::string Refuse(size_t line, const std::string& reason) const {
        return line > 0 ? "line " + std::to_string(line) + ": " + reason : reason;
    }
    std::string Section(std::string_view line, std::string_view body);
    std::string Value(std::string_view line, std::string_view body);

    std::string_view text_;
    std::u16string_view root_;
    std::string rootUpper_;
    HiveScanner::Sink& sink_;
    size_t at_ = 0;
    size_t number_ = 0;
    bool inSection_ = false;
    std::string joined_;
};

std::string Scanner::Run(bool started) {
    // Offsets within a section fit 32 bits (HiveIndex).
    if (text_.size() >= (uint64_t{1} << 32)) return Refuse(0, "a registry file of 4 GiB or more");
    const size_t invalid = started ? std::string_view::npos : Utf::FirstInvalid(text_);
    if (invalid != std::string_view::npos) {
        size_t line = 1;
        for (size_t i = 0; i < invalid; ++i) line += text_[i] == '\n' ? 1 : 0;
        return Refuse(line, "the text is not valid UTF-8");
    }
    std::string_view line, body;
    while (NextLine(line, body)) {
        HiveScanner::Element element;
        element.line = number_;
        element.text = line;
        if (body.empty() || (started && body.front() == ';')) {
            sink_.Take(element);
            continue;
        }
        if (!started) {
            if (body != kHeader) {
                if (body.substr(0, 13) == "WINE REGISTRY")
                    return Refuse(number_, "the file is in Wine's own registry format, which this runtime does not read");
                if (body == "REGEDIT4")
                    return Refuse(number_,
                                  "REGEDIT4 files are not read, only \"Windows Registry Editor Version 5.00\" files");
                return Refuse(number_, "the first line is not \"Windows Registry Editor Version 5.00\"");
            }
            started = true;
            element.kind = HiveScanner::Kind::Start;
            sink_.Take(element);
            continue;
        }
        std::string refusal;
        if (body.front() == '[')
            refusal = Section(line, body);
        else if (body.front() == '@' || body.front() == '"')
            refusal = Value(line, body);
        else
            refusal = Refuse(number_, "a line that is no section, value or comment");
        if (!refusal.empty()) return refusal;
    }
    return std::string();
}

std::string Scanner::Section(std::string_view line, std::string_view body) {
    if (body.back() != ']') return Refuse(number_, "a section header without its closing ']'");
    const std::string_view name = body.substr(1, body.size() - 2);
    if (!name.empty() && name.front() == '-')
        return Refuse(number_, "a key deletion ([-...]) belongs in a file to import, not in a registry file");
    HiveScanner::Element element;
    element.kind = HiveScanner::Kind::Section;
    element.line = number_;
    element.text = line;
    const size_t start = PathStart(name, root_, rootUpper_);
    if (start != std::string_view::npos) {
        element.own = true;
        element.path = name.substr(start);
        if (Depth(element.path, RegTree::kMaxDepth) > RegTree::kMaxDepth)
            return Refuse(number_, "a key more than " + std::to_string(RegTree::kMaxDepth) + " levels deep");
    }
    inSection_ = true;
    sink_.Take(element);
    return std::string();
}

std::string Scanner::Value(std::string_view line, std::string_view body) {
    const size_t first = number_;
    if (!inSection_) return Refuse(first, "a value outside any key");
    const size_t begin = at_ - line.size();
    // A value goes on over the lines that end in '\'.
    std::string_view logical = body;
    if (!logical.empty() && logical.back() == '\\') {
        joined_.assign(logical);
        while (!joined_.empty() && joined_.back() == '\\') {
            joined_.pop_back();
            std::string_view next, nextBody;
            if (!NextLine(next, nextBody)) return Refuse(first, "a value continued past the end of the file");
            joined_.append(nextBody);
        }
        logical = joined_;
    }
    HiveScanner::Element element;
    element.kind = HiveScanner::Kind::Value;
    element.line = first;
    element.text = text_.substr(begin, at_ - begin);
    size_t at = 1;
    if (logical.front() == '"') {
        at = QuotedEnd(logical, 0);
        if (at == std::string_view::npos) return Refuse(first, "a value name without its closing quote");
        element.name = logical.substr(0, at);
    }
    while (at < logical.size() && IsBlank(logical[at])) ++at;
    if (at >= logical.size() || logical[at] != '=') return Refuse(first, "a value name without '='");
    element.data = Trim(logical.substr(at + 1));
    if (element.data == "-")
        return Refuse(first, "a value deletion (=-) belongs in a file to import, not in a registry file");
    if (!ParseData(element.data, nullptr))
        return Refuse(first, "value data that is not \"text\", dword:, hex: or hex(type):");
    sink_.Take(element);
    return std::string();
}
}  // namespace

std::string HiveScanner::Scan(std::string_view text, std::u16string_view rootName, Sink& sink) {
    return Scanner(text, rootName, sink).Run(false);
}

void HiveScanner::ScanSection(std::string_view text, std::u16string_view rootName, Sink& sink) {
    Scanner(text, rootName, sink).Run(true);
}

std::string HiveScanner::Text(std::string_view bytes, Encoding& encoding, std::string& storage,
                              std::string_view& text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    encoding = Encoding::Utf8;
    text = bytes;
    if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF)
        return "big-endian UTF-16 is not read, only UTF-8 and UTF-16LE";
    if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        encoding = Encoding::Utf8WithMark;
        text = bytes.substr(3);
    } else if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        encoding = Encoding::Utf16Le;
        if (bytes.size() % 2 != 0) return "UTF-16 text of an odd number of bytes";
        std::u16string units;
        units.reserve(bytes.size() / 2 - 1);
        for (size_t i = 2; i < bytes.size(); i += 2) units.push_back(static_cast<char16_t>(byte(i) | (byte(i + 1) << 8)));
        bool replaced = false;
        storage = Utf::ToUtf8(units, &replaced);
        if (replaced) {
            // The line of the first unit that is half a surrogate pair.
            size_t line = 1;
            for (size_t i = 0; i < units.size(); ++i) {
                const char16_t c = units[i];
                const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
                if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
                    ++i;
                } else if (high || low) {
                    break;
                }
                line += c == u'\n' ? 1 : 0;
            }
            return "line " + std::to_string(line) + ": the text is not valid UTF-16";
        }
        text = storage;
    }
    return std::string();
}

std::u16string HiveScanner::Name(std::string_view name) {
    return name.empty() ? std::u16string() : Utf::ToUtf16(Unescape(name));
}

void HiveScanner::Data(std::string_view data, RegTree::Value& value) { ParseData(data, &value); }

std::u16string HiveScanner::Path(std::string_view path) { return RegTree::Normalise(Utf::ToUtf16(path)); }
