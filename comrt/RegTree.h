// The keys and values of one registry hive in memory. Key paths are relative
// to the hive root ("" is the root) with '\' between levels; key and value
// names compare without case, as on Windows, and keep the case they were
// written with. Every ancestor of a key exists as a key of its own.
// Thread-safety: none; a tree is owned by one call. Failure: lookups answer
// null / false; nothing throws except std::bad_alloc.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <comrt/wintypes.h>

class RegTree {
public:
    struct Value {
        std::u16string name;  // "" is the default value
        DWORD type = 0;
        // The value's bytes as RegQueryValueExW hands them out; text types
        // are UTF-16 with their terminating zero unit.
        std::vector<BYTE> data;
    };
    struct Key {
        std::u16string path;  // as written
        std::vector<Value> values;
    };

    // Orders folded paths so that '\' sorts before every other unit: a key's
    // descendants then follow it contiguously, and parents precede children.
    struct PathOrder {
        bool operator()(const std::u16string& a, const std::u16string& b) const;
    };
    using KeyMap = std::map<std::u16string, Key, PathOrder>;

    RegTree();

    // Case-folded form used for comparisons.
    static std::u16string Fold(std::u16string_view text);
    // The path without empty levels: "a\\b\" becomes "a\b".
    static std::u16string Normalise(std::u16string_view path);

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

    const KeyMap& Keys() const { return keys_; }
    // Whether both trees hold the same keys and values, names compared
    // without case.
    bool SameContent(const RegTree& other) const;

private:
    KeyMap::iterator DescendantsBegin(const std::u16string& folded);
    KeyMap keys_;
};
