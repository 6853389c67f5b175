// The keys and values of one registry hive in memory. Key paths are relative
// to the hive root ("" is the root) with '\' between levels; key and value
// names compare without case, as on Windows, and keep the case they were
// written with. Every ancestor of a key exists as a key of its own.
// Each key holds its own level's name only, so a tree takes memory in
// proportion to the names written, whatever the depth; paths are at most
// kMaxDepth levels deep (Windows' limit), which the callers check
// (ValidDepth) before they create keys.
// Thread-safety: none; a tree is owned by one call. Failure: lookups answer
// null / false; nothing throws except std::bad_alloc.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <comrt/wintypes.h>

class RegTree {
public:
    static constexpr size_t kMaxDepth = 512;

    struct Value {
        std::u16string name;  // "" is the default value
        DWORD type = 0;
        // The value's bytes as RegQueryValueExW hands them out; text types
        // are UTF-16 with their terminating zero unit.
        std::vector<BYTE> data;
    };
    class Key;
    // Subkeys by folded name. Names hold no '\', so the plain order of the
    // folded names lists a key's subtree before the next sibling's.
    using SubKeyMap = std::map<std::u16string, std::unique_ptr<Key>>;
    class Key {
    public:
        Key() = default;
        Key(const Key& other);
        Key& operator=(const Key&) = delete;
        Key(Key&&) noexcept = default;
        Key& operator=(Key&&) noexcept = default;

        // This level's name as first written ("" for the root).
        const std::u16string& Name() const { return name_; }
        const SubKeyMap& SubKeys() const { return subKeys_; }

        std::vector<Value> values;

    private:
        friend class RegTree;
        std::u16string name_;
        SubKeyMap subKeys_;
    };

    RegTree() = default;
    RegTree(const RegTree& other) = default;
    RegTree& operator=(const RegTree& other) = delete;
    RegTree(RegTree&& other) noexcept = default;
    RegTree& operator=(RegTree&& other) noexcept = default;

    // Case-folded form used for comparisons.
    static std::u16string Fold(std::u16string_view text);
    // The path without empty levels: "a\\b\" becomes "a\b".
    static std::u16string Normalise(std::u16string_view path);
    // Whether a normalised path has at most kMaxDepth levels.
    static bool ValidDepth(std::u16string_view path);

    const Key& Root() const { return root_; }
    const Key* Find(std::u16string_view path) const;
    Key* Find(std::u16string_view path);
    // Creates the key and its missing ancestors; answers the key and, in
    // *created, whether it was new.
    Key* Create(std::u16string_view path, bool* created = nullptr);
    // Names of the direct subkeys, in a stable (case-folded) order.
    std::vector<std::u16string> SubKeys(std::u16string_view path) const;
    bool HasSubKeys(std::u16string_view path) const;
    // Removes the key and everything below it (not the root; the root keeps
    // only losing its values and subkeys when keepSelf).
    void RemoveTree(std::u16string_view path, bool keepSelf);

    static const Value* FindValue(const Key& key, std::u16string_view name);
    static void SetValue(Key& key, Value value);
    static bool RemoveValue(Key& key, std::u16string_view name);

    // Whether both trees hold the same keys and values, names compared
    // without case.
    bool SameContent(const RegTree& other) const;

private:
    Key root_;
};
