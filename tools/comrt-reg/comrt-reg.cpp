// comrt-reg: reads and changes the registry of the comrt prefix with the
// command line of Windows' reg.exe (query, add, delete); see RegCommand.h.
// Exit codes as reg.exe's: 0 success, 1 failure. --help and --version
// answer on standard output with 0; every error goes to standard error.
#include <iostream>
#include <string>

#include "tools/comrt-reg/RegCommand.h"
#include "tools/comrt-reg/RegTool.h"

int main(int argc, char** argv) {
    RegCommand command;
    std::string error;
    if (!RegCommand::Parse(argc, argv, command, error)) {
        std::cerr << error << "\n";
        return 1;
    }
    if (command.request == RegCommand::Request::Help) {
        std::cout << RegCommand::Usage(command.operation);
        return 0;
    }
    if (command.request == RegCommand::Request::Version) {
        std::cout << "comrt-reg (OBZeveVevuVAD) " << OBZ_VERSION_TEXT << "\n";
        return 0;
    }
    RegTool tool(std::cout, std::cerr, std::cin);
    return tool.Run(command);
}
