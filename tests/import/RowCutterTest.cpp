#include "import/RowCutter.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "facade/ParamList.h"

namespace {
// Whatever way the text arrives in pieces, the rows are the list rule's
// pieces of the whole text (one row for an empty separator).
TEST(RowCutterTest, CutsLikeTheListRuleWhateverThePieces) {
    std::mt19937 random(7);
    const WString separators[] = {OLESTR(";"), OLESTR("ab"), OLESTR("aba"), OLESTR("\r\n"), OLESTR("")};
    for (int round = 0; round < 400; ++round) {
        const WString& separator = separators[round % 5];
        WString text;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) text.push_back(OLESTR("ab;\r\nx")[random() % 6]);
        std::vector<WString> expected;
        if (separator.empty()) {
            if (!text.empty()) expected.push_back(text);
        } else {
            expected = ParamList::SplitString(text, separator);
        }
        RowCutter cutter(separator);
        std::vector<WString> rows;
        RowCutter::View row;
        for (size_t at = 0; at < text.size();) {
            const size_t piece = std::min<size_t>(text.size() - at, random() % 5);
            cutter.Append(text.substr(at, piece));
            at += piece;
            while (cutter.Next(row)) rows.emplace_back(row);
        }
        if (cutter.Finish(row)) rows.emplace_back(row);
        EXPECT_EQ(rows, expected) << "round " << round;
    }
}
}  // namespace
