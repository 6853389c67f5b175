#include "HiveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "HiveCache.h"
#include "UniqueFd.h"
#include "Utf.h"

namespace {
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

bool EqualsFolded(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && RegTree::Fold(a) == RegTree::Fold(b);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
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

bool ReadHexBytes(std::u16string_view text, std::vector<BYTE>& out) {
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == u' ' || text[at] == u'\t')) ++at;
        if (at + 1 >= text.size()) return at >= text.size();
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<BYTE>(high * 16 + low));
        at += 2;
        while (at < text.size() && (text[at] == u' ' || text[at] == u'\t')) ++at;
        if (at < text.size() && text[at++] != u',') return false;
    }
    return true;
}

// Parses the data after '=' of a value line.
bool ParseData(std::u16string_view text, RegTree::Value& value) {
    if (!text.empty() && text.front() == u'"') {
        size_t at = 0;
        std::u16string body;
        if (!ReadQuoted(text, at, body)) return false;
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
        std::u16string_view digits = text.substr(6);
        if (digits.empty() || digits.size() > 8) return false;
        DWORD number = 0;
        for (char16_t c : digits) {
            const int digit = HexDigit(c);
            if (digit < 0) return false;
            number = number * 16 + static_cast<DWORD>(digit);
        }
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
        if (close == std::u16string_view::npos || close == 4 || close > 12) return false;
        DWORD type = 0;
        for (char16_t c : text.substr(4, close - 4)) {
            const int digit = HexDigit(c);
            if (digit < 0) return false;
            type = type * 16 + static_cast<DWORD>(digit);
        }
        value.type = type;
        return ReadHexBytes(text.substr(close + 2), value.data);
    }
    return false;
}

void ParseValueLine(std::u16string_view line, RegTree::Key& key) {
    RegTree::Value value;
    size_t at = 0;
    if (line.front() == u'@') {
        at = 1;
    } else if (!ReadQuoted(line, at, value.name)) {
        return;
    }
    if (at >= line.size() || line[at] != u'=') return;
    if (ParseData(line.substr(at + 1), value)) RegTree::SetValue(key, std::move(value));
}

// The text of a REG_SZ that a quoted string can carry exactly: one zero unit
// at the end and no control characters or lone surrogates before it.
bool QuotableText(const std::vector<BYTE>& data, std::u16string& text) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    const size_t units = data.size() / 2;
    text.clear();
    for (size_t i = 0; i < units; ++i) text.push_back(static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
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

void AppendQuoted(std::string& out, std::u16string_view text) {
    out.push_back('"');
    for (char c : Utf::ToUtf8(text)) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendHex(std::string& out, const std::vector<BYTE>& data) {
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) out.push_back(',');
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0xF]);
    }
}

void AppendData(std::string& out, const RegTree::Value& value) {
    std::u16string text;
    char prefix[32];
    if (value.type == REG_SZ && QuotableText(value.data, text)) {
        AppendQuoted(out, text);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        const DWORD number = static_cast<DWORD>(value.data[0]) | (static_cast<DWORD>(value.data[1]) << 8) |
                             (static_cast<DWORD>(value.data[2]) << 16) | (static_cast<DWORD>(value.data[3]) << 24);
        std::snprintf(prefix, sizeof prefix, "dword:%08x", number);
        out += prefix;
    } else {
        if (value.type == REG_BINARY)
            out += "hex:";
        else {
            std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
            out += prefix;
        }
        AppendHex(out, value.data);
    }
}
}  // namespace

HiveFile::HiveFile(std::string path, std::u16string rootName)
    : path_(std::move(path)), rootName_(std::move(rootName)) {}

