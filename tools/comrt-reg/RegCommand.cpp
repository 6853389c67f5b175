#include "tools/comrt-reg/RegCommand.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "tools/comrt-reg/RegData.h"

namespace {
std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsHelp(const std::string& arg) { return arg == "/?" || arg == "-?" || arg == "--help"; }

const char* OperationName(RegCommand::Operation operation) {
    switch (operation) {
    case RegCommand::Operation::Query:
        return "query";
    case RegCommand::Operation::Add:
        return "add";
    case RegCommand::Operation::Delete:
        return "delete";
    case RegCommand::Operation::None:
        break;
    }
    return nullptr;
}

std::string Hint(RegCommand::Operation operation) {
    const char* name = OperationName(operation);
    return std::string("Type \"comrt-reg ") + (name ? std::string(name) + " " : "") + "/?\" for usage.";
}

// ROOT[\SUBKEY]: the root's handle and full name, and the subkey after it.
bool ParseKey(const std::string& key, RegCommand& command) {
    static const struct {
        const char* shortName;
        const char* fullName;
        HKEY root;
    } roots[] = {
        {"hklm", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"hkcu", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"hkcr", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"hku", "HKEY_USERS", HKEY_USERS},
        {"hkcc", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    const size_t slash = key.find('\\');
    const std::string root = Lower(key.substr(0, slash));
    std::string sub = slash == std::string::npos ? std::string() : key.substr(slash + 1);
    while (!sub.empty() && sub.back() == '\\') sub.pop_back();
    for (const auto& candidate : roots) {
        if (root != candidate.shortName && root != Lower(candidate.fullName)) continue;
        command.root = candidate.root;
        command.keyPath = std::string(candidate.fullName) + (sub.empty() ? "" : "\\" + sub);
        command.subKey = RegData::Wide(sub);
        return true;
    }
    return false;
}

// The number of characters of a UTF-8 text.
size_t Characters(const std::string& text) {
    size_t count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}
}  // namespace

bool RegCommand::Parse(int argc, const char* const* argv, RegCommand& command, std::string& error) {
    command = RegCommand();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto syntax = [&](Operation operation) {
        error = "ERROR: Invalid syntax.\n" + Hint(operation);
        return false;
    };
    if (args.empty()) return syntax(Operation::None);
    if (IsHelp(args[0]) || args[0] == "-h") {
        command.request = Request::Help;
        return true;
    }
    if (args[0] == "--version") {
        command.request = Request::Version;
        return true;
    }
    const std::string name = Lower(args[0]);
    Operation operation = name == "query"    ? Operation::Query
                          : name == "add"    ? Operation::Add
                          : name == "delete" ? Operation::Delete
                                             : Operation::None;
    if (operation == Operation::None) return syntax(Operation::None);
    command.operation = operation;
    for (const std::string& arg : args) {
        if (IsHelp(arg)) {
            command.request = Request::Help;
            return true;
        }
    }
    if (args.size() < 2) return syntax(operation);
    if (!ParseKey(args[1], command)) {
        error = "ERROR: Invalid key name.\n" + Hint(operation);
        return false;
    }
    bool seenType = false, seenData = false, seenSeparator = false;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return syntax(operation);
        const std::string flag = Lower(arg.substr(1));
        // The switches that take the next argument.
        const auto next = [&](std::optional<std::string>& into) {
            if (into || i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (flag == "v") {
            ok = !command.defaultValue && !command.allValues && next(command.valueName);
        } else if (flag == "ve") {
            ok = !command.defaultValue && !command.valueName && !command.allValues;
            command.defaultValue = true;
        } else if (flag == "va" && operation == Operation::Delete) {
            ok = !command.allValues && !command.valueName && !command.defaultValue;
            command.allValues = true;
        } else if (flag == "s" && operation == Operation::Query) {
            ok = !command.recurse;
            command.recurse = true;
        } else if (flag == "s" && operation == Operation::Add) {
            ok = !seenSeparator && next(command.separator) && Characters(*command.separator) == 1;
            seenSeparator = true;
        } else if (flag == "t" && operation == Operation::Add) {
            ok = !seenType && next(command.type);
            seenType = true;
        } else if (flag == "d" && operation == Operation::Add) {
            ok = !seenData && next(command.data);
            seenData = true;
        } else if (flag == "f" && operation != Operation::Query) {
            ok = !command.force;
            command.force = true;
        } else if (flag != "reg:32" && flag != "reg:64") {  // one view: both name it
            ok = false;
        }
        if (!ok) return syntax(operation);
    }
    return true;
}

std::string RegCommand::Usage(Operation operation) {
    const std::string query =
        "  comrt-reg query KEY [/v NAME | /ve] [/s]\n"
        "    Prints the values of KEY and names its subkeys; /v NAME or /ve prints that\n"
        "    value only; /s also prints every key below KEY with its values, and with\n"
        "    /v or /ve searches them all for that value.\n";
    const std::string add =
        "  comrt-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
        "    Creates KEY (and the keys above it) and, with /v, /ve, /t or /d, sets the\n"
        "    value: /t TYPE is REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ,\n"
        "    REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE; /d DATA is the text, a number\n"
        "    (decimal, or hexadecimal after 0x) for REG_DWORD and REG_QWORD, hex digits\n"
        "    for REG_BINARY and REG_NONE, and the strings of a REG_MULTI_SZ separated by\n"
        "    SEPARATOR (one character; by default the two characters \\0). Without /f it\n"
        "    asks before it replaces a value.\n";
    const std::string remove =
        "  comrt-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
        "    Deletes KEY with everything below it; with /v NAME or /ve, that value only;\n"
        "    with /va, every value of KEY (its subkeys stay). Without /f it asks first.\n";
    switch (operation) {
    case Operation::Query:
        return "Usage:\n" + query;
    case Operation::Add:
        return "Usage:\n" + add;
    case Operation::Delete:
        return "Usage:\n" + remove;
    case Operation::None:
        break;
    }
    return "Usage: comrt-reg query KEY [/v NAME | /ve] [/s]\n"
           "  or:  comrt-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
           "  or:  comrt-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
           "Reads and changes the registry of the comrt prefix (system.reg, user.reg) with\n"
           "the command line of Windows' reg.exe, through the runtime's registry functions:\n"
           "each change is stored under the prefix's lock, and the hive files keep their\n"
           "comments and the text of everything the change leaves alone.\n"
           "\n"
           "KEY is ROOT\\SUBKEY, ROOT one of HKLM, HKCU, HKCR, HKU and HKCC, or their full\n"
           "names (HKEY_LOCAL_MACHINE, ...). Quote KEY in a shell, whose escape character\n"
           "the backslash is. Switches start with / or - and compare without case.\n"
           "\n" +
           query + "\n" + add + "\n" + remove +
           "\n"
           "  /?, --help   print this help and exit (after an operation: its own)\n"
           "  --version    print the version and exit\n"
           "\n"
           "A query prints a blank line, then KEY and one line a value, indented by four\n"
           "spaces: the name ((Default) for the unnamed one), the type and the data, four\n"
           "spaces apart; REG_DWORD and REG_QWORD as 0x and hex digits, REG_BINARY as hex\n"
           "digits, REG_MULTI_SZ with \\0 between the strings.\n"
           "\n"
           "Exit status:\n"
           "  0  the operation succeeded (or a question was answered no)\n"
           "  1  the command line is wrong, or the key or value is missing, or the\n"
           "     registry refused the operation\n"
           "\n"
           "Environment:\n"
           "  COMRT_PREFIX  the prefix folder that holds the registry (system.reg,\n"
           "                user.reg) and the drives; without it $XDG_DATA_HOME/comrt,\n"
           "                else ~/.local/share/comrt\n"
           "\n"
           "Examples:\n"
           "  Set the ANSI code page to 1252:\n"
           "    comrt-reg add 'HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage' /v ACP /d 1252 /f\n"
           "  Show it:\n"
           "    comrt-reg query 'HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage' /v ACP\n"
           "  Go back to the locale's code page:\n"
           "    comrt-reg delete 'HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage' /v ACP /f\n";
}
