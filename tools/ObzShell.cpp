// obzshell: runs calls of the OBZeveVevuVAD component, one a line, from a
// script file or standard input, and writes each outcome and every event.
//
//   obzshell [-n] [-e] [SCRIPT | -]
//     -n         do not echo the lines of SCRIPT (lines typed or piped on
//                standard input are never echoed)
//     -e         stop at the first failed line
//     --help     the usage, the lines, the quoting rule and the methods
//     --version  the version
// Outcomes and events go to standard output, failures to standard error.
// At a terminal the shell prompts and edits lines (see ObzShellInput).
// Exit status: 0 when every line succeeded (and for --help and --version), 1
// when any failed (a malformed line, an unknown object or method, a failed
// call, an answer of 0, false or S_FALSE that the next line does not
// expect, an unmet `expect`), 2 for bad usage or when the component cannot
// be created, 130 when Ctrl-C stopped a script.
#include <OBZeveVevuVAD.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "ObzShellInput.h"
#include "ObzShellSession.h"
#include "ShellCommand.h"
#include "ShellCompletion.h"
#include "ShellHelp.h"
#include "ShellLine.h"
#include "InstalledPath.h"

namespace {

int Run(FILE* in, bool terminal, bool echo, bool stopOnFailure) {
    if (terminal) {
        std::cout << "obzshell " OBZ_VERSION_TEXT ": help lists the lines and methods; quit or Ctrl-D leaves."
                  << std::endl;
    }
    ObzShellSession session(std::cout, std::cerr);
    if (!session.Start()) return 2;
    ObzShellInput input(in, terminal, [&session](std::string_view line) {
        return ShellCompletion::Candidates(line, session.Variables());
    });
    bool allSucceeded = true;
    // Counts a failed line; false when the run stops there (-e).
    const auto failed = [&](unsigned number) {
        allSucceeded = false;
        if (!terminal) std::cerr << "   (line " << number << ")" << std::endl;
        return !stopOnFailure;
    };
    // Ctrl-C stops a script after the line that runs, or while it waits for
    // its next line; a terminal goes on (see ObzShellInput).
    const auto interrupted = [&](unsigned number) {
        if (terminal || !ObzShellInput::TakeInterrupt()) return false;
        std::cerr << "obzshell: interrupted after line " << number << std::endl;
        return true;
    };
    std::string text;
    unsigned pendingLine = 0;
    unsigned number = 0;
    while (input.ReadLine(text)) {
        ++number;
        const ShellLine line = ShellLine::Parse(text);
        const ShellCommand command = ShellCommand::FromLine(line);
        const ShellCommand::Kind kind = command.GetKind();
        // A failure answer stands unless this line expects it.
        if (session.FailurePending() && kind != ShellCommand::Kind::Nothing && kind != ShellCommand::Kind::Expect) {
            session.ReportFailure(true);
            if (!failed(pendingLine)) break;
        }
        if (echo && kind != ShellCommand::Kind::Expect) {
            const size_t start = text.find_first_not_of(" \t\r");
            if (start != std::string::npos) std::cout << (text[start] == '#' ? "" : "> ") << text << std::endl;
        }
        if (!session.Run(command) && !failed(number)) break;
        if (session.FailurePending()) {
            pendingLine = number;
            // A person at a terminal reads the answer at once: no later line settles it.
            if (terminal) {
                session.ReportFailure(false);
                failed(number);
            }
        }
        if (session.QuitRequested()) break;
        if (interrupted(number)) return 130;
    }
    if (interrupted(number)) return 130;
    if (session.FailurePending()) {
        session.ReportFailure(true);
        failed(pendingLine);
    }
    return allSucceeded ? 0 : 1;
}

int BadUsage(const std::string& problem) {
    std::cerr << "obzshell: " << problem
              << "\nUsage: obzshell [-n] [-e] [SCRIPT | -]\nRun 'obzshell --help' for the lines and methods.\n";
    return 2;
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
            std::cout << ShellHelp::Usage(InstalledPath::Find(OBZ_EXAMPLES_FROM_PROGRAM, OBZ_EXAMPLES_FOLDER));
            return 0;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "obzshell (OBZeveVevuVAD) " OBZ_VERSION_TEXT "\n";
            return 0;
        } else if (argv[i][0] == '-' && std::strcmp(argv[i], "-") != 0) {
            return BadUsage(std::string("unknown option ") + argv[i]);
        } else if (script != nullptr) {
            return BadUsage("one script at a time");
        } else {
            script = argv[i];
        }
    }

    FILE* file = nullptr;
    if (script != nullptr && std::strcmp(script, "-") != 0) {
        file = std::fopen(script, "r");
        if (file == nullptr) {
            std::cerr << "obzshell: cannot open " << script << "\n";
            return 2;
        }
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::cerr << "obzshell: cannot initialise COM\n";
        if (file != nullptr) std::fclose(file);
        return 2;
    }
    ObzShellInput::CatchInterrupts();
    const int status = Run(file != nullptr ? file : stdin, file == nullptr && isatty(STDIN_FILENO) != 0,
                           echo && file != nullptr, stopOnFailure);
    CoUninitialize();
    if (file != nullptr) std::fclose(file);
    return status;
}
