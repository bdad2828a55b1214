#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_backup;

namespace velmorant {

// One row as the library hands it to a row handler of TQueryResult::ExecRows. The texts are
// SQLite's own and valid only during the call: copy what is kept.
class ResultRow {
public:
    ResultRow(int columns, char** values, char** names) noexcept
        : m_columns(columns), m_values(values), m_names(names) {}

    int Count() const { return m_columns; }
    // NULL, and a column outside the row, read as empty text.
    std::string_view Value(int c) const { return text(m_values, c); }
    std::string_view Name(int c) const { return text(m_names, c); }
    bool IsNull(int c) const { return c < 0 || c >= m_columns || !m_values[c]; }

private:
    std::string_view text(char** texts, int c) const {
        if (c < 0 || c >= m_columns || !texts[c]) return {};
        return texts[c];
    }

    int m_columns;
    char** m_values;
    char** m_names;
};

// Called for every row a statement returns. It may throw: the statement then stops, and the
// exception never reaches the library (see TQueryResult::ExecRows).
using RowHandler = std::function<void(const ResultRow& row)>;

// A value bound to a "?" of a statement: a text, exactly as it is (nothing quoted or trimmed),
// or a whole number.
using SqlValue = std::variant<std::string, long long>;
using SqlValues = std::vector<SqlValue>;

// One SQLite connection together with every row its statements returned, held as text.
// A connection lives for one operation: open it, run statements, read rows, destroy it.
// Cells are addressed by row (navigation below) and by column name (trimmed, ASCII letters
// compared without case). NULL reads as empty text. Rows of several statements run on one
// object are appended after each other under the first statement's column names.
// Failures are shown through notifier(); reading outside the data never fails. This class is
// the one place that touches the library's connection handle.
class TQueryResult {
public:
    // Creates the object on `path`. With openNow it opens the connection at once; when that
    // fails it shows "База данных не найдена." and returns nullptr.
    static std::unique_ptr<TQueryResult> Create(const std::string& path, bool openNow);

    explicit TQueryResult(std::string path);
    ~TQueryResult();  // closes the connection
    TQueryResult(const TQueryResult&) = delete;
    TQueryResult& operator=(const TQueryResult&) = delete;

    // Opens the connection, creating the file when it is missing (double-quoted string
    // literals stay enabled). An empty path fails without touching the library; another
    // failure puts the library's text into `error` when given.
    bool Open(std::string* error = nullptr);
    // Opens the connection as Open() does, but read-only on an existing file.
    bool OpenReadOnly(std::string* error = nullptr);
    // Closes the connection now: false when the library refuses (something is still running
    // on it). True when nothing was open.
    bool Close();

    // Copies this connection's whole database into `target`'s with the library's online
    // backup. With waitWhileBusy, a side that is busy is waited for and the copy retried
    // until it completes or fails otherwise; without, one busy answer fails the copy. False,
    // with the library's text in `error` when given, on failure.
    bool CopyInto(TQueryResult& target, bool waitWhileBusy, std::string* error = nullptr);

    // Runs one SQL text (it may hold several statements) and appends the rows it returns.
    // On failure shows the library's message in a plain box and returns false; rows
    // received before the failure stay, each one whole.
    bool Exec(const std::string& sql);

    // Runs one statement whose "?" marks take `values` in order, and appends the rows it
    // returns as Exec() does. The one way for the program's own statements to carry values
    // (a name searched for, a GUID, a row number): a value never becomes part of the text.
    // Failures are shown as by Exec(); a text of more than one statement, or a count of values
    // that differs from the count of marks, fails without running.
    bool Exec(const std::string& sql, const SqlValues& values);
    // The same without showing anything, like ExecSilently().
    int ExecSilently(const std::string& sql, const SqlValues& values, std::string* error);

    // Runs `sql` like Exec() but hands every row to `onRow` as it comes instead of keeping
    // it. Failures are shown as by Exec(). An exception thrown by `onRow` stops the statement
    // there (the rest of the text does not run) and counts as its failure: its what() text is
    // shown, or the library's "query aborted" for an exception of another kind.
    bool ExecRows(const std::string& sql, const RowHandler& onRow);

    // Runs `sql` as Exec does, rows included, but shows nothing: returns SQLite's result code
    // and, when it is not SQLITE_OK, puts the library's error text into `error`.
    int ExecSilently(const std::string& sql, std::string* error = nullptr);

    // Runs `sql` as ExecRows() does but shows nothing, like ExecSilently(): an exception of
    // `onRow` gives SQLITE_ABORT and its text.
    int ExecRowsSilently(const std::string& sql, const RowHandler& onRow,
                         std::string* error = nullptr);

    // True while a transaction that a statement opened is still open on the connection (the
    // library's autocommit mode is off).
    bool InTransaction() const;
    // The rows that the last INSERT, UPDATE or DELETE changed.
    long long Changes() const;

