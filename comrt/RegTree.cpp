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

const RegTree::Value* RegTree::FindValue(const std::vector<Value>& values, std::u16string_view name) {
    const std::u16string folded = Fold(name);
    for (const Value& value : values) {
        if (Fold(value.name) == folded) return &value;
    }
    return nullptr;
}

void RegTree::SetValue(std::vector<Value>& values, Value value) {
    const std::u16string folded = Fold(value.name);
    for (Value& existing : values) {
        if (Fold(existing.name) == folded) {
            // Windows keeps the name's first spelling.
            existing.type = value.type;
            existing.data = std::move(value.data);
            return;
        }
    }
    values.push_back(std::move(value));
}

bool RegTree::RemoveValue(std::vector<Value>& values, std::u16string_view name) {
    const std::u16string folded = Fold(name);
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (Fold(it->name) == folded) {
            values.erase(it);
            return true;
        }
    }
    return false;
}
