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

class ShellHelp {
public:
    // What `obzshell --help` prints: usage, options, the lines, the quoting
    // rule, the methods, exit status, environment, files and examples, whose
    // scripts it names in `examples` (the installed folder of the example
    // scripts).
    static std::string Usage(const std::string& examples);
    // What `help` prints: the lines, the quoting rule and every method.
    static std::string Overview();
    // What `help METHOD` prints for NAME or VARIABLE.NAME (without case): the
    // method's line, what it does, each argument's syntax, the answer and an
    // example. False when no class has a method of that name.
    static bool Method(std::string_view name, std::string& text);
    // The help of every method, one after the other with a blank line
    // between: the text that docs/api.md shows under "Arguments at a glance".
    static std::string Reference();
};
