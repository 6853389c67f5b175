// Runs the installed-layout obzshell against the component registered in a
// fresh runtime prefix, and checks its output, its errors and its exit
// status; at a terminal (a pseudo-terminal), its prompt, line editing and
// history. Linux-only (setenv, popen, pseudo-terminals).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "ToolProcess.h"

#if defined(OBZ_SHELL) && defined(OBZ_REGSVR) && defined(OBZ_MODULE)

namespace {
namespace fs = std::filesystem;

class ObzShellRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("obz-shell-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        setenv("COMRT_PREFIX", (dir_ / "prefix").c_str(), 1);
        ASSERT_EQ(std::system((std::string(OBZ_REGSVR) + " /s " + OBZ_MODULE).c_str()), 0);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs the script with the options.
    ToolProcess::Result Run(const std::string& script, const std::string& options = "-n") {
        const fs::path file = dir_ / "script.obz";
        std::ofstream(file) << script;
        return ToolProcess::Run(std::string(OBZ_SHELL) + " " + options + " " + file.string());
    }

    fs::path dir_;
};

TEST_F(ObzShellRun, StoresAndReadsBackThroughObjectVariables) {
    const auto r = Run(
        "CreateDbFile Shop 'Items|1|0|1' id,name\n"
        "InsertDBRecord Items id,name \"1;it's, here||;\"\n"
        "new rs Ombrel.RecordSet\n"
        "new item Ombrel.RecordItem\n"
        "GetDBRecordSet 'Items#*#name' id 1 $rs\n"
        "rs.GetRecordCount\n"
        "expect 1\n"
        "rs.GetRecordItem 0 $item\n"
        "item.GetDataValue name\n"
        "expect \"it's, here\"\n"
        "item.GetDataValue nothing\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "=> db = Ombrel.ZeveVevuVAD {F59CFD47-99A5-4BFA-B936-C03A62C53679}\n"
              "=> 1\n=> 1\n"
              "=> rs = Ombrel.RecordSet {5195E675-2327-4CAC-9B2F-61BB6EEA33AE}\n"
              "=> item = Ombrel.RecordItem {D8995745-29D3-423C-8FF6-BE964C5B36C9}\n"
              "=> true\n=> 1\n=> true\n=> \"it's, here\"\n=> \"\"\n");
}

// The next day: a new process works on the object's default file until it
// selects its own with CreateDbFile, which leaves the existing table as it is
// (here with fewer columns named than the table has).
TEST_F(ObzShellRun, ANewProcessSelectsItsFileAndFindsTheRowsOfAnEarlierOne) {
    ASSERT_EQ(Run("CreateDbFile Shop 'Items|1|0|1' id,name\nInsertDBRecord Items id,name 1,kept\n").status, 0);
    const auto r = Run(
        "new rs Ombrel.RecordSet\n"
        "new item Ombrel.RecordItem\n"
        "GetDBRecordSet Items '' '' $rs\n"
        "expect false\n"
        "CreateDbFile Shop 'Items|1|0|1' id\n"
        "expect 1\n"
        "GetDBRecordSet Items '' '' $rs\n"
        "rs.GetRecordCount\n"
        "expect 1\n"
        "rs.GetRecordItem 0 $item\n"
        "item.GetDataValue name\n"
        "expect kept\n");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST_F(ObzShellRun, PrintsEventsBeforeTheOutcomeThatCausedThem) {
    const auto r = Run("CreateDbFile Shop Items id\nInsertDBRecord Nowhere id 1\nexpect 0\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("event OnWriteLog: ZeveVevuVAD64--SQLITE_ERROR[1]: no such table: Nowhere\n"
                         "    REPLACE INTO Nowhere (id) VALUES ('1');\n=> 0\n"),
              std::string::npos)
        << r.out;
}

TEST_F(ObzShellRun, TakesWindowsPathsAsTyped) {
    const auto r = Run(
        "CreateDbFile *C:\\shop\\x.db Items id\n"
        "expect 1\n"
        "print C:\\data\\x.db \\\\server\\share \"C:\\My Data\\\\\"\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir_ / "prefix" / "drive_c" / "shop" / "x.db"));
    EXPECT_NE(r.out.find("\nC:\\data\\x.db \\\\server\\share C:\\My Data\\\n"), std::string::npos) << r.out;
}

struct FailureCase { const char* script; const char* message; };

TEST_F(ObzShellRun, ReportsFailedLinesOnStandardErrorAndGoesOn) {
    const FailureCase cases[] = {
        {"Frobnicate 1\n", "=> error 0x80020006 DISP_E_UNKNOWNNAME"},
        {"BeginTransaction\n", "DISP_E_UNKNOWNNAME (no such method): db has no method BeginTransaction; did you mean "
                               "BeginTransation?\n"},
        {"Connect only-one\n", "=> error 0x8002000E DISP_E_BADPARAMCOUNT (wrong number of arguments): Connect failed\n"
                               "   usage: Connect HostAddress SystemName\n"},
        {"help slect\n", "=> error: no method or line named slect; did you mean select?\n"},
        {"select * from People\n", "not SQL: select People name,city"},
        {"rs.GetRecordCount\n", "=> error: no object named rs"},
        {"new rs Ombrel.RecordSet\nrs.GetRecordItem x $rs\n",
         "DISP_E_TYPEMISMATCH: GetRecordItem failed at argument 1"},
        {"InsertDBRecord T a 'open\n", "=> error: unterminated single quote"},
        {"Disconnect\nexpect 1\n", "=> error: expected 1 but the last outcome was S_OK"},
    };
    for (const FailureCase& c : cases) {
        const auto r = Run(std::string(c.script) + "print still running\n");
        EXPECT_EQ(r.status, 1) << c.script;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.script << r.err;
        EXPECT_NE(r.err.find("(line "), std::string::npos) << c.script << r.err;
        EXPECT_EQ(r.out.find("error"), std::string::npos) << c.script << r.out;
        EXPECT_NE(r.out.find("still running"), std::string::npos) << c.script;
    }
}

struct OutcomeCase { const char* script; int status; const char* err; };

// An answer of 0, false or S_FALSE is a failed line unless the next command
// line expects it; counts (GetRecordCount) and texts never fail.
TEST_F(ObzShellRun, CountsUnexpectedFailureAnswersAsFailedLines) {
    const OutcomeCase cases[] = {
        {"InsertDBRecord Nowhere id 1\nexpect 0\n", 0, ""},
        {"new rs Ombrel.RecordSet\nGetDBRecordSet Nowhere '' '' $rs\n\n# no such file\nexpect false\n"
         "rs.GetRecordCount\nrs.GetRecordItem 0 $rs\nexpect false\nBeginTransation\nexpect S_FALSE\n",
         0, ""},
        {"InsertDBRecord Nowhere id 1\nDisconnect\n", 1,
         "=> error: InsertDBRecord answered 0, and no expect 0 follows\n   (line 1)\n"},
        {"Disconnect\nBeginTransation\n", 1, "=> error: BeginTransation answered S_FALSE, and no expect S_FALSE "
                                             "follows\n   (line 2)\n"},
        {"new rs Ombrel.RecordSet\nGetDBRecordSet Nowhere '' '' $rs\nexpect true\n", 1,
         "=> error: expected true but the last outcome was false\n   (line 3)\n"},
    };
    for (const OutcomeCase& c : cases) {
        const auto r = Run(c.script);
        EXPECT_EQ(r.status, c.status) << c.script << r.out;
        EXPECT_EQ(r.err, c.err) << c.script;
    }
    // -e stops before the line after an unexpected 0, also on standard input.
    const auto r =
        ToolProcess::Run(std::string(OBZ_SHELL) + " -e", "InsertDBRecord Nowhere id 1\nprint still running\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("still running"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("InsertDBRecord answered 0"), std::string::npos) << r.err;
}

TEST_F(ObzShellRun, EchoesTheScriptUnlessAskedNotToAndStopsWithDashE) {
    const auto r = Run("# a note\nDisconnect\nexpect S_OK\nquit\nDisconnect\n", "");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("# a note\n> Disconnect\n=> S_OK\n> quit\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("expect"), std::string::npos) << r.out;
    // -e stops at the first failure.
    const auto stopped = Run("Frobnicate\nprint not reached\n", "-n -e");
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(stopped.out.find("not reached"), std::string::npos) << stopped.out;
}

TEST_F(ObzShellRun, HelpDescribesTheMethodsOfEveryClass) {
    const auto r = Run("help\nhelp rs.getrecorditem\nhelp InsertDBRecord\n");
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* text : {"ImportDbFile FilePath TableName ColumnName RowSplit ColumnSplit  => a number\n",
                             "GetDBRecordSet TableName ConditionCol ConditionVal $pRecordSet  => true or false\n",
                             "GetRecordCount  => a number\n", "GetDataValue Field  => a text\n",
                             "\nrs.GetRecordItem Index $RecordItem\n  Loads one row into a RecordItem.\n",
                             "\nInsertDBRecord TableName Column Value\n", "  Example    InsertDBRecord People"}) {
        EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    }
}

TEST_F(ObzShellRun, PrintsQueriesAsTablesThatReadBack) {
    const auto r = Run(
        "CreateDbFile Shop 'People|1|0|1' id,name,city\n"
        "CreateDbFile '' Visits id,count\n"
        "InsertDBRecord People id,name,city \"3;O'Brien, Pat;Cork||;\"\n"
        "InsertDBRecord People id,name,city $'4;two\\nlines;;||;'\n"
        "select People\nexpect 2\n"
        "select People 'name,count(*) AS n' city Cork\n"
        "select People * 'id>3'\n"
        "select People id id 9\nexpect 0\n"
        "tables\nexpect 2\n"
        "select Nowhere\nexpect false\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string tables =
        "id  name            city\n--  --------------  ----\n3   \"O'Brien, Pat\"  Cork\n4   $'two\\nlines'   ''\n"
        "(2 rows)\n"
        "name            n\n--------------  -\n\"O'Brien, Pat\"  1\n(1 row)\n"
        "id  name           city\n--  -------------  ----\n4   $'two\\nlines'  ''\n(1 row)\n"
        "(0 rows)\n"
        "table   columns\n------  ------------\nPeople  id,name,city\nVisits  id,count\n(2 tables)\n"
        "event OnWriteLog: ZeveVevuVAD64--SQLITE_ERROR[1]: no such table: Nowhere\n    SELECT * FROM Nowhere;\n"
        "=> false\n";
    EXPECT_NE(r.out.find(tables), std::string::npos) << r.out;
}

struct OptionCase {
    const char* options;
    int status;
    const char* out;  // expected in standard output; "" : it stays empty
    const char* err;  // expected in standard error; "" : it stays empty
};

TEST_F(ObzShellRun, CommandLineOptionsAnswerOnTheRightStream) {
    const OptionCase cases[] = {
        {"--help", 0, "Usage: obzshell [-n] [-e] [SCRIPT | -]\n", ""},
        {"-h", 0, "\nQuoting (blanks separate the arguments):\n", ""},
        {"--version", 0, "obzshell (OBZeveVevuVAD) " OBZ_VERSION_TEXT "\n", ""},
        {"--bogus", 2, "", "obzshell: unknown option --bogus\n"},
        {"a.obz b.obz", 2, "", "one script at a time"},
        {"/nowhere/x.obz", 2, "", "obzshell: cannot open /nowhere/x.obz"},
    };
    for (const OptionCase& c : cases) {
        const auto r = ToolProcess::Run(std::string(OBZ_SHELL) + " " + c.options);
        EXPECT_EQ(r.status, c.status) << c.options;
        if (*c.out == '\0') EXPECT_EQ(r.out, "") << c.options;
        else EXPECT_NE(r.out.find(c.out), std::string::npos) << c.options << r.out;
        if (*c.err == '\0') EXPECT_EQ(r.err, "") << c.options;
        else EXPECT_NE(r.err.find(c.err), std::string::npos) << c.options << r.err;
    }
}

// The shell on a pseudo-terminal, fed keys as a person types them; with
// `piped`, its lines come from a pipe instead (Feed) and only its output and
// Ctrl-C go through the terminal.
class Terminal {
public:
    explicit Terminal(const std::string& history, bool piped = false) : piped_(piped) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        const std::string slave = ptsname(master_);
        int lines[2] = {-1, -1};
        if (piped && pipe(lines) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            const int fd = open(slave.c_str(), O_RDWR);
            dup2(piped ? lines[0] : fd, 0);
            dup2(fd, 1);
            dup2(fd, 2);
            if (piped) close(lines[1]);
            setenv("OBZSHELL_HISTORY", history.c_str(), 1);
            setenv("TERM", "xterm", 1);
            execl(OBZ_SHELL, OBZ_SHELL, static_cast<char*>(nullptr));
            _exit(127);
        }
        if (piped) {
            close(lines[0]);
            lines_ = lines[1];
        }
    }
    ~Terminal() {
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) kill(pid_, SIGKILL);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
        if (master_ >= 0) close(master_);
        if (lines_ >= 0) close(lines_);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Reads the screen until `text` has appeared `count` times in all; false
    // if the shell ends or stalls first (a guard against hanging, not a
    // measure of speed).
    bool WaitFor(const std::string& text, int count) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        // Why it gave up goes on the screen, which a failing test prints.
        const auto giveUpWith = [this](const std::string& why) {
            int status = 0;
            const pid_t ended = pid_ > 0 ? waitpid(pid_, &status, WNOHANG) : 0;
            const bool gone = pid_ > 0 && ended == pid_;
            screen_ += "\n[gave up: " + why + (gone ? "; the shell ended, status " + std::to_string(status) : "") + "]";
            return false;
        };
        while (Count(text) < count) {
            pollfd p{master_, POLLIN, 0};
            if (std::chrono::steady_clock::now() > giveUp) return giveUpWith("30 s passed");
            if (poll(&p, 1, 200) < 0) return giveUpWith(std::string("poll: ") + std::strerror(errno));
            if (p.revents == 0) continue;
            char buffer[512];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0)
                return giveUpWith(n == 0 ? std::string("end of the terminal") : "read: " + std::string(std::strerror(errno)));
            screen_.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    // Types keys; at the shell's prompt, once its line editor has the
    // terminal: the prompt can show before the editor has switched the
    // terminal from lines to keys, and keys typed in between are echoed by
    // the terminal as well, and a part of a line reaches the editor only if
    // the switch comes before Ctrl-C.
    void Type(const std::string& keys) {
        if (!piped_) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            termios modes{};
            while (tcgetattr(master_, &modes) == 0 && (modes.c_lflag & ICANON) != 0 &&
                   std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    void Feed(const std::string& text) { ASSERT_EQ(write(lines_, text.data(), text.size()), ssize_t(text.size())); }
    int Count(const std::string& text) const {
        int n = 0;
        for (size_t at = screen_.find(text); at != std::string::npos; at = screen_.find(text, at + 1)) ++n;
        return n;
    }
    // The exit status once the shell has ended.
    int Status() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& Screen() const { return screen_; }

private:
    bool piped_ = false;
    int master_ = -1;
    int lines_ = -1;
    pid_t pid_ = -1;
    std::string screen_;
};

TEST_F(ObzShellRun, PromptsEditsAndKeepsHistoryAtATerminal) {
    const std::string history = (dir_ / "history").string();
    Terminal terminal(history);
    ASSERT_TRUE(terminal.WaitFor("obz> ", 1)) << terminal.Screen();
#ifdef OBZ_SHELL_HAS_LIBEDIT
    // "rint one", then Ctrl-A to the start of the line and the missing "p".
    terminal.Type("rint one\x01p\r");
    ASSERT_TRUE(terminal.WaitFor("obz> ", 2)) << terminal.Screen();
    // Arrow up recalls the line.
    terminal.Type("\x1b[A\r");
    ASSERT_TRUE(terminal.WaitFor("obz> ", 3)) << terminal.Screen();
    EXPECT_EQ(terminal.Count("\none\r\n"), 2) << terminal.Screen();
    // Tab completes a method name.
    terminal.Type("help BeginT\t\r");
    ASSERT_TRUE(terminal.WaitFor("obz> ", 4)) << terminal.Screen();
    EXPECT_EQ(terminal.Count("BeginTransation\r\n  Begins a transaction"), 1) << terminal.Screen();
#else
    terminal.Type("print one\r");
    ASSERT_TRUE(terminal.WaitFor("obz> ", 2)) << terminal.Screen();
    EXPECT_EQ(terminal.Count("\none\r\n"), 1) << terminal.Screen();
#endif
    // Ctrl-C drops the line being typed, and the shell goes on.
    terminal.Type("print dropped");
    ASSERT_TRUE(terminal.WaitFor("dropped", 1)) << terminal.Screen();
    const int prompts = terminal.Count("obz> ");
    terminal.Type("\x03");
    ASSERT_TRUE(terminal.WaitFor("obz> ", prompts + 1)) << terminal.Screen();
    terminal.Type("print two\r");
    ASSERT_TRUE(terminal.WaitFor("\ntwo\r\n", 1)) << terminal.Screen();
    terminal.Type("quit\r");
    EXPECT_EQ(terminal.Status(), 0) << terminal.Screen();
    EXPECT_EQ(terminal.Count("dropped"), 1) << terminal.Screen();
    std::ifstream saved(history);
    const std::string lines((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
#ifdef OBZ_SHELL_HAS_LIBEDIT
    EXPECT_NE(lines.find("print\\040one"), std::string::npos) << lines;
    EXPECT_NE(lines.find("print\\040two"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("dropped"), std::string::npos) << lines;
#endif
}

TEST_F(ObzShellRun, CtrlCStopsAScriptThatWaitsForItsNextLine) {
    Terminal terminal((dir_ / "history").string(), true);
    terminal.Feed("print first\n");
    ASSERT_TRUE(terminal.WaitFor("first\r\n", 1)) << terminal.Screen();
    terminal.Type("\x03");
    EXPECT_TRUE(terminal.WaitFor("obzshell: interrupted after line 1", 1)) << terminal.Screen();
    EXPECT_EQ(terminal.Status(), 130) << terminal.Screen();
}

}  // namespace

#endif
