// GetDBRecordSet of a whole table, then every value read through
// GetRecordItem and GetDataValue, against stepping the same query with
// sqlite3_column_text16, in one run. Both sides read the same file (filled
// once, and read once before timing so that both find it in the page cache),
// alternate which goes first, and must see the same number of UTF-16 units.
// The medians are compared.
//
// It also reports the memory that the filled RecordSet takes per row, against
// the row's text in UTF-16, and what the RecordSet's lock costs when nobody
// contends for it (the lock is taken once per row filled and once per row
// read).
//
//   bench_RecordQueryBench [rows=1000000] [runs=5] [--no-thp] [--cold]
//
// --no-thp switches transparent huge pages off for this process, as on a
// machine that offers none (its children inherit the setting).
//
// --cold measures the first query of a process, as a script that runs one
// query and exits meets it: after filling the file, it starts runs fresh
// processes of its own program, each of which selects the file in a fresh
// runtime prefix and runs each side once, the component first in every
// other process. Besides the ratio it reports each process's times.
#include <OBZeveVevuVAD.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "BenchSupport.h"
#include "com/ComPtr.h"
#include "com/Creator.h"
#include "facade/CZeveVevuVAD.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"
#include "results/SpinLock.h"

namespace {
using namespace bench;

const OLECHAR kQuery[] = OLESTR("SELECT * FROM T;");

// A BSTR freed at scope end.
class Bstr {
public:
    explicit Bstr(const WString& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (text_ == nullptr) Fail("out of memory");
    }
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return text_; }

private:
    BSTR text_;
};

template <class Class, class Interface>
ComPtr<Interface> Create(REFIID iid) {
    ComPtr<Interface> object;
    if (Creator<Class>::CreateInstance(nullptr, iid, object.ReceiveVoid()) != S_OK) Fail("cannot create an object");
    return object;
}

// The table T(a,b,c) as CreateDbFile makes it, filled with rows rows.
void Fill(const fs::path& file, long rows) {
    ComPtr<IZeveVevuVAD> facade = Create<CZeveVevuVAD, IZeveVevuVAD>(IID_IZeveVevuVAD);
    Bstr name(StarPath(file)), table(Wide("T")), columns(Wide("a,b,c"));
    LONG ret = 0;
    facade->CreateDbFile(name.Get(), table.Get(), columns.Get(), &ret);
    if (ret != 1) Fail("CreateDbFile");
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) Fail("sqlite3_open");
    MustExec(db, "BEGIN TRANSACTION;");
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO T (a,b,c) VALUES (?,?,?)", -1, &insert, nullptr) != SQLITE_OK)
        Fail(sqlite3_errmsg(db));
    unsigned seed = 12345;
    for (long i = 0; i < rows; ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::string key = std::string(1, 'k').append(std::to_string(1000000 + i));
        const std::string label = std::string("Name ").append(std::to_string(i * 7)).append(" of the list");
        sqlite3_bind_text(insert, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, label.c_str(), -1, SQLITE_TRANSIENT);
        if (i % 100 == 99)
            sqlite3_bind_null(insert, 3);  // a NULL reads as an empty value on both sides
        else
            sqlite3_bind_int(insert, 3, static_cast<int>(seed % 1000000u));
        if (sqlite3_step(insert) != SQLITE_DONE) Fail(sqlite3_errmsg(db));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    MustExec(db, "COMMIT TRANSACTION;");
    sqlite3_close(db);
}

// The component: the query into a RecordSet, then every value of every row
// by name through one reused RecordItem. Answers the UTF-16 units read;
// fillSeconds receives the time GetDBRecordSet took.
long long Component(IZeveVevuVAD* facade, IRecordSet* set, IRecordItem* item, double& fillSeconds) {
    static Bstr table(Wide("T")), empty{WString()}, a(Wide("a")), b(Wide("b")), c(Wide("c"));
    const BSTR names[] = {a.Get(), b.Get(), c.Get()};
    VARIANT_BOOL ok = VARIANT_FALSE;
    fillSeconds = Seconds([&] { facade->GetDBRecordSet(table.Get(), empty.Get(), empty.Get(), set, &ok); });
    if (ok != VARIANT_TRUE) Fail("GetDBRecordSet");
    LONG count = 0;
    set->GetRecordCount(&count);
    long long units = 0;
    for (LONG i = 0; i < count; ++i) {
        set->GetRecordItem(i, item, &ok);
        if (ok != VARIANT_TRUE) Fail("GetRecordItem");
        for (BSTR name : names) {
            BSTR value = nullptr;
            item->GetDataValue(name, &value);
            units += SysStringLen(value);
            SysFreeString(value);
        }
    }
    return units;
}

// Resident memory of the process now, in bytes.
double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    double pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// Seconds that count uncontended lock and release pairs take.
double LockSeconds(long count) {
    SpinLock lock;
    return Seconds([&] {
        for (long i = 0; i < count; ++i) {
            lock.Lock();
            lock.Unlock();
        }
    });
}

