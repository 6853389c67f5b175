#include "ShellCompletion.h"

#include <algorithm>

#include "ShellHelp.h"

namespace {

const char* const kDatabaseClass = "Ombrel.ZeveVevuVAD";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWith(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    }
    return true;
}

// Adds `before` + each name that starts with `prefix`.
void AddMatching(std::vector<std::string>& out, const std::vector<std::string>& names, std::string_view prefix,
                 const std::string& before = std::string()) {
    for (const std::string& name : names) {
        if (StartsWith(name, prefix)) out.push_back(before + name);
    }
}

// Edits between a and b without case: insertions, deletions, changes and
// swaps of neighbours (the optimal string alignment distance).
size_t Distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t change = Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) && Lower(a[i - 2]) == Lower(b[j - 1])) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::vector<std::string> ShellCompletion::Candidates(std::string_view line, const Variables& variables) {
    // The words before the one being typed, and that word.
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (true) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        const size_t end = std::min(line.find_first_of(" \t", pos), line.size());
        words.push_back(line.substr(pos, end - pos));
        if (end == line.size()) break;
        pos = end;
    }
    const std::string_view word = words.back();
    words.pop_back();

    std::vector<std::string> out;
    if (words.empty()) {
        const size_t dot = word.find('.');
        if (dot != std::string_view::npos) {
            const auto variable = variables.find(std::string(word.substr(0, dot)));
            if (variable != variables.end()) {
                AddMatching(out, ShellHelp::MethodNames(variable->second), word.substr(dot + 1),
                            variable->first + ".");
            }
        } else {
            AddMatching(out, ShellHelp::Keywords(), word);
            AddMatching(out, ShellHelp::MethodNames(kDatabaseClass), word);
            for (const auto& variable : variables) {
                if (StartsWith(variable.first, word)) out.push_back(variable.first + ".");
            }
        }
    } else if (words.size() == 1 && words[0] == "help") {
        AddMatching(out, ShellHelp::Keywords(), word);
        for (const char* progId : {kDatabaseClass, "Ombrel.RecordSet", "Ombrel.RecordItem"}) {
            AddMatching(out, ShellHelp::MethodNames(progId), word);
        }
    } else if (words.size() == 2 && words[0] == "new") {
        AddMatching(out, {"Ombrel.RecordSet", "Ombrel.RecordItem"}, word);
    } else if (!word.empty() && word[0] == '$') {
        for (const auto& variable : variables) {
            if (StartsWith(variable.first, word.substr(1))) out.push_back("$" + variable.first);
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::string ShellCompletion::Nearest(std::string_view word, const std::vector<std::string>& names) {
    const size_t allowed = word.size() >= 8 ? 3 : 2;
    std::string nearest;
    size_t best = allowed + 1;
    for (const std::string& name : names) {
        const size_t distance = Distance(word, name);
        if (distance == 0) return std::string();
        if (distance < best) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}
