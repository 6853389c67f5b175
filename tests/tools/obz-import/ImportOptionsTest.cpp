#include "tools/obz-import/ImportOptions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
struct Parsed {
    bool ok;
    ImportOptions options;
    std::string error;
};

Parsed Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "obz-import");
    Parsed parsed;
    parsed.ok = ImportOptions::Parse(static_cast<int>(args.size()), args.data(), parsed.options, parsed.error);
    return parsed;
}
}  // namespace

TEST(ImportOptions, ReadsOptionsAnywhereAndTheThreeArguments) {
    const Parsed p = Parse({"--no-header", "in.csv", "-d", ";", "Demo", "--columns=a,b", "T_1", "--skip-bad",
                            "--system", "Shop", "--no-quotes"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.file, "in.csv");
    EXPECT_EQ(p.options.database, "Demo");
    EXPECT_EQ(p.options.table, "T_1");
    EXPECT_FALSE(p.options.header);
    EXPECT_EQ(p.options.Delimiter(), ';');
    EXPECT_EQ(p.options.columns.value_or(""), "a,b");
    EXPECT_TRUE(p.options.skipBad);
    EXPECT_EQ(p.options.system, "Shop");
    EXPECT_FALSE(p.options.quotes);
    EXPECT_EQ(Parse({"--", "-in.csv", "Demo", "T"}).options.file, "-in.csv");
    EXPECT_EQ(Parse({"-", "Demo", "T"}).options.file, "-");
}

TEST(ImportOptions, ChoosesTheDelimiter) {
    struct { std::vector<const char*> args; char delimiter; } const cases[] = {
        {{"a.csv", "D", "T"}, ','},     {{"a.TSV", "D", "T"}, '\t'},          {{"a.tab", "D", "T"}, '\t'},
        {{"a.txt", "D", "T"}, ','},     {{"--tsv", "a.csv", "D", "T"}, '\t'}, {{"--csv", "a.tsv", "D", "T"}, ','},
        {{"-d", "tab", "a", "D", "T"}, '\t'}, {{"--delimiter=\\t", "a", "D", "T"}, '\t'},
        {{"-d", "|", "a.tsv", "D", "T"}, '|'},
    };
    for (const auto& c : cases) {
        const Parsed p = Parse(c.args);
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(p.options.Delimiter(), c.delimiter) << c.args[0];
    }
}

TEST(ImportOptions, RefusesABadCommandLine) {
    const std::vector<std::vector<const char*>> cases = {
        {"a.csv", "D"}, {"a.csv", "D", "T", "U"}, {"a.csv", "D", "1T"}, {"a.csv", "D", "My Table"},
        {"--bogus", "a", "D", "T"}, {"-d", "ab", "a", "D", "T"}, {"-d", "\xC2\xA7", "a", "D", "T"},
        {"-d", "\"", "a", "D", "T"},
        {"a", "D", "T", "--columns"}, {"--header=1", "a", "D", "T"},
    };
    for (const auto& args : cases) {
        const Parsed p = Parse(args);
        EXPECT_FALSE(p.ok) << args[0];
        EXPECT_FALSE(p.error.empty());
    }
    EXPECT_EQ(Parse({"a", "--help", "--bogus"}).options.request, ImportOptions::Request::Help);
    EXPECT_EQ(Parse({"--version"}).options.request, ImportOptions::Request::Version);
}
