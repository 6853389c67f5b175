#include "ShellTable.h"

#include <algorithm>

#include "ShellLine.h"

namespace {

// Characters, counted as UTF-8 sequences (continuation bytes do not count).
size_t Width(std::string_view text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

void ShellTable::AddRow(std::vector<std::string> values) {
    values.resize(names_.size());
    rows_.push_back(std::move(values));
}

std::string ShellTable::Text(std::string_view noun) const {
    std::string text;
    if (!names_.empty()) {
        // Every cell as the word that reads back, and each column's width.
        std::vector<std::vector<std::string>> lines;
        lines.reserve(rows_.size() + 1);
        lines.emplace_back();
        for (const std::string& name : names_) lines.back().push_back(ShellLine::Quote(name));
        for (const std::vector<std::string>& row : rows_) {
            lines.emplace_back();
            for (const std::string& value : row) lines.back().push_back(ShellLine::Quote(value));
        }
        std::vector<size_t> widths(names_.size(), 0);
        for (const std::vector<std::string>& line : lines) {
            for (size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], Width(line[i]));
        }
        const auto write = [&](const std::vector<std::string>& cells) {
            for (size_t i = 0; i < cells.size(); ++i) {
                text += cells[i];
                // The last column is not padded: no blanks at the ends of lines.
                if (i + 1 < cells.size()) text.append(widths[i] - Width(cells[i]) + 2, ' ');
            }
            text += '\n';
        };
        write(lines[0]);
        std::vector<std::string> rule;
        for (const size_t width : widths) rule.emplace_back(width, '-');
        write(rule);
        for (size_t i = 1; i < lines.size(); ++i) write(lines[i]);
    }
    text += "(" + std::to_string(rows_.size()) + " " + std::string(noun) + (rows_.size() == 1 ? ")" : "s)") + "\n";
    return text;
}
