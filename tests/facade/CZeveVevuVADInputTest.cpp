// Hostile input through the component object's method table: a long seeded
// run of every method with null, empty, malformed, oversized and
// SQL-breaking texts and wrong objects. Every call must return, with an
// HRESULT of S_OK or S_FALSE, an outcome in its documented range, and only
// prefixed log lines; afterwards the same object still stores and reads a
// table. Under the sanitizer build this also proves the calls clean.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "EventSink.h"
#include "FacadeFixture.h"
#include "com/ComPtr.h"
#include "com/Creator.h"
#include "facade/CZeveVevuVAD.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"

namespace fs = std::filesystem;

namespace {

// A BSTR argument that may be null; freed at scope end.
class Arg {
public:
    Arg() = default;
    explicit Arg(const WString& text) : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Arg() { SysFreeString(bstr_); }
    Arg(const Arg&) = delete;
    Arg& operator=(const Arg&) = delete;
    BSTR Get() const { return bstr_; }

private:
    BSTR bstr_ = nullptr;
};

class CZeveVevuVADInputTest : public FacadeFixture {
protected:
    void SetUp() override {
        FacadeFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_EQ(Creator<CZeveVevuVAD>::CreateInstance(nullptr, IID_IZeveVevuVAD, object.ReceiveVoid()), S_OK);
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(object->QueryInterface(IID_IConnectionPointContainer, container.ReceiveVoid()), S_OK);
        ASSERT_EQ(container->FindConnectionPoint(DIID__IZeveVevuVADEvents, point.Receive()), S_OK);
        ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
        // A missing file is rebuilt after a pause; the run does not wait.
        static_cast<CZeveVevuVAD*>(object.Get())->Facade().SetPause([](DWORD) {});
        ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IRecordSet, set.ReceiveVoid()), S_OK);
        ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, item.ReceiveVoid()), S_OK);
    }
    void TearDown() override {
        if (point && cookie != 0) point->Unadvise(cookie);
        point.Reset();
        object.Reset();
        set.Reset();
        item.Reset();
        FacadeFixture::TearDown();
    }

    // Pieces that the statement, list and row formats treat specially.
    WString RandomText() {
        static const std::vector<WString> pieces = {
            OLESTR("a"),    OLESTR("T"),     OLESTR("k"),    OLESTR(","),   OLESTR("'"),        OLESTR("''"),
            OLESTR("|#|"),  OLESTR("||"),    OLESTR(";"),    OLESTR("#"),   OLESTR("|"),        OLESTR(" "),
            OLESTR("%"),    OLESTR("\""),    OLESTR("("),    OLESTR(")"),   OLESTR("--"),       OLESTR("/*"),
            OLESTR("\r\n"), OLESTR("\\"),    OLESTR("NULL"), OLESTR("="),   OLESTR("x'41'"),    OLESTR("1e5"),
            OLESTR("-0"),   OLESTR("\u00e9"), OLESTR("\u4e2d"), WString(1, OLECHAR(0xD800)), WString(1, OLECHAR(0)),
            OLESTR("SELECT"), OLESTR("k,a"), OLESTR("1,2"), OLESTR("k=1"),
        };
        WString text;
        const int count = static_cast<int>(random() % 10);
        for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
        if (random() % 60 == 0) text += WString(70000, OLECHAR('a' + random() % 26));
        return text;
    }
    // A text argument: null (isNull), empty, often the given well-formed
    // text, or random.
    WString Text(bool& isNull, const WString& wellFormed = OLESTR("T")) {
        isNull = false;
        switch (random() % 9) {
            case 0: isNull = true; return WString();
            case 1: return WString();
            case 2: case 3: case 4: case 5: case 6: return wellFormed;
            default: return RandomText();
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
    // of random rows written just now.
    WString ImportPath() {
        switch (random() % 5) {
            case 0: return WString();
            case 1: return HostFile("missing.txt");
            case 2: return HostFile("");
            default: {
                std::ofstream out(dir / "import.txt", std::ios::binary);
                // Rows of two quoted literals, now and then a random one.
                for (int row = static_cast<int>(random() % 20); row > 0; --row) {
                    WString text = RandomText();
                    if (random() % 4 != 0) {
                        WString pair;
                        for (WString value : {Value(), Value()}) {
                            for (size_t at = value.find(OLECHAR('\'')); at != WString::npos;
                                 at = value.find(OLECHAR('\''), at + 2))
                                value.insert(at, 1, OLECHAR('\''));
                            pair += (pair.empty() ? OLESTR("'") : OLESTR("|#|'")) + value + OLESTR("'");
                        }
                        text = pair;
                    }
                    out << FacadeFixture::Narrow(text) << (random() % 2 ? ";" : ";\r\n");
                }
                return HostFile("import.txt");
            }
        }
    }
    IDispatch* AnObject() {
        switch (random() % 4) {
            case 0: return nullptr;
            case 1: return set.Get();
            case 2: return item.Get();
            default: return object.Get();
        }
    }

    std::mt19937 random{20261205};
    EventSink sink;
    DWORD cookie = 0;
    ComPtr<IZeveVevuVAD> object;
    ComPtr<IConnectionPoint> point;
    ComPtr<IRecordSet> set;
    ComPtr<IRecordItem> item;
};

TEST_F(CZeveVevuVADInputTest, EveryMethodSurvivesHostileArgumentsAndTheObjectStillWorks) {
    // A table to aim at, so that some calls reach SQLite with their texts.
    LONG ret = 0;
    {
        Arg file(OLESTR("fuzz")), table(OLESTR("T")), columns(OLESTR("k,a"));
        ASSERT_EQ(object->CreateDbFile(file.Get(), table.Get(), columns.Get(), &ret), S_OK);
        ASSERT_EQ(ret, 1);
    }
    bool n[5] = {};
    for (int call = 0; call < 400; ++call) {
        SCOPED_TRACE(call);
        LONG outcome = 77;
        VARIANT_BOOL found = 77;
        HRESULT hr = S_OK;
        const int method = static_cast<int>(random() % 12);
        switch (method) {
            case 0: {
                // Hosts that keep the data folder inside the test's own folders.
                const WString hosts[] = {WString(), OLESTR("local"), HostFile("inst") + OLESTR("\\")};
                const WString host = hosts[random() % 3];
                const WString system = Text(n[0]);
                Arg a(host), b(system);
                hr = object->Connect(random() % 4 ? a.Get() : nullptr, n[0] ? nullptr : b.Get(), &outcome);
                EXPECT_TRUE(outcome == 1 || outcome == 2) << outcome;
                break;
            }
            case 1: hr = object->Disconnect(); break;
            case 2: {
                Arg path(ImportPath()), table(Text(n[0])), columns(Text(n[1], OLESTR("k,a"))), rows(Text(n[2], OLESTR(";"))),
                    cols(Text(n[3], OLESTR("|#|")));
                hr = object->ImportDbFile(path.Get(), n[0] ? nullptr : table.Get(), n[1] ? nullptr : columns.Get(),
                                          n[2] ? nullptr : rows.Get(), n[3] ? nullptr : cols.Get(), &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
                break;
            }
            case 3: {
                Arg table(Text(n[0])), columns(Text(n[1], OLESTR("k,a"))), values(Text(n[2], Value() + OLESTR(",") + Value()));
                hr = object->InsertDBRecord(n[0] ? nullptr : table.Get(), n[1] ? nullptr : columns.Get(),
                                            n[2] ? nullptr : values.Get(), &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
                break;
            }
            case 4: {
                Arg table(Text(n[0])), cc(Text(n[1], OLESTR("k"))), cv(Text(n[2], Value())), nc(Text(n[3], OLESTR("a"))),
                    nv(Text(n[4], Value()));
                hr = object->UpdateDBRecord(n[0] ? nullptr : table.Get(), n[1] ? nullptr : cc.Get(),
                                            n[2] ? nullptr : cv.Get(), n[3] ? nullptr : nc.Get(),
                                            n[4] ? nullptr : nv.Get(), &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
                break;
            }
            case 5: {
                Arg table(Text(n[0])), cc(Text(n[1], OLESTR("k"))), cv(Text(n[2], Value()));
                hr = object->DeleteDBRecord(n[0] ? nullptr : table.Get(), n[1] ? nullptr : cc.Get(),
                                            n[2] ? nullptr : cv.Get(), &outcome);
                EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
                break;
            }
            case 6: {
                Arg table(Text(n[0])), cc(Text(n[1], OLESTR("a"))), cv(Text(n[2], Value()));
                hr = object->GetDBRecordSet(n[0] ? nullptr : table.Get(), n[1] ? nullptr : cc.Get(),
                                            n[2] ? nullptr : cv.Get(), AnObject(), &found);
                EXPECT_TRUE(found == VARIANT_TRUE || found == VARIANT_FALSE) << found;
                break;
            }
            case 7: {
                Arg file(FileName()), table(Text(n[0])), columns(Text(n[1], OLESTR("k,a")));
                hr = object->CreateDbFile(file.Get(), n[0] ? nullptr : table.Get(), n[1] ? nullptr : columns.Get(),
                                          &outcome);
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
                Arg file(random() % 3 ? WString() : FileName()),
                    table(random() % 8 ? Text(n[0], random() % 4 ? OLESTR("Other") : OLESTR("T")) : WString());
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
                Arg field(Text(n[0], OLESTR("a")));
                BSTR value = nullptr;
                EXPECT_EQ(item->GetDataValue(n[0] ? nullptr : field.Get(), &value), S_OK);
                SysFreeString(value);
                break;
            }
        }
        EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << "method " << method << ": 0x" << std::hex << hr;
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

}  // namespace
