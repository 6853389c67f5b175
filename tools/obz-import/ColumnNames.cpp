#include "ColumnNames.h"

#include <set>

namespace {
std::string Number(size_t position) { return "c" + std::to_string(position); }

std::string Folded(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}
}  // namespace

bool ColumnNames::List(const std::vector<std::string>& names, std::string& list, std::string& problem) {
    list.clear();
    if (names.empty()) {
        problem = "there are no columns";
        return false;
    }
    std::set<std::string> seen;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = names[i].empty() ? Number(i + 1) : names[i];
        if (name.find(',') != std::string::npos) {
            problem = "column " + std::to_string(i + 1) + " (\"" + name +
                      "\") holds a comma, which the component's column list cannot carry: name the columns "
                      "with --columns";
            return false;
        }
        if (!seen.insert(Folded(name)).second) {
            problem = "two columns are named \"" + name + "\": name the columns with --columns";
            return false;
        }
        if (i > 0) list.push_back(',');
        list.push_back('"');
        for (const char c : name) {
            if (c == '"') list.push_back('"');
            list.push_back(c);
        }
        list.push_back('"');
    }
    return true;
}

std::vector<std::string> ColumnNames::Numbered(size_t count) {
    std::vector<std::string> names;
    for (size_t i = 1; i <= count; ++i) names.push_back(Number(i));
    return names;
}

std::vector<std::string> ColumnNames::Split(std::string_view list) {
    std::vector<std::string> names;
    size_t from = 0;
    for (size_t comma; (comma = list.find(',', from)) != std::string_view::npos; from = comma + 1)
        names.emplace_back(list.substr(from, comma - from));
    names.emplace_back(list.substr(from));
    return names;
}
