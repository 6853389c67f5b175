#include "ObzShellInput.h"

#include <cstdlib>
#include <iostream>

#ifdef OBZ_SHELL_LINE_EDITING
#include <editline/readline.h>
#endif

namespace {

#ifdef OBZ_SHELL_LINE_EDITING
constexpr int kHistoryLines = 1000;

std::string HistoryFile() {
    if (const char* file = std::getenv("OBZSHELL_HISTORY")) return file;
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::string(home) + "/.obzshell_history" : std::string();
}
#endif

}  // namespace

ObzShellInput::ObzShellInput(std::istream& in, bool terminal) : in_(in), terminal_(terminal) {
#ifdef OBZ_SHELL_LINE_EDITING
    if (!terminal_) return;
    rl_readline_name = "obzshell";  // the name that ~/.editrc settings select
    using_history();
    stifle_history(kHistoryLines);
    historyFile_ = HistoryFile();
    if (!historyFile_.empty()) read_history(historyFile_.c_str());
#endif
}

ObzShellInput::~ObzShellInput() {
#ifdef OBZ_SHELL_LINE_EDITING
    if (terminal_ && !historyFile_.empty()) write_history(historyFile_.c_str());
#endif
}

bool ObzShellInput::ReadLine(std::string& line) {
    if (!terminal_) return static_cast<bool>(std::getline(in_, line));
    std::cout << std::flush;
#ifdef OBZ_SHELL_LINE_EDITING
    char* typed = readline(kPrompt);
    if (typed == nullptr) {
        std::cout << std::endl;  // Ctrl-D leaves the cursor after the prompt
        return false;
    }
    line = typed;
    std::free(typed);
    // Blank lines and repeats of the line before stay out of the history.
    if (line.find_first_not_of(" \t") != std::string::npos) {
        const HIST_ENTRY* last = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
        if (last == nullptr || line != last->line) add_history(line.c_str());
    }
    return true;
#else
    std::cout << kPrompt << std::flush;
    if (std::getline(in_, line)) return true;
    std::cout << std::endl;
    return false;
#endif
}
