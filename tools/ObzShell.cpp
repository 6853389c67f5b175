// obzshell: runs calls of the OBZeveVevuVAD component, one a line, from a
// script file or standard input, and writes each outcome and every event.
//
//   obzshell [-n] [-e] [SCRIPT | -]
//     -n  do not echo the lines of SCRIPT (lines typed or piped on standard
//         input are never echoed)
//     -e  stop at the first failed line
// Exit status: 0 when every line succeeded, 1 when any failed (a malformed
// line, an unknown object or method, a failed call, an unmet `expect`),
// 2 for bad usage or when the component cannot be created.
#include <OBZeveVevuVAD.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "ObzShellSession.h"
#include "ShellCommand.h"
#include "ShellLine.h"

namespace {

const char kUsage[] =
    "usage: obzshell [-n] [-e] [SCRIPT | -]\n"
    "Reads one call a line: Method ARG... (on the database object db),\n"
    "NAME.Method ARG..., new NAME PROGID, print TEXT..., expect VALUE, quit.\n"
    "Arguments are quoted as in a POSIX shell; $NAME passes an object.\n";

int RunScript(std::istream& input, bool echo, bool stopOnFailure) {
    ObzShellSession session(std::cout);
    if (!session.Start()) return 2;
    bool allSucceeded = true;
    std::string text;
    for (unsigned number = 1; std::getline(input, text); ++number) {
        const ShellLine line = ShellLine::Parse(text);
        const ShellCommand command = ShellCommand::FromLine(line);
        if (echo && command.GetKind() != ShellCommand::Kind::Expect) {
            const size_t start = text.find_first_not_of(" \t\r");
            if (start != std::string::npos) std::cout << (text[start] == '#' ? "" : "> ") << text << std::endl;
        }
        if (!session.Run(command)) {
            allSucceeded = false;
            std::cout << "   (line " << number << ")" << std::endl;
            if (stopOnFailure) break;
        }
        if (session.QuitRequested()) break;
    }
    return allSucceeded ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool echo = true;
    bool stopOnFailure = false;
    const char* script = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-n") == 0) {
            echo = false;
        } else if (std::strcmp(argv[i], "-e") == 0) {
            stopOnFailure = true;
        } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::cout << kUsage;
            return 0;
        } else if (script == nullptr && (argv[i][0] != '-' || std::strcmp(argv[i], "-") == 0)) {
            script = argv[i];
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }

    std::ifstream file;
    if (script != nullptr && std::strcmp(script, "-") != 0) {
        file.open(script);
        if (!file) {
            std::cerr << "obzshell: cannot open " << script << "\n";
            return 2;
        }
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::cerr << "obzshell: cannot initialise COM\n";
        return 2;
    }
    const int status =
        file.is_open() ? RunScript(file, echo, stopOnFailure) : RunScript(std::cin, false, stopOnFailure);
    CoUninitialize();
    return status;
}
