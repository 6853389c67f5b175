// RecordSet: row storage, handing rows to items, refills, and late binding.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "com/Creator.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"
#include "ResultsTestSupport.h"

namespace {

// An item that records what it was loaded with.
class RecordingItem : public IRecordItem {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IRecordItem)) {
            *ppv = static_cast<IRecordItem*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    virtual ~RecordingItem() = default;
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDataValue(BSTR, BSTR* pVal) override {
        *pVal = nullptr;
        return S_OK;
    }
    STDMETHODIMP SetDataValue(BSTR Name, BSTR Value) override {
        loads.push_back({ResultsTestSupport::Text(Name), ResultsTestSupport::Text(Value)});
        return result;
    }

    struct Load {
        std::optional<std::string> names;
        std::optional<std::string> row;
        bool operator==(const Load&) const = default;
    };
    std::vector<Load> loads;
    HRESULT result = S_OK;
    std::atomic<ULONG> refs{1};
};

// An item for several threads at once: it checks that every row arrives
// with the names of its own result (names "a<g>,b<g>", rows "<g>|#|<i>").
class GenerationCheckingItem final : public RecordingItem {
public:
    STDMETHODIMP SetDataValue(BSTR Name, BSTR Value) override {
        const std::string names = ResultsTestSupport::Text(Name).value_or("");
        const std::string row = ResultsTestSupport::Text(Value).value_or("");
        const std::string namesGeneration = names.empty() ? "?" : names.substr(1, names.find(',') - 1);
        const std::string rowGeneration = row.substr(0, row.find('|'));
        ++(namesGeneration == rowGeneration ? matched : torn);
        return S_OK;
    }
    std::atomic<int> matched{0};
    std::atomic<int> torn{0};
};

class CRecordSetTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IRecordSet, set_.ReceiveVoid()), S_OK);
    }
    LONG Count() {
        LONG count = -1;
        EXPECT_EQ(set_->GetRecordCount(&count), S_OK);
        return count;
    }
    void Fill(const std::string& names, const std::vector<std::string>& rows) {
        EXPECT_EQ(set_->SetColumnName(ResultsTestSupport::Bstr(names).Get()), S_OK);
        for (const std::string& row : rows) {
            EXPECT_EQ(set_->SetRecordItem(ResultsTestSupport::Bstr(row).Get()), S_OK);
        }
    }
    VARIANT_BOOL Hand(LONG index, IDispatch* item) {
        VARIANT_BOOL succeeded = 5;
        EXPECT_EQ(set_->GetRecordItem(index, item, &succeeded), S_OK);
        return succeeded;
    }

    ComPtr<IRecordSet> set_;
    RecordingItem recorder_;
};

TEST_F(CRecordSetTest, NewSetIsEmptyAndNullOutPointersStillDoTheWork) {
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Hand(0, &recorder_), VARIANT_FALSE);
    EXPECT_TRUE(recorder_.loads.empty());
    Fill("a", {"x"});
    EXPECT_EQ(set_->GetRecordCount(nullptr), S_OK);
    // The row is handed over; only the outcome is dropped.
    EXPECT_EQ(set_->GetRecordItem(0, &recorder_, nullptr), S_OK);
    EXPECT_EQ(set_->GetRecordItem(1, &recorder_, nullptr), S_OK);
    const std::vector<RecordingItem::Load> expected = {{"a", "x"}};
    EXPECT_EQ(recorder_.loads, expected);
}

TEST_F(CRecordSetTest, GetRecordItemHandsTheRowTextsOverVerbatim) {
    Fill("a,b", {"1|#|2", "3|#|", ""});
    EXPECT_EQ(Count(), 3);
    for (LONG i = 0; i < 3; ++i) {
        EXPECT_EQ(Hand(i, &recorder_), VARIANT_TRUE);
    }
    const std::vector<RecordingItem::Load> expected = {
        {"a,b", "1|#|2"}, {"a,b", "3|#|"}, {"a,b", ""}};  // a trailing "|#|" is kept
    EXPECT_EQ(recorder_.loads, expected);
    EXPECT_EQ(recorder_.refs.load(), 1u);
    recorder_.result = E_FAIL;  // the item's failure still counts as handed over
    EXPECT_EQ(Hand(0, &recorder_), VARIANT_TRUE);
}

