// The connection and the cursors of the SQLite access layer, each over a
// database file in a folder of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <utility>

#include "TempFolder.h"
#include "sqlite/CppSQLite3DB.h"

namespace {

// Runs operation and checks that it raises code with a text starting with
// prefix, or, when whole, with exactly that text.
void ExpectRaise(const std::function<void()>& operation, int code, const WString& prefix, bool whole = false) {
    try {
        operation();
        ADD_FAILURE() << "no exception";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(e.code(), code);
        const WString message(e.message());
        EXPECT_EQ(whole ? message : message.substr(0, prefix.size()), prefix);
    }
}

class CppSQLite3DBTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_.open(folder_.Path("test.db").c_str());
        db_.executeStatement(OLESTR("CREATE TABLE t (a TEXT PRIMARY KEY);"));
    }

    WString Rows() {
        WString rows;
        for (CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT a FROM t ORDER BY a;")); !q.isAtEnd(); q.moveNext())
            rows += q.columnText(0);
        return rows;
    }

    TempFolder folder_;
    CppSQLite3DB db_;
};

// A text of two statements runs only the first; a query through the
// statement call answers 0.
TEST_F(CppSQLite3DBTest, OnlyTheFirstOfTwoStatementsRuns) {
    EXPECT_EQ(db_.executeStatement(OLESTR("INSERT INTO t VALUES ('1'); INSERT INTO t VALUES ('2');")), 0);
    EXPECT_EQ(Rows(), OLESTR("1"));
    EXPECT_EQ(db_.executeStatement(OLESTR("SELECT * FROM t;")), 0);
}

TEST_F(CppSQLite3DBTest, FailuresRaiseSqlitesCodeAndLeaveTheConnectionClosable) {
    db_.executeStatement(OLESTR("INSERT INTO t VALUES ('1');"));
    ExpectRaise([&] { db_.executeStatement(OLESTR("INSERT INTO t VALUES ('1');")); }, 1, OLESTR("SQLITE_ERROR[1]: "));
    ExpectRaise([&] { db_.prepareStatement(OLESTR("SELECT * FROM missing;")); }, 1,
                OLESTR("SQLITE_ERROR[1]: no such table: missing"));
    // Nothing was left unfinalized, so the close succeeds (and may repeat).
    EXPECT_NO_THROW(db_.close());
    EXPECT_NO_THROW(db_.close());
}

TEST_F(CppSQLite3DBTest, CloseWithLiveCursorRaisesBusyAndKeepsTheConnection) {
    CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT 1;"));
    ExpectRaise([&] { db_.close(); }, 5, OLESTR("SQLITE_BUSY[5]: "));
    EXPECT_NO_THROW(db_.ensureOpen());
    q.finalizeStatement();
    EXPECT_NO_THROW(db_.close());
}

TEST(CppSQLite3DBNotOpenTest, EveryOperationRaisesDatabaseNotOpen) {
    TempFolder folder;
    const std::function<void(CppSQLite3DB&)> operations[] = {
        [](CppSQLite3DB& db) { db.ensureOpen(); },
        [](CppSQLite3DB& db) { db.prepareStatement(OLESTR("SELECT 1;")); },
        [](CppSQLite3DB& db) { db.executeStatement(OLESTR("SELECT 1;")); },
        [](CppSQLite3DB& db) { db.executeQuery(OLESTR("SELECT 1;")); },
    };
    for (bool wasOpened : {false, true}) {
        for (const auto& operation : operations) {
            CppSQLite3DB db;
            if (wasOpened) {
                db.open(folder.Path("closed.db").c_str());
                db.close();
            }
            ExpectRaise([&] { operation(db); }, CPPSQLITE_ERROR, OLESTR("CPPSQLITE_ERROR[1000]: Database not open"));
        }
    }
}

TEST(CppSQLite3DBOpenTest, UnreachableFileRaisesCantOpen) {
    TempFolder folder;
    for (const WString& path : {folder.Path("missing/sub/x.db"), WString(OLESTR("Q:\\no-such-drive\\x.db"))}) {
        CppSQLite3DB db;
        ExpectRaise([&] { db.open(path.c_str()); }, 14, OLESTR("SQLITE_CANTOPEN[14]: "));
        EXPECT_NO_THROW(db.close());  // releases the handle of the failed open
    }
}

TEST(CppSQLite3DBOpenTest, NonAsciiFileNameNamesTheSameHostFile) {
    TempFolder folder;
    const std::filesystem::path name(u"d\u00e9j\u00e0\U0001F600.db");
    CppSQLite3DB db;
    db.open(folder.Path(name).c_str());
    db.executeStatement(OLESTR("CREATE TABLE t (a TEXT);"));
    EXPECT_TRUE(std::filesystem::exists(folder.folder() / name));
}

