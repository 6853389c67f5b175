// Where obzshell's lines come from. A script or piped input is read line by
// line as it is. A terminal gets the prompt "obz> " before each line and, in
// a build with libedit (OBZ_SHELL_LINE_EDITING), line editing and a history
// of the lines typed, loaded from and saved to a history file:
// $OBZSHELL_HISTORY, else ~/.obzshell_history (an empty OBZSHELL_HISTORY, or
// no HOME, keeps none). A history file that cannot be read or written is
// skipped without a word: the shell works without it.
// Thread-safety: one object per process (libedit's state is global), used on
// one thread.
#pragma once

#include <istream>
#include <string>

class ObzShellInput {
public:
    static constexpr const char* kPrompt = "obz> ";

    // `terminal`: `in` is standard input and a terminal.
    ObzShellInput(std::istream& in, bool terminal);
    ObzShellInput(const ObzShellInput&) = delete;
    ObzShellInput& operator=(const ObzShellInput&) = delete;
    // Saves the history.
    ~ObzShellInput();

    // The next line, without its end; false at the end of the input.
    bool ReadLine(std::string& line);
    bool Terminal() const noexcept { return terminal_; }

private:
    std::istream& in_;
    bool terminal_;
    std::string historyFile_;
};
