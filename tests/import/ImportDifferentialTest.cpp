#include <random>
#include <string>
#include <vector>

#include "ImportFixture.h"

namespace {
// Values as they may stand in an import file: plain literals of every kind,
// then texts that only the whole statement can make sense of.
const char* const kPlainValues[] = {
    "'a'", "'k1'", "'k2'", "'it''s'", "''", "'x#y'", "NULL", "null", "1", "-2", "+ 3", "007",
    "9223372036854775807", "-9223372036854775808", "'\xC3\xA9\xF0\x9F\x98\x80'", " 'sp' ",
    "1.5", "-2.5e3", ".5", "0x1F", "X'00ff'", "9223372036854775808", "-0", "'a'||char(10)||'b'", "'x' || 'y'",
    "''||CHAR(31)||''''"};
const char* const kOddValues[] = {
    "(1+1)", "abc", "'open", "/* c */ 1", "1 -- c", "'q;r'", "1); DELETE FROM T; --", "\"dq\"", ")",
    "1 'x'", "0x1ffffffffffffffff", "'a'/*", "*/'b'", "1) ON CONFLICT DO NOTHING; --", "abs(-3)",
    "'a'||char(0)", "'a'||1", "'a'||char(10)||"};

const char* const kSetups[] = {
    "CREATE TABLE T(a, b);",
    "CREATE TABLE T(a TEXT, b TEXT); INSERT INTO T VALUES ('old', 1);",
    "CREATE TABLE T(a TEXT PRIMARY KEY, b TEXT); INSERT INTO T VALUES ('k1', 'old');",
    "CREATE TABLE T(a INTEGER, b REAL) STRICT;",
    "CREATE TABLE T(a TEXT, b NUMERIC, UNIQUE(a, b) ON CONFLICT REPLACE); INSERT INTO T VALUES ('a', 1);",
    // Declared types of TEXT affinity and one that "INT" turns to INTEGER;
    // a check and an index that see each value's type.
    "CREATE TABLE T(a NVARCHAR(9) CHECK (typeof(a) <> 'integer'), b CHARINT); CREATE INDEX I ON T(typeof(a) || a);",
    "CREATE TABLE T(a text, b ANY) STRICT;",
};

struct Corpus { std::string setup; std::string file; };

Corpus Generate(std::mt19937& random) {
    auto pick = [&random](size_t count) { return static_cast<size_t>(random() % count); };
    Corpus corpus;
    corpus.setup = kSetups[pick(std::size(kSetups))];
    const bool odd = pick(10) < 3;
    const size_t rows = pick(12);
    for (size_t r = 0; r < rows; ++r) {
        const size_t values = pick(12) == 0 ? 1 + pick(3) : 2;
        for (size_t v = 0; v < values; ++v) {
            if (v > 0) corpus.file += "#";
            corpus.file += odd && pick(6) == 0 ? kOddValues[pick(std::size(kOddValues))]
                                               : kPlainValues[pick(std::size(kPlainValues))];
            if (pick(8) == 0) corpus.file += "\n";  // line breaks vanish in the joined text
        }
        if (r + 1 < rows || pick(2) == 0) corpus.file += ";";
        if (pick(2) == 0) corpus.file += "\r\n";
    }
    return corpus;
}

class ImportDifferentialTest : public ImportFixture {};

// The streamed import and the one statement agree on the outcome and on the
// whole database for every generated input; a failure changes nothing.
TEST_F(ImportDifferentialTest, StreamedImportAgreesWithTheOneStatement) {
    std::mt19937 random(20240611);
    int stored = 0;
    for (int n = 0; n < 300; ++n) {
        const Corpus corpus = Generate(random);
        SCOPED_TRACE(corpus.setup + "\n" + corpus.file);
        const std::string tag = std::to_string(n);
        const std::string file = WriteFile("in" + tag + ".txt", corpus.file);
        const std::string fast = MakeDb("fast" + tag + ".db", corpus.setup);
        const std::string one = MakeDb("one" + tag + ".db", corpus.setup);
        const std::string before = Dump(fast);
        const auto fastOutcome = BulkImporter::Import(Wide(fast), Wide(file), OLESTR("T"), OLESTR(";"), OLESTR("#"));
        const auto oneOutcome =
            BulkImporter::ImportOneStatement(Wide(one), Wide(file), OLESTR("T"), OLESTR(";"), OLESTR("#"));
        ASSERT_EQ(fastOutcome, oneOutcome);
        ASSERT_EQ(Dump(fast), Dump(one));
        if (fastOutcome == BulkImporter::Outcome::Stored) {
            ++stored;
        } else {
            ASSERT_EQ(Dump(fast), before);
        }
        std::filesystem::remove(file);
        std::filesystem::remove(fast);
        std::filesystem::remove(one);
    }
    // The corpus must exercise both outcomes to mean anything.
    EXPECT_GT(stored, 50);
    EXPECT_LT(stored, 250);
}
}  // namespace
