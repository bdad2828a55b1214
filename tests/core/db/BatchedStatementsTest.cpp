// Batched commits against the statement-by-statement run they stand for: every case runs the
// same statements once through BatchedStatements and once one by one in autocommit mode, on
// two equal real databases, and the two must end the same.
#include "core/db/BatchedStatements.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "core/db/QueryResult.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

using namespace std::chrono_literals;

// Waiting for the disk changes nothing of what the statements leave, only how long the
// thousands of commits of the one-by-one runs take.
const char* const kNoSync = "PRAGMA synchronous=OFF";

std::string insert(int n) { return "insert into T (A) values (" + std::to_string(n) + ")"; }

std::vector<std::string> inserts(int from, int to) {
    std::vector<std::string> out;
    for (int n = from; n <= to; ++n) out.push_back(insert(n));
    return out;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Every table's rows, one text.
std::string contents(const std::string& path) {
    auto q = TQueryResult::Create(path, true);
    q->Exec(
        "select group_concat(name, ',') as N from (select name from sqlite_master where "
        "type = 'table' order by name)");
    q->First();
    std::string out = q->Value("N", "") + "\n";
    const std::string tables = q->Value("N", "");
    size_t start = 0;
    while (start < tables.size()) {
        size_t comma = tables.find(',', start);
        if (comma == std::string::npos) comma = tables.size();
        auto t = TQueryResult::Create(path, true);
        t->Exec("select * from " + tables.substr(start, comma - start) + " order by rowid");
        for (t->First(); !t->AtEnd(); t->Next()) {
            for (int c = 0; c < t->ColumnCount(); ++c) out += t->Cell(c) + "|";
            out += "\n";
        }
        start = comma + 1;
    }
    return out;
}

class BatchedStatementsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto* db : {&batched, &single}) {
            auto q = TQueryResult::Create((*db / "base.sdb").string(), true);
            ASSERT_TRUE(q->Exec("create table T (A unique, B)"));
        }
    }
    std::string batchedPath() const { return (batched / "base.sdb").string(); }
    std::string singlePath() const { return (single / "base.sdb").string(); }

    // The statement-by-statement run: the index of the first failing statement, if any.
    std::optional<size_t> runOneByOne(const std::vector<std::string>& statements,
                                      const std::string& setUp = "") {
        auto q = TQueryResult::Create(singlePath(), true);
        q->ExecSilently(kNoSync);
        if (!setUp.empty()) q->ExecSilently(setUp);
        for (size_t i = 0; i < statements.size(); ++i) {
            if (q->ExecSilently(statements[i]) != SQLITE_OK) return i;
        }
        return std::nullopt;
    }

    test::RecordingNotifier notes;
    test::TempDir batched;
    test::TempDir single;
};

TEST_F(BatchedStatementsTest, EndsAsTheStatementByStatementRun) {
    struct Case {
        const char* name;
        std::vector<std::string> statements;
        std::string setUp;  // run on both connections first
        int expectedCode;   // of the failure; SQLITE_OK when everything runs
    };
    const std::vector<Case> cases = {
        {"all good over several batches", inserts(1, 1200), "", SQLITE_OK},
        {"a constraint in the middle of the second batch",
         inserts(1, 700) + std::vector<std::string>{insert(5)} + inserts(701, 900), "",
         SQLITE_CONSTRAINT},
        {"a syntax error in the middle of a batch",
         inserts(1, 123) + std::vector<std::string>{"insert into T (A) values (124"} +
             inserts(125, 130),
         "", SQLITE_ERROR},
        {"a text of several statements failing in its second",
         inserts(1, 10) + std::vector<std::string>{"insert into T values (11, 'x'); insert into "
                                                   "T values (1, 'dup'); insert into T values "
                                                   "(12, 'never')"},
         "", SQLITE_CONSTRAINT},
        {"a conflict that rolls back the whole transaction",
         inserts(1, 300) + std::vector<std::string>{"insert or rollback into T (A) values (7)"} +
             inserts(301, 310),
         "", SQLITE_CONSTRAINT},
        {"a trigger that raises a rollback",
         std::vector<std::string>{"create trigger Guard before insert on T when new.A = 42 "
                                  "begin select raise(rollback, 'no 42'); end"} +
             inserts(1, 50),
         "", SQLITE_CONSTRAINT},
        {"the script's own transaction, rolled back",
         inserts(1, 5) + std::vector<std::string>{"BEGIN"} + inserts(6, 9) +
             std::vector<std::string>{"  rollback  ;"} + inserts(10, 12),
         "", SQLITE_OK},
        {"the script's own transaction, committed, then a failure inside a second one",
         std::vector<std::string>{"begin transaction"} + inserts(1, 5) +
             std::vector<std::string>{"/* done */ END", "savepoint s1", insert(6), insert(3),
                                      insert(7)},
         "", SQLITE_CONSTRAINT},
        {"statements that cannot run inside a transaction",
         inserts(1, 5) + std::vector<std::string>{"pragma user_version = 7", "vacuum"} +
             inserts(6, 8) + std::vector<std::string>{"commit"},
         "", SQLITE_ERROR},
        {"a full disk in the middle of a batch",
         [] {
             std::vector<std::string> v;
             for (int n = 1; n <= 2000; ++n) {
                 v.push_back("insert into T values (" + std::to_string(n) + ", '" +
                             std::string(300, 'x') + "')");
             }
             return v;
         }(),
         "pragma max_page_count = 60", SQLITE_FULL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& path : {batchedPath(), singlePath()}) {
            auto q = TQueryResult::Create(path, true);
            q->ExecSilently("drop trigger if exists Guard");
            q->ExecSilently("delete from T");
            q->ExecSilently("vacuum");
        }
        const auto expectedFailure = runOneByOne(c.statements, c.setUp);

        auto q = TQueryResult::Create(batchedPath(), true);
        q->ExecSilently(kNoSync);
        if (!c.setUp.empty()) q->ExecSilently(c.setUp);
        std::optional<size_t> failure;
        {
            BatchedStatements statements(*q);
            for (size_t i = 0; i < c.statements.size() && !failure; ++i) {
                if (!statements.Run(c.statements[i], i)) failure = statements.LastFailure().tag;
            }
            if (!failure && !statements.Commit()) failure = statements.LastFailure().tag;
            if (failure) {
                EXPECT_EQ(statements.LastFailure().code & 0xff, c.expectedCode);
                EXPECT_EQ(statements.LastFailure().statement, c.statements[*failure]);
                EXPECT_FALSE(statements.LastFailure().error.empty());
            }
        }
        q.reset();
        EXPECT_EQ(failure, expectedFailure);
        EXPECT_EQ(failure.has_value(), c.expectedCode != SQLITE_OK);
        EXPECT_EQ(contents(batchedPath()), contents(singlePath()));
    }
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(BatchedStatementsTest, CommitsByCountByTimeAndWhenAsked) {
    auto q = TQueryResult::Create(batchedPath(), true);
    auto now = std::chrono::steady_clock::time_point{};
    BatchedStatements statements(*q, BatchLimits{10, 250ms}, [&] { return now; });
    auto committed = [&] {
        auto other = TQueryResult::Create(batchedPath(), true);
        other->Exec("select count(*) as N from T");
        other->First();
        return std::stoi(other->Value("N", "-1"));
    };
    struct Step {
        const char* what;
        int statements;
        std::chrono::milliseconds later;  // the clock moves on before they run
        bool commit;
        int seen;  // rows that another connection sees afterwards
        size_t uncommitted;
    };
    const std::vector<Step> steps = {
        {"nine statements stay in the open batch", 9, 0ms, false, 0, 9},
        {"the tenth commits it", 1, 0ms, false, 10, 0},
        {"three more open a batch", 3, 100ms, false, 10, 3},
        {"one more 249 ms into the batch", 1, 249ms, false, 10, 4},
        {"one more 250 ms into it commits", 1, 1ms, false, 15, 0},
        {"the caller commits", 2, 0ms, true, 17, 0},
        {"a commit with nothing open", 0, 0ms, true, 17, 0},
    };
    int next = 1;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        now += s.later;
        for (int i = 0; i < s.statements; ++i, ++next) {
            ASSERT_TRUE(statements.Run(insert(next), 0));
        }
        if (s.commit) {
            ASSERT_TRUE(statements.Commit());
        }
        EXPECT_EQ(committed(), s.seen);
        EXPECT_EQ(statements.Uncommitted(), s.uncommitted);
    }
}

