// Hostile input through the component object's method table: a long seeded
// run of every method with null, empty, malformed, oversized and
// SQL-breaking texts and wrong objects, and every argument of every method
// in turn given lone surrogates, an embedded NUL and a megabyte. Every call
// must return, with its exact HRESULT, an outcome in its documented range,
// at least one line when that outcome is a failure, and only prefixed log
// lines, and must change no table but the one it names; afterwards the same
// object still stores and reads a table. Under the sanitizer build this also
// proves the calls clean.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "BstrArg.h"
#include "ComponentFixture.h"
#include "com/Creator.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"

namespace fs = std::filesystem;

namespace {

using Arg = BstrArg;

class CZeveVevuVADInputTest : public ComponentFixture {
protected:
    // Pieces that the statement, list and row formats treat specially.
    WString RandomText() {
        static const std::vector<WString> pieces = {
            OLESTR("a"),    OLESTR("T"),     OLESTR("k"),    OLESTR(","),   OLESTR("'"),        OLESTR("''"),
            OLESTR("|#|"),  OLESTR("||"),    OLESTR(";"),    OLESTR("#"),   OLESTR("|"),        OLESTR(" "),
            OLESTR("%"),    OLESTR("\""),    OLESTR("("),    OLESTR(")"),   OLESTR("--"),       OLESTR("/*"),
            OLESTR("\r\n"), OLESTR("\\"),    OLESTR("NULL"), OLESTR("="),   OLESTR("x'41'"),    OLESTR("1e5"),
            OLESTR("-0"),   OLESTR("\u00e9"), OLESTR("\u4e2d"), WString(1, OLECHAR(0xD800)), WString(1, OLECHAR(0)),
            WString(1, OLECHAR(0xDFFF)), WString(1, OLECHAR(0xDBFF)) + OLESTR("'"),
            OLESTR("SELECT"), OLESTR("k,a"), OLESTR("1,2"), OLESTR("k=1"),
        };
        WString text;
        const int count = static_cast<int>(random() % 10);
        for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
        if (random() % 60 == 0) text += WString(70000, OLECHAR('a' + random() % 26));
        return text;
    }
    // A text argument: null, empty, often the given well-formed text, or
    // random.
    Arg TextArg(const WString& wellFormed = OLESTR("T")) {
        switch (random() % 9) {
            case 0: return Arg();
            case 1: return Arg(WString());
            case 2: case 3: case 4: case 5: case 6: return Arg(wellFormed);
            default: return Arg(RandomText());
        }
    }
    // One value without a list separator or the "|" of "||" and "|#|".
    WString Value() {
        WString value = RandomText();
        std::erase_if(value, [](OLECHAR c) { return c == OLECHAR(',') || c == OLECHAR('|'); });
        return value;
    }
    // A file name that stays in the data folder: no "*", drive or folder;
    // half of the time the file of the run's table.
    WString FileName() {
        if (random() % 2 == 0) return OLESTR("fuzz");
        static const WString chars = OLESTR("abcXYZ019 _-',;#|%.");
        WString name;
        const int length = static_cast<int>(random() % 9);
        for (int i = 0; i < length; ++i) name += chars[random() % chars.size()];
        return name;
    }
    // What ImportDbFile reads: nothing, a missing file, a folder, or a file
    // of random rows written just now: mostly two quoted literals, now and
    // then a random text.
    WString ImportPath() {
        switch (random() % 5) {
            case 0: return WString();
            case 1: return HostFile("missing.txt");
            case 2: return HostFile("");
        }
        std::ofstream out(dir / "import.txt", std::ios::binary);
        for (int row = static_cast<int>(random() % 20); row > 0; --row) {
            const bool pair = random() % 4 != 0;
            WString text = pair ? WString() : RandomText();
            for (int n = 0; pair && n < 2; ++n) {
                WString value = Value();
                for (size_t at = value.find(OLECHAR('\'')); at != WString::npos; at = value.find(OLECHAR('\''), at + 2))
                    value.insert(at, 1, OLECHAR('\''));
                text += (n == 0 ? OLESTR("'") : OLESTR("|#|'")) + value + OLESTR("'");
            }
            out << FacadeFixture::Narrow(text) << (random() % 2 ? ";" : ";\r\n");
        }
        return HostFile("import.txt");
    }
    IDispatch* AnObject() {
        switch (random() % 4) {
            case 0: return nullptr;
            case 1: return set.Get();
            case 2: return item.Get();
            default: return object.Get();
        }
    }

