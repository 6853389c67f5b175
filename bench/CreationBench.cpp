// Object creation in a prefix whose registry is large, against the same in
// a fresh prefix, timed as a program runs it: a new process that creates one
// ZeveVevuVAD object by its ProgID (process start, registry lookups, library
// load) and ends. Both prefixes have the component registered; the large
// one's system.reg also holds HIVE_MB megabytes of other classes (about
// 270 bytes a class and its InprocServer32 key). The two sides take turns.
//
// Prints one RESULT line a run (large / fresh, wall seconds, and CPU
// seconds) for bench/run, and the median ratio against the target (at most
// 10). The first process in the large prefix reads its registry whole and
// writes its index; the timed ones find the index. The prefixes go under the
// folder of this program.
//
//   bench_CreationBench [runs=7] [HIVE_MB=50]
//   bench_CreationBench --create      (the child: creates one object)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <comrt/comrt.h>

#include "BenchSupport.h"

namespace {
namespace fs = std::filesystem;

constexpr double kTarget = 10.0;

int CreateOne() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    CLSID clsid{};
    IUnknown* object = nullptr;
    int status = 1;
    if (SUCCEEDED(CLSIDFromProgID(u"Ombrel.ZeveVevuVAD", &clsid)) &&
        SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&object)))) {
        object->Release();
        status = 0;
    }
    CoUninitialize();
    return status;
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

// One run of `argv` with COMRT_PREFIX set to `prefix`.
Timing Run(std::vector<std::string> args, const fs::path& prefix) {
    setenv("COMRT_PREFIX", prefix.c_str(), 1);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) bench::Fail("cannot start " + args[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        bench::Fail(args[0] + " failed in " + prefix.string());
    Timing timing;
    timing.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    timing.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return timing;
}

// Appends classes to the hive until it holds `bytes`.
void Enlarge(const fs::path& hive, uintmax_t bytes) {
    const uintmax_t existing = fs::file_size(hive);
    std::string text;
    uint64_t state = 0x2545F4914F6CDD1Dull;
    char guid[64];
    for (unsigned n = 0; existing + text.size() < bytes; ++n) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        std::snprintf(guid, sizeof guid, "{%08X-%04X-%04X-%04X-%012" PRIX64 "}", static_cast<unsigned>(state >> 32),
                      static_cast<unsigned>(state >> 16) & 0xFFFF, static_cast<unsigned>(state) & 0xFFFF,
                      n & 0xFFFF, static_cast<uint64_t>(state & 0xFFFFFFFFFFFFu));
        const std::string key = std::string("[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\") + guid;
        text += "\n" + key + "]\n@=\"Vendor.Component." + std::to_string(n) + "\"\n\n" + key +
                "\\InprocServer32]\n@=\"C:\\\\Program Files\\\\Vendor\\\\component" + std::to_string(n) +
                ".dll\"\n\"ThreadingModel\"=\"Both\"\n";
    }
    std::ofstream(hive, std::ios::app | std::ios::binary) << text;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--create") return CreateOne();
    const int runs = static_cast<int>(std::max(1L, bench::Argument(argc, argv, 1, 7)));
    const long megabytes = std::max(1L, bench::Argument(argc, argv, 2, 50));
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    std::string pattern = (self.parent_path() / "creation-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) bench::Fail("no scratch folder");
    const fs::path scratch = pattern;
    const fs::path fresh = scratch / "fresh", large = scratch / "large";
    Run({OBZ_REGSVR, "/s", OBZ_MODULE}, fresh);
    Run({OBZ_REGSVR, "/s", OBZ_MODULE}, large);
    Enlarge(large / "system.reg", static_cast<uintmax_t>(megabytes) << 20);

    std::vector<double> wallLarge, wallFresh, cpuLarge, cpuFresh;
    Run({self.string(), "--create"}, large);  // both files in the page cache
    Run({self.string(), "--create"}, fresh);
    for (int run = 0; run < runs; ++run) {
        const Timing big = Run({self.string(), "--create"}, large);
        const Timing small = Run({self.string(), "--create"}, fresh);
        wallLarge.push_back(big.wall), cpuLarge.push_back(big.cpu);
        wallFresh.push_back(small.wall), cpuFresh.push_back(small.cpu);
    }
    const uintmax_t size = fs::file_size(large / "system.reg", error);
    fs::remove_all(scratch, error);
    const std::string measure = "object creation, " + std::to_string(megabytes) + " MB hive";
    bench::Report(measure.c_str(), wallLarge, wallFresh, kTarget);
    for (int run = 0; run < runs; ++run)
        std::printf("RESULT\t%s, CPU time\t%.6f\t%.6f\n", measure.c_str(), cpuLarge[run], cpuFresh[run]);
    std::printf("  CPU seconds: large %.3f, fresh %.3f, ratio %.2f; hive %.1f MB\n", bench::Median(cpuLarge),
                bench::Median(cpuFresh), bench::Median(cpuLarge) / bench::Median(cpuFresh),
                static_cast<double>(size) / (1 << 20));
    return 0;
}
