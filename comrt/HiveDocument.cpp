#include "HiveDocument.h"

#include <map>
#include <unordered_map>
#include <utility>

#include <comrt/winbase.h>

#include "Utf.h"

namespace {
constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == u'\r')) text.remove_suffix(1);
    return text;
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool ReadHexNumber(std::u16string_view digits, DWORD& number) {
    if (digits.empty() || digits.size() > 8) return false;
    number = 0;
    for (char16_t c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) return false;
        number = number * 16 + static_cast<DWORD>(digit);
    }
    return true;
}

// Reads a quoted text starting at text[at] == '"'; leaves `at` after the
// closing quote. Only \\ and \" are escapes; any other backslash is literal.
bool ReadQuoted(std::u16string_view text, size_t& at, std::u16string& out) {
    if (at >= text.size() || text[at] != u'"') return false;
    for (++at; at < text.size(); ++at) {
        char16_t c = text[at];
        if (c == u'"') {
            ++at;
            return true;
        }
        if (c == u'\\' && at + 1 < text.size() && (text[at + 1] == u'\\' || text[at + 1] == u'"')) c = text[++at];
        out.push_back(c);
    }
    return false;
}

// "01,02, 03": two hex digits a byte, separated by commas.
bool ReadHexBytes(std::u16string_view text, std::vector<BYTE>& out) {
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at >= text.size()) break;
        if (at + 1 >= text.size()) return false;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<BYTE>(high * 16 + low));
        at += 2;
        while (at < text.size() && IsBlank(text[at])) ++at;
        if (at < text.size() && text[at++] != u',') return false;
    }
    return true;
}

// The data after '=' of a value line.
bool ParseData(std::u16string_view text, RegTree::Value& value) {
    if (!text.empty() && text.front() == u'"') {
        size_t at = 0;
        std::u16string body;
        if (!ReadQuoted(text, at, body) || at != text.size()) return false;
        value.type = REG_SZ;
        body.push_back(u'\0');
        value.data.resize(body.size() * 2);
        for (size_t i = 0; i < body.size(); ++i) {
            value.data[2 * i] = static_cast<BYTE>(body[i] & 0xFF);
            value.data[2 * i + 1] = static_cast<BYTE>(body[i] >> 8);
        }
        return true;
    }
    if (text.substr(0, 6) == u"dword:") {
        DWORD number = 0;
        if (!ReadHexNumber(text.substr(6), number)) return false;
        value.type = REG_DWORD;
        value.data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                      static_cast<BYTE>(number >> 24)};
        return true;
    }
    if (text.substr(0, 4) == u"hex:") {
        value.type = REG_BINARY;
        return ReadHexBytes(text.substr(4), value.data);
    }
    if (text.substr(0, 4) == u"hex(") {
        const size_t close = text.find(u"):");
        if (close == std::u16string_view::npos || !ReadHexNumber(text.substr(4, close - 4), value.type)) return false;
        return ReadHexBytes(text.substr(close + 2), value.data);
    }
    return false;
}

// The text of a REG_SZ that a quoted string carries exactly: one zero unit at
// the end and no control characters or lone surrogates before it.
bool QuotableText(const std::vector<BYTE>& data, std::u16string& text) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    text.clear();
    for (size_t i = 0; i < data.size(); i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    if (text.back() != u'\0') return false;
    text.pop_back();
    bool replaced = false;
    Utf::ToUtf8(text, &replaced);
    if (replaced) return false;
    for (char16_t c : text) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

std::u16string Quoted(std::u16string_view text) {
    std::u16string out(1, u'"');
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"') out.push_back(u'\\');
        out.push_back(c);
    }
    out.push_back(u'"');
    return out;
}

std::u16string Hex(DWORD number, size_t width) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out;
    do {
        out.insert(out.begin(), kDigits[number & 0xF]);
        number >>= 4;
    } while (number != 0 || out.size() < width);
    return out;
}

std::u16string HexBytes(const std::vector<BYTE>& data) {
    std::u16string out;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) out.push_back(u',');
        out += Hex(data[i], 2);
    }
    return out;
}

bool SameValue(const RegTree::Value& a, const RegTree::Value& b) { return a.type == b.type && a.data == b.data; }

// The line of the first malformed UTF-8 sequence.
size_t FirstInvalidLine(std::string_view bytes) {
    size_t number = 1;
    for (size_t start = 0; start < bytes.size(); ++number) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        bool replaced = false;
        Utf::ToUtf16(bytes.substr(start, end - start), &replaced);
        if (replaced) return number;
        start = end + 1;
    }
    return number;
}
}  // namespace

