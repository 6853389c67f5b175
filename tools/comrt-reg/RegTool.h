// Runs one comrt-reg operation on the runtime's registry (RegOpenKeyExW and
// the others, so the prefix's lock and the hive files' formatting apply) and
// writes what reg.exe writes: listings and "The operation completed
// successfully." on `out`, questions on `out` with their answers read from
// `in`, "ERROR: ..." lines on `err`. An add or a delete is one registry
// change: other processes see it whole or not at all. A question is asked
// before the change takes the lock, never while it holds it.
// Thread-safety: one operation at a time. Failure: the exit status, 1.
#pragma once

#include <iosfwd>
#include <string>

#include "tools/comrt-reg/RegCommand.h"

class RegTool {
public:
    RegTool(std::ostream& out, std::ostream& err, std::istream& in) : out_(out), err_(err), in_(in) {}

    // Runs `command`; answers the exit status: 0 success, 1 failure.
    int Run(const RegCommand& command);

private:
    int Query(const RegCommand& command);
    int Add(const RegCommand& command);
    int Delete(const RegCommand& command);
    // Prints the keys below `key` (at `path`) with their values, each that
    // has the value `name` when given; counts what it printed in `matches`.
    void QueryTree(HKEY key, const std::string& path, const char16_t* name, bool anyValue, unsigned& matches);
    // Prints the line of one value.
    void PrintValue(const std::u16string& name, DWORD type, const std::string& data);
    // Asks `question`; true for an answer that starts with y.
    bool Confirm(const std::string& question);
    // Prints reg.exe's message for a registry error; answers 1.
    int Fail(LSTATUS status);

    std::ostream& out_;
    std::ostream& err_;
    std::istream& in_;
};
