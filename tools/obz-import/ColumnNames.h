// The column list (UTF-8) that obz-import hands to CreateDbFile and ImportDbFile for
// a table it creates: every name in double quotes (a '"' inside doubled), so
// that names with spaces or names that are SQL keywords ("order") make valid
// columns, joined by ",", the component's list separator.
// Thread-safety: stateless. Throws only std::bad_alloc.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class ColumnNames {
public:
    // The list for `names`, an empty name standing for its number ("c2" for
    // the second). False with a reason in `problem` when there is no name,
    // a name holds a comma (the component splits the list at every comma)
    // or two names are the same (compared as SQLite compares column names:
    // ASCII letters without case).
    static bool List(const std::vector<std::string>& names, std::string& list, std::string& problem);

    // "c1" to "cN".
    static std::vector<std::string> Numbered(size_t count);

    // A comma-separated list (--columns), cut at every comma.
    static std::vector<std::string> Split(std::string_view list);
};
