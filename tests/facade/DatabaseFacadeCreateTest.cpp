// CreateDbFile: which file becomes current, the creation list, open failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "FacadeFixture.h"

namespace fs = std::filesystem;

namespace {

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
    EXPECT_EQ(log.lines,
              std::vector<WString>{OLESTR("CreateDbFile Error:FileName is empty and no database file is selected yet")});
    EXPECT_EQ(facade->CurrentPath(), OLESTR(""));

    log.lines.clear();
    EXPECT_EQ(facade->CreateDbFile(OLESTR("f"), OLESTR("T|0|1|2"), OLESTR("a,b")), 1);
    EXPECT_EQ(facade->CreateDbFile(OLESTR("f"), OLESTR("T|0|1|2"), OLESTR("a,b")), 1);  // exists: found, recorded again
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(facade->CreateDbFile(OLESTR("f"), OLESTR("U"), OLESTR("")), 0);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0], OLESTR("CreateDB Parma error:"));
    EXPECT_EQ(facade->CreationList(), (std::vector<WString>{OLESTR("|#|T|#|k"), OLESTR("f|#|T|0|1|2|#|a,b"),
                                                            OLESTR("f|#|T|0|1|2|#|a,b"), OLESTR("f|#|U|#|")}));
}

// Q: has no link in the test's prefix on Linux and no drive under Wine.
TEST_F(DatabaseFacadeCreateTest, PathOnAMissingDriveFailsToOpen) {
    facade->CreateDbFile(OLESTR("a"), OLESTR("T"), OLESTR("k"));
    log.lines.clear();
    EXPECT_EQ(facade->CreateDbFile(OLESTR("*Q:\\data\\x.db"), OLESTR("T"), OLESTR("k")), 0);
    EXPECT_EQ(log.lines, (std::vector<WString>{OLESTR("CreateDB open fail:14"),
                                               OLESTR("SQLITE_CANTOPEN[14]: unable to open database file\r\nQ:\\data\\x.db")}));
    EXPECT_EQ(facade->CurrentPath(), OLESTR("Q:\\data\\x.db"));  // the selection stays
    EXPECT_EQ(facade->CurrentFileName(), OLESTR("a.db"));
#ifndef _WIN32
    EXPECT_FALSE(fs::exists(prefix / "dosdevices" / "q:"));
#endif
}
#ifndef _WIN32
// Host paths: "\" separates folders as "/" does, whether the path comes from
// Connect's install folder or from a "*" file name; logged and recorded texts
// keep the form they were given.
TEST_F(DatabaseFacadeCreateTest, HostPathsSeparateFoldersAtBothSlashes) {
    const std::string base = (dir / "inst").string();
    LONG ret = 0;
    facade->Connect(Wide(base + "/"), OLESTR("s"), OLESTR("1.0"), &ret);
    EXPECT_EQ(facade->DataFolder(), Wide(base + "/Data\\API\\"));
    EXPECT_EQ(facade->CreateDbFile(OLESTR("Demo"), OLESTR("T"), OLESTR("id")), 1);
    EXPECT_EQ(facade->CreateDbFile(Wide("*" + dir.string() + "\\s\\t/x.db"), OLESTR("T"), OLESTR("id")), 1);
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id"), OLESTR("1")), 1);
    EXPECT_EQ(Rows(dir / "inst/Data/API/Demo.db", "SELECT count(*) FROM T"), std::vector<std::string>{"0"});
    EXPECT_EQ(Rows(dir / "s/t/x.db", "SELECT id FROM T"), std::vector<std::string>{"1"});
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find('\\'), std::string::npos) << entry.path();
    EXPECT_EQ(facade->CreationList().back(), Wide("*" + dir.string() + "\\s\\t/x.db|#|T|#|id"));
}

// A path of about 4,000 bytes, far past what SQLite's own file layer takes,
// works through every kind of open: creation, single writes, a transaction
// (its journal is made and removed beside the file) and a query.
TEST_F(DatabaseFacadeCreateTest, LongHostPathWorksThroughEveryOpen) {
    std::string folder = dir.string();
    while (folder.size() < 3900) folder += "/" + std::string(std::min<size_t>(200, 3900 - folder.size()), 'd');
    const WString file = Wide("*" + folder + "/long.db");
    ASSERT_GE(file.size(), 3900u + 8);
    EXPECT_EQ(facade->CreateDbFile(file, OLESTR("T"), OLESTR("id,v")), 1);
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id,v"), OLESTR("1,a")), 1);
    EXPECT_EQ(facade->BeginTransation(), S_OK);
    EXPECT_EQ(facade->InsertDBRecord(OLESTR("T"), OLESTR("id,v"), OLESTR("2,b")), 1);
    EXPECT_EQ(facade->CommitTransation(), S_OK);
    const QueryResult result = Query(OLESTR("T"));
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.rows, (std::vector<WString>{OLESTR("1|#|a"), OLESTR("2|#|b")}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);  // no journal left
    EXPECT_EQ(log.lines, std::vector<WString>{});
}
#endif
}  // namespace
