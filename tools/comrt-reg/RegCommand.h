// The command line of comrt-reg, that of Windows' reg.exe for its query,
// add and delete operations:
//   comrt-reg query  KEY [/v NAME | /ve] [/s]
//   comrt-reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
//   comrt-reg delete KEY [/v NAME | /ve | /va] [/f]
// The operation and the switches compare without case; switches start with
// '/' or '-'. KEY is ROOT[\SUBKEY], ROOT one of HKLM, HKCU, HKCR, HKU, HKCC
// or their full names. /?, -? and --help ask for the usage (after an
// operation: that operation's), --version for the version.
// Failure: Parse answers false with reg.exe's message ("ERROR: Invalid
// syntax." and the line that names the usage to read, or "ERROR: Invalid key
// name."). Thread-safety: a value type.
#pragma once

#include <optional>
#include <string>

#include <comrt/comrt.h>

class RegCommand {
public:
    enum class Request { Run, Help, Version };
    enum class Operation { None, Query, Add, Delete };

    Request request = Request::Run;
    Operation operation = Operation::None;
    HKEY root = nullptr;
    std::string keyPath;  // as printed: the root's full name, then the subkey as given
    std::u16string subKey;
    std::optional<std::string> valueName;  // /v (UTF-8)
    bool defaultValue = false;             // /ve
    bool allValues = false;                // /va
    bool recurse = false;                  // /s of query
    std::optional<std::string> type;       // /t, as given
    std::optional<std::string> separator;  // /s of add
    std::optional<std::string> data;       // /d
    bool force = false;                    // /f

    // Parses argv[1..]. False with the message to print in `error`.
    static bool Parse(int argc, const char* const* argv, RegCommand& command, std::string& error);
    // The text that --help prints; for one operation, that operation's part.
    static std::string Usage(Operation operation = Operation::None);
};