// Collects the rendered lines. A new section is set off by one blank line
// from what precedes and follows it; a kept line without an ending of its
// own (the old last line) gets one when anything follows.
class HiveDocument::Output {
public:
    explicit Output(std::u16string_view newline) : newline_(newline) {}

    void Put(const Line& line) { Put(line.text, line.end); }
    void Put(std::u16string_view text, std::u16string_view end) {
        const bool blank = Trim(text).empty();
        if (blank && collapse_ && lastBlank_) return;
        collapse_ = false;
        if (blankOwed_ && !blank) Emit(u"", newline_);
        blankOwed_ = false;
        Emit(text, end);
    }
    // A section was left out: the blank lines that set it off are not
    // repeated by those of the next one.
    void Collapse() { collapse_ = true; }
    void Fresh(std::u16string_view text) { Put(text, newline_); }
    void BeginSection() {
        blankOwed_ = false;
        if (any_ && !lastBlank_) Emit(u"", newline_);
    }
    void EndSection() { blankOwed_ = true; }
    std::u16string Finish() {
        if (blankOwed_) Emit(u"", newline_);
        return std::move(text_);
    }

private:
    void Emit(std::u16string_view text, std::u16string_view end) {
        if (open_) text_ += newline_;
        text_ += text;
        text_ += end;
        open_ = end.empty();
        lastBlank_ = Trim(text).empty();
        any_ = true;
    }

    std::u16string_view newline_;
    std::u16string text_;
    bool any_ = false;
    bool open_ = false;
    bool lastBlank_ = false;
    bool blankOwed_ = false;
    bool collapse_ = false;
};

HiveDocument::HiveDocument(std::u16string rootName) : rootName_(std::move(rootName)) {}

void HiveDocument::Fail(size_t line, const std::string& reason) {
    error_ = line > 0 ? "line " + std::to_string(line) + ": " + reason : reason;
    tree_ = RegTree();
    preamble_.clear();
    sections_.clear();
    trailer_.clear();
}

HiveDocument HiveDocument::Unreadable(std::u16string rootName, const std::string& reason) {
    HiveDocument document(std::move(rootName));
    document.Fail(0, reason);
    return document;
}

HiveDocument HiveDocument::Parse(std::string_view bytes, std::u16string rootName) {
    HiveDocument document(std::move(rootName));
    std::u16string text;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        document.encoding_ = Encoding::Utf16Le;
        if (bytes.size() % 2 != 0) {
            document.Fail(0, "UTF-16 text of an odd number of bytes");
            return document;
        }
        for (size_t i = 2; i < bytes.size(); i += 2) text.push_back(static_cast<char16_t>(byte(i) | (byte(i + 1) << 8)));
    } else if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
        document.Fail(0, "big-endian UTF-16 is not read, only UTF-8 and UTF-16LE");
        return document;
    } else {
        if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
            document.encoding_ = Encoding::Utf8WithMark;
            bytes.remove_prefix(3);
        }
        bool replaced = false;
        text = Utf::ToUtf16(bytes, &replaced);
        if (replaced) {
            document.Fail(FirstInvalidLine(bytes), "the text is not valid UTF-8");
            return document;
        }
    }
    document.ParseText(text);
    return document;
}

bool HiveDocument::ParseText(std::u16string_view text) {
    std::vector<Line> lines;
    for (size_t start = 0; start < text.size();) {
        Line line;
        size_t end = text.find(u'\n', start);
        if (end == std::u16string_view::npos) {
            line.text = text.substr(start);
            start = text.size();
        } else {
            const bool crlf = end > start && text[end - 1] == u'\r';
            line.text = text.substr(start, end - start - (crlf ? 1 : 0));
            line.end = crlf ? u"\r\n" : u"\n";
            start = end + 1;
        }
        lines.push_back(std::move(line));
    }
    if (!lines.empty() && !lines.front().end.empty()) newline_ = lines.front().end;
    return ParseLines(lines);
}

