// Object creation in a prefix whose registry is large, against the same in
// a fresh prefix, timed as a program runs it: a new process that creates one
// ZeveVevuVAD object by its ProgID (process start, registry lookups, library
// load) and ends. Both prefixes have the component registered; the large
// one's system.reg also holds HIVE_MB megabytes of other classes (about
// 270 bytes a class and its InprocServer32 key). The two sides take turns.
// With --writes, registry writes instead: a new process that sets one value
// (RegSetValueExW: the hive read whole, rewritten and synced, its index
// written), and comrt-regsvr unregistering and registering the component;
// then a process that walks every subkey of HKEY_CLASSES_ROOT\CLSID in the
// large prefix.
//
// Prints one RESULT line a run (large / fresh, wall seconds, and CPU
// seconds) for bench/run, and the median ratio against the target (at most
// 10 for creation; writes read and write the whole hive, at most 300 times
// the small one's). The first process in the large prefix reads its registry
// whole and writes its index; the timed ones find the index. The peak memory
// of a write in the large prefix goes out as a PEAK line. The prefixes go
// under the folder of this program.
//
//   bench_CreationBench [runs=7] [HIVE_MB=50] [--writes]
//   bench_CreationBench --create      (the child: creates one object)
//   bench_CreationBench --write N     (the child: sets a value to N)
//   bench_CreationBench --walk N      (the child: walks at least N classes)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
constexpr double kWriteTarget = 300.0;

int WriteOne(DWORD number) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Ombrel\\Bench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    const LSTATUS status =
        RegSetValueExW(key, u"Run", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 1;
}

int WalkClasses(long expected) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
    long count = 0;
    for (char16_t name[256];; ++count) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, static_cast<DWORD>(count), name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
    }
    RegCloseKey(key);
    return count >= expected ? 0 : 1;
}

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
    double peakMiB = 0;
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
    timing.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return timing;
}

// Appends classes to the hive until it holds `bytes`; answers how many.
unsigned Enlarge(const fs::path& hive, uintmax_t bytes) {
    const uintmax_t existing = fs::file_size(hive);
    std::string text;
    uint64_t state = 0x2545F4914F6CDD1Dull;
    char guid[64];
    unsigned n = 0;
    for (; existing + text.size() < bytes; ++n) {
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
    return n;
}

// The registry writes: one value set by a new process, and the component
// unregistered and registered again, in each prefix in turn; then a walk
// through the large prefix's classes.
void Writes(const fs::path& self, const fs::path& large, const fs::path& fresh, int runs, long megabytes,
            unsigned classes) {
    std::vector<double> wallLarge, wallFresh, cpuLarge, cpuFresh, regLarge, regFresh;
    double peak = 0, peakRegistration = 0;
    for (int run = 0; run < runs; ++run) {
        const std::string number = std::to_string(run + 1);
        const Timing big = Run({self.string(), "--write", number}, large);
        const Timing small = Run({self.string(), "--write", number}, fresh);
        wallLarge.push_back(big.wall), cpuLarge.push_back(big.cpu), peak = std::max(peak, big.peakMiB);
        wallFresh.push_back(small.wall), cpuFresh.push_back(small.cpu);
        const Timing out = Run({OBZ_REGSVR, "/s", "/u", OBZ_MODULE}, large);
        const Timing in = Run({OBZ_REGSVR, "/s", OBZ_MODULE}, large);
        regLarge.push_back(out.wall + in.wall);
        peakRegistration = std::max({peakRegistration, out.peakMiB, in.peakMiB});
        regFresh.push_back(Run({OBZ_REGSVR, "/s", "/u", OBZ_MODULE}, fresh).wall +
                           Run({OBZ_REGSVR, "/s", OBZ_MODULE}, fresh).wall);
    }
    const std::string hive = std::to_string(megabytes) + " MB hive";
    const std::string write = "registry write, " + hive, registration = "unregistration and registration, " + hive;
    bench::Report(write.c_str(), wallLarge, wallFresh, kWriteTarget);
    for (int run = 0; run < runs; ++run)
        std::printf("RESULT\t%s, CPU time\t%.6f\t%.6f\n", write.c_str(), cpuLarge[run], cpuFresh[run]);
    bench::Report(registration.c_str(), regLarge, regFresh, kWriteTarget);
    bench::Peak(("registry write, " + hive).c_str(), peak);
    bench::Peak(("comrt-regsvr, " + hive).c_str(), peakRegistration);
    const double walk = Run({self.string(), "--walk", std::to_string(classes)}, large).wall;
    std::printf("RESULT\twalk through %u classes (s)\t%.6f\t-\n", classes, walk);
    std::printf("  CPU seconds of a write: large %.3f, fresh %.3f; peak memory %.0f MiB (write), %.0f MiB "
                "(comrt-regsvr); walk through %u classes %.3f s\n",
                bench::Median(cpuLarge), bench::Median(cpuFresh), peak, peakRegistration, classes, walk);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--create") return CreateOne();
    if (argc > 2 && std::string(argv[1]) == "--write") return WriteOne(static_cast<DWORD>(std::atol(argv[2])));
    if (argc > 2 && std::string(argv[1]) == "--walk") return WalkClasses(std::atol(argv[2]));
    const bool writes = argc > 3 && std::string(argv[3]) == "--writes";
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
    const unsigned classes = Enlarge(large / "system.reg", static_cast<uintmax_t>(megabytes) << 20);

    std::vector<double> wallLarge, wallFresh, cpuLarge, cpuFresh;
    Run({self.string(), "--create"}, large);  // both files in the page cache
    Run({self.string(), "--create"}, fresh);
    if (writes) {
        Writes(self, large, fresh, runs, megabytes, classes);
        fs::remove_all(scratch, error);
        return 0;
    }
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