    // Confines the open connection to what an office's answer may do: reading and writing the
    // rows of the database's tables and the statements listed in AnswerSandbox.cpp; anything
    // else fails as a statement does, with the library's "not authorized" text. Stays until
    // the connection is closed. False, with a text in `error` when given, when a setting of
    // the library cannot be made (the connection must then not run the answer).
    bool ConfineToAnswer(std::string* error = nullptr);
    // The tables of the database (not the connection's temporary ones) that statements
    // prepared since ConfineToAnswer may have changed: inserted into, updated, deleted from,
    // made, dropped or altered; upper case. A statement counts once it is prepared, whether or
    // not it changed a row, and so do the library's own tables that it writes (sqlite_master).
    const std::set<std::string>& TablesWritten() const { return m_tablesWritten; }

    // Takes back what an answer could leave on its connection for the program's own steps
    // after it: temporary tables and views that stand in for the database's tables of the
    // same name, a connection made read-only, a page limit lowered. False when one of them
    // stays (the steps after the answer must not run then); the failing text is in `error`.
    bool EndAnswer(std::string* error = nullptr);

    // Calls `onSteps` every `steps` virtual-machine steps of a running statement; when it
    // returns true the statement stops with SQLITE_INTERRUPT ("interrupted"). An empty
    // function removes the handler. `onSteps` must not use this connection.
    void SetProgressHandler(int steps, std::function<bool()> onSteps);

    // Keeps at most `rows` of the rows that statements return (0: no bound); the rest are
    // dropped as they come.
    void SetRowLimit(int rows) { m_rowLimit = rows; }

    void First() { GoTo(0); }
    void Next() { GoTo(m_currentRow + 1); }
    void GoTo(int n);

    int ColumnIndex(const std::string& name) const;  // -1 when not found
    std::string Cell(int c) const;
    std::string Value(const std::string& columnName, const std::string& def) const;

    bool AtEnd() const { return m_atEnd; }
    int RowCount() const { return m_rowCount; }
    int ColumnCount() const { return m_columnCount; }
    int CurrentRow() const { return m_currentRow; }

private:
    friend class TCopyInSteps;
    // Runs `sql` with `onRow` (may be empty: rows are dropped); on failure puts the text into
    // `error` when given.
    int run(const std::string& sql, const RowHandler& onRow, std::string* error);
    // Prepares `sql`, binds `values`, steps through it and keeps its rows.
    int runBound(const std::string& sql, const SqlValues& values, std::string* error);
    bool open(int flags, std::string* error);
    void keepRow(const ResultRow& row);

    static int onProgress(void* self);
    static int authorizeAnswer(void* self, int action, const char* a1, const char* a2,
                               const char* database, const char* inside);

    sqlite3* m_handle = nullptr;
    std::function<bool()> m_onSteps;
    int m_rowLimit = 0;
    bool m_confined = false;
    std::set<std::string> m_tablesWritten;
    bool m_atEnd = false;
    std::vector<std::string> m_cells;
    int m_rowCount = 0;
    int m_columnCount = 0;
    int m_currentRow = 0;
    std::string m_path;
};

// A copy of one open connection's database into another's with the library's online backup,
// made a number of pages at a time so that other work can run between the steps. Both
// connections must stay open while it lives; destroying it ends the copy where it stands.
class TCopyInSteps {
public:
    enum class Progress { More, Done, Failed };

    TCopyInSteps(TQueryResult& source, TQueryResult& target);
    ~TCopyInSteps();
    TCopyInSteps(const TCopyInSteps&) = delete;
    TCopyInSteps& operator=(const TCopyInSteps&) = delete;

    // Copies up to `pages` pages. More also when a writer holds the source for the moment;
    // Failed with the library's text in `error` otherwise.
    Progress Step(int pages, std::string& error);

private:
    sqlite3_backup* m_backup = nullptr;
    sqlite3* m_target = nullptr;
};

// Creates an object on the global database path, opens it and runs `sql`. Returns nullptr
// when the open or the statement failed (the messages have been shown).
std::unique_ptr<TQueryResult> Query(const std::string& sql);
// The same for one statement with bound values (see TQueryResult::Exec with values).
std::unique_ptr<TQueryResult> Query(const std::string& sql, const SqlValues& values);

// Runs one statement of a longer piece of work (a save, the end of an import) and keeps its
// rows. A rejected statement is shown twice: the library's message, then the statement's own
// text, so that the office can see what was refused.
bool ExecShowingStatement(TQueryResult& q, const std::string& sql);

// The database path. One of the three globals of the program (with the program folder and the
// notifier): every operation opens its own connection on it, so it is the one thing all of
// them share. PrepareDatabase() sets it at start-up (and for tests, through
// test::TempProgramFolder); tests that need a missing or empty path set it directly. Empty
// until then. User-interface thread only.
const std::string& DatabasePath();
void SetDatabasePath(const std::string& path);

// Runs statements on one connection as a unit: Begin() starts a transaction, Commit() ends
// it; when the guard is destroyed without a successful Commit() the work is rolled back.
class Transaction {
public:
    explicit Transaction(TQueryResult& q) : m_q(q) {}
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool Begin();
    bool Commit();

private:
    TQueryResult& m_q;
    bool m_active = false;
};

}  // namespace velmorant
