#include "tools/obz-import/ColumnNames.h"

#include <gtest/gtest.h>

TEST(ColumnNames, QuotesEveryNameAndRefusesWhatTheListCannotCarry) {
    std::string spec;
    std::string problem;
    ASSERT_TRUE(ColumnNames::Spec({"id", "First Name", "", "order", "say \"x\""}, spec, problem));
    EXPECT_EQ(spec, "\"id\",\"First Name\",\"c3\",\"order\",\"say \"\"x\"\"\"");
    EXPECT_FALSE(ColumnNames::Spec({"a", "Amount, EUR"}, spec, problem));
    EXPECT_NE(problem.find("comma"), std::string::npos) << problem;
    EXPECT_FALSE(ColumnNames::Spec({"Name", "c2", "NAME"}, spec, problem));
    EXPECT_EQ(problem.rfind("two columns are named \"NAME\"", 0), 0u) << problem;
    // An empty name is its number, which may be taken.
    EXPECT_FALSE(ColumnNames::Spec({"c2", ""}, spec, problem));
    EXPECT_FALSE(ColumnNames::Spec({}, spec, problem));
    EXPECT_EQ(ColumnNames::Numbered(2), (std::vector<std::string>{"c1", "c2"}));
    EXPECT_EQ(ColumnNames::Split("a,,b c"), (std::vector<std::string>{"a", "", "b c"}));
}
