// RecordItem: the two split rules, positional all-or-nothing pairing, exact
// name lookup, reloads, and atomic reloads under concurrent reads.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <optional>
#include <thread>

#include "com/Creator.h"
#include "results/CRecordItem.h"
#include "results/IRowLoader.h"
#include "ResultsTestSupport.h"

namespace {

using Expected = std::map<std::string, std::optional<std::string>>;  // nullopt: no such field

class CRecordItemTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, item_.ReceiveVoid()), S_OK);
    }
    void Load(const std::string& names, const std::string& row) {
        EXPECT_EQ(item_->SetDataValue(ResultsTestSupport::Bstr(names).Get(), ResultsTestSupport::Bstr(row).Get()),
                  S_OK);
    }
    std::optional<std::string> Get(const std::string& field) {
        ComBstr value;
        EXPECT_EQ(item_->GetDataValue(ResultsTestSupport::Bstr(field).Get(), value.Receive()), S_OK);
        return ResultsTestSupport::Text(value.Get());
    }
    void Check(const Expected& expected) {
        for (const auto& [field, value] : expected) {
            EXPECT_EQ(Get(field), value) << "field '" << field << "'";
        }
    }

    ComPtr<IRecordItem> item_;
};

TEST_F(CRecordItemTest, SetDataValuePairsNamesWithValues) {
    const std::optional<std::string> none;
    struct Case { const char* names; const char* row; Expected expected; } const cases[] = {
        {"a,b,c", "1|#|x|#|2.5", {{"a", "1"}, {"b", "x"}, {"c", "2.5"}}},
        {"a,b", "1|#|", {{"a", "1"}, {"b", ""}}},           // trailing "|#|": an empty last value
        {"a", "", {{"a", ""}}},                              // empty row: one empty value
        {"a,b", "1", {{"a", none}, {"b", none}}},            // counts differ: no fields
        {"a,a", "1|#|2", {{"a", "2"}}},                      // the last of a repeated name wins
        {"a,b", "x,y|#|z", {{"a", "x,y"}, {"b", "z"}}},      // commas inside values are harmless
        {"a,b,", "1|#|2", {{"a", "1"}, {"b", "2"}}},         // trailing ",": no empty name
        {"a,b", "1|#|2|#|", {{"a", none}, {"b", none}}},     // but a trailing "|#|" adds a value
        {"a,,b", "1|#|2|#|3", {{"a", "1"}, {"", "2"}, {"b", "3"}}},
        {",", "v", {{"", "v"}}},
        {"", "", {{"", none}}},                              // no names, one value
        {"a", "x|#|y", {{"a", none}}},                       // a value holding "|#|" splits
        {"a,b", "1|#|#|2", {{"a", "1"}, {"b", "#|2"}}},      // the scan resumes after "|#|"
        {"a,b", "x|y|#|z|", {{"a", "x|y"}, {"b", "z|"}}},    // a lone "|" stays in its value
        {"Name", "v", {{"Name", "v"}, {"name", none}, {"Name ", none}}},  // exact names
        {"a,b,c,d,e,f,g,h,i,a", "0|#|1|#|2|#|3|#|4|#|5|#|6|#|7|#|8|#|9",  // more names than are scanned
         {{"a", "9"}, {"b", "1"}, {"i", "8"}, {"j", none}}},
    };
    // The same pairing whichever way the row arrives: SetDataValue, or this
    // module's RecordSet handing over its stored text, narrow or wide.
    ComPtr<IRowLoader> loader;
    ASSERT_EQ(item_.QueryInterface(IID_IRowLoader, loader), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.names) + " / " + c.row);
        Load(c.names, c.row);
        Check(c.expected);
        const std::string names = c.names;
        const WString wideNames(names.begin(), names.end());
        const std::string row = c.row;
        const WString wideRow(row.begin(), row.end());
        for (const BOOL narrow : {TRUE, FALSE}) {
            SCOPED_TRACE(narrow ? "narrow row" : "wide row");
            Load("z", "stale");
            const void* data = narrow ? static_cast<const void*>(row.data()) : wideRow.data();
            EXPECT_EQ(loader->LoadRow(wideNames.data(), static_cast<UINT>(wideNames.size()), data,
                                      static_cast<UINT>(row.size()), narrow),
                      S_OK);
            Check(c.expected);
            EXPECT_EQ(Get("z"), std::nullopt);
        }
    }
}

TEST_F(CRecordItemTest, EveryLoadReplacesTheWholeFieldSet) {
    EXPECT_EQ(Get("a"), std::nullopt);  // a new item holds nothing
    Load("a,b", "1|#|2");
    Load("a,b", "3|#|4");  // same names, next row
    Check({{"a", "3"}, {"b", "4"}});
    Load("a,b", "5");  // does not pair: empties the item
    Check({{"a", std::nullopt}, {"b", std::nullopt}});
    Load("x,b", "7|#|8");  // new names
    Check({{"a", std::nullopt}, {"x", "7"}, {"b", "8"}});
    Load("a,b", "9|#|10");  // back to the earlier names
    Check({{"a", "9"}, {"x", std::nullopt}});
}

TEST_F(CRecordItemTest, NullArgumentsReadAsEmptyText) {
    EXPECT_EQ(item_->SetDataValue(ResultsTestSupport::Bstr("a").Get(), nullptr), S_OK);
    EXPECT_EQ(Get("a"), "");
    EXPECT_EQ(item_->SetDataValue(nullptr, nullptr), S_OK);  // no names, one value
    EXPECT_EQ(Get("a"), std::nullopt);
    EXPECT_EQ(item_->SetDataValue(ResultsTestSupport::Bstr(",b").Get(), ResultsTestSupport::Bstr("1|#|2").Get()),
              S_OK);
    BSTR value = nullptr;
    EXPECT_EQ(item_->GetDataValue(nullptr, &value), S_OK);  // the empty name
    EXPECT_EQ(ResultsTestSupport::Text(value), "1");
    SysFreeString(value);
    EXPECT_EQ(item_->GetDataValue(ResultsTestSupport::Bstr("b").Get(), nullptr), S_OK);
}

TEST_F(CRecordItemTest, ReadersNeverSeeAHalfLoadedRow) {
    const ComBstr names = ResultsTestSupport::Bstr("a,b"), fieldA = ResultsTestSupport::Bstr("a"),
                  fieldB = ResultsTestSupport::Bstr("b");
    const ComBstr rows[2] = {ResultsTestSupport::Bstr("1|#|1"), ResultsTestSupport::Bstr("2|#|2")};
    item_->SetDataValue(names.Get(), rows[0].Get());
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) item_->SetDataValue(names.Get(), rows[i % 2].Get());
    });
    int torn = 0;
    for (int i = 0; i < 20000; ++i) {
        ComBstr a, b;
        item_->GetDataValue(fieldA.Get(), a.Receive());
        item_->GetDataValue(fieldB.Get(), b.Receive());
        const std::optional<std::string> text = ResultsTestSupport::Text(a.Get());
        if ((text != "1" && text != "2") || b.Get() == nullptr) ++torn;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(torn, 0);
}

}  // namespace
