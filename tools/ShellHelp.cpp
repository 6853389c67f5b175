#include "ShellHelp.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "ShellMethodGuide.h"

#include "facade/ZeveVevuVADMembers.h"
#include "results/RecordItemMembers.h"
#include "results/RecordSetMembers.h"

namespace {

// A class a shell line can call, with the variable name its examples use.
struct ShellClass {
    const char* title;     // how the help names an object of the class
    const char* heading;   // the heading of the class's methods
    const char* progId;
    const char* variable;  // db for the database object, else an example name
    std::span<const DispatchMember> members;
};

const ShellClass kClasses[] = {
    {"the database object", "Database object methods (Ombrel.ZeveVevuVAD, the variable db)", "Ombrel.ZeveVevuVAD",
     "db", kZeveVevuVADMembers},
    {"a RecordSet", "RecordSet methods (new rs Ombrel.RecordSet, then rs.Method)", "Ombrel.RecordSet", "rs",
     kRecordSetMembers},
    {"a RecordItem", "RecordItem methods (new item Ombrel.RecordItem, then item.Method)", "Ombrel.RecordItem",
     "item", kRecordItemMembers},
};

// The shell's own lines: the keyword that starts the line (null for the
// forms without one), how it is written, what it does, and what `help
// KEYWORD` adds.
struct ShellLineForm {
    const char* keyword;
    const char* form;
    const char* text;
    const char* more;
};

const ShellLineForm kLineForms[] = {
    {nullptr, "Method ARG...", "call a method of the database object (the variable db)", nullptr},
    {nullptr, "NAME.Method ARG...", "call a method of the object kept as variable NAME", nullptr},
    {"new", "new NAME PROGID",
     "create an object (Ombrel.RecordSet, Ombrel.RecordItem or a {CLSID}) and keep it as variable NAME",
     "Example: new rs Ombrel.RecordSet"},
    {nullptr, "$NAME", "as an argument: pass the object kept as NAME", nullptr},
    {"select", "select TABLE [COLUMNS [CONDITIONCOL [CONDITIONVAL]]]",
     "print rows of TABLE with their column names, aligned",
     "It runs GetDBRecordSet: COLUMNS is its select list (* for all, name,city, count(*) AS n), CONDITIONCOL and "
     "CONDITIONVAL its conditions (help GetDBRecordSet), and reads every value through a RecordSet and a "
     "RecordItem. Each name and value is quoted as a line quotes it, so a row reads back as the words of a "
     "line. expect then compares the number of rows; a query that fails answers false. Example: select People "
     "name,city city 'C%'"},
    {"tables", "tables", "print the tables of the current file and their columns",
     "It queries the file's sqlite_master through GetDBRecordSet; expect then compares the number of tables."},
    {"print", "print TEXT...", "write the text", nullptr},
    {"expect", "expect VALUE", "fail unless the last outcome was VALUE (1, true, S_OK, a text)",
     "After a call that answers 0, false or S_FALSE, an expect of that answer on the next line makes the "
     "failure expected; without it the call is a failed line."},
    {"help", "help [NAME]", "list everything, or describe one method or line", nullptr},
    {"quit", "quit, exit", "stop; so does the end of the input", nullptr},
    {"exit", nullptr, nullptr, nullptr},
    {nullptr, "# ...", "a comment, as the first thing on a line", nullptr},
};

const char kNotes[] =
    "\n"
    "Each call writes its outcome (=> 1, => true, => \"text\", => S_OK) after the\n"
    "events it caused (event OnWriteLog: ...); a failed line writes => error ... to\n"
    "standard error. A call that answers a failure (0 where a method answers 1 or\n"
    "0, false, or S_FALSE) is a failed line, unless the next line expects it\n"
    "(expect 0, expect false, expect S_FALSE).\n"
    "\n"
    "Quoting (blanks separate the arguments):\n"
    "  '...'      keeps every character as it is; '' is an empty argument\n"
    "  \"...\"      keeps every character, except that \\\" is a double quote\n"
    "  \\          is an ordinary character, so Windows paths need no quotes:\n"
    "             C:\\data\\x.db, C:\\data\\, \\\\server\\share\n"
    "  \\' \\\"      outside quotes: the quote itself (it\\'s); backslashes just\n"
    "             before a quote pair up, each pair one backslash, so\n"
    "             \"C:\\data\\\\\" is C:\\data\\\n"
    "  $'...'     \\n, \\r, \\t, \\xHH, \\\\, \\' and \\\" stand for those characters\n"
    "             (a select writes line breaks in values so)\n"
    "  ; | # $    need no quoting; only a whole $NAME names an object, and\n"
    "             nothing else is expanded\n";

// The name as text; the tables' names are ASCII.
std::string Narrow(const OLECHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return out;
}

bool SameName(std::string_view a, const OLECHAR* b) {
    const std::string name = Narrow(b);
    if (a.size() != name.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(name[i])) return false;
    }
    return true;
}

