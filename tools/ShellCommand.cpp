#include "ShellCommand.h"

namespace {

bool IsName(const std::string& text) {
    if (text.empty()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && i > 0)) return false;
    }
    return true;
}

}  // namespace

ShellCommand ShellCommand::Invalid(std::string error) {
    ShellCommand command;
    command.kind_ = Kind::Invalid;
    command.error_ = std::move(error);
    return command;
}

ShellCommand ShellCommand::FromLine(const ShellLine& line) {
    if (!line.Ok()) return Invalid(line.Error());
    const std::vector<ShellLine::Word>& words = line.Words();
    ShellCommand command;
    if (words.empty()) return command;

    const ShellLine::Word& first = words[0];
    if (first.reference) return Invalid("a line starts with a method name or a keyword, not $" + first.text);
    const std::string& head = first.text;

    if (head == "new") {
        if (words.size() != 3) return Invalid("usage: new NAME PROGID");
        if (words[1].reference || !IsName(words[1].text)) return Invalid("not a variable name: " + words[1].text);
        command.kind_ = Kind::New;
        command.target_ = words[1].text;
        command.name_ = words[2].text;
        return command;
    }
    if (head == "print") {
        command.kind_ = Kind::Print;
        for (size_t i = 1; i < words.size(); ++i) {
            if (i > 1) command.name_ += ' ';
            command.name_ += (words[i].reference ? "$" : "") + words[i].text;
        }
        return command;
    }
    if (head == "expect") {
        if (words.size() != 2) return Invalid("usage: expect VALUE");
        command.kind_ = Kind::Expect;
        command.name_ = words[1].text;
        return command;
    }
    if (head == "quit" || head == "exit") {
        if (words.size() != 1) return Invalid(head + " takes no arguments");
        command.kind_ = Kind::Quit;
        return command;
    }

    if (head == "select") {
        // The line names the parts of a query as GetDBRecordSet takes them.
        const char* const usage = "usage: select TABLE [COLUMNS [CONDITIONCOL [CONDITIONVAL]]] (help select)";
        if (words.size() < 2 || words.size() > 5) return Invalid(usage);
        if (words.size() > 2 && (words[2].text == "from" || words[2].text == "FROM")) {
            return Invalid(std::string(usage) + "; not SQL: select People name,city");
        }
        for (size_t i = 1; i < words.size(); ++i) {
            if (words[i].reference) return Invalid("select takes texts, not $" + words[i].text);
        }
        command.kind_ = Kind::Select;
        command.arguments_.assign(words.begin() + 1, words.end());
        return command;
    }
    if (head == "tables") {
        if (words.size() != 1) return Invalid("tables takes no arguments");
        command.kind_ = Kind::Tables;
        return command;
    }
    if (head == "help") {
        if (words.size() > 2) return Invalid("usage: help [METHOD]");
        command.kind_ = Kind::Help;
        if (words.size() == 2) command.name_ = words[1].text;
        return command;
    }

    const size_t dot = head.find('.');
    if (dot != std::string::npos) {
        command.target_ = head.substr(0, dot);
        command.name_ = head.substr(dot + 1);
        if (!IsName(command.target_)) return Invalid("not a variable name: " + command.target_);
    } else {
        command.name_ = head;
    }
    if (!IsName(command.name_)) return Invalid("not a method name: " + command.name_);
    command.kind_ = Kind::Call;
    command.arguments_.assign(words.begin() + 1, words.end());
    return command;
}
