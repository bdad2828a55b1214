#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmorant {

class TQueryResult;

// When BatchedStatements commits by itself: once a batch holds `statements` statements, and
// never later than `interval` after it began. Where the disk makes a commit slow, a batch of
// `statements` grows on until its running time is `commitShare` times what the last commit
// took, so that waiting for the disk stays a small share of the run.
struct BatchLimits {
    std::size_t statements = 500;
    std::chrono::milliseconds interval{250};
    int commitShare = 8;
};

// Runs a long series of statements on one connection with exactly the outcome of running each
// on its own in autocommit mode, but commits them in batches: a batch is committed once it
// holds `BatchLimits::statements` statements, once `BatchLimits::interval` has passed since it
// began, and whenever the caller calls Commit() (before anything that waits for the person, such as
// a message box, and before other connections are to see the data).
//
// The outcome stays statement by statement. When a statement fails, every statement before it
// is committed and nothing after it runs. SQLite undoes only the failing statement for most
// errors; when the failure may have cost the whole transaction (full disk, I/O error, out of
// memory, a lock held by someone else, or the library's autocommit is back on), the batch is
// rolled back and its statements are run again one by one in autocommit mode, so that the
// statement that fails is the one that would have failed on its own. A statement that controls
// transactions or needs to run outside one (BEGIN, COMMIT, END, ROLLBACK, SAVEPOINT, RELEASE,
// ATTACH, DETACH, VACUUM, PRAGMA) runs alone after the batch is committed, and while a
// transaction that such a statement opened stays open every statement runs alone in it.
//
// A statement interrupted through the connection's progress handler (the person stopped the
// run) is not run again: the open batch is rolled back with it and Run() reports it as the
// failing statement, with SQLITE_INTERRUPT.
//
// A process killed at any moment loses at most the statements of the open batch; the rollback
// journal never lets a statement stay half applied. Nothing is shown: the caller reports
// failures. Used from one thread.
class BatchedStatements {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Clock = std::function<TimePoint()>;

    // The statement that failed, as the caller tagged it, with SQLite's result code and text.
    struct Failure {
        std::size_t tag = 0;
        std::string statement;
        std::string error;
        int code = 0;
    };

    // `clock` defaults to the steady clock.
    explicit BatchedStatements(TQueryResult& q, BatchLimits limits = BatchLimits(),
                               Clock clock = Clock());
    // Commits the open batch, silently; when that fails the batch is lost, as if the process had
    // been killed. Callers commit themselves and look at the outcome.
    ~BatchedStatements();
    BatchedStatements(const BatchedStatements&) = delete;
    BatchedStatements& operator=(const BatchedStatements&) = delete;

    // Runs one SQL text (it may hold several statements), tagged by the caller (a line number).
    // False when a statement failed: LastFailure() names it, and it may be an earlier statement of
    // the batch when committing or running the batch again brought out its failure.
    bool Run(const std::string& sql, std::size_t tag);

    // Commits the open batch; false when a statement of it failed (see LastFailure()).
    bool Commit();

    // Rolls back the open batch and a transaction the statements opened themselves: the run
    // was stopped, and everything committed before stays.
    void Abandon();

    const Failure& LastFailure() const { return m_failure; }

    // Whether a batch of `count` statements, begun `sinceBegin` ago, is to be committed now,
    // when the last commit took `lastCommit`.
    static bool CommitDue(const BatchLimits& limits, std::size_t count,
                          std::chrono::steady_clock::duration sinceBegin,
                          std::chrono::steady_clock::duration lastCommit);
    // Statements run since the last commit.
    std::size_t Uncommitted() const { return m_count; }

    // Called before each commit of a batch: the commit waits for the disk, with no step of the
    // library (and so no progress handler) in between, and a caller that serves an event loop
    // serves it here first. Not called by the destructor.
    void SetBeforeCommit(std::function<void()> hook) { m_beforeCommit = std::move(hook); }

private:
    bool begin();
    bool commitOpen();
    void rollbackOpen();
    bool replay();
    bool runAlone(const std::string& sql, std::size_t tag);
    void keep(const std::string& sql, std::size_t tag);
    bool fail(std::size_t tag, const std::string& sql, int code, std::string error);

    struct Pending {
        std::string sql;
        std::size_t tag = 0;
    };

    TQueryResult& m_q;
    BatchLimits m_limits;
    Clock m_clock;
    std::vector<Pending> m_batch;  // its strings keep their capacity from batch to batch
    std::size_t m_count = 0;       // statements of the open batch, the first m_count of m_batch
    bool m_open = false;           // our own transaction is open
    TimePoint m_openedAt{};
    std::chrono::steady_clock::duration m_lastCommit{};
    std::function<void()> m_beforeCommit;
    Failure m_failure;
};

// True when one of the statements in `sql` begins with a word that controls transactions or
// must run outside one (see BatchedStatements). Comments and quoted texts are skipped. A
// trigger body's END counts too: a false true only costs the batch a commit.
bool NeedsOwnTransaction(std::string_view sql);

// Splits an SQL text into its statements, each ended by its semicolon (the last one may lack
// it), as SQLite's own reading of the text would split it: semicolons inside quotes, comments
// and trigger bodies do not end a statement. Pieces holding nothing but blanks are dropped.
std::vector<std::string> SplitSqlStatements(std::string_view sql);

}  // namespace velmorant
