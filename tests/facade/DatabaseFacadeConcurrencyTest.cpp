// Several processes write the same database file at once: every row that a
// write reported stored (outcome 1) is in the file, and no row is there that
// was not reported. Writers outside a transaction wait for one another's
// locks; a transaction's writes meet the others' locks at once and report 0.
// Linux only: the writers are forked processes.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <string>
#include <vector>

#include "FacadeFixture.h"

namespace {
using DatabaseFacadeConcurrencyTest = FacadeFixture;

#ifndef _WIN32
// The writer in a child process: rows "<writer>-<n>" through a facade of its
// own, in a transaction or not. Reports the rows it was told were stored on
// the pipe, one line each, and exits.
[[noreturn]] void Writer(const WString& file, int writer, int rows, bool inTransaction, int pipeOut) {
    class NoLog : public LogSink {
    public:
        void WriteLog(const WString&) noexcept override {}
    } log;
    std::string stored;
    {
        DatabaseFacade facade(log);
        facade.SetPause([](DWORD) {});
        // Selects the file; the table exists, so nothing is created.
        facade.CreateDbFile(file, OLESTR("T"), OLESTR("k,w"));
        if (inTransaction) facade.BeginTransation();
        for (int n = 0; n < rows; ++n) {
            const std::string key = std::to_string(writer) + "-" + std::to_string(n);
            const WString value = WString(key.begin(), key.end()) + OLESTR(",") + OLECHAR('0' + writer);
            if (facade.InsertDBRecord(OLESTR("T"), OLESTR("k,w"), value) == 1) stored += key + "\n";
        }
        if (inTransaction && facade.CommitTransation() != S_OK) stored.clear();  // nothing of it was kept
    }
    const ssize_t written = write(pipeOut, stored.data(), stored.size());
    _exit(written == static_cast<ssize_t>(stored.size()) ? 0 : 1);
}
#endif

TEST_F(DatabaseFacadeConcurrencyTest, ConcurrentWritersLoseNoReportedRow) {
#ifdef _WIN32
    GTEST_SKIP() << "the writers are forked processes";
#else
    const WString file = StarFile("shared.db");
    ASSERT_EQ(facade->CreateDbFile(file, OLESTR("T"), OLESTR("k,w")), 1);
    struct Child {
        pid_t pid;
        int pipeIn;
    };
    std::vector<Child> children;
    const int kWriters = 4, kRows = 15;
    for (int writer = 0; writer < kWriters; ++writer) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            Writer(file, writer, kRows, writer == 0, fds[1]);
        }
        close(fds[1]);
        children.push_back({pid, fds[0]});
    }
    std::vector<std::string> reported;
    for (const Child& child : children) {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(child.pipeIn, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
        close(child.pipeIn);
        int status = 0;
        ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            reported.push_back(text.substr(at, end - at));
    }
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(Rows(dir / "shared.db", "SELECT k FROM T ORDER BY k"), reported);
    // The writers outside a transaction waited for their turn: all of their
    // rows are there.
    EXPECT_GE(reported.size(), size_t((kWriters - 1) * kRows));
#endif
}

}  // namespace
