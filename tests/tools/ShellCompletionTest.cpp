#include <gtest/gtest.h>

#include "tools/ShellCompletion.h"

namespace {

using Names = std::vector<std::string>;

TEST(ShellCompletion, OffersWhatTheWordBeingTypedCanBecome) {
    const ShellCompletion::Variables variables{
        {"rs", "Ombrel.RecordSet"}, {"row", "Ombrel.RecordItem"}, {"other", ""}, {"db", "Ombrel.ZeveVevuVAD"}};
    const struct {
        const char* line;
        Names candidates;
    } cases[] = {
        {"BeginT", {"BeginTransation"}},
        {"se", {"select"}},
        {"  c", {"CommitTransation", "Connect", "CreateDbFile"}},  // without case, as late binding matches
        {"r", {"row.", "rs."}},
        {"rs.get", {"rs.GetRecordCount", "rs.GetRecordItem"}},
        {"row.", {"row.GetDataValue", "row.SetDataValue"}},
        {"other.", {}},
        {"nobody.Get", {}},
        {"help Get", {"GetDBRecordSet", "GetDataValue", "GetRecordCount", "GetRecordItem"}},
        {"help ta", {"tables"}},
        {"new x Ombrel.Record", {"Ombrel.RecordItem", "Ombrel.RecordSet"}},
        {"GetDBRecordSet People '' '' $r", {"$row", "$rs"}},
        {"InsertDBRecord Peo", {}},  // no file names, no guesses
        {"print Begin", {}},
        {"Zzz", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ShellCompletion::Candidates(c.line, variables), c.candidates) << c.line;
}

TEST(ShellCompletion, NamesTheNearMiss) {
    const Names names{"BeginTransation", "CommitTransation", "Connect", "GetRecordCount", "select", "quit"};
    const struct {
        const char* word;
        const char* nearest;
    } cases[] = {
        {"BeginTransaction", "BeginTransation"}, {"begintransation", ""},  // an exact match is no miss
        {"Conect", "Connect"},    {"Cnonect", "Connect"},  // a swap is one edit
        {"GetRecordCont", "GetRecordCount"}, {"GetRcrdCnt", ""},       {"slect", "select"},
        {"qiut", "quit"},          {"Frobnicate", ""},     {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ShellCompletion::Nearest(c.word, names), c.nearest) << c.word;
}

}  // namespace
