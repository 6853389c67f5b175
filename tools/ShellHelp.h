// The texts of obzshell's help: the shell's own commands, its quoting rule,
// and the methods of the component's three classes with their arguments and
// what each answers. The methods come from the classes' dispatch tables, the
// same tables that serve the objects' late-bound calls, so the help lists
// exactly what a line can call; the syntax of their arguments and the
// examples come from ShellMethodGuide.
// Thread-safety: stateless.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class ShellHelp {
public:
    // What `obzshell --help` prints: usage, options, the lines, the quoting
    // rule, the methods, exit status, environment, files and examples, whose
    // scripts it names in `examples` (the installed folder of the example
    // scripts).
    static std::string Usage(const std::string& examples);
    // What `help` prints: the lines, the quoting rule and every method.
    static std::string Overview();
    // What `help NAME` prints: for a method, NAME or VARIABLE.NAME (without
    // case), its line, what it does, each argument's syntax, the answer and
    // an example; for a keyword of the shell (select), its line and what it
    // does. False when there is no such method or keyword.
    static bool Topic(std::string_view name, std::string& text);
    // The line that calls a method (without case): "Connect HostAddress
    // SystemName"; empty when no class has the method.
    static std::string Synopsis(std::string_view name);
    // The keywords that start the shell's own lines (new, select, ...).
    static std::vector<std::string> Keywords();
    // The method names of the class with that ProgID (Ombrel.ZeveVevuVAD,
    // Ombrel.RecordSet, Ombrel.RecordItem); none for any other.
    static std::vector<std::string> MethodNames(std::string_view progId);
    // The help of every method, one after the other with a blank line
    // between: the text that docs/api.md shows under "Arguments at a glance".
    static std::string Reference();
};
