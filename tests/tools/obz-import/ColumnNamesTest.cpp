#include "tools/obz-import/ColumnNames.h"

#include <gtest/gtest.h>

TEST(ColumnNames, QuotesEveryNameAndRefusesWhatTheListCannotCarry) {
    std::string list;
    std::string problem;
    ASSERT_TRUE(ColumnNames::List({"id", "First Name", "", "order", "say \"x\""}, list, problem));
    EXPECT_EQ(list, "\"id\",\"First Name\",\"c3\",\"order\",\"say \"\"x\"\"\"");
    EXPECT_FALSE(ColumnNames::List({"a", "Amount, EUR"}, list, problem));
    EXPECT_NE(problem.find("comma"), std::string::npos) << problem;
    EXPECT_FALSE(ColumnNames::List({"Name", "c2", "NAME"}, list, problem));
    EXPECT_EQ(problem.rfind("two columns are named \"NAME\"", 0), 0u) << problem;
    // An empty name is its number, which may be taken.
    EXPECT_FALSE(ColumnNames::List({"c2", ""}, list, problem));
    EXPECT_FALSE(ColumnNames::List({}, list, problem));
    EXPECT_EQ(ColumnNames::Numbered(2), (std::vector<std::string>{"c1", "c2"}));
    EXPECT_EQ(ColumnNames::Split("a,,b c"), (std::vector<std::string>{"a", "", "b c"}));
}
