// The command line of comrt-regsvr, with regsvr32's switches:
//   comrt-regsvr [/u] [/s] [/n] [/i[:cmdline]] LIBRARY...
// Switches start with '/' or '-' and compare without case. An argument
// starting with '/' that is no switch is a host path (/u, /s, /n, /i, /i:...
// and /? are switches); after "--" every argument is a library. /u
// unregisters, /s prints nothing, /i calls DllInstall (with the text after
// the colon as its command line, or a null one without a colon), /n skips
// DllRegisterServer / DllUnregisterServer and needs /i.
// /?, -?, -h and --help ask for the usage, --version for the version: the
// first of them ends the parse, and nothing is registered.
// Thread-safety: a value type.
#pragma once

#include <optional>
#include <string>
#include <vector>

class RegsvrOptions {
public:
    enum class Request { Register, Help, Version };

    Request request = Request::Register;
    bool unregister = false;
    bool silent = false;
    bool noRegister = false;
    bool install = false;
    std::optional<std::string> installCommandLine;  // UTF-8; empty optional: null
    std::vector<std::string> libraries;

    // Parses argv[1..]; false with a message in `error` for a bad command line.
    static bool Parse(int argc, const char* const* argv, RegsvrOptions& options, std::string& error);
    // The text that --help prints, its examples registering `module`.
    static std::string Usage(const std::string& module);
};
