// Registration of the component with comrt-regsvr, timed as a user runs it
// (process start, library load, registration, hive written and synced), with
// the prefix on a disk. Each run takes a fresh prefix and times, in turn:
// machine-wide registration, the same again on the registered prefix,
// per-user registration (/n /i:user) and unregistration (/u).
//
// Prints one line with the median of each over the runs against the target
// (at most 0.1 s), and exits 1 when a run fails. The prefixes go under
// FOLDER, by default the folder of this program (the build tree, on a disk);
// the line says when FOLDER is on tmpfs, where nothing waits for a disk.
//
//   bench_RegistrationBench [runs=7] [FOLDER]
#include <linux/magic.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;

constexpr double kTarget = 0.1;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "benchmark failed: %s\n", what.c_str());
    std::exit(1);
}

// Seconds that one comrt-regsvr run with `switches` takes.
double Regsvr(std::vector<std::string> switches) {
    std::string program = OBZ_REGSVR;
    std::string module = OBZ_MODULE;
    std::vector<char*> argv{program.data()};
    for (std::string& item : switches) argv.push_back(item.data());
    argv.push_back(module.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) Fail("cannot start " + program);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail("comrt-regsvr failed");
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::error_code error;
    const fs::path folder = argc > 2 ? fs::path(argv[2]) : fs::read_symlink("/proc/self/exe", error).parent_path();
    std::string pattern = (folder / "registration-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Fail("no scratch folder in " + folder.string());
    const fs::path scratch = pattern;
    struct statfs volume {};
    const bool memory = statfs(scratch.c_str(), &volume) == 0 && volume.f_type == TMPFS_MAGIC;

    std::vector<double> fresh, again, user, removal;
    for (int run = 0; run < runs; ++run) {
        const fs::path prefix = scratch / ("prefix-" + std::to_string(run));
        setenv("COMRT_PREFIX", prefix.c_str(), 1);
        fresh.push_back(Regsvr({"/s"}));
        again.push_back(Regsvr({"/s"}));
        user.push_back(Regsvr({"/s", "/n", "/i:user"}));
        removal.push_back(Regsvr({"/s", "/u"}));
    }
    fs::remove_all(scratch, error);
    // Every run for bench/run (see BenchSupport.h); "-": no reference side.
    for (double seconds : fresh) std::printf("RESULT\tregistration (s)\t%.6f\t-\n", seconds);
    for (double seconds : again) std::printf("RESULT\tregistration again (s)\t%.6f\t-\n", seconds);
    std::printf("TARGET\tregistration (s)\t%.2f\n", kTarget);
    const double median = Median(fresh);
    std::printf("registration: median %.3f s (min %.3f, max %.3f) over %d runs; again %.3f s, per user %.3f s, "
                "unregistration %.3f s; prefix in %s%s (target <= %.3f s)%s\n",
                median, *std::min_element(fresh.begin(), fresh.end()), *std::max_element(fresh.begin(), fresh.end()),
                runs, Median(again), Median(user), Median(removal), folder.c_str(),
                memory ? " on tmpfs, not a disk" : "", kTarget, median <= kTarget ? "" : "  MISSED");
    return 0;
}
