// CreateDbFile: which file becomes current, the creation list, open failures.
#include <gtest/gtest.h>

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {
const WString kDefaultFolder = u"C:\\ProgramData\\Ombrel\\API\\DataBase\\";

using DatabaseFacadeCreateTest = FacadeFixture;

TEST_F(DatabaseFacadeCreateTest, FileNameSelectsTheCurrentFile) {
    struct Case {
        WString fileName;
        WString currentFileName;  // after the call
        WString currentPath;
        fs::path hostFile;        // where the file must now exist
    } const cases[] = {
        {u"a", u"a.db", kDefaultFolder + u"a.db", DefaultDataFolder() / "a.db"},
        {u"a.db", u"a.db.db", kDefaultFolder + u"a.db.db", DefaultDataFolder() / "a.db.db"},
        // A full path leaves the file name alone; its folders are made.
        {StarFile("x/y/z.db"), u"a.db.db", HostFile("x/y/z.db"), dir / "x/y/z.db"},
        // Empty: stays on the current file, which gets the second table.
        {u"", u"a.db.db", HostFile("x/y/z.db"), dir / "x/y/z.db"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.fileName));
        const WString table = u"T" + Wide(std::to_string(n++));
        EXPECT_EQ(facade->CreateDbFile(c.fileName, table, u"k,v"), 1);
        EXPECT_EQ(facade->CurrentFileName(), c.currentFileName);
        EXPECT_EQ(facade->CurrentPath(), c.currentPath);
        EXPECT_EQ(Rows(c.hostFile, "SELECT count(*) FROM sqlite_master WHERE name='" + Narrow(table) + "'"),
                  std::vector<std::string>{"1"});
    }
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(DatabaseFacadeCreateTest, EveryCallIsRecordedVerbatimWhateverItsOutcome) {
    // No path resolved yet: an empty FileName has nothing to create.
    EXPECT_EQ(facade->CreateDbFile(u"", u"T", u"k"), 0);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(facade->CurrentPath(), u"");

    EXPECT_EQ(facade->CreateDbFile(u"f", u"T|0|1|2", u"a,b"), 1);
    EXPECT_EQ(facade->CreateDbFile(u"f", u"T|0|1|2", u"a,b"), 1);  // exists: found, recorded again
    EXPECT_EQ(facade->CreateDbFile(u"f", u"U", u""), 0);
    EXPECT_EQ(log.lines, std::vector<WString>{u"CreateDB Parma error:"});
    EXPECT_EQ(facade->CreationList(),
              (std::vector<WString>{u"|#|T|#|k", u"f|#|T|0|1|2|#|a,b", u"f|#|T|0|1|2|#|a,b", u"f|#|U|#|"}));
}

TEST_F(DatabaseFacadeCreateTest, PathOnADriveWithoutLinkFailsToOpen) {
    facade->CreateDbFile(u"a", u"T", u"k");
    log.lines.clear();
    EXPECT_EQ(facade->CreateDbFile(u"*D:\\data\\x.db", u"T", u"k"), 0);
    EXPECT_EQ(log.lines, std::vector<WString>{u"CreateDB open fail:14"});
    EXPECT_EQ(facade->CurrentPath(), u"D:\\data\\x.db");  // the selection stays
    EXPECT_EQ(facade->CurrentFileName(), u"a.db");
    EXPECT_FALSE(fs::exists(prefix / "dosdevices" / "d:"));
}
}  // namespace
