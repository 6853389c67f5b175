// Random values written with InsertDBRecord come back unchanged through a
// RecordSet and a RecordItem, on both write paths (one connection per
// statement, and the transaction connection).
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "FacadeFixture.h"
#include "com/ComBstr.h"
#include "com/ComPtr.h"
#include "com/Creator.h"
#include "results/CRecordItem.h"
#include "results/CRecordSet.h"

namespace {
using DatabaseFacadeRoundTripTest = FacadeFixture;

const int kColumns = 4;
const OLECHAR kSeparator = 0x1F;  // the separator suffix; never inside a value

// A value of up to 12 units from an alphabet rich in the texts that the
// statement and row formats treat specially. Excluded, because the formats
// cannot carry them: a zero unit; the row separator "|#|"; "||", which marks
// the separator suffix of an insert; and a "|" or "#" next to a value
// boundary, which could join a neighbour's text into "||" or "|#|".
WString RandomValue(std::mt19937& random) {
    static const WString alphabet = OLESTR("ab Z09',%;\r\n\t\"|#*-_\\/()\u00e9\u4e2d\ufffd");
    for (;;) {
        WString value;
        const int length = static_cast<int>(random() % 13);
        for (int i = 0; i < length; ++i) {
            if (random() % 10 == 0) {
                // Outside the basic plane: a surrogate pair.
                const char32_t c = 0x10000 + random() % 0xFFFFF;
                value.push_back(static_cast<OLECHAR>(0xD800 + ((c - 0x10000) >> 10)));
                value.push_back(static_cast<OLECHAR>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                value.push_back(alphabet[random() % alphabet.size()]);
            }
        }
        const bool edge = !value.empty() && (value.front() == OLECHAR('|') || value.front() == OLECHAR('#') ||
                                             value.back() == OLECHAR('|') || value.back() == OLECHAR('#'));
        if (edge || value.find(OLESTR("||")) != WString::npos || value.find(OLESTR("|#")) != WString::npos ||
            value.find(OLESTR("#|")) != WString::npos)
            continue;
        return value;
    }
}

TEST_F(DatabaseFacadeRoundTripTest, RandomValuesComeBackUnchanged) {
    ASSERT_EQ(facade->CreateDbFile(StarFile("round.db"), OLESTR("T"), OLESTR("k,c0,c1,c2,c3")), 1);
    std::mt19937 random(20240611);
    std::map<WString, std::vector<WString>> written;
    const int kRows = 1200;
    const int kOutsideTransaction = 60;  // each of these opens the file anew
    for (int row = 0; row < kRows; ++row) {
        if (row == kOutsideTransaction) {
            ASSERT_EQ(facade->BeginTransation(), S_OK);
        }
        const WString key = OLESTR("k") + Wide(std::to_string(row));
        std::vector<WString> values;
        WString joined;
        for (int c = 0; c < kColumns; ++c) {
            values.push_back(RandomValue(random));
            joined += values.back() + kSeparator;
        }
        // The key goes last: a list that ends in its separator has no empty
        // last piece, so an empty value could not be the last one.
        joined += key + OLESTR("||") + kSeparator;
        ASSERT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("c0,c1,c2,c3,k"), joined), 1) << row;
        written[key] = values;
    }
    ASSERT_EQ(facade->CommitTransation(), S_OK);
    EXPECT_TRUE(log.lines.empty());

    ComPtr<IRecordSet> set;
    ComPtr<IRecordItem> item;
    ASSERT_EQ(Creator<CRecordSet>::CreateInstance(nullptr, IID_IRecordSet, set.ReceiveVoid()), S_OK);
    ASSERT_EQ(Creator<CRecordItem>::CreateInstance(nullptr, IID_IRecordItem, item.ReceiveVoid()), S_OK);
    ASSERT_TRUE(facade->GetDBRecordSet(OLESTR("T"), OLESTR(""), OLESTR(""), set.Get()));
    LONG count = 0;
    ASSERT_EQ(set->GetRecordCount(&count), S_OK);
    ASSERT_EQ(count, kRows);

    auto read = [&](const OLECHAR* field) {
        ComBstr name;
        name.Assign(WString(field));
        BSTR value = nullptr;
        EXPECT_EQ(item->GetDataValue(name.Get(), &value), S_OK);
        WString text = value ? WString(value, SysStringLen(value)) : WString(OLESTR("<null>"));
        SysFreeString(value);
        return text;
    };
    const OLECHAR* columns[kColumns] = {OLESTR("c0"), OLESTR("c1"), OLESTR("c2"), OLESTR("c3")};
    int mismatches = 0;
    for (LONG i = 0; i < count && mismatches < 5; ++i) {
        VARIANT_BOOL loaded = VARIANT_FALSE;
        ASSERT_EQ(set->GetRecordItem(i, item.Get(), &loaded), S_OK);
        ASSERT_EQ(loaded, VARIANT_TRUE);
        const auto found = written.find(read(OLESTR("k")));
        ASSERT_NE(found, written.end()) << "row " << i;
        for (int c = 0; c < kColumns; ++c) {
            const WString got = read(columns[c]);
            if (got != found->second[c]) {
                ++mismatches;
                ADD_FAILURE() << Narrow(found->first) << "." << Narrow(columns[c]) << ": wrote \""
                              << Narrow(found->second[c]) << "\" read \"" << Narrow(got) << "\"";
            }
        }
        written.erase(found);
    }
    EXPECT_TRUE(written.empty() || mismatches > 0);
}
}  // namespace
