// InsertDBRecord against the SQLite C interface doing the same SQL work, in
// one run, for both ways the component writes:
//
//  - inside one transaction: BeginTransation, N inserts, CommitTransation,
//    against one sqlite3_open connection that runs BEGIN, the same N
//    REPLACE INTO texts with sqlite3_exec, COMMIT and closes;
//  - outside a transaction: M inserts, each on a connection of its own,
//    against sqlite3_open + sqlite3_exec + sqlite3_close per statement.
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

// The SQLite C interface as a client would use it without the component.
class ReferenceSide : public Side {
public:
    ReferenceSide(const Rows& rows, const fs::path& file, bool inside) : rows_(rows), file_(file), inside_(inside) {}
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
    sqlite3* db_ = nullptr;
};

class WriteBench {
public:
    WriteBench(const fs::path& folder, long count) : folder_(folder), rows_(MakeRows(count)) {
        templateFile_ = folder_ / "template.db";
        SelectFile(NewFacade().Get(), templateFile_);
    }

    // Times both sides over runs rounds. Within a round the statements go in
    // blocks, the sides taking turns block by block (and turns at which side
    // starts), so that a slow spell of the machine falls on both alike.
    void Run(const char* measure, bool inside, int runs, size_t block, double target) {
        std::vector<double> component, reference, componentCpu, referenceCpu;
        for (int round = 0; round < runs; ++round) {
            const fs::path mine = Fresh("component.db"), theirs = Fresh("reference.db");
            double c = 0, r = 0, cCpu = 0, rCpu = 0;
            {
                ComponentSide a(rows_, mine, inside);
                ReferenceSide b(rows_, theirs, inside);
                Side* sides[] = {&a, &b};
                double* totals[] = {&c, &r};
                double* cpuTotals[] = {&cCpu, &rCpu};
                const size_t count = rows_.sql.size();
                for (size_t begin = 0, turn = static_cast<size_t>(round); begin < count; begin += block, ++turn) {
                    const size_t end = std::min(count, begin + block);
                    for (size_t k = 0; k < 2; ++k) {
                        const size_t s = (turn + k) % 2;
                        const double cpu = ThreadCpuSeconds();
                        *totals[s] += Seconds([&] {
                            if (begin == 0) sides[s]->Start();
                            sides[s]->Write(begin, end);
                            if (end == count) sides[s]->Finish();
                        });
                        *cpuTotals[s] += ThreadCpuSeconds() - cpu;
                    }
                }
            }
            component.push_back(c);
            reference.push_back(r);
            componentCpu.push_back(cCpu);
            referenceCpu.push_back(rCpu);
            const std::string a = Fingerprint(mine), b = Fingerprint(theirs);
            if (a != b) Fail(std::string(measure) + ": component left " + a + ", reference " + b);
            if (round == 0) std::printf("  %s: each side stores %s\n", measure, a.c_str());
        }
        Report(measure, component, reference, target);
        // CPU time, which a busy machine disturbs less than wall time.
        Report((std::string(measure) + ", CPU time").c_str(), componentCpu, referenceCpu, target);
    }

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
    if (inTransaction > 0)
        WriteBench(scratch.Path(), inTransaction).Run("inserts in transaction", true, runsInside, 5000, 1.05);
    if (outside > 0)
        WriteBench(scratch.Path(), outside).Run("inserts outside a transaction", false, runsOutside, 50, 1.02);
    return 0;
}