const char* Answer(VARTYPE type) {
    switch (type) {
        case VT_I4:
            return "a number";
        case VT_BOOL:
            return "true or false";
        case VT_BSTR:
            return "a text";
        default:
            return "S_OK or S_FALSE";
    }
}

// "GetRecordItem Index $RecordItem": the method as a line calls it.
std::string Call(const DispatchMember& member) {
    std::string line = Narrow(member.name);
    for (UINT i = 0; i < member.paramCount; ++i) {
        line += member.paramTypes[i] == VT_DISPATCH ? " $" : " ";
        line += Narrow(member.paramNames[i]);
    }
    return line;
}

std::string Methods() {
    std::string text;
    for (const ShellClass& c : kClasses) {
        text += std::string("\n") + c.heading + ":\n";
        for (const DispatchMember& member : c.members) {
            text += "  " + Call(member) + "  => " + Answer(member.resultType) + "\n";
        }
    }
    return text;
}

// Appends `text` after `lead`, wrapped at the help's width (unless `wrap` is
// false), with later lines indented to the lead's width.
void AppendWrapped(std::string& out, const std::string& lead, std::string_view text, bool wrap = true) {
    constexpr size_t kWidth = 79;
    std::string line = lead;
    bool first = true;
    while (!text.empty()) {
        const size_t end = text.find(' ');
        const std::string_view word = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (wrap && !first && line.size() + 1 + word.size() > kWidth) {
            out += line + "\n";
            line.assign(lead.size(), ' ');
            first = true;
        }
        line += first ? "" : " ";
        line += word;
        first = false;
    }
    out += line + "\n";
}

// What `help METHOD` prints: the line that calls it, what it does, the
// syntax of each argument, the answer and an example.
std::string Describe(const ShellClass& c, const DispatchMember& member) {
    const bool database = std::string_view(c.variable) == "db";
    std::string text = (database ? "" : std::string(c.variable) + ".") + Call(member) + "\n";
    const ShellMethodGuide* guide = ShellMethodGuide::Find(Narrow(member.name));
    if (guide == nullptr) return text;
    AppendWrapped(text, "  ", guide->summary);
    if (!database) text += std::string("  A method of ") + c.title + ": new " + c.variable + " " + c.progId + "\n";
    size_t width = std::string_view("Example").size();
    for (size_t i = 0; i < guide->ArgumentCount(); ++i) width = std::max(width, std::strlen(guide->arguments[i].name));
    // One row a label, the values aligned after the longest label.
    const auto row = [&](std::string_view label, std::string_view value, bool wrap = true) {
        std::string lead = "  " + std::string(label);
        lead.resize(2 + width + 2, ' ');
        AppendWrapped(text, lead, value, wrap);
    };
    for (size_t i = 0; i < guide->ArgumentCount(); ++i) row(guide->arguments[i].name, guide->arguments[i].syntax);
    row("Answers", guide->answers);
    row("Example", guide->example, false);  // on one line, to be copied whole
    return text;
}

}  // namespace

std::string ShellHelp::Overview() {
    std::string text = "Lines:\n";
    for (const ShellLineForm& line : kLineForms) {
        if (line.form == nullptr) continue;
        std::string lead = "  " + std::string(line.form);
        // A long form gets its text on the next line.
        if (lead.size() > 20) {
            text += lead + "\n";
            lead.clear();
        }
        lead.resize(22, ' ');
        AppendWrapped(text, lead, line.text);
    }
    return text + kNotes + Methods() + "\nhelp NAME gives a method's argument syntax and an example.\n";
}

