// InsertDBRecord against the SQLite C interface doing the same SQL work, in
// one run, for both ways the component writes:
//
//  - inside one transaction: BeginTransation, N inserts, CommitTransation,
//    against one sqlite3_open connection that runs BEGIN, the same N
//    REPLACE INTO texts with sqlite3_exec, COMMIT and closes;
//  - outside a transaction: M inserts, each on a connection of its own,
//    against sqlite3_open + sqlite3_exec + sqlite3_close per statement, with
//    SQLite's default setting and with the component's (synchronous EXTRA,
//    which makes each answered write durable): a third side that the same
//    run times, so that it also shows what the setting itself costs.
//
// Both sides start every run from a copy of one empty file made by
// CreateDbFile (table T(a,b,c), a the primary key) and the medians are
// compared, in wall time and in CPU time. After each run the two files must
// hold the same rows.
//
// Within a run the sides take turns in blocks of statements (5000 inside a
// transaction, 50 outside), each side on its own file and connection(s).
// Outside a transaction every statement waits for the disk to confirm its
// commit, so on a disk one run of 2,000 per side takes a minute or more; the
// target holds for files on /dev/shm (TMPDIR=/dev/shm), where it is the
// cost of each call that shows.
//
//   bench_RecordWriteBench [inserts in transaction=100000] [inserts outside=2000]
//                          [runs in transaction=5] [runs outside=5]
#include <OBZeveVevuVAD.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "com/ComPtr.h"
#include "com/Creator.h"
#include "facade/CZeveVevuVAD.h"