// The reference: the same query stepped with sqlite3_column_text16.
long long Reference(const fs::path& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) Fail("sqlite3_open");
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare16_v2(db, kQuery, -1, &statement, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db));
    const int columns = sqlite3_column_count(statement);
    long long units = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int j = 0; j < columns; ++j) {
            if (sqlite3_column_text16(statement, j) != nullptr)
                units += sqlite3_column_bytes16(statement, j) / 2;
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return units;
}

// Selects the file as a script would before its query: CreateDbFile with the
// file and its existing table.
void Select(IZeveVevuVAD* facade, const fs::path& file) {
    Bstr name(StarPath(file)), table(Wide("T")), columns(Wide("a,b,c"));
    LONG ret = 0;
    facade->CreateDbFile(name.Get(), table.Get(), columns.Get(), &ret);
    if (ret != 1) Fail("CreateDbFile");
}

// Minor page faults of this process so far.
long PageFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// One fresh process of --cold: both sides once, in the order given, then one
// line "COLD", component and reference seconds, and what each side took in
// CPU time and page faults.
int ColdProcess(const fs::path& file, bool componentFirst) {
    ComPtr<IZeveVevuVAD> facade = Create<CZeveVevuVAD, IZeveVevuVAD>(IID_IZeveVevuVAD);
    Select(facade.Get(), file);
    ComPtr<IRecordSet> set = Create<CRecordSet, IRecordSet>(IID_IRecordSet);
    ComPtr<IRecordItem> item = Create<CRecordItem, IRecordItem>(IID_IRecordItem);
    struct Side {
        double seconds = 0, cpu = 0;
        long faults = 0;
        long long units = 0;
    } mine, theirs;
    auto run = [](Side& side, const std::function<long long()>& work) {
        const double cpu = ThreadCpuSeconds();
        const long faults = PageFaults();
        side.seconds = Seconds([&] { side.units = work(); });
        side.cpu = ThreadCpuSeconds() - cpu;
        side.faults = PageFaults() - faults;
    };
    double fillSeconds = 0;
    auto component = [&] { run(mine, [&] { return Component(facade.Get(), set.Get(), item.Get(), fillSeconds); }); };
    auto reference = [&] { run(theirs, [&] { return Reference(file); }); };
    if (componentFirst) {
        component();
        reference();
    } else {
        reference();
        component();
    }
    if (mine.units != theirs.units) Fail("units read differ between the sides");
    std::printf("COLD\t%.6f\t%.6f\t%.3f\t%ld\t%.3f\t%ld\t%.3f\n", mine.seconds, theirs.seconds, mine.cpu,
                mine.faults, theirs.cpu, theirs.faults, fillSeconds);
    return 0;
}

