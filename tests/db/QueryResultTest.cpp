#include "db/QueryResult.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace velmorant {
namespace {

class QueryResultTest : public ::testing::Test {
protected:
    test::RecordingNotifier notes;
    test::TempProgramFolder folder;

    std::unique_ptr<TQueryResult> open() { return TQueryResult::Create(folder.dbPath(), true); }
};

TEST_F(QueryResultTest, NoRowsLeavesEverythingEmptyAndSetsBothFlags) {
    auto q = Query("select GUID from SPR_CLIENTS");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->RowCount(), 0);
    EXPECT_EQ(q->ColumnCount(), 0);
    EXPECT_EQ(q->ColumnIndex("GUID"), -1);
    EXPECT_EQ(q->Value("GUID", "dflt"), "dflt");
    EXPECT_FALSE(q->AtEnd());
    q->GoTo(5);
    EXPECT_TRUE(q->AtEnd());
    EXPECT_TRUE(q->AtStart());
    EXPECT_EQ(q->CurrentRow(), 0);
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(QueryResultTest, NavigationFlags) {
    auto q = open();
    ASSERT_TRUE(q);
    ASSERT_TRUE(q->Exec("select 1 as N union all select 2 union all select 3"));
    ASSERT_EQ(q->RowCount(), 3);

    struct Step {
        const char* what;
        int row;  // -100: Next, -200: Prior, otherwise GoTo(row)
        int expectedRow;
        bool atStart;
        bool atEnd;
        const char* value;
    };
    const Step steps[] = {
        {"first", 0, 0, true, false, "1"},
        {"next", -100, 1, false, false, "2"},
        {"next to last", -100, 2, false, false, "3"},
        {"next past last keeps the last row", -100, 2, false, true, "3"},
        {"prior from the end", -200, 1, false, false, "2"},
        {"prior to first", -200, 0, true, false, "1"},
        {"prior before first acts as first", -200, 0, true, false, "1"},
        {"goto far beyond", 99, 2, false, true, "3"},
        {"goto negative", -7, 0, true, false, "1"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.row == -100) {
            q->Next();
        } else if (s.row == -200) {
            q->Prior();
        } else {
            q->GoTo(s.row);
        }
        EXPECT_EQ(q->CurrentRow(), s.expectedRow);
        EXPECT_EQ(q->AtStart(), s.atStart);
        EXPECT_EQ(q->AtEnd(), s.atEnd);
        EXPECT_EQ(q->Cell(0), s.value);
    }
}

TEST_F(QueryResultTest, ReadingLoopVisitsEveryRowOnce) {
    auto q = open();
    ASSERT_TRUE(q->Exec("select 'a' as X union all select 'b' union all select 'c'"));
    std::string seen;
    q->First();
    while (!q->AtEnd()) {
        seen += q->Value("x", "?");
        q->Next();
    }
    EXPECT_EQ(seen, "abc");
}

TEST_F(QueryResultTest, NullCellReadsAsEmptyTextNotTheDefault) {
    auto q = open();
    ASSERT_TRUE(q->Exec("select NULL as A, 5 as B, 2.5 as C"));
    q->First();
    EXPECT_EQ(q->Value("A", "dflt"), "");
    EXPECT_EQ(q->Value("B", "dflt"), "5");
    EXPECT_EQ(q->Value("C", "dflt"), "2.5");
    EXPECT_EQ(q->Value("D", "dflt"), "dflt");
}

TEST_F(QueryResultTest, TwoSelectsAppendRowsUnderTheFirstColumnNames) {
    auto q = open();
    ASSERT_TRUE(q->Exec("select 'x1' as FIRST, 'y1' as SECOND"));
    ASSERT_TRUE(q->Exec("select 'x2' as OTHER, 'y2' as NAMES"));
    EXPECT_EQ(q->RowCount(), 2);
    EXPECT_EQ(q->ColumnName(0), "FIRST");
    EXPECT_EQ(q->ColumnIndex("OTHER"), -1);
    q->GoTo(1);
    EXPECT_EQ(q->Value("SECOND", ""), "y2");
}

TEST_F(QueryResultTest, ColumnLookUpTrimsAndFoldsOnlyAsciiCase) {
    auto q = open();
    ASSERT_TRUE(q->Exec("select 1 as GUID, 2 as \"Имя\", 3 as \"Mixed_Case\""));
    struct Case {
        const char* name;
        int index;
    };
    const Case cases[] = {
        {" guid ", 0},     {"\tGuId\n", 0},   {"Имя", 1}, {"ИМЯ", -1}, {"имя", -1},
        {"mixed_case", 2}, {"MIXED_CASE", 2}, {"", -1},   {"GUI", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(q->ColumnIndex(c.name), c.index) << c.name;
    }
    EXPECT_EQ(q->ColumnName(3), "");
    EXPECT_EQ(q->ColumnName(-1), "");
    q->First();
    EXPECT_EQ(q->Cell(7), "");
    EXPECT_EQ(q->Cell(-1), "");
}

TEST_F(QueryResultTest, FailedStatementShowsTheLibraryMessageAndKeepsEarlierRows) {
    auto q = open();
    ASSERT_TRUE(q->Exec("select 1 as A"));
    EXPECT_FALSE(q->Exec("select * from NO_SUCH_TABLE"));
    ASSERT_EQ(notes.texts().size(), 1u);
    EXPECT_EQ(notes.texts()[0], "no such table: NO_SUCH_TABLE");
    EXPECT_EQ(notes.shown()[0].icon, MessageIcon::None);
    EXPECT_EQ(q->RowCount(), 1);
}

TEST_F(QueryResultTest, DoubleQuotedWordsAreTextValues) {
    auto q = open();
    ASSERT_TRUE(q->Exec("select \"2008-03-15\" as D"));
    q->First();
    EXPECT_EQ(q->Value("D", ""), "2008-03-15");
}

TEST_F(QueryResultTest, OpenFailures) {
    TQueryResult empty("");
    EXPECT_FALSE(empty.Open());
    EXPECT_EQ(empty.ErrorText(), "Не указан путь к БД");
    EXPECT_TRUE(notes.shown().empty());

    EXPECT_EQ(TQueryResult::Create("", true), nullptr);
    EXPECT_EQ(TQueryResult::Create((folder / "missing/dir/x.sdb").string(), true), nullptr);
    EXPECT_EQ(notes.texts(),
              (std::vector<std::string>{"База данных не найдена.", "База данных не найдена."}));

    SetDatabasePath("");
    EXPECT_EQ(Query("select 1"), nullptr);
}

TEST_F(QueryResultTest, TransactionRollsBackUnlessCommitted) {
    {
        auto q = open();
        TTransaction t(*q);
        ASSERT_TRUE(t.Begin());
        ASSERT_TRUE(q->Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('A', '1')"));
    }
    {
        auto q = open();
        TTransaction t(*q);
        ASSERT_TRUE(t.Begin());
        ASSERT_TRUE(q->Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('B', '2')"));
        ASSERT_TRUE(t.Commit());
    }
    auto q = Query("select group_concat(OPT_NAME) as N from MY_OPTIONS");
    ASSERT_TRUE(q);
    q->First();
    EXPECT_EQ(q->Value("N", ""), "B");
}

}  // namespace
}  // namespace velmorant
