#include "RegsvrOptions.h"

#include <cctype>

namespace {
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
}  // namespace

bool RegsvrOptions::Parse(int argc, const char* const* argv, RegsvrOptions& options, std::string& error) {
    options = RegsvrOptions();
    bool switches = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (switches && arg == "--") {
            switches = false;
            continue;
        }
        if (!switches || arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) {
            options.libraries.push_back(arg);
            continue;
        }
        const char name = Lower(arg[1]);
        if (name == 'i' && (arg.size() == 2 || arg[2] == ':')) {
            options.install = true;
            if (arg.size() > 2) options.installCommandLine = arg.substr(3);
        } else if (arg.size() == 2 && name == 'u') {
            options.unregister = true;
        } else if (arg.size() == 2 && name == 's') {
            options.silent = true;
        } else if (arg.size() == 2 && name == 'n') {
            options.noRegister = true;
        } else if (arg[0] == '/') {
            // Not a switch: an absolute host path.
            options.libraries.push_back(arg);
        } else {
            error = "Unrecognized flag: " + arg;
            return false;
        }
    }
    if (options.noRegister && !options.install) {
        error = "/n requires /i.";
        return false;
    }
    if (options.libraries.empty()) {
        error = "No library name given.";
        return false;
    }
    return true;
}