bool HiveDocument::ParseLines(const std::vector<Line>& lines) {
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i].text).empty()) ++i;
    if (i == lines.size()) return true;  // nothing yet: an empty hive
    const std::u16string_view first = Trim(lines[i].text);
    if (first != kHeader) {
        if (first.substr(0, 13) == u"WINE REGISTRY")
            Fail(i + 1, "the file is in Wine's own registry format, which this runtime does not read");
        else if (first == u"REGEDIT4")
            Fail(i + 1, "REGEDIT4 files are not read, only \"Windows Registry Editor Version 5.00\" files");
        else
            Fail(i + 1, "the first line is not \"Windows Registry Editor Version 5.00\"");
        return false;
    }
    hasHeader_ = true;
    preamble_.assign(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    std::vector<Line> pending;  // comments and blank lines not yet placed
    for (++i; i < lines.size(); ++i) {
        const size_t number = i + 1;
        const std::u16string_view text = Trim(lines[i].text);
        if (text.empty() || text.front() == u';') {
            pending.push_back(lines[i]);
            continue;
        }
        if (text.front() == u'[') {
            if (text.back() != u']') {
                Fail(number, "a section header without its closing ']'");
                return false;
            }
            const std::u16string_view name = text.substr(1, text.size() - 2);
            if (!name.empty() && name.front() == u'-') {
                Fail(number, "a key deletion ([-...]) belongs in a file to import, not in a registry file");
                return false;
            }
            Section section;
            section.header = lines[i];
            std::vector<Line>& above = sections_.empty() ? preamble_ : section.leading;
            above.insert(above.end(), pending.begin(), pending.end());
            pending.clear();
            const size_t root = rootName_.size();
            if (name.size() >= root && RegTree::Fold(name.substr(0, root)) == RegTree::Fold(rootName_) &&
                (name.size() == root || name[root] == u'\\')) {
                const std::u16string path = RegTree::Normalise(name.substr(std::min(name.size(), root + 1)));
                if (!RegTree::ValidDepth(path)) {
                    Fail(number, "a key more than " + std::to_string(RegTree::kMaxDepth) + " levels deep");
                    return false;
                }
                tree_.Create(path);
                section.own = true;
                section.key = RegTree::Fold(path);
            }
            sections_.push_back(std::move(section));
            continue;
        }
        if (text.front() != u'@' && text.front() != u'"') {
            Fail(number, "a line that is no section, value or comment");
            return false;
        }
        if (sections_.empty()) {
            Fail(number, "a value outside any key");
            return false;
        }
        // A hex value goes on over the lines that end in '\'.
        std::vector<Line> valueLines{lines[i]};
        std::u16string logical(text);
        while (!logical.empty() && logical.back() == u'\\') {
            logical.pop_back();
            if (++i == lines.size()) {
                Fail(number, "a value continued past the end of the file");
                return false;
            }
            valueLines.push_back(lines[i]);
            logical += Trim(lines[i].text);
        }
        for (Line& line : pending) sections_.back().items.push_back(Item{{std::move(line)}, false, {}, false});
        pending.clear();
        if (!AddValue(valueLines, logical, number)) return false;
    }
    std::vector<Line>& below = sections_.empty() ? preamble_ : trailer_;
    below.insert(below.end(), pending.begin(), pending.end());
    MarkEffective();
    return true;
}

bool HiveDocument::AddValue(const std::vector<Line>& lines, std::u16string_view logical, size_t number) {
    RegTree::Value value;
    size_t at = 0;
    if (logical.front() == u'@') {
        at = 1;
    } else if (!ReadQuoted(logical, at, value.name)) {
        Fail(number, "a value name without its closing quote");
        return false;
    }
    while (at < logical.size() && IsBlank(logical[at])) ++at;
    if (at >= logical.size() || logical[at] != u'=') {
        Fail(number, "a value name without '='");
        return false;
    }
    const std::u16string_view data = Trim(logical.substr(at + 1));
    if (data == u"-") {
        Fail(number, "a value deletion (=-) belongs in a file to import, not in a registry file");
        return false;
    }
    if (!ParseData(data, value)) {
        Fail(number, "value data that is not \"text\", dword:, hex: or hex(type):");
        return false;
    }
    Section& section = sections_.back();
    Item item{lines, true, RegTree::Fold(value.name), false};
    if (section.own) RegTree::SetValue(*tree_.Find(section.key), std::move(value));
    section.items.push_back(std::move(item));
    return true;
}

void HiveDocument::MarkEffective() {
    std::map<std::pair<std::u16string, std::u16string>, Item*> lastValue;
    std::map<std::u16string, Section*> lastSection;
    for (Section& section : sections_) {
        if (!section.own) continue;
        lastSection[section.key] = &section;
        for (Item& item : section.items) {
            if (item.value) lastValue[{section.key, item.name}] = &item;
        }
    }
    for (auto& [key, item] : lastValue) item->effective = true;
    for (auto& [key, section] : lastSection) section->lastOfKey = true;
}

std::u16string HiveDocument::SectionHeader(const std::u16string& path) const {
    return u"[" + rootName_ + (path.empty() ? u"" : u"\\" + path) + u"]";
}

