#include "HiveChange.h"

#include <utility>

namespace {
// Calls `visit` with each level of a normalised path.
template <typename Visit>
void ForEachLevel(std::u16string_view path, Visit visit) {
    if (path.empty()) return;
    for (size_t start = 0;;) {
        const size_t end = path.find(u'\\', start);
        visit(path.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
        if (end == std::u16string_view::npos) return;
        start = end + 1;
    }
}

std::u16string LastLevel(const std::u16string& path) {
    const size_t cut = path.rfind(u'\\');
    return cut == std::u16string::npos ? path : path.substr(cut + 1);
}

std::u16string Join(const std::u16string& path, std::u16string_view level) {
    return path.empty() ? std::u16string(level) : path + u"\\" + std::u16string(level);
}
}  // namespace

HiveChange::HiveChange(std::shared_ptr<const HiveSnapshot> base) : base_(std::move(base)) {}

HiveChange::Walk HiveChange::Follow(std::u16string_view folded) const {
    Walk walk;
    const Node* node = &root_;
    bool stop = false;
    ForEachLevel(folded, [&](std::u16string_view level) {
        if (stop) return;
        if (node->hidesBase) walk.hidden = true;
        const auto it = node->children.find(level);
        if (it == node->children.end() || (node != &root_ && node->state == State::Absent)) {
            walk.absent = node != &root_ && node->state == State::Absent;
            node = nullptr;
            stop = true;
            return;
        }
        node = it->second.get();
    });
    walk.node = node;
    return walk;
}

template <typename InFile>
bool HiveChange::ExistsAt(const Walk& walk, InFile inFile) const {
    if (walk.absent) return false;
    if (walk.node != nullptr && walk.node->state == State::Present) return true;
    if (walk.node != nullptr && walk.node->state == State::Absent) return false;
    return !walk.hidden && inFile();
}

bool HiveChange::Exists(std::u16string_view path) const {
    const std::u16string normal = RegTree::Normalise(path);
    if (normal.empty()) return true;
    return ExistsAt(Follow(RegTree::Fold(normal)), [&] { return base_->Exists(normal); });
}

std::vector<RegTree::Value> HiveChange::Values(std::u16string_view path) const {
    const std::u16string normal = RegTree::Normalise(path);
    if (!Exists(normal)) return {};
    const Walk walk = Follow(RegTree::Fold(normal));
    if (walk.node != nullptr && walk.node->valuesSet) return walk.node->values;
    if (walk.hidden || (walk.node != nullptr && walk.node->hidesBase)) return {};
    return base_->Values(normal);
}

std::vector<std::u16string> HiveChange::SubKeys(std::u16string_view path) const {
    const std::u16string normal = RegTree::Normalise(path);
    if (!Exists(normal)) return {};
    const Walk walk = Follow(RegTree::Fold(normal));
    std::map<std::u16string, std::u16string> names;  // folded -> written
    if (!walk.hidden && (walk.node == nullptr || !walk.node->hidesBase)) {
        for (std::u16string& name : base_->SubKeys(normal)) {
            std::u16string folded = RegTree::Fold(name);
            const Node* child = nullptr;
            if (walk.node != nullptr) {
                const auto it = walk.node->children.find(folded);
                if (it != walk.node->children.end()) child = it->second.get();
            }
            if (child != nullptr && child->state == State::Absent) continue;
            names.emplace(std::move(folded), child != nullptr && !child->name.empty() ? child->name : std::move(name));
        }
    }
    if (walk.node != nullptr) {
        for (const auto& [folded, child] : walk.node->children) {
            if (child->state != State::Present || names.count(folded) != 0) continue;
            names.emplace(folded, child->name.empty() ? LastLevel(base_->Spelling(Join(normal, child->given)))
                                                      : child->name);
        }
    }
    std::vector<std::u16string> out;
    out.reserve(names.size());
    for (auto& [folded, name] : names) out.push_back(std::move(name));
    return out;
}

bool HiveChange::HasSubKeys(std::u16string_view path) const {
    const std::u16string normal = RegTree::Normalise(path);
    const Walk walk = Follow(RegTree::Fold(normal));
    bool deletions = false;
    if (walk.node != nullptr) {
        for (const auto& [folded, child] : walk.node->children) {
            if (child->state == State::Present) return true;
            deletions = deletions || child->state == State::Absent;
        }
    }
    if (walk.hidden || (walk.node != nullptr && walk.node->hidesBase)) return false;
    if (!deletions) return base_->HasSubKeys(normal);
    // The change deleted some of the file's subkeys: is any left?
    for (const std::u16string& name : base_->SubKeys(normal)) {
        const auto it = walk.node->children.find(RegTree::Fold(name));
        if (it == walk.node->children.end() || it->second->state != State::Absent) return true;
    }
    return false;
}

void HiveChange::Create(std::u16string_view path, bool* created) {
    if (created != nullptr) *created = false;
    const std::u16string normal = RegTree::Normalise(path);
    std::vector<size_t> ends;  // where each level of `normal` ends
    ForEachLevel(normal, [&](std::u16string_view level) {
        ends.push_back(static_cast<size_t>(level.data() - normal.data()) + level.size());
    });
    // The ancestors of an existing key exist: find how many levels do.
    size_t existing = 0, above = ends.size() + 1;
    while (existing + 1 < above) {
        const size_t middle = (existing + above) / 2;
        if (Exists(std::u16string_view(normal).substr(0, ends[middle - 1])))
            existing = middle;
        else
            above = middle;
    }
    if (existing == ends.size()) return;
    Node* node = existing == 0 ? &root_ : &Materialise(std::u16string_view(normal).substr(0, ends[existing - 1]));
    for (size_t level = existing; level < ends.size(); ++level) {
        const size_t start = level == 0 ? 0 : ends[level - 1] + 1;
        const std::u16string_view name = std::u16string_view(normal).substr(start, ends[level] - start);
        std::unique_ptr<Node>& slot = node->children[RegTree::Fold(name)];
        if (!slot) slot = std::make_unique<Node>();
        // A new key: nothing of the file's counts for it.
        Node& child = *slot;
        child.state = State::Present;
        child.name = child.given = std::u16string(name);
        child.hidesBase = true;
        child.valuesSet = true;
        child.values.clear();
        child.children.clear();
        node = &child;
    }
    modified_ = true;
    if (created != nullptr) *created = true;
}

HiveChange::Node& HiveChange::Materialise(std::u16string_view normal) {
    Node* node = &root_;
    ForEachLevel(normal, [&](std::u16string_view level) {
        std::unique_ptr<Node>& slot = node->children[RegTree::Fold(level)];
        if (!slot) {
            slot = std::make_unique<Node>();
            slot->given = std::u16string(level);
        }
        node = slot.get();
    });
    return *node;
}

std::vector<RegTree::Value>& HiveChange::OwnValues(std::u16string_view normal) {
    std::vector<RegTree::Value> values = Values(normal);
    Node& node = Materialise(normal);
    if (!node.valuesSet) {
        node.values = std::move(values);
        node.valuesSet = true;
    }
    return node.values;
}

void HiveChange::SetValue(std::u16string_view path, RegTree::Value value) {
    RegTree::SetValue(OwnValues(RegTree::Normalise(path)), std::move(value));
    modified_ = true;
}

bool HiveChange::RemoveValue(std::u16string_view path, std::u16string_view name) {
    if (!RegTree::RemoveValue(OwnValues(RegTree::Normalise(path)), name)) return false;
    modified_ = true;
    return true;
}

void HiveChange::RemoveTree(std::u16string_view path, bool keepSelf) {
    const std::u16string normal = RegTree::Normalise(path);
    Node& node = Materialise(normal);
    node.children.clear();
    node.hidesBase = true;
    node.valuesSet = true;
    node.values.clear();
    if (!normal.empty()) node.state = keepSelf ? State::Present : State::Absent;
    modified_ = true;
}

void HiveChange::Collect(const Node& node, std::u16string& folded, std::u16string& given, size_t fileSpelled,
                         bool hidden, std::vector<Touched>& out) const {
    // A key passed on the way to others, whose children exist, is as the
    // file has it: only the others are listed.
    bool passed = node.state == State::Base && !node.valuesSet && !node.hidesBase && !hidden;
    if (passed) {
        passed = false;
        for (const auto& [level, child] : node.children) passed = passed || child->state != State::Absent;
    }
    if (!passed) {
        Touched key;
        key.folded = folded;
        key.given = given;
        Walk walk;
        walk.node = &node;
        walk.hidden = hidden;
        key.exists = folded.empty() || ExistsAt(walk, [&] { return base_->Exists(given); });
        key.ownValues = key.exists && (hidden || node.valuesSet || node.hidesBase);
        // The file spells the levels it has; the change those it made.
        key.written = base_->Spelling(std::u16string_view(given).substr(0, fileSpelled));
        if (fileSpelled < given.size()) key.written += given.substr(fileSpelled);
        out.push_back(std::move(key));
    }
    if (node.state == State::Absent) return;
    for (const auto& [level, child] : node.children) {
        const size_t foldedLength = folded.size(), givenLength = given.size();
        if (!folded.empty()) folded.push_back(u'\\');
        folded += level;
        if (!given.empty()) given.push_back(u'\\');
        const bool spelledByFile = child->name.empty() && fileSpelled == givenLength;
        given += child->name.empty() ? child->given : child->name;
        Collect(*child, folded, given, spelledByFile ? given.size() : fileSpelled, hidden || node.hidesBase, out);
        folded.resize(foldedLength);
        given.resize(givenLength);
    }
}

std::vector<HiveChange::Touched> HiveChange::TouchedKeys() const {
    std::vector<Touched> out;
    std::u16string folded, given;
    Collect(root_, folded, given, 0, false, out);
    return out;
}

void HiveChange::SectionKey(std::u16string_view folded, bool& exists, bool& ownValues) const {
    const Walk walk = Follow(folded);
    exists = ExistsAt(walk, [] { return true; });
    ownValues = exists && (walk.hidden || (walk.node != nullptr && (walk.node->valuesSet || walk.node->hidesBase)));
}
