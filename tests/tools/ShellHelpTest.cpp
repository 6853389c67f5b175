// The shell's help against the classes' dispatch tables and docs/api.md:
// every method has its argument syntax and an example that calls it, and
// the reference section of the API document is the help, word for word.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <span>
#include <string>

#include "facade/ZeveVevuVADMembers.h"
#include "results/RecordItemMembers.h"
#include "results/RecordSetMembers.h"
#include "tools/ShellCommand.h"
#include "tools/ShellHelp.h"
#include "tools/ShellMethodGuide.h"

namespace {

std::string Narrow(const OLECHAR* text) {
    std::string out;
    for (; *text != 0; ++text) out.push_back(static_cast<char>(*text));
    return out;
}

TEST(ShellHelp, EveryMethodHasItsArgumentsAndAnExampleThatCallsIt) {
    const std::span<const DispatchMember> tables[] = {kZeveVevuVADMembers, kRecordSetMembers, kRecordItemMembers};
    size_t methods = 0;
    for (const std::span<const DispatchMember> table : tables) {
        for (const DispatchMember& member : table) {
            ++methods;
            const std::string name = Narrow(member.name);
            const ShellMethodGuide* guide = ShellMethodGuide::Find(name);
            ASSERT_NE(guide, nullptr) << name;
            ASSERT_EQ(guide->ArgumentCount(), member.paramCount) << name;
            for (UINT i = 0; i < member.paramCount; ++i) {
                EXPECT_EQ(guide->arguments[i].name, Narrow(member.paramNames[i])) << name;
                EXPECT_NE(*guide->arguments[i].syntax, '\0') << name;
            }
            const ShellCommand example = ShellCommand::FromLine(ShellLine::Parse(guide->example));
            EXPECT_EQ(example.GetKind(), ShellCommand::Kind::Call) << guide->example;
            EXPECT_EQ(example.Name(), name) << guide->example;
            EXPECT_EQ(example.Arguments().size(), member.paramCount) << guide->example;
            for (UINT i = 0; i < member.paramCount && i < example.Arguments().size(); ++i) {
                EXPECT_EQ(example.Arguments()[i].reference, member.paramTypes[i] == VT_DISPATCH) << guide->example;
            }
        }
    }
    EXPECT_EQ(ShellMethodGuide::All().size(), methods);

    std::string text;
    ASSERT_TRUE(ShellHelp::Topic("createdbfile", text));
    for (const char* part : {"Name|pk|cs|indexes|keys", "*FULL-PATH", "Example     CreateDbFile Shop"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
    ASSERT_TRUE(ShellHelp::Topic("rs.GetRecordItem", text));
    EXPECT_EQ(text.rfind("rs.GetRecordItem Index $RecordItem\n  Loads one row", 0), 0u) << text;
    EXPECT_FALSE(ShellHelp::Topic("BeginTransaction", text));
    // The shell's own lines, each keyword of them.
    for (const std::string& keyword : ShellHelp::Keywords()) EXPECT_TRUE(ShellHelp::Topic(keyword, text)) << keyword;
    ASSERT_TRUE(ShellHelp::Topic("select", text));
    EXPECT_EQ(text.rfind("select TABLE [COLUMNS [CONDITIONCOL [CONDITIONVAL]]]\n", 0), 0u) << text;
}

#ifdef OBZ_API_DOC
// docs/api.md shows the help of every method in the fenced block of its
// section "Arguments at a glance"; a change to either shows here.
TEST(ShellHelp, IsWhatTheApiDocumentShows) {
    std::ifstream in(OBZ_API_DOC);
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t section = doc.find("\n## Arguments at a glance\n");
    ASSERT_NE(section, std::string::npos) << OBZ_API_DOC;
    const size_t open = doc.find("\n```text\n", section);
    ASSERT_NE(open, std::string::npos);
    const size_t start = open + 9;
    const size_t end = doc.find("```\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(doc.substr(start, end - start), ShellHelp::Reference())
        << "docs/api.md must show, between ```text and ```, what ShellHelp::Reference() gives:\n"
        << ShellHelp::Reference();
}
#endif

}  // namespace
