// How the registry names, paths and values of keys are kept and compared.
// Key paths are relative to the hive root ("" is the root) with '\' between
// levels; key and value names compare without case, as on Windows, and keep
// the case they were written with. Paths are at most kMaxDepth levels deep
// (Windows' limit), which the callers check (ValidDepth) before they create
// keys.
// Thread-safety: stateless. Failure: lookups answer null / false; nothing
// throws except std::bad_alloc.
#pragma once

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

    // Case-folded form used for comparisons.
    static std::u16string Fold(std::u16string_view text);
    // The path without empty levels: "a\\b\" becomes "a\b".
    static std::u16string Normalise(std::u16string_view path);
    // Whether a normalised path has at most kMaxDepth levels.
    static bool ValidDepth(std::u16string_view path);

    // A key's values by name (compared without case): the value, or null;
    // setting a name that exists keeps its first spelling; removing answers
    // whether there was one.
    static const Value* FindValue(const std::vector<Value>& values, std::u16string_view name);
    static void SetValue(std::vector<Value>& values, Value value);
    static bool RemoveValue(std::vector<Value>& values, std::u16string_view name);
};
