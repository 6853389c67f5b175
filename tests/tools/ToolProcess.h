// Runs a command line through /bin/sh with its standard input from a text
// and its standard output and standard error caught apart, for the tests
// that run the built tools end to end. Linux-only (popen, mkstemp).
#pragma once

#include <string>

class ToolProcess {
public:
    struct Result {
        std::string out;
        std::string err;
        int status = -1;  // the exit status; -1 when the command did not exit normally
    };

    static Result Run(const std::string& command, const std::string& input = std::string());
};