std::u16string HiveDocument::ValueLine(const RegTree::Value& value) const {
    std::u16string line = value.name.empty() ? u"@" : Quoted(value.name);
    line.push_back(u'=');
    std::u16string text;
    if (value.type == REG_SZ && QuotableText(value.data, text)) {
        line += Quoted(text);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        line += u"dword:" + Hex(static_cast<DWORD>(value.data[0]) | (static_cast<DWORD>(value.data[1]) << 8) |
                                    (static_cast<DWORD>(value.data[2]) << 16) |
                                    (static_cast<DWORD>(value.data[3]) << 24),
                                8);
    } else {
        line += value.type == REG_BINARY ? u"hex:" : u"hex(" + Hex(value.type, 1) + u"):";
        line += HexBytes(value.data);
    }
    return line;
}

void HiveDocument::RenderSection(const Section& section, const RegTree& tree, Output& out) const {
    if (!section.own) {
        for (const Line& line : section.leading) out.Put(line);
        out.Put(section.header);
        for (const Item& item : section.items) {
            for (const Line& line : item.lines) out.Put(line);
        }
        return;
    }
    const RegTree::Key* now = tree.Find(section.key);
    if (now == nullptr) {  // the key is gone, and its sections with it
        out.Collapse();
        return;
    }
    const RegTree::Key& was = *tree_.Find(section.key);
    for (const Line& line : section.leading) out.Put(line);
    out.Put(section.header);
    for (const Item& item : section.items) {
        if (!item.value) {
            for (const Line& line : item.lines) out.Put(line);
            continue;
        }
        const RegTree::Value* current = RegTree::FindValue(*now, item.name);
        const RegTree::Value* before = RegTree::FindValue(was, item.name);
        if (current != nullptr && before != nullptr && SameValue(*current, *before)) {
            for (const Line& line : item.lines) out.Put(line);
        } else if (item.effective && current != nullptr) {
            out.Fresh(ValueLine(*current));
        }
    }
    if (!section.lastOfKey) return;
    for (const RegTree::Value& value : now->values) {
        if (RegTree::FindValue(was, value.name) == nullptr) out.Fresh(ValueLine(value));
    }
}

std::string HiveDocument::Render(const RegTree& tree) const {
    Output out(newline_);
    if (hasHeader_) {
        for (const Line& line : preamble_) out.Put(line);
    } else {
        out.Fresh(kHeader);
        out.Fresh(u"");
    }
    // A new key goes after the last section of the nearest key before it
    // that the file has; slot 0 is before the first section.
    std::unordered_map<const RegTree::Key*, size_t> lastSection;
    for (size_t s = 0; s < sections_.size(); ++s) {
        if (sections_[s].own) lastSection[tree_.Find(sections_[s].key)] = s + 1;
    }
    std::vector<std::vector<NewSection>> added(sections_.size() + 1);
    size_t slot = 0;
    std::u16string path;
    // Walks `now` in key order beside the key of the file that has its path.
    const auto walk = [&](const auto& self, const RegTree::Key& now, const RegTree::Key* was) -> void {
        if (const auto found = lastSection.find(was); was != nullptr && found != lastSection.end()) {
            slot = found->second;
        } else if (!now.values.empty() || (&now != &tree.Root() && (was == nullptr || now.SubKeys().empty()))) {
            // A key the file only implies (by a section below it) needs no
            // section of its own while it has no values and still has subkeys.
            added[slot].push_back(NewSection{&now, path});
        }
        for (const auto& [folded, sub] : now.SubKeys()) {
            const size_t length = path.size();
            path += (length == 0 ? u"" : u"\\") + sub->Name();
            const RegTree::Key* before = nullptr;
            if (was != nullptr) {
                const auto match = was->SubKeys().find(folded);
                if (match != was->SubKeys().end()) before = match->second.get();
            }
            self(self, *sub, before);
            path.resize(length);
        }
    };
    walk(walk, tree.Root(), &tree_.Root());
    const auto addKeys = [&](const std::vector<NewSection>& keys) {
        for (const NewSection& key : keys) {
            out.BeginSection();
            out.Fresh(SectionHeader(key.path));
            for (const RegTree::Value& value : key.key->values) out.Fresh(ValueLine(value));
            out.EndSection();
        }
    };
    addKeys(added[0]);
    for (size_t s = 0; s < sections_.size(); ++s) {
        RenderSection(sections_[s], tree, out);
        addKeys(added[s + 1]);
    }
    for (const Line& line : trailer_) out.Put(line);
    return Encode(out.Finish());
}

std::string HiveDocument::Encode(const std::u16string& text) const {
    switch (encoding_) {
    case Encoding::Utf16Le: {
        std::string bytes("\xff\xfe");
        bytes.reserve(2 + text.size() * 2);
        for (char16_t unit : text) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
        return bytes;
    }
    case Encoding::Utf8WithMark:
        return "\xef\xbb\xbf" + Utf::ToUtf8(text);
    case Encoding::Utf8:
        break;
    }
    return Utf::ToUtf8(text);
}
