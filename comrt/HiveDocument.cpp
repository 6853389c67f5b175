#include "HiveDocument.h"

#include <unordered_map>
#include <unordered_set>
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

void HiveDocument::Fail(const std::string& error) {
    error_ = error;
    tree_ = RegTree();
    preamble_.clear();
    sections_.clear();
    trailer_.clear();
}

HiveDocument HiveDocument::Unreadable(std::u16string rootName, const std::string& reason) {
    HiveDocument document(std::move(rootName));
    document.Fail(reason);
    return document;
}

// Keeps each element's lines where a rewrite puts them back, and builds the
// tree on the way.
class HiveDocument::Builder : public HiveScanner::Sink {
public:
    explicit Builder(HiveDocument& document) : document_(document), tree_(document.tree_) {}

    void Take(const HiveScanner::Element& element) override {
        std::vector<Line> lines = Lines(element.text);
        if (first_) {
            first_ = false;
            if (!lines.front().end.empty()) document_.newline_ = lines.front().end;
        }
        tree_.Take(element);
        std::vector<Section>& sections = document_.sections_;
        switch (element.kind) {
        case HiveScanner::Kind::Filler:
            pending_.push_back(std::move(lines.front()));
            break;
        case HiveScanner::Kind::Start:
            document_.hasHeader_ = true;
            document_.preamble_ = std::move(pending_);
            document_.preamble_.push_back(std::move(lines.front()));
            pending_.clear();
            break;
        case HiveScanner::Kind::Section: {
            Section section;
            section.header = std::move(lines.front());
            std::vector<Line>& above = sections.empty() ? document_.preamble_ : section.leading;
            above.insert(above.end(), pending_.begin(), pending_.end());
            pending_.clear();
            if (element.own) {
                section.own = true;
                section.key = RegTree::Fold(HiveScanner::Path(element.path));
            }
            sections.push_back(std::move(section));
            break;
        }
        case HiveScanner::Kind::Value: {
            std::vector<Item>& items = sections.back().items;
            for (Line& line : pending_) items.push_back(Item{{std::move(line)}, false, {}, false});
            pending_.clear();
            items.push_back(Item{std::move(lines), true, RegTree::Fold(HiveScanner::Name(element.name)), false});
            break;
        }
        }
    }
    // After the last element: what follows the last value or section.
    void Finish() {
        if (!document_.hasHeader_) return;  // only blank lines: an empty hive
        std::vector<Line>& below = document_.sections_.empty() ? document_.preamble_ : document_.trailer_;
        below.insert(below.end(), pending_.begin(), pending_.end());
    }

private:
    // The lines of an element's text, each without its ending.
    static std::vector<Line> Lines(std::string_view text) {
        std::vector<Line> lines;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            Line line;
            if (end == std::string_view::npos) {
                line.text = Utf::ToUtf16(text.substr(start));
                end = text.size();
            } else {
                const bool crlf = end > start && text[end - 1] == '\r';
                line.text = Utf::ToUtf16(text.substr(start, end - start - (crlf ? 1 : 0)));
                line.end = crlf ? u"\r\n" : u"\n";
            }
            lines.push_back(std::move(line));
            start = end + 1;
        }
        return lines;
    }

    HiveDocument& document_;
    HiveScanner::TreeSink tree_;
    std::vector<Line> pending_;  // comments and blank lines not yet placed
    bool first_ = true;
};

HiveDocument HiveDocument::Parse(std::string_view bytes, std::u16string rootName) {
    HiveDocument document(std::move(rootName));
    std::string storage;
    std::string_view text;
    std::string refusal = HiveScanner::Text(bytes, document.encoding_, storage, text);
    if (refusal.empty()) {
        Builder builder(document);
        refusal = HiveScanner::Scan(text, document.rootName_, builder);
        builder.Finish();
    }
    if (!refusal.empty()) {
        document.Fail(refusal);
        return document;
    }
    document.MarkEffective();
    return document;
}

void HiveDocument::MarkEffective() {
    // Each key's sections, in file order; then, from the last section of a
    // key back, the first spelling met of each name is the one that holds.
    std::unordered_map<std::u16string_view, std::vector<Section*>> sectionsOf;
    for (Section& section : sections_) {
        if (section.own) sectionsOf[section.key].push_back(&section);
    }
    std::unordered_set<std::u16string_view> seen;
    for (auto& [key, sections] : sectionsOf) {
        sections.back()->lastOfKey = true;
        seen.clear();
        for (auto section = sections.rbegin(); section != sections.rend(); ++section) {
            for (auto item = (*section)->items.rbegin(); item != (*section)->items.rend(); ++item) {
                if (item->value && seen.insert(item->name).second) item->effective = true;
            }
        }
    }
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
    case HiveScanner::Encoding::Utf16Le: {
        std::string bytes("\xff\xfe");
        bytes.reserve(2 + text.size() * 2);
        for (char16_t unit : text) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
        return bytes;
    }
    case HiveScanner::Encoding::Utf8WithMark:
        return "\xef\xbb\xbf" + Utf::ToUtf8(text);
    case HiveScanner::Encoding::Utf8:
        break;
    }
    return Utf::ToUtf8(text);
}
