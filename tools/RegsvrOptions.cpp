#include "RegsvrOptions.h"

#include <cctype>

namespace {
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool IsHelp(const std::string& arg) {
    return arg == "/?" || arg == "-?" || arg == "-h" || arg == "--help";
}
}  // namespace

std::string RegsvrOptions::Usage(const std::string& module) {
    return "Usage: comrt-regsvr [/u] [/s] [/n] [/i[:CMDLINE]] LIBRARY...\n"
           "Registers in-process COM servers in the comrt prefix, or unregisters them, as\n"
           "regsvr32 does on Windows: it loads each LIBRARY and calls its DllRegisterServer,\n"
           "DllUnregisterServer or DllInstall, and prints what it did.\n"
           "\n"
           "Options (they start with / or - and compare without case):\n"
           "  /u            unregister: call DllUnregisterServer (and DllInstall(FALSE) with /i)\n"
           "  /s            silent: print nothing; only the exit status tells the outcome\n"
           "  /i            also call DllInstall(TRUE) with a null command line\n"
           "  /i:CMDLINE    also call DllInstall with CMDLINE; /i:user registers for the\n"
           "                current user only (user.reg) instead of machine-wide (system.reg)\n"
           "  /n            call neither DllRegisterServer nor DllUnregisterServer; needs /i\n"
           "  --            every later argument is a LIBRARY, even one that looks like a switch\n"
           "  /?, --help    print this help and exit\n"
           "  --version     print the version and exit\n"
           "\n"
           "LIBRARY is a host path, made absolute before the library is loaded so that the\n"
           "server registers its full path, or a Windows path such as C:\\obz\\server.so,\n"
           "which names a file on one of the prefix's drives.\n"
           "\n"
           "Exit status:\n"
           "  0  every library was registered or unregistered\n"
           "  1  the command line is wrong\n"
           "  3  a library could not be loaded\n"
           "  4  a library lacks the entry point\n"
           "  5  an entry point reported a failure\n"
           "\n"
           "Environment:\n"
           "  COMRT_PREFIX  the prefix folder that holds the registry (system.reg,\n"
           "                user.reg) and the drives; without it $XDG_DATA_HOME/comrt,\n"
           "                else ~/.local/share/comrt\n"
           "\n"
           "Examples:\n"
           "  Register the installed OBZeveVevuVAD component machine-wide (in system.reg):\n"
           "    comrt-regsvr " + module + "\n"
           "  Register it for the current user only (in user.reg):\n"
           "    comrt-regsvr /n /i:user " + module + "\n"
           "  Unregister it:\n"
           "    comrt-regsvr /u " + module + "\n";
}

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
        if (IsHelp(arg) || arg == "--version") {
            options.request = IsHelp(arg) ? Request::Help : Request::Version;
            return true;
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
