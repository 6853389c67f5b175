#include "RegTree.h"

#include <clocale>
#include <cwctype>

#include <locale.h>

namespace {
// towupper in a UTF-8 locale folds the Basic Multilingual Plane as Windows'
// upper-case table does for the scripts in practical use.
class FoldLocale {
public:
    FoldLocale() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {}
    ~FoldLocale() {
        if (locale_ != static_cast<locale_t>(0)) freelocale(locale_);
    }
    FoldLocale(const FoldLocale&) = delete;
    FoldLocale& operator=(const FoldLocale&) = delete;

    char16_t Upper(char16_t c) const {
        if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
        if (locale_ == static_cast<locale_t>(0) || (c >= 0xD800 && c <= 0xDFFF)) return c;
        const wint_t upper = towupper_l(static_cast<wint_t>(c), locale_);
        return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
    }

private:
    locale_t locale_;
};

const FoldLocale& Folder() {
    static const FoldLocale folder;
    return folder;
}

char16_t OrderUnit(char16_t c) { return c == u'\\' ? 0 : c; }
}  // namespace

bool RegTree::PathOrder::operator()(const std::u16string& a, const std::u16string& b) const {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return OrderUnit(a[i]) < OrderUnit(b[i]);
    }
    return a.size() < b.size();
}

RegTree::RegTree() { keys_.emplace(std::u16string(), Key{}); }

std::u16string RegTree::Fold(std::u16string_view text) {
    std::u16string folded(text);
    const FoldLocale& folder = Folder();
    for (char16_t& c : folded) c = folder.Upper(c);
    return folded;
}

std::u16string RegTree::Normalise(std::u16string_view path) {
    std::u16string out;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != u'\\') continue;
        if (i > start) {
            if (!out.empty()) out.push_back(u'\\');
            out.append(path.substr(start, i - start));
        }
        start = i + 1;
    }
    return out;
}

const RegTree::Key* RegTree::Find(std::u16string_view path) const {
    auto it = keys_.find(Fold(path));
    return it == keys_.end() ? nullptr : &it->second;
}

RegTree::Key* RegTree::Find(std::u16string_view path) {
    auto it = keys_.find(Fold(path));
    return it == keys_.end() ? nullptr : &it->second;
}

RegTree::Key* RegTree::Create(std::u16string_view path, bool* created) {
    if (created != nullptr) *created = false;
    Key* key = &keys_.begin()->second;  // the root
    for (size_t at = 0; !path.empty(); ++at) {
        at = path.find(u'\\', at);
        const std::u16string_view level = path.substr(0, at);
        auto [it, inserted] = keys_.try_emplace(Fold(level));
        if (inserted) it->second.path = std::u16string(level);
        if (created != nullptr) *created = inserted;
        key = &it->second;
        if (at == std::u16string_view::npos) break;
    }
    return key;
}

RegTree::KeyMap::iterator RegTree::DescendantsBegin(const std::u16string& folded) {
    return folded.empty() ? std::next(keys_.begin()) : keys_.upper_bound(folded);
}

std::vector<std::u16string> RegTree::SubKeys(std::u16string_view path) const {
    const std::u16string folded = Fold(path);
    const size_t skip = folded.empty() ? 0 : folded.size() + 1;
    std::vector<std::u16string> names;
    auto it = folded.empty() ? std::next(keys_.begin()) : keys_.upper_bound(folded);
    for (; it != keys_.end(); ++it) {
        const std::u16string& key = it->first;
        if (!folded.empty() && (key.size() <= folded.size() || key.compare(0, folded.size(), folded) != 0 ||
                                key[folded.size()] != u'\\'))
            break;
        if (key.find(u'\\', skip) == std::u16string::npos) names.push_back(it->second.path.substr(skip));
    }
    return names;
}

bool RegTree::HasSubKeys(std::u16string_view path) const {
    const std::u16string folded = Fold(path);
    auto it = folded.empty() ? std::next(keys_.begin()) : keys_.upper_bound(folded);
    if (it == keys_.end()) return false;
    if (folded.empty()) return true;
    const std::u16string& key = it->first;
    return key.size() > folded.size() && key.compare(0, folded.size(), folded) == 0 && key[folded.size()] == u'\\';
}

void RegTree::RemoveTree(std::u16string_view path, bool keepSelf) {
    const std::u16string folded = Fold(path);
    auto self = keys_.find(folded);
    if (self == keys_.end()) return;
    auto end = DescendantsBegin(folded);
    while (end != keys_.end() &&
           (folded.empty() || (end->first.size() > folded.size() && end->first.compare(0, folded.size(), folded) == 0 &&
                               end->first[folded.size()] == u'\\')))
        ++end;
    keys_.erase(std::next(self), end);
    if (keepSelf || folded.empty())
        self->second.values.clear();
    else
        keys_.erase(self);
}

const RegTree::Value* RegTree::FindValue(const Key& key, std::u16string_view name) {
    const std::u16string folded = Fold(name);
    for (const Value& value : key.values) {
        if (Fold(value.name) == folded) return &value;
    }
    return nullptr;
}

void RegTree::SetValue(Key& key, Value value) {
    const std::u16string folded = Fold(value.name);
    for (Value& existing : key.values) {
        if (Fold(existing.name) == folded) {
            // Windows keeps the name's first spelling.
            existing.type = value.type;
            existing.data = std::move(value.data);
            return;
        }
    }
    key.values.push_back(std::move(value));
}

bool RegTree::RemoveValue(Key& key, std::u16string_view name) {
    const std::u16string folded = Fold(name);
    for (auto it = key.values.begin(); it != key.values.end(); ++it) {
        if (Fold(it->name) == folded) {
            key.values.erase(it);
            return true;
        }
    }
    return false;
}

bool RegTree::SameContent(const RegTree& other) const {
    if (keys_.size() != other.keys_.size()) return false;
    for (auto a = keys_.begin(), b = other.keys_.begin(); a != keys_.end(); ++a, ++b) {
        if (a->first != b->first || a->second.values.size() != b->second.values.size()) return false;
        for (const Value& value : a->second.values) {
            const Value* match = FindValue(b->second, value.name);
            if (match == nullptr || match->type != value.type || match->data != value.data) return false;
        }
    }
    return true;
}
