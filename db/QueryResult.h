#pragma once

#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace velmorant {

// One SQLite connection together with every row its statements returned, held as text.
// A connection lives for one operation: open it, run statements, read rows, destroy it.
// Cells are addressed by row (navigation below) and by column name (trimmed, ASCII letters
// compared without case). NULL reads as empty text. Rows of several statements run on one
// object are appended after each other under the first statement's column names.
// Failures are shown through notifier(); reading outside the data never fails.
class TQueryResult {
public:
    // Creates the object on `path`. With openNow it opens the connection at once; when that
    // fails it shows "База данных не найдена." and returns nullptr.
    static std::unique_ptr<TQueryResult> Create(const std::string& path, bool openNow);

    explicit TQueryResult(std::string path);
    ~TQueryResult();  // closes the connection
    TQueryResult(const TQueryResult&) = delete;
    TQueryResult& operator=(const TQueryResult&) = delete;

    // Opens the connection (double-quoted string literals stay enabled). An empty path fails
    // without touching the library and sets ErrorText() to "Не указан путь к БД".
    bool Open();

    // Runs one SQL text (it may hold several statements) and appends the rows it returns.
    // On failure shows the library's message in a plain box and returns false; rows
    // received before the failure stay.
    bool Exec(const std::string& sql);

    // Runs `sql` as Exec does, rows included, but shows nothing: returns SQLite's result code
    // and, when it is not SQLITE_OK, puts the library's error text into `error`.
    int ExecSilently(const std::string& sql, std::string* error = nullptr);

    // True while a transaction that a statement opened is still open on the connection (the
    // library's autocommit mode is off).
    bool InTransaction() const;

    void First() { GoTo(0); }
    void Next() { GoTo(m_currentRow + 1); }
    void Prior() { GoTo(m_currentRow - 1); }
    void GoTo(int n);

    std::string ColumnName(int i) const;
    int ColumnIndex(const std::string& name) const;  // -1 when not found
    std::string Cell(int c) const;
    std::string Value(const std::string& columnName, const std::string& def) const;

    bool AtEnd() const { return m_atEnd; }
    bool AtStart() const { return m_atStart; }
    int RowCount() const { return m_rowCount; }
    int ColumnCount() const { return m_columnCount; }
    int CurrentRow() const { return m_currentRow; }
    const std::string& ErrorText() const { return m_errorText; }
    const std::string& Path() const { return m_path; }
    bool IsOpen() const { return m_open; }
    sqlite3* Handle() const { return m_handle; }

private:
    static int RowCallback(void* context, int columns, char** values, char** names);

    sqlite3* m_handle = nullptr;
    bool m_atEnd = false;
    bool m_atStart = false;
    std::string m_errorText;
    std::vector<std::string> m_cells;
    int m_rowCount = 0;
    int m_columnCount = 0;
    int m_currentRow = 0;
    std::string m_path;
    bool m_open = false;
};

// Creates an object on the global database path, opens it and runs `sql`. Returns nullptr
// when the open or the statement failed (the messages have been shown).
std::unique_ptr<TQueryResult> Query(const std::string& sql);

// The database path. One of the three globals of the program (with the program folder and the
// notifier): every operation opens its own connection on it, so it is the one thing all of
// them share. PrepareDatabase() sets it at start-up (and for tests, through
// test::TempProgramFolder); tests that need a missing or empty path set it directly. Empty
// until then. User-interface thread only.
const std::string& DatabasePath();
void SetDatabasePath(const std::string& path);

// Runs statements on one connection as a unit: Begin() starts a transaction, Commit() ends
// it; when the guard is destroyed without a successful Commit() the work is rolled back.
class TTransaction {
public:
    explicit TTransaction(TQueryResult& q) : m_q(q) {}
    ~TTransaction();
    TTransaction(const TTransaction&) = delete;
    TTransaction& operator=(const TTransaction&) = delete;

    bool Begin();
    bool Commit();

private:
    TQueryResult& m_q;
    bool m_active = false;
};

}  // namespace velmorant
