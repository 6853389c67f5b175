// GetDBRecordSet of a whole table, then every value read through
// GetRecordItem and GetDataValue, against stepping the same query with
// sqlite3_column_text16, in one run. Both sides read the same file (filled
// once, and read once before timing so that both find it in the page cache),
// alternate which goes first, and must see the same number of UTF-16 units.
// The medians are compared.
//
//   bench_RecordQueryBench [rows=1000000] [runs=5]
#include <OBZeveVevuVAD.h>

#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "com/ComPtr.h"
#include "com/Creator.h"
#include "facade/CZeveVevuVAD.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"

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
}  // namespace

int main(int argc, char** argv) {
    const long rows = Argument(argc, argv, 1, 1000000);
    const int runs = static_cast<int>(Argument(argc, argv, 2, 5));
    ScratchFolder scratch("obz-bench-query");
    const fs::path file = scratch.Path() / "query.db";
    std::printf("record query: %ld rows of 3 values, %d runs per side, sqlite %s\n", rows, runs,
                sqlite3_libversion());
    Fill(file, rows);
    const long long expected = Reference(file);  // also warms the page cache

    ComPtr<IZeveVevuVAD> facade = Create<CZeveVevuVAD, IZeveVevuVAD>(IID_IZeveVevuVAD);
    {
        Bstr name(StarPath(file)), table(Wide("T")), columns(Wide("a,b,c"));
        LONG ret = 0;
        facade->CreateDbFile(name.Get(), table.Get(), columns.Get(), &ret);
        if (ret != 1) Fail("CreateDbFile");
    }
    std::vector<double> component, reference, release, fill;
    for (int round = 0; round < runs; ++round) {
        ComPtr<IRecordSet> set = Create<CRecordSet, IRecordSet>(IID_IRecordSet);
        ComPtr<IRecordItem> item = Create<CRecordItem, IRecordItem>(IID_IRecordItem);
        long long mine = 0, theirs = 0;
        double fillSeconds = 0;
        auto runComponent = [&] {
            component.push_back(Seconds([&] { mine = Component(facade.Get(), set.Get(), item.Get(), fillSeconds); }));
            fill.push_back(fillSeconds);
        };
        auto runReference = [&] { reference.push_back(Seconds([&] { theirs = Reference(file); })); };
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
    std::printf("  of the component's time, GetDBRecordSet filling the RecordSet: %.3f s (median)\n", Median(fill));
    Report("query read through RecordItem", component, reference, 2.0);
    return 0;
}
