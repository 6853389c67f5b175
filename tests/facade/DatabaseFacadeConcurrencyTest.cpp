// Several processes write the same database file at once: every row that a
// write reported stored (outcome 1) is in the file, and no row is there that
// was not reported. Writers outside a transaction wait for one another's
// locks; a transaction's writes meet the others' locks at once and report 0.
// Under stress a reader holds its lock now and then and the disk fills up
// and frees again: still exactly the reported rows, whole transactions only,
// and an intact file.
// Linux only: the writers are forked processes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#ifndef _WIN32
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FacadeFixture.h"
#include "sqlite/FaultVfs.h"

namespace {
using DatabaseFacadeConcurrencyTest = FacadeFixture;

#ifndef _WIN32
// The writer in a child process: rounds of single writes and of
// transactions through a facade of its own, each round's rows reported on
// the pipe once the writer knows them stored (a transaction's only after its
// commit). A commit that a lock refuses is retried; one whose transaction
// SQLite rolled back stores nothing. With a disk budget, its writes spend
// the shared free space; a busy timeout of 0 keeps the facade's own.
[[noreturn]] void Writer(const WString& file, int writer, int rounds, std::atomic<int64_t>* diskRoom,
                         DWORD busyTimeout, int pipeOut) {
    class NoLog : public LogSink {
    public:
        void WriteLog(const WString&) noexcept override {}
    } log;
    std::string stored;
    {
        FaultVfs vfs;
        vfs.ShareBudget(diskRoom);
        DatabaseFacade facade(log);
        facade.SetPause([](DWORD) {});
        if (busyTimeout != 0) facade.SetBusyTimeout(busyTimeout);
        // Selects the file; the table exists, so nothing is created.
        facade.CreateDbFile(file, OLESTR("T"), OLESTR("k,w"));
        for (int round = 0; round < rounds; ++round) {
            const bool inTransaction = round % 3 == 0;
            if (inTransaction && facade.BeginTransation() != S_OK) continue;
            std::string rows;
            for (int n = 0; n < (inTransaction ? 8 : 4); ++n) {
                const std::string key = std::to_string(writer) + "-" + std::to_string(round) + "-" + std::to_string(n);
                const WString value = WString(key.begin(), key.end()) + OLESTR(",") + WString(300, OLESTR('w'));
                if (facade.InsertDBRecord(OLESTR("T"), OLESTR("k,w"), value) == 1) rows += key + "\n";
            }
            if (inTransaction) {
                HRESULT committed = S_FALSE;
                for (int attempt = 0; attempt < 50 && facade.InTransaction(); ++attempt) {
                    committed = facade.CommitTransation();
                    if (facade.InTransaction()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                if (committed != S_OK) rows.clear();  // rolled back: nothing of it was kept
                // Still refused: the destruction of the facade rolls it back.
                if (facade.InTransaction()) break;
            }
            stored += rows;
        }
    }
    const ssize_t written = write(pipeOut, stored.data(), stored.size());
    _exit(written == static_cast<ssize_t>(stored.size()) ? 0 : 1);
}

// Forks one writer process per entry of run, collects the keys each one
// reported stored, and waits for them all, calling during() meanwhile.
std::vector<std::string> RunWriters(const std::vector<std::function<void(int pipeOut)>>& run,
                                    const std::function<void()>& during = {}) {
    struct Child { pid_t pid; int pipeIn; };
    std::vector<Child> children;
    for (const auto& writer : run) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        EXPECT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            writer(fds[1]);
            _exit(1);
        }
        close(fds[1]);
        children.push_back({pid, fds[0]});
    }
    if (during) during();
    std::vector<std::string> reported;
    for (const Child& child : children) {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(child.pipeIn, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
        close(child.pipeIn);
        int status = 0;
        EXPECT_EQ(waitpid(child.pid, &status, 0), child.pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            reported.push_back(text.substr(at, end - at));
    }
    std::sort(reported.begin(), reported.end());
    return reported;
}
#endif

TEST_F(DatabaseFacadeConcurrencyTest, ConcurrentWritersLoseNoReportedRow) {
#ifdef _WIN32
    GTEST_SKIP() << "the writers are forked processes";
#else
    const WString file = StarFile("shared.db");
    ASSERT_EQ(facade->CreateDbFile(file, OLESTR("T"), OLESTR("k,w")), 1);
    const int kWriters = 4, kRounds = 6;
    std::vector<std::function<void(int)>> run;
    for (int writer = 0; writer < kWriters; ++writer)
        run.push_back([&, writer](int pipeOut) { Writer(file, writer, kRounds, nullptr, 0, pipeOut); });
    const std::vector<std::string> reported = RunWriters(run);
    EXPECT_EQ(Rows(dir / "shared.db", "SELECT k FROM T ORDER BY k"), reported);
    // The single writes waited for their turn: all of their rows are there.
    EXPECT_GE(reported.size(), size_t(kWriters * (kRounds * 2 / 3) * 4));
#endif
}

TEST_F(DatabaseFacadeConcurrencyTest, WritersUnderLocksAndAFillingDiskStoreExactlyWhatTheyReported) {
#ifdef _WIN32
    GTEST_SKIP() << "the writers are forked processes";
#else
    const WString file = StarFile("stress.db");
    ASSERT_EQ(facade->CreateDbFile(file, OLESTR("T"), OLESTR("k,w")), 1);
    // The free space of the disk, shared by the writers' fault VFSs: spent by
    // their writes, given back now and then as if files were removed.
    void* shared = mmap(nullptr, sizeof(std::atomic<int64_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* diskRoom = new (shared) std::atomic<int64_t>(0);
    const int64_t kRoom = 256 * 1024;

    std::vector<std::function<void(int)>> run;
    for (int writer = 0; writer < 4; ++writer)
        run.push_back([&, writer](int pipeOut) { Writer(file, writer, 30, diskRoom, 20, pipeOut); });
    std::atomic<bool> done{false};
    std::thread reader;
    // Started only after the fork: a child must not inherit a lock that this
    // thread holds.
    const std::vector<std::string> reported = RunWriters(run, [&] {
        reader = std::thread([&] {
            sqlite3* db = nullptr;
            sqlite3_open(Utf8Path(dir / "stress.db").c_str(), &db);
            for (int turn = 0; !done; ++turn) {
                if (turn % 2 == 0) diskRoom->store(kRoom);
                // A reader in its own transaction holds its shared lock a while.
                sqlite3_exec(db, "BEGIN; SELECT count(*) FROM T;", nullptr, nullptr, nullptr);
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
                sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
            sqlite3_close(db);
        });
    });
    done = true;
    reader.join();
    munmap(shared, sizeof(std::atomic<int64_t>));

    // Any journal that a failed write left behind is rolled back by the next
    // writing connection, as the component's would be.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Utf8Path(dir / "stress.db").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(Rows(dir / "stress.db", "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    EXPECT_EQ(Rows(dir / "stress.db", "SELECT k FROM T ORDER BY k"), reported);
    // The faults did hit: some of the 640 writes were refused.
    EXPECT_FALSE(reported.empty());
    EXPECT_LT(reported.size(), 640u);
#endif
}

}  // namespace