TEST(BatchedStatementsText, CommitsLaterWhereCommitsAreSlow) {
    const BatchLimits limits{500, 250ms, 8};
    struct Case {
        size_t count;
        std::chrono::milliseconds sinceBegin, lastCommit;
        bool due;
    };
    const std::vector<Case> cases = {
        {499, 0ms, 0ms, false},     {500, 0ms, 0ms, true},        {3, 250ms, 0ms, true},
        {500, 40ms, 5ms, true},     {500, 39ms, 5ms, false},      {20000, 159ms, 20ms, false},
        {20000, 160ms, 20ms, true}, {20000, 249ms, 100ms, false}, {1, 250ms, 100ms, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BatchedStatements::CommitDue(limits, c.count, c.sinceBegin, c.lastCommit), c.due)
            << c.count << " statements, " << c.sinceBegin.count() << " ms, last commit "
            << c.lastCommit.count() << " ms";
    }
}

TEST(BatchedStatementsText, WordsThatNeedTheirOwnTransaction) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"insert into T values (1)", false},
        {"begin", true},
        {"  Begin Immediate", true},
        {"-- note\n/* and */ commit", true},
        {"insert into T values (1); end", true},
        {"insert into T values ('x; rollback')", false},
        {"insert into \"a;vacuum\" values (1)", false},
        {"select case when 1 then 2 end", false},
        {"select 1 -- ; pragma\n", false},
        {"create trigger G after insert on T begin delete from T; end", true},
        {"attach 'x.db' as x", true},
        {"PRAGMA max_page_count=10", true},
        {"update T set A = 'begin'", false},
        {"beginning", false},
        {"", false},
    };
    for (const auto& [sql, expected] : cases) {
        EXPECT_EQ(NeedsOwnTransaction(sql), expected) << sql;
    }
}

TEST(BatchedStatementsText, SplitsAsSqliteReadsIt) {
    using V = std::vector<std::string>;
    const std::vector<std::pair<std::string, V>> cases = {
        {"", V{}},
        {" ;\r\n ; ", V{}},
        {"insert into T values (1);\r\ninsert into T values (2)",
         V{"insert into T values (1);", "insert into T values (2)"}},
        {"insert into T values ('a;b'); select 1", V{"insert into T values ('a;b');", "select 1"}},
        {"-- one; two\r\nselect 1;", V{"-- one; two\r\nselect 1;"}},
        {"create trigger G after insert on T begin delete from U; insert into U values (1); "
         "end; select 2;",
         V{"create trigger G after insert on T begin delete from U; insert into U values (1); "
           "end;",
           "select 2;"}},
        {"select 1; -- trailing note", V{"select 1;"}},
    };
    for (const auto& [sql, expected] : cases) {
        EXPECT_EQ(SplitSqlStatements(sql), expected) << sql;
    }
}

}  // namespace
}  // namespace velmorant
