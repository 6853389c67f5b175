// What one parsed obzshell line asks for:
//   new NAME PROGID      create an object by ProgID and keep it as variable NAME
//   print WORD...        write the words, separated by spaces
//   expect VALUE         compare VALUE with the outcome of the last call
//   quit | exit          stop reading
//   help [METHOD]        describe the commands and methods, or one method
//   select TABLE [COLUMNS [CONDITIONCOL [CONDITIONVAL]]]
//                        print rows of a table (COLUMNS * for all)
//   tables               print the tables of the current file and their columns
//   Method ARG...        call Method of the database object
//   NAME.Method ARG...   call Method of the object kept as variable NAME
// Arguments are the line's words; a $NAME word passes that object.
// Keywords are lower case; method names are matched by the object (without
// case). Malformed commands give Kind::Invalid with an error text.
// Thread-safety: a value type; no shared state.
#pragma once

#include <string>
#include <vector>

#include "ShellLine.h"

class ShellCommand {
public:
    enum class Kind { Nothing, Invalid, New, Print, Expect, Quit, Help, Call, Select, Tables };

    static ShellCommand FromLine(const ShellLine& line);

    Kind GetKind() const noexcept { return kind_; }
    const std::string& Error() const noexcept { return error_; }
    // New: the variable name; Call: the target variable, empty for the
    // database object.
    const std::string& Target() const noexcept { return target_; }
    // New: the ProgID; Call: the method name; Expect: the expected outcome;
    // Print: the text to write; Help: the method asked about, empty for all.
    const std::string& Name() const noexcept { return name_; }
    // Call: the arguments in order; Select: TABLE, then COLUMNS,
    // CONDITIONCOL and CONDITIONVAL as far as given.
    const std::vector<ShellLine::Word>& Arguments() const noexcept { return arguments_; }

private:
    static ShellCommand Invalid(std::string error);

    Kind kind_ = Kind::Nothing;
    std::string error_;
    std::string target_;
    std::string name_;
    std::vector<ShellLine::Word> arguments_;
};