std::string ShellHelp::Usage(const std::string& examples) {
    return std::string(
               "Usage: obzshell [-n] [-e] [SCRIPT | -]\n"
               "Runs calls of the OBZeveVevuVAD component, one a line, from SCRIPT, or from\n"
               "standard input without one or with -, and writes each outcome and every event\n"
               "as it arrives. At a terminal it shows a prompt"
#ifdef OBZ_SHELL_LINE_EDITING
               ", edits the line (emacs keys, or\n"
               "those of ~/.editrc), completes method names and the shell's own words with\n"
               "Tab, and keeps the history of the lines typed.\n"
#else
               " (this build has no line editing).\n"
#endif
               "Ctrl-C drops the line being typed and the shell goes on; it stops a script\n"
               "(a file or piped lines) after the line that runs, with exit status 130.\n"
               "\n"
               "Options:\n"
               "  -n          do not echo the lines of SCRIPT before their output\n"
               "  -e          stop at the first failed line\n"
               "  -h, --help  print this help and exit\n"
               "  --version   print the version and exit\n"
               "\n") +
           Overview() +
           "\n"
           "Exit status:\n"
           "  0  every line succeeded\n"
           "  1  a line failed: a malformed line, an unknown object or method, a failed\n"
           "     call, an answer of 0, false or S_FALSE that the next line does not\n"
           "     expect, or an unmet expect\n"
           "  2  bad usage, or the component cannot be created (not registered in the\n"
           "     prefix)\n"
           "  130  Ctrl-C stopped a script\n"
           "\n"
           "Environment:\n"
           "  COMRT_PREFIX      the prefix whose registry names the component (see\n"
           "                    comrt-regsvr)\n"
           "  OBZSHELL_HISTORY  the file that keeps the lines typed at a terminal;\n"
           "                    empty: none is kept\n"
           "\n"
           "Files:\n"
           "  ~/.obzshell_history  the lines typed at a terminal, when OBZSHELL_HISTORY\n"
           "                       is not set\n"
           "\n"
           "Examples (the example scripts are installed in " + examples + "):\n"
           "  Run the example session and stop at its first failure:\n"
           "    obzshell -e " + examples + "/session.obz\n"
           "  Run it quietly, with its outcomes only:\n"
           "    obzshell -n " + examples + "/session.obz\n"
           "  Type the calls at the terminal (help lists them):\n"
           "    obzshell\n"
           "  Open the file Shop.db (its table People stays as it is), print its tables\n"
           "  and the rows of People:\n"
           "    printf '%s\\n' 'CreateDbFile Shop People id' tables 'select People' | obzshell\n";
}

bool ShellHelp::Topic(std::string_view name, std::string& text) {
    if (name == "exit") name = "quit";  // one line, two keywords
    for (const ShellLineForm& line : kLineForms) {
        if (line.keyword == nullptr || line.form == nullptr || name != line.keyword) continue;
        text = std::string(line.form) + "\n";
        AppendWrapped(text, "  ", line.text);
        if (line.more != nullptr) AppendWrapped(text, "  ", line.more);
        return true;
    }
    const size_t dot = name.find('.');
    if (dot != std::string_view::npos) name.remove_prefix(dot + 1);
    for (const ShellClass& c : kClasses) {
        for (const DispatchMember& member : c.members) {
            if (!SameName(name, member.name)) continue;
            text = Describe(c, member);
            return true;
        }
    }
    return false;
}

std::string ShellHelp::Reference() {
    std::string text;
    for (const ShellClass& c : kClasses) {
        for (const DispatchMember& member : c.members) text += (text.empty() ? "" : "\n") + Describe(c, member);
    }
    return text;
}

std::string ShellHelp::Synopsis(std::string_view name) {
    for (const ShellClass& c : kClasses) {
        for (const DispatchMember& member : c.members) {
            if (SameName(name, member.name)) return Call(member);
        }
    }
    return std::string();
}

std::vector<std::string> ShellHelp::Keywords() {
    std::vector<std::string> names;
    for (const ShellLineForm& line : kLineForms) {
        if (line.keyword != nullptr) names.emplace_back(line.keyword);
    }
    return names;
}

std::vector<std::string> ShellHelp::MethodNames(std::string_view progId) {
    std::vector<std::string> names;
    for (const ShellClass& c : kClasses) {
        if (progId != c.progId) continue;
        for (const DispatchMember& member : c.members) names.push_back(Narrow(member.name));
    }
    return names;
}
