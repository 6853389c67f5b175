// CreateDbFile: which file becomes current, the creation list, open failures.
#include <gtest/gtest.h>

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {
const WString kDefaultFolder = OLESTR("C:\\ProgramData\\Ombrel\\API\\DataBase\\");

using DatabaseFacadeCreateTest = FacadeFixture;

TEST_F(DatabaseFacadeCreateTest, FileNameSelectsTheCurrentFile) {
    struct Case {
        WString fileName;
        WString currentFileName;  // after the call
        WString currentPath;
        fs::path hostFile;        // where the file must now exist
    } const cases[] = {
        {OLESTR("a"), OLESTR("a.db"), kDefaultFolder + OLESTR("a.db"), DefaultDataFolder() / "a.db"},
        {OLESTR("a.db"), OLESTR("a.db.db"), kDefaultFolder + OLESTR("a.db.db"), DefaultDataFolder() / "a.db.db"},
        // A full path leaves the file name alone; its folders are made.
        {StarFile("x/y/z.db"), OLESTR("a.db.db"), HostFile("x/y/z.db"), dir / "x/y/z.db"},
        // Empty: stays on the current file, which gets the second table.
        {OLESTR(""), OLESTR("a.db.db"), HostFile("x/y/z.db"), dir / "x/y/z.db"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.fileName));
        const WString table = OLESTR("T") + Wide(std::to_string(n++));
        EXPECT_EQ(facade->CreateDbFile(c.fileName, table, OLESTR("k,v")), 1);
        EXPECT_EQ(facade->CurrentFileName(), c.currentFileName);
        EXPECT_EQ(facade->CurrentPath(), c.currentPath);
        EXPECT_EQ(Rows(c.hostFile, "SELECT count(*) FROM sqlite_master WHERE name='" + Narrow(table) + "'"),
                  std::vector<std::string>{"1"});
    }
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(DatabaseFacadeCreateTest, EveryCallIsRecordedVerbatimWhateverItsOutcome) {
    // No path resolved yet: an empty FileName has nothing to create.
    EXPECT_EQ(facade->CreateDbFile(OLESTR(""), OLESTR("T"), OLESTR("k")), 0);
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(facade->CurrentPath(), OLESTR(""));

    EXPECT_EQ(facade->CreateDbFile(OLESTR("f"), OLESTR("T|0|1|2"), OLESTR("a,b")), 1);
    EXPECT_EQ(facade->CreateDbFile(OLESTR("f"), OLESTR("T|0|1|2"), OLESTR("a,b")), 1);  // exists: found, recorded again
    EXPECT_EQ(facade->CreateDbFile(OLESTR("f"), OLESTR("U"), OLESTR("")), 0);
    EXPECT_EQ(log.lines, std::vector<WString>{OLESTR("CreateDB Parma error:")});
    EXPECT_EQ(facade->CreationList(), (std::vector<WString>{OLESTR("|#|T|#|k"), OLESTR("f|#|T|0|1|2|#|a,b"),
                                                            OLESTR("f|#|T|0|1|2|#|a,b"), OLESTR("f|#|U|#|")}));
}

// Q: has no link in the test's prefix on Linux and no drive under Wine.
TEST_F(DatabaseFacadeCreateTest, PathOnAMissingDriveFailsToOpen) {
    facade->CreateDbFile(OLESTR("a"), OLESTR("T"), OLESTR("k"));
    log.lines.clear();
    EXPECT_EQ(facade->CreateDbFile(OLESTR("*Q:\\data\\x.db"), OLESTR("T"), OLESTR("k")), 0);
    EXPECT_EQ(log.lines, std::vector<WString>{OLESTR("CreateDB open fail:14")});
    EXPECT_EQ(facade->CurrentPath(), OLESTR("Q:\\data\\x.db"));  // the selection stays
    EXPECT_EQ(facade->CurrentFileName(), OLESTR("a.db"));
#ifndef _WIN32
    EXPECT_FALSE(fs::exists(prefix / "dosdevices" / "q:"));
#endif
}
}  // namespace
