// Shared pieces of the side-by-side benchmarks: a scratch folder, the clock,
// medians, and the one line each measure prints.
#pragma once

#include <sqlite3.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "com/Platform.h"

namespace bench {
namespace fs = std::filesystem;

inline WString Wide(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

// The FileName of CreateDbFile that names a host file by its full path.
inline WString StarPath(const fs::path& file) {
    const std::string path = file.string();
    WString name(1, OLESTR('*'));
    name.append(path.begin(), path.end());
    return name;
}

[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "benchmark failed: %s\n", what.c_str());
    std::exit(1);
}

// A fresh folder under the system's temporary folder, removed at exit. The
// runtime's prefix lives inside it, so that nothing of the user's is touched.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* name) {
        std::string pattern = (fs::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) Fail("no scratch folder");
        path_ = pattern;
        setenv("COMRT_PREFIX", (path_ / "prefix").c_str(), 1);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// Seconds taken by one call.
inline double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds of CPU time that this thread has used: on a busy machine it
// varies far less than the wall time.
inline double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Every run of both sides, then the line of medians against the target (a
// target of 0: none, the ratio only shown).
// The lines that begin with a tag and a tab are for bench/run, which
// gathers them over all benchmarks: RESULT (one run of a measure: component
// and reference seconds), TARGET (the measure's largest ratio), PEAK
// (peak memory in MiB), CEILING (the largest ratio any one run may show) and
// NOTE (a figure that is not a ratio).
inline void Report(const char* measure, const std::vector<double>& component, const std::vector<double>& reference,
                   double target) {
    std::printf("  %s runs (component / reference, s):", measure);
    for (size_t i = 0; i < component.size(); ++i) std::printf(" %.3f/%.3f", component[i], reference[i]);
    std::printf("\n");
    for (size_t i = 0; i < component.size(); ++i)
        std::printf("RESULT\t%s\t%.6f\t%.6f\n", measure, component[i], reference[i]);
    const double c = Median(component), r = Median(reference);
    if (target <= 0) {
        std::printf("%s: %.3f s against %.3f s, ratio %.2f\n", measure, c, r, c / r);
        std::fflush(stdout);
        return;
    }
    std::printf("TARGET\t%s\t%.2f\n", measure, target);
    std::printf("%s: component %.3f s, reference %.3f s, ratio %.2f (target <= %.2f)%s\n", measure, c, r, c / r,
                target, c / r <= target ? "" : "  MISSED");
    std::fflush(stdout);
}

inline void Ceiling(const char* measure, double ratio) {
    std::printf("CEILING\t%s\t%.2f\n", measure, ratio);
    std::fflush(stdout);
}

inline void Note(const std::string& text) {
    std::printf("NOTE\t%s\n", text.c_str());
    std::fflush(stdout);
}

// The process's peak resident memory so far, in MiB.
inline double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

inline void Peak(const char* what, double mib) {
    std::printf("PEAK\t%s\t%.1f\n", what, mib);
    std::fflush(stdout);
}

// A number from the command line, or the default.
inline long Argument(int argc, char** argv, int index, long fallback) {
    return argc > index ? std::atol(argv[index]) : fallback;
}

// Runs SQL on a connection, failing the benchmark on an error.
inline void MustExec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string text = error ? error : "?";
        sqlite3_free(error);
        Fail(std::string(sql).substr(0, 80) + ": " + text);
    }
}

// The row count and the total length of the three columns of T: both sides
// must leave the same content.
inline std::string Fingerprint(const fs::path& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) Fail(file.string());
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*), total(length(a)+length(b)+length(c)) FROM T", -1, &statement,
                           nullptr) != SQLITE_OK)
        Fail(sqlite3_errmsg(db));
    std::string text;
    if (sqlite3_step(statement) == SQLITE_ROW)
        text = std::to_string(sqlite3_column_int64(statement, 0)) + " rows, " +
               std::to_string(static_cast<long long>(sqlite3_column_double(statement, 1))) + " characters";
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return text;
}
}  // namespace bench