// --cold: runs fresh processes of this program on the filled file, each with
// a runtime prefix of its own, and reports their times.
void Cold(const char* measure, const fs::path& file, const fs::path& folder, int runs) {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) Fail("cannot find this program");
    self[length] = 0;
    std::vector<double> component, reference;
    for (int round = 0; round < runs; ++round) {
        const bool componentFirst = round % 2 == 0;
        const fs::path prefix = folder / ("prefix-" + std::to_string(round));
        setenv("COMRT_PREFIX", prefix.c_str(), 1);
        const std::string command = std::string("'") + self + "' --cold-process '" + file.string() + "' " +
                                    (componentFirst ? "component" : "reference");
        FILE* child = popen(command.c_str(), "r");
        if (child == nullptr) Fail("cannot start " + command);
        char line[512];
        bool seen = false;
        while (std::fgets(line, sizeof line, child) != nullptr) {
            double c = 0, r = 0, cCpu = 0, rCpu = 0, fill = 0;
            long cFaults = 0, rFaults = 0;
            if (std::sscanf(line, "COLD\t%lf\t%lf\t%lf\t%ld\t%lf\t%ld\t%lf", &c, &r, &cCpu, &cFaults, &rCpu, &rFaults,
                            &fill) == 7) {
                component.push_back(c);
                reference.push_back(r);
                seen = true;
                std::printf("  process %d, %s first: component %.3f s (CPU %.3f, fill %.3f, %ld faults), "
                            "reference %.3f s (CPU %.3f, %ld faults), ratio %.2f\n",
                            round + 1, componentFirst ? "component" : "reference", c, cCpu, fill, cFaults, r, rCpu,
                            rFaults, c / r);
            } else {
                std::fputs(line, stdout);
            }
        }
        if (pclose(child) != 0 || !seen) Fail("the process of run " + std::to_string(round + 1) + " failed");
        std::fflush(stdout);
    }
    Report(measure, component, reference, 1.5);
    Ceiling(measure, 1.8);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--cold-process") == 0)
        return ColdProcess(argv[2], std::strcmp(argv[3], "component") == 0);
    bool noThp = false, cold = false;
    std::vector<char*> numbers{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-thp") == 0)
            noThp = true;
        else if (std::strcmp(argv[i], "--cold") == 0)
            cold = true;
        else
            numbers.push_back(argv[i]);
    }
    const long rows = Argument(static_cast<int>(numbers.size()), numbers.data(), 1, 1000000);
    const int runs = static_cast<int>(Argument(static_cast<int>(numbers.size()), numbers.data(), 2, 5));
    if (noThp && prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0) Fail("prctl(PR_SET_THP_DISABLE)");
    const std::string measure = std::string("query") + (cold ? ", cold" : "") + (noThp ? ", no huge pages" : "");
    ScratchFolder scratch("obz-bench-query");
    const fs::path file = scratch.Path() / "query.db";
    std::printf("record query: %ld rows of 3 values, %d %s, transparent huge pages %s, sqlite %s\n", rows, runs,
                cold ? "fresh processes" : "runs per side", noThp ? "off" : "as the system sets them",
                sqlite3_libversion());
    Fill(file, rows);
    if (cold) {
        Reference(file);  // the file in the page cache
        Cold(measure.c_str(), file, scratch.Path(), runs);
        return 0;
    }
    const long long expected = Reference(file);  // also warms the page cache

    ComPtr<IZeveVevuVAD> facade = Create<CZeveVevuVAD, IZeveVevuVAD>(IID_IZeveVevuVAD);
    {
        Bstr name(StarPath(file)), table(Wide("T")), columns(Wide("a,b,c"));
        LONG ret = 0;
        facade->CreateDbFile(name.Get(), table.Get(), columns.Get(), &ret);
        if (ret != 1) Fail("CreateDbFile");
    }
    // The memory of one filled RecordSet: resident memory before and after.
    {
        ComPtr<IRecordSet> set = Create<CRecordSet, IRecordSet>(IID_IRecordSet);
        static Bstr table(Wide("T")), empty{WString()};
        VARIANT_BOOL ok = VARIANT_FALSE;
        const double before = ResidentBytes();
        facade->GetDBRecordSet(table.Get(), empty.Get(), empty.Get(), set.Get(), &ok);
        const double after = ResidentBytes();
        if (ok != VARIANT_TRUE) Fail("GetDBRecordSet");
        const double perRow = (after - before) / static_cast<double>(rows);
        // The values as the reference reads them, UTF-16, without the "|#|"
        // between them.
        const double valueBytes = 2.0 * static_cast<double>(expected) / static_cast<double>(rows);
        char line[200];
        std::snprintf(line, sizeof line,
                      "%s: a RecordSet of %ld rows takes %.1f bytes a row; the row's values are %.1f bytes in "
                      "UTF-16 (%.2f times)",
                      measure.c_str(), rows, perRow, valueBytes, perRow / valueBytes);
        Note(line);
    }
    std::vector<double> component, reference, componentCpu, referenceCpu, release, fill;
    for (int round = 0; round < runs; ++round) {
        ComPtr<IRecordSet> set = Create<CRecordSet, IRecordSet>(IID_IRecordSet);
        ComPtr<IRecordItem> item = Create<CRecordItem, IRecordItem>(IID_IRecordItem);
        long long mine = 0, theirs = 0;
        double fillSeconds = 0;
        auto runComponent = [&] {
            const double cpu = ThreadCpuSeconds();
            component.push_back(Seconds([&] { mine = Component(facade.Get(), set.Get(), item.Get(), fillSeconds); }));
            componentCpu.push_back(ThreadCpuSeconds() - cpu);
            fill.push_back(fillSeconds);
        };
        auto runReference = [&] {
            const double cpu = ThreadCpuSeconds();
            reference.push_back(Seconds([&] { theirs = Reference(file); }));
            referenceCpu.push_back(ThreadCpuSeconds() - cpu);
        };
        if (round % 2 == 0) {
            runComponent();
            runReference();
        } else {
            runReference();
            runComponent();
        }
        if (mine != expected || theirs != expected)
            Fail("units read: component " + std::to_string(mine) + ", reference " + std::to_string(theirs) +
                 ", expected " + std::to_string(expected));
        release.push_back(Seconds([&] { set.Reset(); }));
    }
    std::printf("  each side reads %lld UTF-16 units; releasing the filled RecordSet takes %.3f s more (not counted)\n",
                expected, Median(release));
    char line[200];
    std::snprintf(line, sizeof line, "%s: GetDBRecordSet filling the RecordSet takes %.3f s of the component's %.3f s",
                  measure.c_str(), Median(fill), Median(component));
    Note(line);
    std::snprintf(line, sizeof line,
                  "%s: the RecordSet's lock, taken %ld times without contention, costs %.1f ms", measure.c_str(), 2 * rows,
                  1000 * LockSeconds(2 * rows));
    Note(line);
    Report(measure.c_str(), component, reference, 1.5);
    Report((measure + ", CPU time").c_str(), componentCpu, referenceCpu, 1.5);
    Peak(measure.c_str(), PeakMiB());
    return 0;
}