    // Every table of a database file with its rows, sorted.
    static std::map<std::string, std::vector<std::string>> TablesOf(const fs::path& file) {
        std::map<std::string, std::vector<std::string>> tables;
        for (const std::string& name : Rows(file, "SELECT name FROM sqlite_master WHERE type='table'")) {
            std::string quoted = "\"";
            for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            std::vector<std::string> rows = Rows(file, "SELECT * FROM " + quoted + "\"");
            std::sort(rows.begin(), rows.end());
            tables[name] = std::move(rows);
        }
        return tables;
    }

    std::mt19937 random{20261205};
};

TEST_F(CZeveVevuVADInputTest, EveryMethodSurvivesHostileArgumentsAndTheObjectStillWorks) {
    // A table to aim at, so that some calls reach SQLite with their texts.
    LONG ret = 0;
    {
        Arg file(OLESTR("fuzz")), table(OLESTR("T")), columns(OLESTR("k,a"));
        ASSERT_EQ(object->CreateDbFile(file.Get(), table.Get(), columns.Get(), &ret), S_OK);
        ASSERT_EQ(ret, 1);
    }
    for (int call = 0; call < 400; ++call) {
        SCOPED_TRACE(call);
        LONG outcome = 77;
        VARIANT_BOOL found = 77;
        HRESULT hr = S_OK;
        const size_t linesBefore = sink.Logs().size();
        const int method = static_cast<int>(random() % 12);
        switch (method) {
            case 0: {
                // Hosts that keep the data folder inside the test's own folders.
                const WString hosts[] = {WString(), OLESTR("local"), HostFile("inst") + OLESTR("\\")};
                const Arg host(hosts[random() % 3]), system = TextArg();
                hr = object->Connect(random() % 4 ? host.Get() : nullptr, system, &outcome);
                EXPECT_TRUE(outcome == 1 || outcome == 2) << outcome;
                break;
            }
            case 1: hr = object->Disconnect(); break;
            case 2: {
                const Arg path(ImportPath()), table = TextArg(), columns = TextArg(OLESTR("k,a")),
                    rows = TextArg(OLESTR(";")), cols = TextArg(OLESTR("|#|"));
                hr = object->ImportDbFile(path, table, columns, rows, cols, &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
                break;
            }
            case 3: {
                const Arg table = TextArg(), columns = TextArg(OLESTR("k,a")),
                          values = TextArg(Value() + OLESTR(",") + Value());
                hr = object->InsertDBRecord(table, columns, values, &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
                break;
            }
            case 4: {
                const Arg table = TextArg(), cc = TextArg(OLESTR("k")), cv = TextArg(Value()), nc = TextArg(OLESTR("a")),
                          nv = TextArg(Value());
                hr = object->UpdateDBRecord(table, cc, cv, nc, nv, &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
                break;
            }
            case 5: {
                const Arg table = TextArg(), cc = TextArg(OLESTR("k")), cv = TextArg(Value());
                hr = object->DeleteDBRecord(table, cc, cv, &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
                break;
            }
            case 6: {
                const Arg table = TextArg(), cc = TextArg(OLESTR("a")), cv = TextArg(Value());
                hr = object->GetDBRecordSet(table, cc, cv, AnObject(), &found);
                EXPECT_TRUE(found == VARIANT_TRUE || found == VARIANT_FALSE) << found;
                break;
            }
            case 7: {
                const Arg file(FileName()), table = TextArg(), columns = TextArg(OLESTR("k,a"));
                hr = object->CreateDbFile(file, table, columns, &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
                break;
            }
            case 8: hr = object->BeginTransation(); break;
            case 9: hr = object->CommitTransation(); break;
            case 10: {
                // Mostly another table, now and then the whole current file.
                // A drop waits up to a minute for the lock of a transaction
                // that has written, so it runs outside one.
                object->CommitTransation();
                const Arg file(random() % 3 ? WString() : FileName()),
                    table = random() % 8 ? TextArg(random() % 4 ? OLESTR("Other") : OLESTR("T")) : Arg(WString());
                hr = object->DropTable(file.Get(), table.Get(), &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1 || outcome == 77) << outcome;
                break;
            }
            default: {
                // Reading back whatever the last query left.
                LONG count = -1;
                EXPECT_EQ(set->GetRecordCount(&count), S_OK);
                VARIANT_BOOL ok = VARIANT_FALSE;
                const LONG index = count > 0 ? static_cast<LONG>(random() % static_cast<unsigned>(count)) : -1;
                EXPECT_EQ(set->GetRecordItem(index, AnObject(), &ok), S_OK);
                const Arg field = TextArg(OLESTR("a"));
                BSTR value = nullptr;
                EXPECT_EQ(item->GetDataValue(field, &value), S_OK);
                SysFreeString(value);
                break;
            }
        }
        EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << "method " << method << ": 0x" << std::hex << hr;
        // Nothing fails in silence: every 0, false or S_FALSE comes with a line.
        if (hr == S_FALSE || outcome == 0 || found == VARIANT_FALSE) {
            EXPECT_GT(sink.Logs().size(), linesBefore) << "method " << method << " failed without a line";
        }
    }
    for (const WString& line : sink.Logs()) {
        EXPECT_EQ(line.rfind(OLESTR("ZeveVevuVAD64--"), 0), 0u) << FacadeFixture::Narrow(line);
    }

    // The same object still stores and reads a table in a file of its own.
    object->CommitTransation();
    Arg file(StarFile("after.db")), table(OLESTR("After")), columns(OLESTR("k,v")), values(OLESTR("1,one"));
    EXPECT_EQ(object->CreateDbFile(file.Get(), table.Get(), columns.Get(), &ret), S_OK);
    EXPECT_EQ(ret, 1);
    EXPECT_EQ(object->InsertDBRecord(table.Get(), columns.Get(), values.Get(), &ret), S_OK);
    EXPECT_EQ(ret, 1);
    ComPtr<IRecordSet> result;
    ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IRecordSet, result.ReceiveVoid()), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(object->GetDBRecordSet(table.Get(), nullptr, nullptr, result.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    LONG count = 0;
    result->GetRecordCount(&count);
    EXPECT_EQ(count, 1);
}

// Each argument of each method in turn gets each hostile text while the
// others stay well-formed. An argument ends at its first NUL, as the
// methods read their texts; a lone surrogate never joins the text around
// it into SQL; a megabyte reaches SQLite, the registry and the file system
// and comes back as a failure, never as a crash.
TEST_F(CZeveVevuVADInputTest, EveryArgumentTakesSurrogatesNulsAndMegabytes) {
    // A megabyte: quotes to double, ending in a lone surrogate.
    WString megabyte;
    for (int i = 0; i < (1 << 19); ++i) megabyte += OLESTR("a'");
    megabyte.back() = OLECHAR(0xD800);
    const std::pair<const char*, WString> hostile[] = {
        {"lone high surrogate at the end", OLESTR("x") + WString(1, OLECHAR(0xD800))},
        {"lone low surrogate", OLESTR("x") + WString(1, OLECHAR(0xDC00)) + OLESTR(", OR 1=1 --")},
        {"high surrogate before a quote",
         OLESTR("x") + WString(1, OLECHAR(0xD800)) + OLESTR("~,(SELECT group_concat(name) FROM sqlite_master))--||~")},
        {"embedded NUL", OLESTR("T") + WString(1, OLECHAR(0)) + OLESTR("'); DROP TABLE Keep; --")},
        {"megabyte", megabyte},
    };

    // A file with the table the calls aim at and two they must not touch.
    const fs::path model = dir / "model.db", file = dir / "fuzz.db";
    {
        LONG ret = 0;
        for (const OLECHAR* table : {OLESTR("T"), OLESTR("Keep"), OLESTR("Other")}) {
            Arg name(StarFile("model.db")), tableArg{WString(table)}, columns(OLESTR("k,a"));
            ASSERT_EQ(object->CreateDbFile(name.Get(), tableArg.Get(), columns.Get(), &ret), S_OK);
            ASSERT_EQ(ret, 1);
        }
        Arg keep(OLESTR("Keep")), columns(OLESTR("k,a")), row(OLESTR("1,it's kept")), t(OLESTR("T")), x(OLESTR("1,x"));
        object->InsertDBRecord(keep.Get(), columns.Get(), row.Get(), &ret);
        object->InsertDBRecord(t.Get(), columns.Get(), x.Get(), &ret);
        std::ofstream(dir / "rows.txt", std::ios::binary) << "'7'|#|'seven';";
    }

    using Args = const std::vector<BSTR>&;
    using Call = std::function<HRESULT(IZeveVevuVAD&, Args, LONG&)>;
    struct Method {
        const char* name;
        std::vector<WString> args;  // well-formed
        int tableArg;               // the argument naming the table of the file it may change; -1: none
        Call call;
    };
    ComPtr<IRecordSet> result;
    ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IRecordSet, result.ReceiveVoid()), S_OK);
    const Method methods[] = {
        {"Connect", {OLESTR("local"), OLESTR("Sys")}, -1,
         [](IZeveVevuVAD& o, Args a, LONG& out) { return o.Connect(a[0], a[1], &out); }},
        // The import writes the default file, never the one under test.
        {"ImportDbFile", {HostFile("rows.txt"), OLESTR("T"), OLESTR("k,a"), OLESTR(";"), OLESTR("|#|")}, -1,
         [](IZeveVevuVAD& o, Args a, LONG& out) { return o.ImportDbFile(a[0], a[1], a[2], a[3], a[4], &out); }},
        {"InsertDBRecord", {OLESTR("T"), OLESTR("k,a"), OLESTR("2,y")}, 0,
         [](IZeveVevuVAD& o, Args a, LONG& out) { return o.InsertDBRecord(a[0], a[1], a[2], &out); }},
        {"UpdateDBRecord", {OLESTR("T"), OLESTR("k"), OLESTR("1"), OLESTR("a"), OLESTR("z")}, 0,
         [](IZeveVevuVAD& o, Args a, LONG& out) { return o.UpdateDBRecord(a[0], a[1], a[2], a[3], a[4], &out); }},
        {"DeleteDBRecord", {OLESTR("T"), OLESTR("k"), OLESTR("1")}, 0,
         [](IZeveVevuVAD& o, Args a, LONG& out) { return o.DeleteDBRecord(a[0], a[1], a[2], &out); }},
        {"GetDBRecordSet", {OLESTR("T"), OLESTR("a"), OLESTR("x")}, -1,
         [&](IZeveVevuVAD& o, Args a, LONG& out) {
             VARIANT_BOOL found = 77;
             const HRESULT hr = o.GetDBRecordSet(a[0], a[1], a[2], result.Get(), &found);
             out = found == VARIANT_TRUE ? 1 : found == VARIANT_FALSE ? 0 : 77;
             return hr;
         }},
        {"CreateDbFile", {StarFile("fuzz.db"), OLESTR("T"), OLESTR("k,a")}, 1,
         [](IZeveVevuVAD& o, Args a, LONG& out) { return o.CreateDbFile(a[0], a[1], a[2], &out); }},
        {"DropTable", {OLESTR(""), OLESTR("Other")}, 1,
         [](IZeveVevuVAD& o, Args a, LONG& out) { out = 0; return o.DropTable(a[0], a[1], &out); }},
    };

    for (const Method& method : methods) {
        for (size_t position = 0; position < method.args.size(); ++position) {
            for (const auto& [what, text] : hostile) {
                SCOPED_TRACE(std::string(method.name) + " argument " + std::to_string(position) + ": " + what);
                // Removed first: mingw's copy_file refuses to overwrite.
                fs::remove(file);
                fs::copy_file(model, file);
                const bool isDrop = std::string(method.name) == "DropTable";
                // A file that an earlier case made under a hostile name would
                // otherwise be the one a drop acts on.
                if (isDrop) fs::remove_all(DefaultDataFolder());
                // A fresh object on the file under test for every call.
                EventSink logs;
                ComPtr<IConnectionPoint> events;
                DWORD logCookie = 0;
                const ComPtr<IZeveVevuVAD> fresh = NewObject(logs, events, logCookie);
                ASSERT_TRUE(fresh);
                LONG ret = 0;
                Arg name(StarFile("fuzz.db")), table(OLESTR("T")), columns(OLESTR("k,a"));
                ASSERT_EQ(fresh->CreateDbFile(name.Get(), table.Get(), columns.Get(), &ret), S_OK);
                const auto before = TablesOf(file);

                std::vector<WString> texts = method.args;
                texts[position] = text;
                std::vector<std::unique_ptr<Arg>> args;
                std::vector<BSTR> bstrs;
                for (const WString& t : texts) bstrs.push_back(args.emplace_back(std::make_unique<Arg>(t))->Get());
                LONG outcome = 77;
                const HRESULT hr = method.call(*fresh.Get(), bstrs, outcome);

                // Each text as the method reads it: up to its first NUL.
                std::vector<WString> read;
                for (const WString& t : texts) read.push_back(t.substr(0, t.find(OLECHAR(0))));
                std::string named;
                if (method.tableArg >= 0) {
                    const WString& t = read[size_t(method.tableArg)];
                    named = FacadeFixture::Narrow(t.substr(0, t.find(OLECHAR('|'))));
                }
                EXPECT_EQ(hr, isDrop && !before.contains(named) ? S_FALSE : S_OK);
                if (std::string(method.name) == "Connect")
                    EXPECT_TRUE(outcome == 1 || outcome == 2) << outcome;
                else
                    EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;

                auto after = TablesOf(file);
                for (const auto& [tableName, rows] : before) {
                    if (tableName == named) continue;
                    EXPECT_EQ(after[tableName], rows) << tableName;
                }
                for (const auto& [tableName, rows] : after)
                    EXPECT_TRUE(tableName == named || before.contains(tableName)) << tableName.substr(0, 80);
                for (const WString& line : logs.Logs())
                    EXPECT_EQ(line.rfind(OLESTR("ZeveVevuVAD64--"), 0), 0u) << FacadeFixture::Narrow(line.substr(0, 80));
                events->Unadvise(logCookie);
            }
        }
    }

    // The result objects take the same texts.
    ComPtr<IRecordItem> row;
    ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, row.ReceiveVoid()), S_OK);
    for (const auto& [what, text] : hostile) {
        SCOPED_TRACE(what);
        Arg arg(text);
        VARIANT_BOOL ok = VARIANT_FALSE;
        BSTR value = nullptr;
        EXPECT_EQ(result->SetColumnName(arg.Get()), S_OK);
        EXPECT_EQ(result->SetRecordItem(arg.Get()), S_OK);
        EXPECT_EQ(result->GetRecordItem(0, row.Get(), &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE);
        EXPECT_EQ(row->GetDataValue(arg.Get(), &value), S_OK);
        SysFreeString(value);
        EXPECT_EQ(row->SetDataValue(arg.Get(), arg.Get()), S_OK);
    }
}

}  // namespace
