#include <gtest/gtest.h>

#include "CaseName.h"
#include "tools/ShellCommand.h"

namespace {

using Kind = ShellCommand::Kind;

ShellCommand Command(const char* line) { return ShellCommand::FromLine(ShellLine::Parse(line)); }

struct CommandCase { const char* line; Kind kind; const char* target; const char* name; size_t argumentCount; };

// Names each case by its line.
void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.line; }

class ShellCommandKinds : public testing::TestWithParam<CommandCase> {};

TEST_P(ShellCommandKinds, ReadsTheLine) {
    const CommandCase& c = GetParam();
    const ShellCommand command = Command(c.line);
    EXPECT_EQ(command.GetKind(), c.kind) << c.line << ": " << command.Error();
    if (c.kind == Kind::Invalid) {
        EXPECT_FALSE(command.Error().empty()) << c.line;
        return;
    }
    EXPECT_EQ(command.Target(), c.target) << c.line;
    EXPECT_EQ(command.Name(), c.name) << c.line;
    EXPECT_EQ(command.Arguments().size(), c.argumentCount) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ShellCommandKinds,
    testing::Values(CommandCase{"", Kind::Nothing, "", "", 0}, CommandCase{"# note", Kind::Nothing, "", "", 0},
                    CommandCase{"Connect '' Demo", Kind::Call, "", "Connect", 2},
                    CommandCase{"BeginTransation", Kind::Call, "", "BeginTransation", 0},
                    CommandCase{"rs.GetRecordItem 0 $item", Kind::Call, "rs", "GetRecordItem", 2},
                    CommandCase{"new rs Ombrel.RecordSet", Kind::New, "rs", "Ombrel.RecordSet", 0},
                    CommandCase{"print rows: $rs 'a b'", Kind::Print, "", "rows: $rs a b", 0},
                    CommandCase{"expect ''", Kind::Expect, "", "", 0}, CommandCase{"exit", Kind::Quit, "", "", 0},
                    CommandCase{"help", Kind::Help, "", "", 0},
                    CommandCase{"help rs.GetRecordItem", Kind::Help, "", "rs.GetRecordItem", 0},
                    // Malformed commands.
                    CommandCase{"f 'open", Kind::Invalid, "", "", 0}, CommandCase{"new rs", Kind::Invalid, "", "", 0},
                    CommandCase{"new 1rs Ombrel.RecordSet", Kind::Invalid, "", "", 0},
                    CommandCase{"new $rs Ombrel.RecordSet", Kind::Invalid, "", "", 0},
                    CommandCase{"expect", Kind::Invalid, "", "", 0}, CommandCase{"quit now", Kind::Invalid, "", "", 0},
                    CommandCase{"$rs.GetRecordCount", Kind::Invalid, "", "", 0},
                    CommandCase{".Get", Kind::Invalid, "", "", 0}, CommandCase{"a.b.c", Kind::Invalid, "", "", 0},
                    CommandCase{"Insert-Record x", Kind::Invalid, "", "", 0}),
    CaseName());

TEST(ShellCommand, KeepsArgumentsAndReferencesInOrder) {
    const ShellCommand command = Command("GetDBRecordSet 'People#*#name' '' '' $rs");
    ASSERT_EQ(command.GetKind(), Kind::Call);
    const std::vector<ShellLine::Word> expected{{"People#*#name", false}, {"", false}, {"", false}, {"rs", true}};
    EXPECT_EQ(command.Arguments(), expected);
}

}  // namespace