namespace {
using namespace bench;

// A BSTR owned for the whole benchmark.
class Bstr {
public:
    explicit Bstr(const WString& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (text_ == nullptr) Fail("out of memory");
    }
    ~Bstr() { SysFreeString(text_); }
    Bstr(Bstr&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return text_; }

private:
    BSTR text_;
};

// Row i as the component's value list and as the SQL text the component
// builds from it (every tenth name holds a quote, which is doubled).
struct Rows {
    std::vector<Bstr> values;
    std::vector<std::string> sql;
};

Rows MakeRows(long count) {
    Rows rows;
    rows.values.reserve(static_cast<size_t>(count));
    rows.sql.reserve(static_cast<size_t>(count));
    unsigned seed = 12345;
    for (long i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::string key = std::string(1, 'k').append(std::to_string(1000000 + i));
        const std::string name =
            std::string("Name ").append(std::to_string(i * 7)).append(i % 10 == 0 ? " it's" : " of the list");
        const std::string number = std::to_string(seed % 1000000u);
        rows.values.emplace_back(Wide(std::string(key).append(",").append(name).append(",").append(number)));
        std::string quoted = name;
        for (size_t at = quoted.find('\''); at != std::string::npos; at = quoted.find('\'', at + 2))
            quoted.insert(at, 1, '\'');
        std::string sql("REPLACE INTO T (a,b,c) VALUES ('");
        sql.append(key).append("','").append(quoted).append("','").append(number).append("');");
        rows.sql.push_back(std::move(sql));
    }
    return rows;
}

ComPtr<IZeveVevuVAD> NewFacade() {
    ComPtr<IZeveVevuVAD> facade;
    if (Creator<CZeveVevuVAD>::CreateInstance(nullptr, IID_IZeveVevuVAD, facade.ReceiveVoid()) != S_OK)
        Fail("cannot create the component");
    return facade;
}

// Makes file the facade's current database (it already holds T).
void SelectFile(IZeveVevuVAD* facade, const fs::path& file) {
    Bstr name(StarPath(file)), table(Wide("T")), columns(Wide("a,b,c"));
    LONG ret = 0;
    facade->CreateDbFile(name.Get(), table.Get(), columns.Get(), &ret);
    if (ret != 1) Fail(file.string());
}

// One side of a measure: Start before the first statement, Write for a
// block of statements, Finish after the last. Each step is timed.
class Side {
public:
    virtual ~Side() = default;
    virtual void Start() {}
    virtual void Write(size_t begin, size_t end) = 0;
    virtual void Finish() {}
};

class ComponentSide : public Side {
public:
    ComponentSide(const Rows& rows, const fs::path& file, bool inside)
        : rows_(rows), facade_(NewFacade()), inside_(inside) {
        SelectFile(facade_.Get(), file);
    }
    void Start() override {
        if (inside_ && facade_->BeginTransation() != S_OK) Fail("BeginTransation");
    }
    void Write(size_t begin, size_t end) override {
        for (size_t i = begin; i < end; ++i) {
            LONG ret = 0;
            facade_->InsertDBRecord(table_.Get(), columns_.Get(), rows_.values[i].Get(), &ret);
            if (ret != 1) Fail("InsertDBRecord");
        }
    }
    void Finish() override {
        if (inside_ && facade_->CommitTransation() != S_OK) Fail("CommitTransation");
    }

private:
    const Rows& rows_;
    ComPtr<IZeveVevuVAD> facade_;
    bool inside_;
    Bstr table_{Wide("T")};
    Bstr columns_{Wide("a,b,c")};
};

// The SQLite C interface as a client would use it without the component,
// with SQLite's default setting or, given one, the statement that sets
// another on each connection.
class ReferenceSide : public Side {
public:
    ReferenceSide(const Rows& rows, const fs::path& file, bool inside, const char* setting = nullptr)
        : rows_(rows), file_(file), inside_(inside), setting_(setting) {}
    ~ReferenceSide() override { sqlite3_close(db_); }
    void Start() override {
        if (!inside_) return;
        if (sqlite3_open(file_.c_str(), &db_) != SQLITE_OK) Fail("sqlite3_open");
        MustExec(db_, "BEGIN TRANSACTION;");
    }
    void Write(size_t begin, size_t end) override {
        for (size_t i = begin; i < end; ++i) {
            if (inside_) {
                MustExec(db_, rows_.sql[i].c_str());
                continue;
            }
            sqlite3* db = nullptr;
            if (sqlite3_open(file_.c_str(), &db) != SQLITE_OK) Fail("sqlite3_open");
            if (setting_ != nullptr) MustExec(db, setting_);
            MustExec(db, rows_.sql[i].c_str());
            sqlite3_close(db);
        }
    }
    void Finish() override {
        if (!inside_) return;
        MustExec(db_, "COMMIT TRANSACTION;");
        sqlite3_close(db_);
        db_ = nullptr;
    }

private:
    const Rows& rows_;
    fs::path file_;
    bool inside_;
    const char* setting_;
    sqlite3* db_ = nullptr;
};

// Makes one side of a measure on its file.
using MakeSide = std::function<std::unique_ptr<Side>(const fs::path&)>;

// Wall and CPU seconds of one side, a value per run.
struct Times {
    std::vector<double> wall, cpu;
};

// Reports side a against side b; no target when target is 0.
void Compare(const std::string& measure, const Times& a, const Times& b, double target) {
    Report(measure.c_str(), a.wall, b.wall, target);
    // CPU time, which a busy machine disturbs less than wall time.
    Report((measure + ", CPU time").c_str(), a.cpu, b.cpu, target);
}

class WriteBench {
public:
    WriteBench(const fs::path& folder, long count) : folder_(folder), rows_(MakeRows(count)) {
        templateFile_ = folder_ / "template.db";
        SelectFile(NewFacade().Get(), templateFile_);
    }

