#include "core/db/QueryResult.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <new>
#include <stdexcept>

#include "support/TestSupport.h"

namespace velmorant {
namespace {

class QueryResultTest : public ::testing::Test {
protected:
    test::RecordingNotifier notes;
    test::TempProgramFolder folder;

    std::unique_ptr<TQueryResult> open() { return TQueryResult::Create(folder.dbPath(), true); }
};

TEST_F(QueryResultTest, NoRowsLeavesEverythingEmptyAndEndsAtOnce) {
    auto q = Query("select GUID from SPR_CLIENTS");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->RowCount(), 0);
    EXPECT_EQ(q->ColumnCount(), 0);
    EXPECT_EQ(q->ColumnIndex("GUID"), -1);
    EXPECT_EQ(q->Value("GUID", "dflt"), "dflt");
    EXPECT_FALSE(q->AtEnd());
    q->GoTo(5);
    EXPECT_TRUE(q->AtEnd());
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
        int row;  // -100: Next, otherwise GoTo(row)
        int expectedRow;
        bool atEnd;
        const char* value;
    };
    const Step steps[] = {
        {"first", 0, 0, false, "1"},
        {"next", -100, 1, false, "2"},
        {"next to last", -100, 2, false, "3"},
        {"next past last keeps the last row", -100, 2, true, "3"},
        {"goto back from the end", 1, 1, false, "2"},
        {"goto far beyond", 99, 2, true, "3"},
        {"goto negative", -7, 0, false, "1"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.row == -100) {
            q->Next();
        } else {
            q->GoTo(s.row);
        }
        EXPECT_EQ(q->CurrentRow(), s.expectedRow);
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
    EXPECT_EQ(q->ColumnIndex("FIRST"), 0);
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

TEST_F(QueryResultTest, ExecRowsHandsOverEachRowAsItComesAndKeepsNone) {
    auto q = open();
    std::vector<std::string> seen;
    auto text = [](const ResultRow& row, int c) {
        return std::string(row.Name(c)) + "=" + std::string(row.Value(c)) +
               (row.IsNull(c) ? "(null)" : "");
    };
    ASSERT_TRUE(q->ExecRows("select 'a' as X, NULL as Y union all select 'b', 7",
                            [&](const ResultRow& row) {
                                ASSERT_EQ(row.Count(), 2);
                                seen.push_back(text(row, 0) + " " + text(row, 1) + " " +
                                               text(row, 2) + " " + text(row, -1));
                            }));
    EXPECT_EQ(seen, (std::vector<std::string>{"X=a Y=(null) =(null) =(null)",
                                              "X=b Y=7 =(null) =(null)"}));
    EXPECT_EQ(q->RowCount(), 0);
    EXPECT_TRUE(notes.shown().empty());
}

// Every way of running rows reports a failure by one rule: the library's text (or the text of
// the handler's exception), shown in a plain box by the loud forms and handed back by the
// silent ones. A handler that throws must not unwind through SQLite: the statement stops at
// that row and the rest of the SQL text does not run.
TEST_F(QueryResultTest, FailuresAndHandlerExceptionsAreReportedAlike) {
    struct Case {
        const char* what;
        const char* sql;
        std::function<void()> raise;  // empty: the handler never throws
        const char* text;
        int rowsSeen;
    };
    const char* const threeRows =
        "select 1 union all select 2 union all select 3; "
        "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('AFTER', '1')";
    const Case cases[] = {
        {"a failing statement",
         "select * from NO_SUCH_TABLE",
         {},
         "no such table: NO_SUCH_TABLE",
         0},
        {"a std::exception", threeRows, [] { throw std::runtime_error("the handler gave up"); },
         "the handler gave up", 2},
        {"out of memory", threeRows, [] { throw std::bad_alloc(); }, std::bad_alloc().what(), 2},
        {"not a std::exception", threeRows, [] { throw 42; }, "query aborted", 2},
        {"an exception without a text", threeRows,
         [] {
             struct Silent : std::exception {
                 const char* what() const noexcept override { return ""; }
             };
             throw Silent();
         },
         "query aborted", 2},
    };
    enum class Form { ExecRows, ExecRowsSilently };
    for (const Case& c : cases) {
        for (const Form form : {Form::ExecRows, Form::ExecRowsSilently}) {
            SCOPED_TRACE(std::string(c.what) + (form == Form::ExecRows ? ", shown" : ", silent"));
            notes.clear();
            auto q = open();
            ASSERT_TRUE(q->Exec("delete from MY_OPTIONS"));
            int rows = 0;
            const RowHandler handler = [&](const ResultRow&) {
                if (++rows == 2 && c.raise) c.raise();
            };
            if (form == Form::ExecRows) {
                EXPECT_FALSE(q->ExecRows(c.sql, handler));
                EXPECT_EQ(notes.texts(), std::vector<std::string>{c.text});
                if (!notes.shown().empty()) {
                    EXPECT_EQ(notes.shown()[0].icon, MessageIcon::None);
                }
            } else {
                std::string error;
                EXPECT_NE(q->ExecRowsSilently(c.sql, handler, &error), 0);
                EXPECT_EQ(error, c.text);
                EXPECT_TRUE(notes.shown().empty());
            }
            EXPECT_EQ(rows, c.rowsSeen);
            ASSERT_TRUE(q->Exec("select count(*) as N from MY_OPTIONS where OPT_NAME='AFTER'"));
            q->First();
            EXPECT_EQ(q->Value("N", ""), "0");
        }
    }
}

TEST_F(QueryResultTest, ExecSilentlyKeepsRowsAndHandsBackTheLibraryText) {
    auto q = open();
    std::string error = "untouched";
    EXPECT_EQ(q->ExecSilently("select 'x' as A union all select 'y'", &error), 0);
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(q->RowCount(), 2);
    EXPECT_NE(q->ExecSilently("select * from NO_SUCH_TABLE", &error), 0);
    EXPECT_EQ(error, "no such table: NO_SUCH_TABLE");
    EXPECT_NE(q->ExecSilently("select * from NO_SUCH_TABLE"), 0);  // no text wanted
    EXPECT_EQ(q->RowCount(), 2);
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(QueryResultTest, ExecShowingStatementShowsTheRejectedStatementAfterTheLibraryText) {
    auto q = open();
    ASSERT_TRUE(ExecShowingStatement(*q, "select 5 as N"));
    q->First();
    EXPECT_EQ(q->Value("N", ""), "5");
    EXPECT_TRUE(notes.shown().empty());
    const std::string bad = "insert into NO_SUCH_TABLE values (1)";
    EXPECT_FALSE(ExecShowingStatement(*q, bad));
    EXPECT_EQ(notes.texts(), (std::vector<std::string>{"no such table: NO_SUCH_TABLE", bad}));
}

TEST_F(QueryResultTest, DoubleQuotedWordsAreTextValues) {
    auto q = open();
    ASSERT_TRUE(q->Exec("select \"2008-03-15\" as D"));
    q->First();
    EXPECT_EQ(q->Value("D", ""), "2008-03-15");
}

// Bound values are values whatever they hold: quotes, a word that names a column, a NUL-free
// text with spaces kept, a number; a statement that cannot take them fails with one message and
// runs nothing.
TEST_F(QueryResultTest, BoundValuesNeverBecomeStatementText) {
    auto q = open();
    ASSERT_TRUE(q);
    ASSERT_TRUE(
        q->Exec("insert into SPR_CLIENTS (ID, GUID, ANAME) values (1, 'A', 'first'), "
                "(2, 'GUID', 'second'), (3, 'O''Neil', 'third'), (4, ' spaced ', 'fourth')"));
    struct Case {
        const char* label;
        std::string sql;
        SqlValues values;
        bool ok;
        std::string names;  // the ANAME of the rows, joined by "|"
    };
    const std::vector<Case> cases = {
        {"a quote",
         "select ANAME from SPR_CLIENTS where GUID=?",
         {std::string("O'Neil")},
         true,
         "third"},
        {"a word that names a column",
         "select ANAME from SPR_CLIENTS where GUID=?",
         {std::string("GUID")},
         true,
         "second"},
        {"spaces are kept",
         "select ANAME from SPR_CLIENTS where GUID=?",
         {std::string(" spaced ")},
         true,
         "fourth"},
        {"an injection stays a value",
         "select ANAME from SPR_CLIENTS where GUID=?",
         {std::string("A' or '1'='1")},
         true,
         ""},
        {"a number",
         "select ANAME from SPR_CLIENTS where ID>? order by ID",
         {2LL},
         true,
         "third|fourth"},
        {"several values",
         "select ANAME from SPR_CLIENTS where GUID in (?, ?) order by ID",
         {std::string("A"), std::string("GUID")},
         true,
         "first|second"},
        {"too few values",
         "select ANAME from SPR_CLIENTS where GUID=? or GUID=?",
         {std::string("A")},
         false,
         ""},
        {"too many values", "select ANAME from SPR_CLIENTS", {std::string("A")}, false, ""},
        {"two statements",
         "delete from SPR_CLIENTS where GUID=?; delete from SPR_CLIENTS",
         {std::string("A")},
         false,
         ""},
        {"a statement the library refuses",
         "select ANAME from NO_TABLE where GUID=?",
         {std::string("A")},
         false,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        notes.clear();
        TQueryResult r(folder.dbPath());
        ASSERT_TRUE(r.Open());
        EXPECT_EQ(c.ok, r.Exec(c.sql, c.values));
        EXPECT_EQ(c.ok ? 0u : 1u, notes.shown().size());
        std::string names;
        for (r.First(); !r.AtEnd(); r.Next()) names += (names.empty() ? "" : "|") + r.Cell(0);
        EXPECT_EQ(c.names, names);
        std::string error;
        EXPECT_EQ(c.ok, r.ExecSilently(c.sql, c.values, &error) == 0);
        EXPECT_EQ(c.ok, error.empty()) << error;
    }
    // Nothing was deleted by the statement that was refused.
    EXPECT_EQ(4, Query("select ID from SPR_CLIENTS")->RowCount());
}

TEST_F(QueryResultTest, OpenFailures) {
    TQueryResult empty("");
    EXPECT_FALSE(empty.Open());
    EXPECT_TRUE(notes.shown().empty());

    EXPECT_EQ(TQueryResult::Create("", true), nullptr);
    EXPECT_EQ(TQueryResult::Create((folder / "missing/dir/x.sdb").string(), true), nullptr);
    EXPECT_EQ(notes.texts(),
              (std::vector<std::string>{"База данных не найдена.", "База данных не найдена."}));

    SetDatabasePath("");
    EXPECT_EQ(Query("select 1"), nullptr);
}

// The read-only connection and the online copy that the backup and the check use.
TEST_F(QueryResultTest, ReadOnlyConnectionsAndCopies) {
    const std::string missingPath = (folder / "none.sdb").string();
    TQueryResult missing(missingPath);
    std::string error;
    EXPECT_FALSE(missing.OpenReadOnly(&error));
    EXPECT_EQ(error, "unable to open database file");
    EXPECT_FALSE(std::filesystem::exists(missingPath));  // read-only creates nothing

    ASSERT_TRUE(open()->Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('K', 'v')"));
    TQueryResult source(folder.dbPath());
    ASSERT_TRUE(source.OpenReadOnly());
    EXPECT_NE(source.ExecSilently("delete from MY_OPTIONS", &error), 0);
    EXPECT_EQ(error, "attempt to write a readonly database");

    const std::string copyPath = (folder / "copy.sdb").string();
    {
        TQueryResult target(copyPath);
        ASSERT_TRUE(target.Open());
        error.clear();
        EXPECT_TRUE(source.CopyInto(target, false, &error)) << error;
        EXPECT_TRUE(target.Close());
        EXPECT_TRUE(target.Close());  // nothing open any more
    }
    TQueryResult copy(copyPath);
    ASSERT_TRUE(copy.OpenReadOnly());
    ASSERT_TRUE(copy.Exec("select OPT_VAL from MY_OPTIONS where OPT_NAME='K'"));
    copy.First();
    EXPECT_EQ(copy.Cell(0), "v");

    // Into a read-only connection the copy fails with the library's text, both ways of waiting.
    for (const bool wait : {false, true}) {
        error.clear();
        EXPECT_FALSE(source.CopyInto(copy, wait, &error));
        EXPECT_EQ(error, "attempt to write a readonly database");
    }
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(QueryResultTest, TransactionRollsBackUnlessCommitted) {
    {
        auto q = open();
        Transaction t(*q);
        ASSERT_TRUE(t.Begin());
        ASSERT_TRUE(q->Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('A', '1')"));
    }
    {
        auto q = open();
        Transaction t(*q);
        ASSERT_TRUE(t.Begin());
        ASSERT_TRUE(q->Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('B', '2')"));
        ASSERT_TRUE(t.Commit());
    }
    auto q = Query("select group_concat(OPT_NAME) as N from MY_OPTIONS");
    ASSERT_TRUE(q);
    q->First();
    EXPECT_EQ(q->Value("N", ""), "B");
    EXPECT_TRUE(notes.shown().empty());

    // A guard whose statement failed inside the transaction rolls back without a second box.
    {
        auto failing = open();
        Transaction t(*failing);
        ASSERT_TRUE(t.Begin());
        ASSERT_TRUE(failing->Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('C', '3')"));
        EXPECT_FALSE(failing->Exec("insert into NO_SUCH_TABLE values (1)"));
        EXPECT_TRUE(failing->InTransaction());
    }
    EXPECT_EQ(notes.texts(), std::vector<std::string>{"no such table: NO_SUCH_TABLE"});
    q = Query("select group_concat(OPT_NAME) as N from MY_OPTIONS");
    ASSERT_TRUE(q);
    q->First();
    EXPECT_EQ(q->Value("N", ""), "B");
}

// A bound on the rows kept, and a progress handler that stops a statement that never ends
// (an answer's connection has both).
TEST_F(QueryResultTest, RowsKeptAreBoundedAndAProgressHandlerStopsAStatement) {
    auto q = open();
    ASSERT_TRUE(q);
    q->SetRowLimit(3);
    EXPECT_EQ(q->ExecSilently("with recursive N(V) as (select 1 union all select V + 1 from N "
                              "where V < 100000) select V from N"),
              0);
    EXPECT_EQ(q->RowCount(), 3);
    q->GoTo(2);
    EXPECT_EQ(q->Cell(0), "3");

    int calls = 0;
    q->SetProgressHandler(100, [&] { return ++calls == 5; });
    std::string error;
    const int rc = q->ExecSilently(
        "with recursive N(V) as (select 1 union all select V + 1 from N) select count(*) from N",
        &error);
    EXPECT_EQ(rc & 0xff, 9);  // SQLITE_INTERRUPT
    EXPECT_EQ(error, "interrupted");
    EXPECT_EQ(calls, 5);
    q->SetProgressHandler(0, {});
    EXPECT_EQ(q->ExecSilently("select count(*) from (select 1 union all select 2)"), 0);
    EXPECT_EQ(calls, 5);
}

}  // namespace
}  // namespace velmorant
