// A query result as the shell prints it: the column names as headers, a
// rule under them, one line a row with the columns aligned, and a count:
//   id  name            city
//   --  --------------  ----
//   1   Ann             Cork
//   3   "O'Brien, Pat"  ''
//   (2 rows)
// Every name and value is written as ShellLine::Quote writes it, so a row
// reads back as the words of a shell line with the texts it came from.
// Widths count characters (UTF-8 sequences), not bytes.
// Thread-safety: a value type; no shared state.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class ShellTable {
public:
    explicit ShellTable(std::vector<std::string> names) : names_(std::move(names)) {}

    // One value per name; a shorter row is filled with empty values.
    void AddRow(std::vector<std::string> values);
    size_t RowCount() const noexcept { return rows_.size(); }
    // The printed table. `noun` names what a row is, for the count line:
    // "(1 row)", "(2 rows)"; a table without names prints the count alone.
    std::string Text(std::string_view noun) const;

private:
    std::vector<std::string> names_;
    std::vector<std::vector<std::string>> rows_;
};