TEST_F(CRecordSetTest, GetRecordItemRefusals) {
    Fill("a", {"x", "y"});
    ComPtr<IDispatch> otherClass;  // a RecordSet does not answer IRecordItem
    ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IDispatch, otherClass.ReceiveVoid()), S_OK);
    struct Case { const char* what; LONG index; IDispatch* item; } const cases[] = {
        {"index -1", -1, &recorder_},
        {"index == count", 2, &recorder_},
        {"large index", 0x7FFFFFFF, &recorder_},
        {"null item", 0, nullptr},
        {"object of another class", 0, otherClass.Get()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Hand(c.index, c.item), VARIANT_FALSE);
    }
    EXPECT_TRUE(recorder_.loads.empty());
    EXPECT_EQ(recorder_.refs.load(), 1u);
}

// An outer object that aggregates a RecordItem and hands out its interfaces.
class ItemAggregate final : public IUnknown {
public:
    ItemAggregate() { created = Creator<CRecordItem>::CreateInstance(this, IID_IUnknown, inner_.ReceiveVoid()); }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner_->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    HRESULT created = E_FAIL;
    std::atomic<ULONG> refs{1};

private:
    ComPtr<IUnknown> inner_;
};

// The set recognises its own plain item without a call; an item inside an
// aggregate, or any other object, is asked through QueryInterface. Either
// way this module's item gets the row and every reference is given back.
TEST_F(CRecordSetTest, GetRecordItemLoadsThisModulesItemPlainOrAggregated) {
    Fill("a,b", {"1|#|2"});
    ComPtr<IDispatch> plain;
    ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IDispatch, plain.ReceiveVoid()), S_OK);
    ItemAggregate aggregate;
    ASSERT_EQ(aggregate.created, S_OK);
    ComPtr<IDispatch> contained;
    ASSERT_EQ(aggregate.QueryInterface(IID_IDispatch, contained.ReceiveVoid()), S_OK);
    ComPtr<IDispatch> set;
    ASSERT_EQ(set_.QueryInterface(IID_IDispatch, set), S_OK);

    EXPECT_NE(CRecordItem::FromDispatch(plain.Get()), nullptr);
    for (IDispatch* other : {contained.Get(), static_cast<IDispatch*>(&recorder_), set.Get(),
                             static_cast<IDispatch*>(nullptr)})
        EXPECT_EQ(CRecordItem::FromDispatch(other), nullptr);

    const ULONG aggregateRefs = aggregate.refs.load();
    for (IDispatch* item : {plain.Get(), contained.Get()}) {
        EXPECT_EQ(Hand(0, item), VARIANT_TRUE);
        ComPtr<IRecordItem> reader;
        ASSERT_EQ(item->QueryInterface(IID_IRecordItem, reader.ReceiveVoid()), S_OK);
        ComBstr value;
        EXPECT_EQ(reader->GetDataValue(ResultsTestSupport::Bstr("b").Get(), value.Receive()), S_OK);
        EXPECT_EQ(ResultsTestSupport::Text(value.Get()), "2");
    }
    EXPECT_EQ(plain->AddRef(), 2u);
    EXPECT_EQ(plain->Release(), 1u);
    EXPECT_EQ(aggregate.refs.load(), aggregateRefs);
}

// Rows before any column names pair with the empty name text; new names
// start a new result.
TEST_F(CRecordSetTest, SetColumnNameStartsANewResult) {
    EXPECT_EQ(set_->SetRecordItem(ResultsTestSupport::Bstr("v").Get()), S_OK);
    EXPECT_EQ(set_->SetRecordItem(nullptr), S_OK);  // a null row reads as empty text
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(Hand(1, &recorder_), VARIANT_TRUE);
    Fill("x", {"9"});
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Hand(0, &recorder_), VARIANT_TRUE);
    EXPECT_EQ(Hand(1, &recorder_), VARIANT_FALSE);
    const std::vector<RecordingItem::Load> expected = {{"", ""}, {"x", "9"}};
    EXPECT_EQ(recorder_.loads, expected);
}