    // Times the sides over runs rounds. Within a round the statements go in
    // blocks, the sides taking turns block by block (and turns at which side
    // starts), so that a slow spell of the machine falls on all alike. Every
    // side must leave the same rows.
    std::vector<Times> Run(const char* what, int runs, size_t block, const std::vector<MakeSide>& makers) {
        const size_t n = makers.size();
        std::vector<Times> times(n);
        for (int round = 0; round < runs; ++round) {
            std::vector<fs::path> files;
            std::vector<double> wall(n, 0), cpu(n, 0);
            {
                std::vector<std::unique_ptr<Side>> sides;
                for (size_t s = 0; s < n; ++s) {
                    files.push_back(Fresh(("side" + std::to_string(s) + ".db").c_str()));
                    sides.push_back(makers[s](files.back()));
                }
                const size_t count = rows_.sql.size();
                for (size_t begin = 0, turn = static_cast<size_t>(round); begin < count; begin += block, ++turn) {
                    const size_t end = std::min(count, begin + block);
                    for (size_t k = 0; k < n; ++k) {
                        const size_t s = (turn + k) % n;
                        const double before = ThreadCpuSeconds();
                        wall[s] += Seconds([&] {
                            if (begin == 0) sides[s]->Start();
                            sides[s]->Write(begin, end);
                            if (end == count) sides[s]->Finish();
                        });
                        cpu[s] += ThreadCpuSeconds() - before;
                    }
                }
            }
            for (size_t s = 0; s < n; ++s) {
                times[s].wall.push_back(wall[s]);
                times[s].cpu.push_back(cpu[s]);
                const std::string a = Fingerprint(files[0]), b = Fingerprint(files[s]);
                if (a != b) Fail(std::string(what) + ": side 0 left " + a + ", side " + std::to_string(s) + " " + b);
                if (round == 0 && s == 0) std::printf("  %s: each side stores %s\n", what, a.c_str());
            }
        }
        return times;
    }

    const Rows& rows() const { return rows_; }

private:
    fs::path Fresh(const char* name) {
        const fs::path file = folder_ / name;
        fs::remove(file);
        fs::copy_file(templateFile_, file);
        return file;
    }

    fs::path folder_;
    fs::path templateFile_;
    Rows rows_;
};
}  // namespace

int main(int argc, char** argv) {
    const long inTransaction = Argument(argc, argv, 1, 100000);
    const long outside = Argument(argc, argv, 2, 2000);
    const int runsInside = static_cast<int>(Argument(argc, argv, 3, 5));
    const int runsOutside = static_cast<int>(Argument(argc, argv, 4, 5));
    ScratchFolder scratch("obz-bench-write");
    std::printf("record writing: %ld inserts in one transaction (%d runs), %ld outside (%d runs), files in %s, "
                "sqlite %s\n",
                inTransaction, runsInside, outside, runsOutside, scratch.Path().parent_path().c_str(),
                sqlite3_libversion());
    if (inTransaction > 0) {
        WriteBench bench(scratch.Path(), inTransaction);
        const Rows& rows = bench.rows();
        const std::vector<Times> t = bench.Run(
            "inserts in transaction", runsInside, 5000,
            {[&](const fs::path& f) { return std::make_unique<ComponentSide>(rows, f, true); },
             [&](const fs::path& f) { return std::make_unique<ReferenceSide>(rows, f, true); }});
        Compare("inserts in transaction", t[0], t[1], 1.05);
    }
    if (outside > 0) {
        WriteBench bench(scratch.Path(), outside);
        const Rows& rows = bench.rows();
        const std::vector<Times> t = bench.Run(
            "inserts outside a transaction", runsOutside, 50,
            {[&](const fs::path& f) { return std::make_unique<ComponentSide>(rows, f, false); },
             [&](const fs::path& f) { return std::make_unique<ReferenceSide>(rows, f, false); },
             [&](const fs::path& f) {
                 return std::make_unique<ReferenceSide>(rows, f, false, "PRAGMA synchronous = EXTRA;");
             }});
        // The component's writes are durable (synchronous EXTRA): the target
        // allows for what that costs over SQLite's default; the other two
        // lines show the component against SQLite doing the same, and what
        // the setting itself costs.
        Compare("inserts outside a transaction", t[0], t[1], 1.10);
        Compare("inserts outside a transaction, against SQLite at EXTRA", t[0], t[2], 0);
        Compare("SQLite at EXTRA against its default, outside a transaction", t[2], t[1], 0);
    }
    return 0;
}
