// ImportDbFile (or, with --obz-import, the obz-import tool on the CSV file)
// against the sqlite3 shell's .import on the same rows, in one run. Each
// side runs in a fresh child process (this program re-executed, or the
// tool), so that its peak resident memory is its own; the wall time covers
// the whole child. Prints both times, both peaks, the ratios and the targets:
// time at most the shell's, peak memory at most three times the file's size
// plus 64 MiB. Lines tagged for bench/run carry every run (see
// BenchSupport.h).
//
//   bench_import [rows=1000000] [runs=3] [--one-statement] [--obz-import]
//
// With --obz-import the measured side is obz-import loading the shell's CSV
// file into the same table, through the component registered in a prefix of
// its own; its import file goes to $TMPDIR too (built with the tool only).
// The files go to a fresh folder under $TMPDIR (default /tmp).
// --one-statement also times the import done as one statement, once.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "import/BulkImporter.h"
#include "facade/DatabaseFacade.h"

namespace {
namespace fs = std::filesystem;

const char* const kColumns = "k,name,n";
const char* const kCreate = "CREATE TABLE T(k TEXT, name TEXT, n TEXT)";
// CreateDB opens with sqlite3_open16, which makes UTF-16 databases; the shell
// gets the same table in the same kind of file.
const char* const kCreateUtf16 = "PRAGMA encoding = 'UTF-16le'; CREATE TABLE T(k TEXT, name TEXT, n TEXT)";

WString Wide(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

class QuietLog : public LogSink {
public:
    void WriteLog(const WString&) noexcept override {}
};

// The same rows twice: as SQL literals for the component (';' ends a row,
// '#' separates values) and as CSV for the shell.
void WriteData(const fs::path& literals, const fs::path& csv, long rows) {
    FILE* a = std::fopen(literals.c_str(), "wb");
    FILE* b = std::fopen(csv.c_str(), "wb");
    unsigned seed = 12345;
    for (long i = 1; i <= rows; ++i) {
        seed = seed * 1103515245u + 12345u;
        const unsigned number = seed % 1000000u;
        std::fprintf(a, "'k%08ld'#'Name %ld of the list'#%u;\n", i, i * 7, number);
        std::fprintf(b, "k%08ld,Name %ld of the list,%u\n", i, i * 7, number);
    }
    std::fclose(a);
    std::fclose(b);
}

bool Exec(const fs::path& db, const std::string& sql) {
    sqlite3* handle = nullptr;
    bool ok = sqlite3_open(db.c_str(), &handle) == SQLITE_OK &&
              sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(handle);
    return ok;
}

// Child side: the component's import through the facade, into the data
// folder under the prefix given.
int RunComponent(const char* prefix, const char* file) {
    setenv("COMRT_PREFIX", prefix, 1);
    QuietLog log;
    DatabaseFacade facade(log);
    const LONG ret = facade.ImportDbFile(Wide(file), OLESTR("T"), Wide(kColumns), OLESTR(";"), OLESTR("#"));
    return ret == 1 ? 0 : 1;
}

// Child side: the same import done as one statement.
int RunOneStatement(const char* db, const char* file) {
    if (!Exec(db, kCreateUtf16)) return 1;
    const auto outcome =
        BulkImporter::ImportOneStatement(Wide(db), Wide(file), OLESTR("T"), OLESTR(";"), OLESTR("#"));
    return outcome == BulkImporter::Outcome::Stored ? 0 : 1;
}

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;  // user + system: less sensitive to a busy machine
    long peakKiB = 0;
    bool ok = false;
};

Run RunChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// Rows of the component's table that the shell's table lacks, and the
// reverse: both must be 0.
long Differences(const fs::path& component, const fs::path& shell) {
    sqlite3* db = nullptr;
    sqlite3_open(component.c_str(), &db);
    sqlite3_exec(db, ("ATTACH '" + shell.string() + "' AS s").c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    long count = -1;
    if (sqlite3_prepare_v2(db,
                           "SELECT (SELECT count(*) FROM (SELECT * FROM main.T EXCEPT SELECT * FROM s.T)) + "
                           "(SELECT count(*) FROM (SELECT * FROM s.T EXCEPT SELECT * FROM main.T)) + "
                           "abs((SELECT count(*) FROM main.T) - (SELECT count(*) FROM s.T))",
                           -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        count = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--child-component") == 0) return RunComponent(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "--child-one-statement") == 0) return RunOneStatement(argv[2], argv[3]);

    long rows = 1000000;
    int runs = 3;
    bool oneStatement = false;
    bool tool = false;
    std::vector<long> numbers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--one-statement") == 0)
            oneStatement = true;
        else if (std::strcmp(argv[i], "--obz-import") == 0)
            tool = true;
        else
            numbers.push_back(std::atol(argv[i]));
    }
    if (numbers.size() > 0) rows = numbers[0];
    if (numbers.size() > 1) runs = static_cast<int>(numbers[1]);
    if (rows < 1 || runs < 1) {
        std::fprintf(stderr, "usage: bench_import [rows] [runs] [--one-statement] [--obz-import]\n");
        return 2;
    }
#ifndef OBZ_IMPORT
    if (tool) {
        std::fprintf(stderr, "bench_import: built without obz-import\n");
        return 2;
    }
#define OBZ_IMPORT ""
#define OBZ_REGSVR ""
#define OBZ_MODULE ""
#endif
    const char* const measure = tool ? "obz-import" : "import";
    const char* const side = tool ? "obz-import" : "ImportDbFile";

    // TMPDIR chooses the file system (for example /dev/shm, to take disk
    // writes out of the comparison on a busy machine).
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/obz-bench-import-XXXXXX";
    const fs::path dir = mkdtemp(pattern.data());
    const fs::path literals = dir / "rows.txt";
    const fs::path csv = dir / "rows.csv";
    WriteData(literals, csv, rows);
    const double fileMiB = static_cast<double>(fs::file_size(literals)) / (1024.0 * 1024.0);
    const std::string self = fs::canonical("/proc/self/exe").string();

    std::vector<double> componentTimes, shellTimes, componentCpu, shellCpu;
    long componentPeak = 0, shellPeak = 0;
    long differences = -1;
    bool allOk = true;
    if (tool) {
        setenv("COMRT_PREFIX", (dir / "tool-prefix").c_str(), 1);
        allOk = std::system((std::string(OBZ_REGSVR) + " /s " + OBZ_MODULE).c_str()) == 0;
    }
    for (int r = 0; r < runs; ++r) {
        const fs::path prefix = dir / ("prefix" + std::to_string(r));
        const fs::path shellDb = dir / ("shell" + std::to_string(r) + ".db");
        // The sides take turns at going first, so that a slow spell of the
        // machine falls on both alike.
        if (!Exec(shellDb, kCreateUtf16)) allOk = false;
        Run component, shell;
        // The tool loads into its own file, made with the shell's table.
        const fs::path toolDb = dir / ("tool" + std::to_string(r) + ".db");
        if (tool && !Exec(toolDb, kCreateUtf16)) allOk = false;
        auto runComponent = [&] {
            component = tool ? RunChild({OBZ_IMPORT, "--no-header", csv.string(), "*" + toolDb.string(), "T"})
                             : RunChild({self, "--child-component", prefix.string(), literals.string()});
        };
        auto runShell = [&] { shell = RunChild({"sqlite3", shellDb.string(), ".import --csv " + csv.string() + " T"}); };
        if (r % 2 == 0) {
            runComponent();
            runShell();
        } else {
            runShell();
            runComponent();
        }
        allOk = allOk && component.ok && shell.ok;
        componentTimes.push_back(component.seconds);
        shellTimes.push_back(shell.seconds);
        componentCpu.push_back(component.cpuSeconds);
        shellCpu.push_back(shell.cpuSeconds);
        componentPeak = std::max(componentPeak, component.peakKiB);
        shellPeak = std::max(shellPeak, shell.peakKiB);
        if (r == 0)
            differences =
                Differences(tool ? toolDb : prefix / "drive_c/ProgramData/Ombrel/API/DataBase/API_db.db", shellDb);
        fs::remove_all(prefix);
        fs::remove(shellDb);
        fs::remove(toolDb);
    }

    const double componentSeconds = Median(componentTimes);
    const double shellSeconds = Median(shellTimes);
    const double timeRatio = componentSeconds / shellSeconds;
    const double cpuRatio = Median(componentCpu) / Median(shellCpu);
    const double componentMiB = static_cast<double>(componentPeak) / 1024.0;
    const double shellMiB = static_cast<double>(shellPeak) / 1024.0;
    const double memoryLimitMiB = 3 * fileMiB + 64;
    std::printf("rows %ld, literal file %.1f MiB, %d runs (median time, largest peak)\n", rows, fileMiB, runs);
    std::printf("%-22s %9s %9s %12s\n", "", "time s", "cpu s", "peak MiB");
    std::printf("%-22s %9.3f %9.3f %12.1f\n", side, componentSeconds, Median(componentCpu), componentMiB);
    std::printf("%-22s %9.3f %9.3f %12.1f\n", "sqlite3 .import", shellSeconds, Median(shellCpu), shellMiB);
    std::printf("time ratio %.3f (target <= 1.0): %s\n", timeRatio, timeRatio <= 1.0 ? "met" : "MISSED");
    for (size_t i = 0; i < componentTimes.size(); ++i)
        std::printf("RESULT\t%s\t%.6f\t%.6f\nRESULT\t%s, CPU time\t%.6f\t%.6f\n", measure, componentTimes[i],
                    shellTimes[i], measure, componentCpu[i], shellCpu[i]);
    std::printf("TARGET\t%s\t1.00\nPEAK\t%s\t%.1f\nPEAK\t%s (sqlite3 shell)\t%.1f\n", measure,
                tool ? "obz-import" : "import (ImportDbFile)", componentMiB, measure, shellMiB);
    if (tool) {
        std::printf("NOTE\tobz-import: peak %.1f MiB for a %.1f MiB CSV file\n", componentMiB,
                    static_cast<double>(fs::file_size(csv)) / (1024.0 * 1024.0));
    } else {
        std::printf("NOTE\timport: peak %.1f MiB against a limit of %.1f MiB (3 x the %.1f MiB file + 64 MiB)\n",
                    componentMiB, memoryLimitMiB, fileMiB);
    }
    std::printf("cpu time ratio %.3f\n", cpuRatio);
    if (!tool)
        std::printf("peak %.1f MiB = %.2f x file (target <= 3 x file + 64 MiB = %.1f MiB): %s\n", componentMiB,
                    componentMiB / fileMiB, memoryLimitMiB, componentMiB <= memoryLimitMiB ? "met" : "MISSED");
    std::printf("peak ratio to the shell %.2f\n", componentMiB / shellMiB);
    std::printf("tables identical: %s\n", differences == 0 ? "yes" : "NO");
    {
        // For comparison only: the shell into a UTF-8 database stores the
        // text without converting it.
        const fs::path db = dir / "shell-utf8.db";
        Exec(db, kCreate);
        Run utf8 = RunChild({"sqlite3", db.string(), ".import --csv " + csv.string() + " T"});
        std::printf("sqlite3 .import into a UTF-8 database: %.3f s, cpu %.3f s (%s %.2f x, cpu %.2f x)\n",
                    utf8.seconds, utf8.cpuSeconds, side, componentSeconds / utf8.seconds,
                    Median(componentCpu) / utf8.cpuSeconds);
    }
    if (oneStatement) {
        const fs::path db = dir / "one.db";
        Run one = RunChild({self, "--child-one-statement", db.string(), literals.string()});
        allOk = allOk && one.ok;
        std::printf("one statement: %.3f s (%.2f x shell), peak %.1f MiB (%.1f x file)\n", one.seconds,
                    one.seconds / shellSeconds, static_cast<double>(one.peakKiB) / 1024.0,
                    static_cast<double>(one.peakKiB) / 1024.0 / fileMiB);
    }
    fs::remove_all(dir);
    if (!allOk) std::printf("an import FAILED\n");
    return allOk && differences == 0 ? 0 : 1;
}