RegTree HiveFile::Parse(std::string_view text, std::u16string_view rootName) {
    RegTree tree;
    std::u16string wide = Utf::ToUtf16(text);
    std::u16string_view all = wide;
    if (!all.empty() && all.front() == 0xFEFF) all.remove_prefix(1);
    RegTree::Key* current = nullptr;
    std::u16string logical;  // a line with its continuations joined
    bool continuing = false;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find(u'\n', start);
        if (end == std::u16string_view::npos) end = all.size();
        std::u16string_view physical = all.substr(start, end - start);
        start = end + 1;
        while (!physical.empty() && IsBlank(physical.back())) physical.remove_suffix(1);
        if (continuing) {
            while (!physical.empty() && IsBlank(physical.front())) physical.remove_prefix(1);
            logical += physical;
        } else {
            logical.assign(physical);
        }
        // A hex value may go on over several lines, each ending in '\'.
        continuing = !logical.empty() && logical.back() == u'\\' && logical.find(u"=hex") != std::u16string::npos;
        if (continuing) {
            logical.pop_back();
            continue;
        }
        std::u16string_view line = logical;
        if (line.empty() || line.front() == u';') continue;
        if (line.front() == u'[') {
            current = nullptr;
            const size_t close = line.rfind(u']');
            if (close == std::u16string_view::npos) continue;
            std::u16string_view name = line.substr(1, close - 1);
            if (EqualsFolded(name, rootName)) {
                current = tree.Find(u"");
            } else if (name.size() > rootName.size() + 1 && name[rootName.size()] == u'\\' &&
                       EqualsFolded(name.substr(0, rootName.size()), rootName)) {
                current = tree.Create(RegTree::Normalise(name.substr(rootName.size() + 1)));
            }
            continue;
        }
        if (current != nullptr && (line.front() == u'@' || line.front() == u'"')) ParseValueLine(line, *current);
    }
    return tree;
}

std::string HiveFile::Serialise(const RegTree& tree, std::u16string_view rootName) {
    std::string out(kHeader);
    out += "\n\n";
    const std::string root = Utf::ToUtf8(rootName);
    for (const auto& [folded, key] : tree.Keys()) {
        if (key.path.empty() && key.values.empty()) continue;
        out.push_back('[');
        out += root;
        if (!key.path.empty()) {
            out.push_back('\\');
            out += Utf::ToUtf8(key.path);
        }
        out += "]\n";
        for (const RegTree::Value& value : key.values) {
            if (value.name.empty())
                out.push_back('@');
            else
                AppendQuoted(out, value.name);
            out.push_back('=');
            AppendData(out, value);
            out.push_back('\n');
        }
        out.push_back('\n');
    }
    return out;
}

std::shared_ptr<const RegTree> HiveFile::Read() const {
    struct stat current {};
    if (stat(path_.c_str(), &current) != 0) return std::make_shared<const RegTree>();
    if (auto cached = HiveCache::Instance().Find(path_, current)) return cached;
    UniqueFd file(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid() || fstat(file.Get(), &current) != 0) return std::make_shared<const RegTree>();
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    auto tree = std::make_shared<const RegTree>(Parse(text, rootName_));
    HiveCache::Instance().Store(path_, std::move(file), current, tree);
    return tree;
}

UniqueFd HiveFile::WriteAtomically(const std::string& text) const {
    static std::atomic<unsigned> counter{0};
    const std::string temp = path_ + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter++);
    UniqueFd file(open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.Valid()) return UniqueFd();
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t wrote = write(file.Get(), text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0)
            ok = false;
        else
            done += static_cast<size_t>(wrote);
    }
    ok = ok && fsync(file.Get()) == 0 && rename(temp.c_str(), path_.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return UniqueFd();
    }
    return file;
}

LSTATUS HiveFile::Update(const std::function<LSTATUS(RegTree& tree, bool& modified)>& change) const {
    UniqueFd lock(open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!lock.Valid()) return ERROR_ACCESS_DENIED;
    while (flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return ERROR_ACCESS_DENIED;
    }
    auto tree = std::make_shared<RegTree>(*Read());
    bool modified = false;
    const LSTATUS status = change(*tree, modified);
    if (status != ERROR_SUCCESS || !modified) return status;
    UniqueFd written = WriteAtomically(Serialise(*tree, rootName_));
    if (!written.Valid()) return ERROR_CANTWRITE;
    // Still under the lock: the file at the path is the one just written.
    struct stat identity {};
    if (fstat(written.Get(), &identity) == 0) HiveCache::Instance().Store(path_, std::move(written), identity, tree);
    return ERROR_SUCCESS;
}
