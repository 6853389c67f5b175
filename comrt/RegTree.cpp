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

// Calls `visit` with each non-empty level of `path`, in order, until it
// answers false; answers whether every level was visited.
template <typename Visit>
bool ForEachLevel(std::u16string_view path, Visit visit) {
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) end = path.size();
        if (end > start && !visit(path.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}
}  // namespace

RegTree::Key::Key(const Key& other) : values(other.values), name_(other.name_) {
    for (const auto& [folded, key] : other.subKeys_) subKeys_.emplace(folded, std::make_unique<Key>(*key));
}

std::u16string RegTree::Fold(std::u16string_view text) {
    std::u16string folded(text);
    const FoldLocale& folder = Folder();
    for (char16_t& c : folded) c = folder.Upper(c);
    return folded;
}

std::u16string RegTree::Normalise(std::u16string_view path) {
    std::u16string out;
    ForEachLevel(path, [&](std::u16string_view level) {
        if (!out.empty()) out.push_back(u'\\');
        out.append(level);
        return true;
    });
    return out;
}

bool RegTree::ValidDepth(std::u16string_view path) {
    size_t depth = 0;
    return ForEachLevel(path, [&](std::u16string_view) { return ++depth <= kMaxDepth; });
}

const RegTree::Key* RegTree::Find(std::u16string_view path) const {
    const Key* key = &root_;
    ForEachLevel(path, [&](std::u16string_view level) {
        auto it = key->subKeys_.find(Fold(level));
        key = it == key->subKeys_.end() ? nullptr : it->second.get();
        return key != nullptr;
    });
    return key;
}

RegTree::Key* RegTree::Find(std::u16string_view path) {
    return const_cast<Key*>(static_cast<const RegTree&>(*this).Find(path));
}

RegTree::Key* RegTree::Create(std::u16string_view path, bool* created) {
    if (created != nullptr) *created = false;
    Key* key = &root_;
    ForEachLevel(path, [&](std::u16string_view level) {
        auto [it, inserted] = key->subKeys_.try_emplace(Fold(level));
        if (inserted) {
            it->second = std::make_unique<Key>();
            it->second->name_ = std::u16string(level);
        }
        if (created != nullptr) *created = inserted;
        key = it->second.get();
        return true;
    });
    return key;
}

std::vector<std::u16string> RegTree::SubKeys(std::u16string_view path) const {
    std::vector<std::u16string> names;
    if (const Key* key = Find(path)) {
        for (const auto& [folded, sub] : key->subKeys_) names.push_back(sub->name_);
    }
    return names;
}

bool RegTree::HasSubKeys(std::u16string_view path) const {
    const Key* key = Find(path);
    return key != nullptr && !key->subKeys_.empty();
}

void RegTree::RemoveTree(std::u16string_view path, bool keepSelf) {
    const std::u16string normal = Normalise(path);
    if (keepSelf || normal.empty()) {
        if (Key* key = Find(normal)) {
            key->values.clear();
            key->subKeys_.clear();
        }
        return;
    }
    const size_t cut = normal.rfind(u'\\');
    Key* parent = Find(cut == std::u16string::npos ? std::u16string_view() : std::u16string_view(normal).substr(0, cut));
    if (parent != nullptr) parent->subKeys_.erase(Fold(std::u16string_view(normal).substr(cut + 1)));
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

namespace {
bool SameKey(const RegTree::Key& a, const RegTree::Key& b) {
    if (a.values.size() != b.values.size() || a.SubKeys().size() != b.SubKeys().size()) return false;
    for (const RegTree::Value& value : a.values) {
        const RegTree::Value* match = RegTree::FindValue(b, value.name);
        if (match == nullptr || match->type != value.type || match->data != value.data) return false;
    }
    for (auto x = a.SubKeys().begin(), y = b.SubKeys().begin(); x != a.SubKeys().end(); ++x, ++y) {
        if (x->first != y->first || !SameKey(*x->second, *y->second)) return false;
    }
    return true;
}
}  // namespace

bool RegTree::SameContent(const RegTree& other) const { return SameKey(root_, other.root_); }
