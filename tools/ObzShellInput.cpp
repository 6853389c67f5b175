#include "ObzShellInput.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <cstring>
#include <iostream>

#ifdef OBZ_SHELL_LINE_EDITING
#include <editline/readline.h>
#endif

namespace {

volatile sig_atomic_t interrupted = 0;
// The handler also writes a byte here, so a wait for a key that began just
// before the signal still ends: a flag alone is lost when SIGINT comes
// between the check and the read.
int wakeRead = -1;
int wakeWrite = -1;

void OnInterrupt(int) {
    const int saved = errno;
    interrupted = 1;
    if (wakeWrite >= 0) static_cast<void>(write(wakeWrite, "", 1));
    errno = saved;
}

#ifdef OBZ_SHELL_LINE_EDITING
constexpr int kHistoryLines = 1000;

std::string HistoryFile() {
    if (const char* file = std::getenv("OBZSHELL_HISTORY")) return file;
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::string(home) + "/.obzshell_history" : std::string();
}

// libedit calls back through plain functions: the completer and the
// candidates of the word being completed live here (one input a process).
ObzShellInput::Completer completer;
std::vector<std::string> candidates;

char* NextCandidate(const char*, int state) {
    static size_t next = 0;
    if (state == 0) next = 0;
    return next < candidates.size() ? strdup(candidates[next++].c_str()) : nullptr;
}

// libedit reads keys through here: a key from the terminal, or EOF once
// SIGINT came, which makes readline give up the line (and answer null).
int ReadKey(FILE* stream) {
    for (;;) {
        if (interrupted != 0) return EOF;
        pollfd waits[2] = {{fileno(stream), POLLIN, 0}, {wakeRead, POLLIN, 0}};
        if (poll(waits, wakeRead >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            return EOF;
        }
        if (waits[1].revents != 0) {
            char drained[64];
            while (read(wakeRead, drained, sizeof drained) > 0) {
            }
            continue;
        }
        unsigned char key = 0;
        const ssize_t n = read(fileno(stream), &key, 1);
        if (n == 1) return key;
        if (n < 0 && errno == EINTR) continue;
        return EOF;
    }
}

char** Complete(const char* text, int, int end) {
    rl_attempted_completion_over = 1;  // never fall back to file names
    candidates = completer(std::string_view(rl_line_buffer, static_cast<size_t>(end)));
    // "rs." goes on with a method name, not after a blank.
    const bool open = !candidates.empty() && candidates.front().back() == '.';
    rl_completion_append_character = open ? '\0' : ' ';
    return candidates.empty() ? nullptr : rl_completion_matches(text, NextCandidate);
}
#endif

}  // namespace

ObzShellInput::ObzShellInput(FILE* in, bool terminal, Completer complete) : in_(in), terminal_(terminal) {
#ifdef OBZ_SHELL_LINE_EDITING
    if (!terminal_) return;
    rl_readline_name = "obzshell";  // the name that ~/.editrc settings select
    rl_getc_function = ReadKey;
    if (complete) {
        completer = std::move(complete);
        rl_attempted_completion_function = Complete;
        // Words break at blanks only, so rs.Get and $rs complete whole.
        static char breaks[] = " \t";
        rl_completer_word_break_characters = breaks;
    }
    using_history();
    stifle_history(kHistoryLines);
    historyFile_ = HistoryFile();
    if (!historyFile_.empty()) read_history(historyFile_.c_str());
#else
    static_cast<void>(complete);
#endif
}

ObzShellInput::~ObzShellInput() {
#ifdef OBZ_SHELL_LINE_EDITING
    if (terminal_) completer = nullptr;
#endif
}

void ObzShellInput::CatchInterrupts() {
    int wake[2];
    if (wakeWrite < 0 && pipe2(wake, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = wake[0];
        wakeWrite = wake[1];
    }
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a read that waits for a line returns
    sigaction(SIGINT, &action, nullptr);
}

bool ObzShellInput::TakeInterrupt() noexcept {
    const bool was = interrupted != 0;
    interrupted = 0;
    return was;
}

bool ObzShellInput::ReadPlain(std::string& line) {
    char* text = nullptr;
    size_t size = 0;
    const ssize_t length = getline(&text, &size, in_);
    if (length >= 0) line.assign(text, static_cast<size_t>(length) - (length > 0 && text[length - 1] == '\n'));
    std::free(text);
    return length >= 0;
}

bool ObzShellInput::ReadLine(std::string& line) {
    if (!terminal_) return ReadPlain(line);
    for (;;) {
        // A Ctrl-C that came while the last line ran is spent.
        TakeInterrupt();
        std::cout << std::flush;
#ifdef OBZ_SHELL_LINE_EDITING
        char* typed = readline(kPrompt);
        if (typed == nullptr) {
            std::cout << std::endl;  // after the prompt, or after the line Ctrl-C dropped
            if (TakeInterrupt()) continue;
            return false;  // Ctrl-D
        }
        line = typed;
        std::free(typed);
        // Blank lines and repeats of the line before stay out of the history.
        if (line.find_first_not_of(" \t") != std::string::npos) {
            const HIST_ENTRY* last = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
            if (last == nullptr || line != last->line) {
                add_history(line.c_str());
                if (!historyFile_.empty()) write_history(historyFile_.c_str());
            }
        }
        return true;
#else
        std::cout << kPrompt << std::flush;
        if (ReadPlain(line)) return true;
        std::cout << std::endl;
        if (!TakeInterrupt()) return false;
        clearerr(in_);
#endif
    }
}