// The open names the same file as the platform's file functions do.
TEST(CppSQLite3DBOpenTest, WindowsPathOpensTheFileThatFileFunctionsSee) {
    const std::string name = TempFolder::UniqueName();
    const WString folder = OLESTR("C:\\") + WString(name.begin(), name.end());
    const WString file = folder + OLESTR("\\db.db");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    {
        CppSQLite3DB db;
        db.open(file.c_str());
        db.executeStatement(OLESTR("CREATE TABLE t (a TEXT);"));
    }
    EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(DeleteFileW(file.c_str()));
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}

// The cursor over a query.
WString Text(const OLECHAR* text) {
    return text ? WString(text) : WString(OLESTR("<null>"));
}

const WString kNullVm = OLESTR("CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");

class CppSQLite3QueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_.open(folder_.Path("query.db").c_str());
        db_.executeStatement(OLESTR("CREATE TABLE t (a TEXT, b TEXT, c INTEGER);"));
        db_.executeStatement(OLESTR("INSERT INTO t VALUES ('1', '\u00e9\U0001F600', 5);"));
        db_.executeStatement(OLESTR("INSERT INTO t VALUES ('2', NULL, -9223372036854775808);"));
    }

    TempFolder folder_;
    CppSQLite3DB db_;
};

TEST_F(CppSQLite3QueryTest, EmptyResultIsAtEndButKnowsItsColumns) {
    CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT a, b AS bee FROM t WHERE 0;"));
    EXPECT_TRUE(q.isAtEnd());
    ASSERT_EQ(q.columnCount(), 2);
    EXPECT_EQ(Text(q.columnName(0)), OLESTR("a"));
    EXPECT_EQ(Text(q.columnName(1)), OLESTR("bee"));
}

TEST_F(CppSQLite3QueryTest, WalksRowsWithNullAsNullText) {
    CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT a, b FROM t ORDER BY a;"));
    WString seen;
    for (; !q.isAtEnd(); q.moveNext()) {
        const OLECHAR* row[2] = {};
        q.rowTexts(row);
        seen += Text(row[0]) + OLESTR("=") + Text(row[1]) + OLESTR(";");
    }
    EXPECT_EQ(seen, OLESTR("1=\u00e9\U0001F600;2=<null>;"));
    q.finalizeStatement();
    EXPECT_NO_THROW(db_.close());
}

TEST_F(CppSQLite3QueryTest, IndexOutsideTheColumnsRaises) {
    CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT a, b FROM t;"));
    for (int index : {-1, 2}) {
        SCOPED_TRACE(index);
        const WString message = OLESTR("CPPSQLITE_ERROR[1000]: Invalid field index requested");
        ExpectRaise([&] { q.columnName(index); }, CPPSQLITE_ERROR, message, true);
        ExpectRaise([&] { q.columnText(index); }, CPPSQLITE_ERROR, message, true);
    }
}

TEST_F(CppSQLite3QueryTest, EveryOperationAfterFinalizeRaisesNullVirtualMachine) {
    CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT a FROM t;"));
    q.finalizeStatement();
    EXPECT_NO_THROW(q.finalizeStatement());
    const std::function<void()> operations[] = {
        [&] { q.isAtEnd(); }, [&] { q.columnCount(); }, [&] { q.columnName(0); },
        [&] { q.columnText(0); }, [&] { q.moveNext(); }, [&] { const OLECHAR* row[1]; q.rowTexts(row); },
    };
    for (const auto& operation : operations) ExpectRaise(operation, CPPSQLITE_ERROR, kNullVm, true);
}

TEST_F(CppSQLite3QueryTest, MovedFromCursorHoldsNothingAndFinalizesNothing) {
    CppSQLite3Query target = db_.executeQuery(OLESTR("SELECT c FROM t;"));
    {
        CppSQLite3Query source = db_.executeQuery(OLESTR("SELECT a FROM t ORDER BY a;"));
        target = std::move(source);  // finalizes the statement target held
        ExpectRaise([&] { source.isAtEnd(); }, CPPSQLITE_ERROR, kNullVm, true);
        CppSQLite3Query third(std::move(target));
        target = std::move(third);
    }
    EXPECT_EQ(Text(target.columnText(0)), OLESTR("1"));
    target.moveNext();
    EXPECT_EQ(Text(target.columnText(0)), OLESTR("2"));
    target.finalizeStatement();
    EXPECT_NO_THROW(db_.close());
}

// Both failing steps finalize first, so the text is SQLite's specific one.
TEST_F(CppSQLite3QueryTest, FailingStepsRaiseTheFinalizationsCodeAndText) {
    const WString overflow = OLESTR("SQLITE_ERROR[1]: integer overflow");
    ExpectRaise([&] { db_.executeQuery(OLESTR("SELECT abs(c) FROM t WHERE a = '2';")); }, 1, overflow, true);

    CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT abs(c) FROM t;"));  // rowid order, computed per row
    EXPECT_EQ(Text(q.columnText(0)), OLESTR("5"));
    ExpectRaise([&] { q.moveNext(); }, 1, overflow, true);
    ExpectRaise([&] { q.isAtEnd(); }, CPPSQLITE_ERROR, kNullVm, true);
    EXPECT_NO_THROW(db_.close());
}

}  // namespace
