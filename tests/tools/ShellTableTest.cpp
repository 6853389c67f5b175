#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/ShellLine.h"
#include "tools/ShellTable.h"

namespace {

// A printed table lines its columns up, and each row line parses back to
// the values it was made of.
TEST(ShellTable, RowsLineUpAndReadBackAsLines) {
    ShellTable table({"id", "name", "note"});
    const std::vector<std::vector<std::string>> rows{
        {"1", "Zo\xC3\xAB", "two\nlines"}, {"22", "O'Brien, Pat", ""}, {"#3", "$rs", "C:\\data\\"}};
    for (const auto& row : rows) table.AddRow(row);
    table.AddRow({"4"});
    EXPECT_EQ(table.Text("row"),
              "id    name            note\n"
              "----  --------------  -------------\n"
              "1     Zo\xC3\xAB             $'two\\nlines'\n"
              "22    \"O'Brien, Pat\"  ''\n"
              "'#3'  '$rs'           C:\\data\\\n"
              "4     ''              ''\n"
              "(4 rows)\n");
    const std::string text = table.Text("row");
    size_t start = text.find('\n', text.find('\n') + 1) + 1;
    for (const auto& row : rows) {
        const size_t end = text.find('\n', start);
        const ShellLine parsed = ShellLine::Parse(text.substr(start, end - start));
        std::vector<ShellLine::Word> expected;
        for (const std::string& value : row) expected.push_back(ShellLine::Word{value, false});
        EXPECT_EQ(parsed.Words(), expected) << text.substr(start, end - start);
        start = end + 1;
    }
    EXPECT_EQ(ShellTable({}).Text("table"), "(0 tables)\n");
    ShellTable one({"n"});
    one.AddRow({"7"});
    EXPECT_EQ(one.Text("row"), "n\n-\n7\n(1 row)\n");
}

}  // namespace
