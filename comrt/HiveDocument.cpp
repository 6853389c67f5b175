#include "HiveDocument.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include <comrt/winbase.h>

#include "HiveScanner.h"
#include "Utf.h"

namespace {
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// A line of the text: its characters, and its ending ("\n", "\r\n", or ""
// for a last line without one).
struct Line {
    std::string_view text;
    std::string_view end;
};

// The first line of `chunk`, taken off it.
Line TakeLine(std::string_view& chunk) {
    Line line;
    const size_t newline = chunk.find('\n');
    if (newline == std::string_view::npos) {
        line.text = chunk;
        chunk = std::string_view();
        return line;
    }
    const bool crlf = newline > 0 && chunk[newline - 1] == '\r';
    line.text = chunk.substr(0, newline - (crlf ? 1 : 0));
    line.end = chunk.substr(line.text.size(), newline + 1 - line.text.size());
    chunk.remove_prefix(newline + 1);
    return line;
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

std::string ValueLine(const RegTree::Value& value) {
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
    return Utf::ToUtf8(line);
}

const RegTree::Value* FindFolded(const std::vector<RegTree::Value>& values, const std::u16string& folded) {
    for (const RegTree::Value& value : values) {
        if (RegTree::Fold(value.name) == folded) return &value;
    }
    return nullptr;
}

bool SameValue(const RegTree::Value& a, const RegTree::Value& b) { return a.type == b.type && a.data == b.data; }

// Key order: level by level, each level's folded names in their plain
// order, a key before its subkeys. A '\' ends a level, so it sorts first.
int ComparePaths(std::u16string_view a, std::u16string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        if (a[i] == b[i]) continue;
        if (a[i] == u'\\') return -1;
        if (b[i] == u'\\') return 1;
        return a[i] < b[i] ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// A new key's section: its path as written, and its values.
struct NewSection {
    std::u16string path;
    std::vector<RegTree::Value> values;
};
}  // namespace

// Collects the rendered lines. A new section is set off by one blank line
// from what precedes and follows it; a kept line without an ending of its
// own (the old last line) gets one when anything follows. Kept text goes
// through line by line only while it has to: once the lines put are plain,
// the rest of a run is copied whole.
class HiveDocument::Output {
public:
    explicit Output(std::string_view newline) : newline_(newline) {}

    void Put(std::string_view text, std::string_view end) {
        const bool blank = Trim(text).empty();
        if (blank && collapse_ && lastBlank_) return;
        collapse_ = false;
        if (blankOwed_ && !blank) Emit("", newline_);
        blankOwed_ = false;
        Emit(text, end);
    }
    // Kept text: whole lines as in the file.
    void Keep(std::string_view chunk) {
        while (!chunk.empty() && (collapse_ || blankOwed_ || open_)) {
            const Line line = TakeLine(chunk);
            Put(line.text, line.end);
        }
        if (chunk.empty()) return;
        text_ += chunk;
        std::string_view last = chunk;
        if (last.back() == '\n') last.remove_suffix(1);
        const size_t cut = last.rfind('\n');
        if (cut != std::string_view::npos) last.remove_prefix(cut + 1);
        lastBlank_ = Trim(last).empty();
        open_ = chunk.back() != '\n';
        any_ = true;
    }
    // A section was left out: the blank lines that set it off are not
    // repeated by those of the next one.
    void Collapse() { collapse_ = true; }
    void Fresh(std::string_view text) { Put(text, newline_); }
    void BeginSection() {
        blankOwed_ = false;
        if (any_ && !lastBlank_) Emit("", newline_);
    }
    void EndSection() { blankOwed_ = true; }
    std::string Finish() {
        if (blankOwed_) Emit("", newline_);
        return std::move(text_);
    }
    void Reserve(size_t size) { text_.reserve(size); }

private:
    void Emit(std::string_view text, std::string_view end) {
        if (open_) text_ += newline_;
        text_ += text;
        text_ += end;
        open_ = end.empty();
        lastBlank_ = Trim(text).empty();
        any_ = true;
    }

    std::string_view newline_;
    std::string text_;
    bool any_ = false;
    bool open_ = false;
    bool lastBlank_ = false;
    bool blankOwed_ = false;
    bool collapse_ = false;
};

// The elements of one section's text: its header, then its values and the
// comments and blank lines among them, as the scanner reads them.
class HiveDocument::Pieces : public HiveScanner::Sink {
public:
    struct Piece {
        HiveScanner::Kind kind;
        std::string_view text;
        std::u16string name;  // values: the folded name
    };

    Pieces(std::string_view text, std::u16string_view rootName) : text_(text) {
        HiveScanner::ScanSection(text, rootName, *this);
    }
    void Take(const HiveScanner::Element& element) override {
        Piece piece{element.kind, element.text, {}};
        if (element.kind == HiveScanner::Kind::Value) {
            piece.name = RegTree::Fold(HiveScanner::Name(element.name));
            lastValue_ = pieces_.size();
        }
        pieces_.push_back(std::move(piece));
    }
    const std::vector<Piece>& All() const { return pieces_; }
    // How many pieces come before what follows the last value (or the
    // header): the comments and blank lines above the next section.
    size_t Body() const { return lastValue_ + 1; }
    // Where, in the section's text, what follows the body begins.
    size_t Split() const {
        const Piece& last = pieces_[lastValue_];
        return static_cast<size_t>(last.text.data() + last.text.size() - text_.data());
    }

private:
    std::string_view text_;
    std::vector<Piece> pieces_;
    size_t lastValue_ = 0;  // the header, when the section has no values
};

// A key whose values a change may have changed: its values before and
// after, and where its sections in the file stand.
struct HiveDocument::KeyValues {
    std::vector<RegTree::Value> before;
    std::vector<RegTree::Value> now;
    uint32_t lastSection = 0;  // the key's last section, where new values go
    // Per section of the key, per value: whether that spelling of the name
    // holds (the last one in the key's sections).
    std::map<uint32_t, std::vector<bool>> effective;
};

std::string HiveDocument::Render(const HiveChange& change) {
    const HiveSnapshot& base = change.Base();
    const std::string_view all = base.base_;
    const size_t begin = static_cast<size_t>(base.text_.data() - all.data());
    const std::string_view text = base.text_;
    const std::vector<uint64_t>& headers = base.headers_;
    const size_t count = headers.size();
    const auto sectionEnd = [&](size_t s) { return s + 1 < count ? headers[s + 1] : all.size(); };

    std::string_view newline = "\n";
    if (const size_t first = text.find('\n'); first != std::string_view::npos && first > 0 && text[first - 1] == '\r')
        newline = "\r\n";
    const bool hasHeader = text.find_first_not_of(" \t\r\n") != std::string_view::npos;

    // New sections: keys the file has no section for that now need one.
    std::vector<HiveChange::Touched> fresh;
    std::vector<std::vector<RegTree::Value>> freshValues;
    for (HiveChange::Touched& key : change.TouchedKeys()) {
        if (!key.exists || !base.SectionsOf(key.given).empty()) continue;
        std::vector<RegTree::Value> values = change.Values(key.given);
        // A key the file only implies (by a section below it) needs no
        // section of its own while it has no values and still has subkeys.
        if (values.empty() && (key.folded.empty() || (base.Exists(key.given) && change.HasSubKeys(key.given))))
            continue;
        fresh.push_back(std::move(key));
        freshValues.push_back(std::move(values));
    }

    // Which sections' keys are gone, and which keys may have new values; and
    // for each new section the nearest key before it in key order that
    // keeps a section: `nearest[i]` is the last such key before new section
    // i and after new section i - 1.
    std::vector<char> gone(count, 0), changed(count, 0);
    struct Nearest {
        std::u16string folded;
        uint32_t section = HiveIndex::kNone;
    };
    std::vector<Nearest> nearest(fresh.size());
    std::u16string folded;
    for (uint32_t own = 0; own < base.sections_.size(); ++own) {
        base.FoldedPath(own, folded);
        bool exists = false, ownValues = false;
        change.SectionKey(folded, exists, ownValues);
        gone[base.ordinals_[own]] = !exists;
        changed[base.ordinals_[own]] = ownValues;
        if (!exists || fresh.empty()) continue;
        const auto after = std::upper_bound(fresh.begin(), fresh.end(), folded, [](const std::u16string& path,
                                                                                   const HiveChange::Touched& key) {
            return ComparePaths(path, key.folded) < 0;
        });
        if (after == fresh.end()) continue;
        // A later section of the same key is its last one.
        Nearest& best = nearest[static_cast<size_t>(after - fresh.begin())];
        if (best.section == HiveIndex::kNone || ComparePaths(folded, best.folded) >= 0) {
            best.folded = folded;
            best.section = own;
        }
    }
    // Each goes after the last section of its nearest key; slot 0 is before
    // the first section.
    std::vector<std::vector<NewSection>> added(count + 1);
    Nearest before;
    for (size_t i = 0; i < fresh.size(); ++i) {
        if (nearest[i].section != HiveIndex::kNone &&
            (before.section == HiveIndex::kNone || ComparePaths(nearest[i].folded, before.folded) >= 0))
            before = std::move(nearest[i]);
        const size_t slot = before.section == HiveIndex::kNone ? 0 : base.ordinals_[before.section] + 1;
        added[slot].push_back(NewSection{fresh[i].written, std::move(freshValues[i])});
    }

    Output out(newline);
    out.Reserve(all.size() + all.size() / 16);
    const auto addKeys = [&](const std::vector<NewSection>& keys) {
        for (const NewSection& key : keys) {
            out.BeginSection();
            out.Fresh(Utf::ToUtf8(u"[" + base.rootName_ + (key.path.empty() ? u"" : u"\\" + key.path) + u"]"));
            for (const RegTree::Value& value : key.values) out.Fresh(ValueLine(value));
            out.EndSection();
        }
    };
    if (hasHeader) {
        out.Keep(all.substr(begin, (count > 0 ? headers[0] : all.size()) - begin));
    } else {
        out.Fresh(kHeader);
        out.Fresh("");
    }
    addKeys(added[0]);

    std::map<std::u16string, KeyValues> keys;  // by folded path
    const auto keyValues = [&](uint32_t own) -> KeyValues& {
        const std::u16string path = HiveScanner::Path(base.WrittenPath(own));
        std::u16string keyPath;
        base.FoldedPath(own, keyPath);
        auto [it, inserted] = keys.try_emplace(std::move(keyPath));
        KeyValues& key = it->second;
        if (!inserted) return key;
        key.before = base.Values(path);
        key.now = change.Values(path);
        const std::vector<uint32_t> sections = base.SectionsOf(path);
        std::vector<std::vector<std::u16string>> names;
        for (uint32_t section : sections) {
            const HiveSnapshot::Section& place = base.sections_[section];
            Pieces pieces(all.substr(place.begin, place.end - place.begin), base.rootName_);
            names.emplace_back();
            for (const Pieces::Piece& piece : pieces.All()) {
                if (piece.kind == HiveScanner::Kind::Value) names.back().push_back(piece.name);
            }
        }
        // From the last section back, the first spelling met of each name
        // is the one that holds.
        std::vector<std::u16string> seen;
        for (size_t s = sections.size(); s-- > 0;) {
            std::vector<bool>& flags = key.effective[sections[s]];
            flags.assign(names[s].size(), false);
            for (size_t v = names[s].size(); v-- > 0;) {
                if (std::find(seen.begin(), seen.end(), names[s][v]) != seen.end()) continue;
                seen.push_back(names[s][v]);
                flags[v] = true;
            }
        }
        key.lastSection = sections.empty() ? own : sections.back();
        return key;
    };

    std::string_view carry;  // comments and blank lines above the next section
    uint32_t own = 0;
    for (size_t s = 0; s < count; ++s) {
        const bool isOwn = own < base.ordinals_.size() && base.ordinals_[own] == s;
        const std::string_view section = all.substr(headers[s], sectionEnd(s) - headers[s]);
        const bool split = gone[s] || changed[s] || (s + 1 < count && gone[s + 1]) || !added[s + 1].empty();
        if (!split) {
            out.Keep(carry);
            out.Keep(section);
            carry = std::string_view();
        } else {
            const Pieces pieces(section, base.rootName_);
            const std::string_view body = section.substr(0, pieces.Split());
            if (gone[s]) {
                out.Collapse();  // the key is gone, and its sections with it
            } else if (!changed[s]) {
                out.Keep(carry);
                out.Keep(body);
            } else {
                out.Keep(carry);
                KeyValues& key = keyValues(own);
                const std::vector<bool>& effective = key.effective[own];
                size_t value = 0;
                for (size_t p = 0; p < pieces.Body(); ++p) {
                    const Pieces::Piece& piece = pieces.All()[p];
                    if (piece.kind != HiveScanner::Kind::Value) {
                        out.Keep(piece.text);
                        continue;
                    }
                    const RegTree::Value* now = FindFolded(key.now, piece.name);
                    const RegTree::Value* before = FindFolded(key.before, piece.name);
                    if (now != nullptr && before != nullptr && SameValue(*now, *before)) {
                        out.Keep(piece.text);
                    } else if (value < effective.size() && effective[value] && now != nullptr) {
                        out.Fresh(ValueLine(*now));
                    }
                    ++value;
                }
                if (own == key.lastSection) {
                    for (const RegTree::Value& fresh : key.now) {
                        if (FindFolded(key.before, RegTree::Fold(fresh.name)) == nullptr) out.Fresh(ValueLine(fresh));
                    }
                }
            }
            carry = section.substr(body.size());
        }
        if (isOwn) ++own;
        addKeys(added[s + 1]);
    }
    if (hasHeader) out.Keep(carry);

    std::string rendered = out.Finish();
    switch (base.encoding_) {
    case HiveScanner::Encoding::Utf16Le: {
        const std::u16string units = Utf::ToUtf16(rendered);
        std::string bytes("\xff\xfe");
        bytes.reserve(2 + units.size() * 2);
        for (char16_t unit : units) {
            bytes.push_back(static_cast<char>(unit & 0xFF));
            bytes.push_back(static_cast<char>(unit >> 8));
        }
        return bytes;
    }
    case HiveScanner::Encoding::Utf8WithMark:
        return "\xef\xbb\xbf" + rendered;
    case HiveScanner::Encoding::Utf8:
        break;
    }
    return rendered;
}
