// A change of one hive in the making: the version of the file read whole
// (a HiveSnapshot) and, over it, only the keys the change touches. Reads
// answer from the change where it decided, else from the file, so a change
// of a large hive holds its text once and the few keys it writes, never a
// tree of the whole hive. HiveDocument writes the result.
// Keys compare without case and keep the spelling they were first written
// with, as in RegTree: a key deleted and made again takes the new spelling.
// Paths are below the hive root, levels separated by '\' (empty levels are
// ignored); the callers check names and depth before they create keys.
// Thread-safety: none; a change belongs to one thread. Failure: lookups of
// missing keys answer false or nothing; nothing throws except std::bad_alloc.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "HiveSnapshot.h"
#include "RegTree.h"

class HiveChange {
public:
    // `base` must be read whole (HiveSnapshot::Whole).
    explicit HiveChange(std::shared_ptr<const HiveSnapshot> base);

    const HiveSnapshot& Base() const { return *base_; }
    // Whether anything was changed (even back to what the file holds).
    bool Modified() const { return modified_; }

    bool Exists(std::u16string_view path) const;
    // The key's values in the order first written; none for a missing key.
    std::vector<RegTree::Value> Values(std::u16string_view path) const;
    // The subkeys' names as written, in folded-name order.
    std::vector<std::u16string> SubKeys(std::u16string_view path) const;
    bool HasSubKeys(std::u16string_view path) const;

    // Creates the key and its missing ancestors; *created tells whether the
    // key itself is new.
    void Create(std::u16string_view path, bool* created = nullptr);
    // Of an existing key: sets a value (a name that exists keeps its first
    // spelling), or removes one (false when it has none of that name).
    void SetValue(std::u16string_view path, RegTree::Value value);
    bool RemoveValue(std::u16string_view path, std::u16string_view name);
    // Removes the key and everything below it; with `keepSelf` (or for the
    // root) the key stays, without values and subkeys.
    void RemoveTree(std::u16string_view path, bool keepSelf);

    // A key the change touched, for a rewrite.
    struct Touched {
        std::u16string folded;   // the folded path
        std::u16string given;    // the path as callers wrote it, for lookups
        std::u16string written;  // each level as the changed hive spells it
        bool exists = false;
        // Its values may differ from the file's: the change set them, or
        // removed the key's old content.
        bool ownValues = false;
    };
    // Every key the change made, deleted, emptied or gave values, and every
    // key it passed on the way whose subkeys it may have deleted all of, the
    // root first, in key order.
    std::vector<Touched> TouchedKeys() const;
    // Whether the key of a section of the file, at folded path `folded`,
    // still exists, and whether its values may differ from the file's.
    void SectionKey(std::u16string_view folded, bool& exists, bool& ownValues) const;

private:
    enum class State {
        Base,     // exists as the file says (unless a key above hides the file's)
        Present,  // exists, made or emptied by the change
        Absent,   // deleted by the change
    };
    struct Node {
        std::u16string given;  // the level as a caller wrote it, for asking the file
        std::u16string name;   // the spelling the change gave the key; "" for the file's
        State state = State::Base;
        bool hidesBase = false;  // the file's values and subkeys of this key no longer count
        bool valuesSet = false;  // `values` holds the key's values
        std::vector<RegTree::Value> values;
        std::map<std::u16string, std::unique_ptr<Node>, std::less<>> children;  // by folded name
    };
    // Where a folded path leads: its node when the change has one, and
    // whether a node above it deleted it or hides the file's keys there.
    struct Walk {
        const Node* node = nullptr;
        bool hidden = false;
        bool absent = false;
    };
    Walk Follow(std::u16string_view folded) const;
    // Whether the key exists; `inFile` answers whether the file has it.
    template <typename InFile>
    bool ExistsAt(const Walk& walk, InFile inFile) const;
    // The node of an existing key, made with its ancestors where missing.
    Node& Materialise(std::u16string_view normal);
    std::vector<RegTree::Value>& OwnValues(std::u16string_view normal);
    // Lists the touched keys of `node`'s subtree; `folded` and `given` are
    // its path, of which the file spells the first `fileSpelled` units.
    void Collect(const Node& node, std::u16string& folded, std::u16string& given, size_t fileSpelled, bool hidden,
                 std::vector<Touched>& out) const;

    std::shared_ptr<const HiveSnapshot> base_;
    Node root_;
    bool modified_ = false;
};
