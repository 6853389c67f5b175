// Where obzshell's lines come from. A script or piped input is read line by
// line as it is. A terminal gets the prompt "obz> " before each line and, in
// a build with libedit (OBZ_SHELL_LINE_EDITING), line editing, completion of
// the word being typed (Tab; the candidates come from the completer) and a
// history of the lines typed, loaded from and saved to a history file:
// $OBZSHELL_HISTORY, else ~/.obzshell_history (an empty OBZSHELL_HISTORY, or
// no HOME, keeps none). The history file is written after each line that
// joins the history, so it holds the session whatever ends it. A history
// file that cannot be read or written is skipped without a word: the shell
// works without it.
//
// Ctrl-C: CatchInterrupts makes SIGINT set a flag instead of ending the
// process. At a terminal, Ctrl-C while a line is typed drops that line and
// prompts again; elsewhere it ends the wait for the next line (ReadLine
// answers false) and TakeInterrupt tells the caller why.
// Thread-safety: one object per process (libedit's state is global), used on
// one thread.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class ObzShellInput {
public:
    static constexpr const char* kPrompt = "obz> ";
    // The words that the last word of a line (up to the cursor) can become.
    using Completer = std::function<std::vector<std::string>(std::string_view line)>;

    // `in` stays the caller's; `terminal`: `in` is standard input and a
    // terminal.
    ObzShellInput(FILE* in, bool terminal, Completer completer = nullptr);
    ObzShellInput(const ObzShellInput&) = delete;
    ObzShellInput& operator=(const ObzShellInput&) = delete;
    ~ObzShellInput();

    // The next line, without its end; false at the end of the input, and
    // when an interrupt ended the wait for a line that is not typed at a
    // terminal.
    bool ReadLine(std::string& line);
    bool Terminal() const noexcept { return terminal_; }

    // Makes SIGINT set the interrupt flag, for the whole process.
    static void CatchInterrupts();
    // True when SIGINT came since the last call; clears the flag.
    static bool TakeInterrupt() noexcept;

private:
    bool ReadPlain(std::string& line);

    FILE* in_;
    bool terminal_;
    std::string historyFile_;
};