TEST_F(CRecordSetTest, ConcurrentCallsNeitherCrashNorTearRows) {
    // Appenders alone: every row of every thread is kept, once.
    constexpr int kThreads = 4;
    constexpr int kRows = 2000;
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kRows; ++i) {
                    set_->SetRecordItem(ResultsTestSupport::Bstr(std::to_string(t * kRows + i)).Get());
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
    ASSERT_EQ(Count(), kThreads * kRows);
    for (LONG i = 0; i < kThreads * kRows; ++i) Hand(i, &recorder_);
    std::set<std::string> rows;
    for (const RecordingItem::Load& load : recorder_.loads) rows.insert(load.row.value_or("?"));
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(kThreads * kRows));

    // One thread refills the set again and again while others count and
    // read rows into a checking item and into one shared real item.
    set_->SetColumnName(ResultsTestSupport::Bstr("a0,b0").Get());
    GenerationCheckingItem checker;
    ComPtr<IRecordItem> shared;
    ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, shared.ReceiveVoid()), S_OK);
    std::atomic<bool> done{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&, t] {
            ComBstr field = ResultsTestSupport::Bstr("b1");
            for (unsigned step = 0; !done.load(); ++step) {
                LONG count = 0;
                set_->GetRecordCount(&count);
                const LONG index = count > 0 ? static_cast<LONG>(step * 7919u % static_cast<unsigned>(count)) : 0;
                VARIANT_BOOL ok = VARIANT_FALSE;
                set_->GetRecordItem(index, t == 0 ? static_cast<IDispatch*>(shared.Get()) : &checker, &ok);
                ComBstr value;
                shared->GetDataValue(field.Get(), value.Receive());
            }
        });
    }
    // At least 200 results, and on until the readers have read rows (on a
    // busy machine they may start late); bounded all the same.
    for (int g = 1; g <= 200 || (checker.matched.load() + checker.torn.load() < 200 && g <= 100000); ++g) {
        const std::string tag = std::to_string(g);
        set_->SetColumnName(ResultsTestSupport::Bstr("a" + tag + ",b" + tag).Get());
        for (int i = 0; i < 50; ++i) set_->SetRecordItem(ResultsTestSupport::Bstr(tag + "|#|" + std::to_string(i)).Get());
    }
    done = true;
    for (std::thread& thread : readers) thread.join();
    EXPECT_EQ(checker.torn.load(), 0);
    EXPECT_GT(checker.matched.load(), 0);
    EXPECT_EQ(checker.refs.load(), 1u);
    EXPECT_EQ(Count(), 50);
}

// Both result classes by name, with the argument types a script passes.
TEST_F(CRecordSetTest, LateBoundCallsByNameOnBothResultClasses) {
    ComPtr<IRecordItem> item;
    ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, item.ReceiveVoid()), S_OK);
    ComPtr<IDispatch> dispatch, itemDispatch;
    ASSERT_EQ(set_.QueryInterface(IID_IDispatch, dispatch), S_OK);
    ASSERT_EQ(item.QueryInterface(IID_IDispatch, itemDispatch), S_OK);
    using S = ResultsTestSupport;
    const ComBstr names = S::Bstr("a,b"), row = S::Bstr("1|#|2"), field = S::Bstr("b");
    ASSERT_EQ(S::Call(dispatch.Get(), OLESTR("setcolumnname"), {S::Arg(names.Get())}, nullptr), S_OK);
    ASSERT_EQ(S::Call(dispatch.Get(), OLESTR("SetRecordItem"), {S::Arg(row.Get())}, nullptr), S_OK);
    VARIANT result{};
    ASSERT_EQ(S::Call(dispatch.Get(), OLESTR("GETRECORDCOUNT"), {}, &result, DISPATCH_METHOD | DISPATCH_PROPERTYGET),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 1);
    // GetRecordItem(index as a small integer literal, item).
    for (SHORT index : {1, 0}) {
        VARIANT args[2] = {};
        args[0].vt = VT_I2;
        args[0].iVal = index;
        args[1].vt = VT_DISPATCH;
        args[1].pdispVal = itemDispatch.Get();
        ASSERT_EQ(S::Call(dispatch.Get(), OLESTR("getrecorditem"), {args[0], args[1]}, &result), S_OK);
        EXPECT_EQ(result.vt, VT_BOOL);
        EXPECT_EQ(result.boolVal, index == 0 ? VARIANT_TRUE : VARIANT_FALSE);
    }
    ASSERT_EQ(S::Call(itemDispatch.Get(), OLESTR("getDataValue"), {S::Arg(field.Get())}, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(S::Text(result.bstrVal), "2");
    VariantClear(&result);
    ASSERT_EQ(S::Call(itemDispatch.Get(), OLESTR("SetDataValue"), {S::Arg(field.Get()), S::Arg(names.Get())}, nullptr),
              S_OK);
    EXPECT_EQ(item->GetDataValue(field.Get(), &result.bstrVal), S_OK);
    EXPECT_EQ(S::Text(result.bstrVal), "a,b");
    SysFreeString(result.bstrVal);
}

}  // namespace
