#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "TempFolder.h"
#include "sqlite/CppSQLite3DB.h"

namespace {

WString Text(const OLECHAR* text) {
    return text ? WString(text) : WString(OLESTR("<null>"));
}

void ExpectRaise(const std::function<void()>& operation, int code, const WString& message) {
    try {
        operation();
        ADD_FAILURE() << "no exception";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(e.code(), code);
        EXPECT_EQ(WString(e.message()), message);
    }
}

const WString kNullVm = OLESTR("CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");

class CppSQLite3QueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_.open(folder_.file("query.db").c_str());
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
    for (; !q.isAtEnd(); q.moveNext()) seen += Text(q.columnText(0)) + OLESTR("=") + Text(q.columnText(1)) + OLESTR(";");
    EXPECT_EQ(seen, OLESTR("1=\u00e9\U0001F600;2=<null>;"));
    q.finalizeStatement();
    EXPECT_NO_THROW(db_.close());
}

TEST_F(CppSQLite3QueryTest, IndexOutsideTheColumnsRaises) {
    CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT a, b FROM t;"));
    for (int index : {-1, 2}) {
        SCOPED_TRACE(index);
        const WString message = OLESTR("CPPSQLITE_ERROR[1000]: Invalid field index requested");
        ExpectRaise([&] { q.columnName(index); }, CPPSQLITE_ERROR, message);
        ExpectRaise([&] { q.columnText(index); }, CPPSQLITE_ERROR, message);
    }
}

TEST_F(CppSQLite3QueryTest, EveryOperationAfterFinalizeRaisesNullVirtualMachine) {
    CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT a FROM t;"));
    q.finalizeStatement();
    EXPECT_NO_THROW(q.finalizeStatement());
    const std::function<void()> operations[] = {
        [&] { q.isAtEnd(); }, [&] { q.columnCount(); }, [&] { q.columnName(0); },
        [&] { q.columnText(0); }, [&] { q.moveNext(); },
    };
    for (const auto& operation : operations) ExpectRaise(operation, CPPSQLITE_ERROR, kNullVm);
}

TEST_F(CppSQLite3QueryTest, MovedFromCursorHoldsNothingAndFinalizesNothing) {
    CppSQLite3Query target = db_.executeQuery(OLESTR("SELECT c FROM t;"));
    {
        CppSQLite3Query source = db_.executeQuery(OLESTR("SELECT a FROM t ORDER BY a;"));
        target = std::move(source);  // finalizes the statement target held
        ExpectRaise([&] { source.isAtEnd(); }, CPPSQLITE_ERROR, kNullVm);
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
    ExpectRaise([&] { db_.executeQuery(OLESTR("SELECT abs(c) FROM t WHERE a = '2';")); }, 1, overflow);

    CppSQLite3Query q = db_.executeQuery(OLESTR("SELECT abs(c) FROM t;"));  // rowid order, computed per row
    EXPECT_EQ(Text(q.columnText(0)), OLESTR("5"));
    ExpectRaise([&] { q.moveNext(); }, 1, overflow);
    ExpectRaise([&] { q.isAtEnd(); }, CPPSQLITE_ERROR, kNullVm);
    EXPECT_NO_THROW(db_.close());
}

}  // namespace
