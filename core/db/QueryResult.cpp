#include "core/db/QueryResult.h"

#include <sqlite3.h>

#include <exception>
#include <memory>
#include <vector>

#include "core/db/Notifier.h"
#include "core/db/Text.h"

namespace velmorant {

namespace {
std::string g_databasePath;

const char* const kDatabaseNotFound = "База данных не найдена.";

// What sqlite3_exec hands back to its row callback: the handler, and what an exception it
// threw had to say.
struct RowCall {
    const RowHandler& onRow;
    bool failed = false;
    std::string failure;  // empty: no text of its own, the library's message stands
};

// SQLite's row callback. Nothing may unwind through the library's C frames: an exception
// stops the statement (a non-zero return) and is reported once sqlite3_exec has returned.
int callRowHandler(void* context, int columns, char** values, char** names) noexcept {
    auto* call = static_cast<RowCall*>(context);
    try {
        call->onRow(ResultRow(columns, values, names));
        return 0;
    } catch (const std::exception& e) {
        call->failed = true;
        try {
            call->failure = e.what();
        } catch (...) {
            call->failure.clear();
        }
    } catch (...) {
        call->failed = true;
    }
    return 1;
}

}  // namespace

const std::string& DatabasePath() { return g_databasePath; }
void SetDatabasePath(const std::string& path) { g_databasePath = path; }

std::unique_ptr<TQueryResult> TQueryResult::Create(const std::string& path, bool openNow) {
    auto q = std::make_unique<TQueryResult>(path);
    if (openNow && !q->Open()) {
        notifier().message(kDatabaseNotFound);
        return nullptr;
    }
    return q;
}

TQueryResult::TQueryResult(std::string path) : m_path(std::move(path)) {}

TQueryResult::~TQueryResult() {
    // The handle is closed even when the open failed: SQLite hands one out in that case too.
    if (m_handle) sqlite3_close_v2(m_handle);
}

bool TQueryResult::Open(std::string* error) {
    return open(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
}

bool TQueryResult::OpenReadOnly(std::string* error) { return open(SQLITE_OPEN_READONLY, error); }

bool TQueryResult::open(int flags, std::string* error) {
    if (m_path.empty()) return false;
    if (m_handle) {
        sqlite3_close_v2(m_handle);
        m_handle = nullptr;
    }
    const bool opened = sqlite3_open_v2(m_path.c_str(), &m_handle, flags, nullptr) == SQLITE_OK;
    if (!opened && error)
        *error = m_handle ? sqlite3_errmsg(m_handle) : sqlite3_errstr(SQLITE_NOMEM);
    if (opened) {
        // Statements put texts between double quotes and rely on SQLite reading a word that
        // names no column as a text value: keep that allowed whatever the library's default.
        sqlite3_db_config(m_handle, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
        sqlite3_db_config(m_handle, SQLITE_DBCONFIG_DQS_DDL, 1, nullptr);
        // Several objects may be open on the file at once; wait briefly for a lock instead of
        // failing at once.
        sqlite3_busy_timeout(m_handle, 5000);
    }
    return opened;
}

bool TQueryResult::Close() {
    if (!m_handle) return true;
    if (sqlite3_close(m_handle) != SQLITE_OK) return false;
    m_handle = nullptr;
    return true;
}

bool TQueryResult::CopyInto(TQueryResult& target, bool waitWhileBusy, std::string* error) {
    if (!m_handle || !target.m_handle) return false;
    sqlite3_backup* backup = sqlite3_backup_init(target.m_handle, "main", m_handle, "main");
    if (!backup) {
        if (error) *error = sqlite3_errmsg(target.m_handle);
        return false;
    }
    int rc;
    do {
        rc = sqlite3_backup_step(backup, -1);
        if (!waitWhileBusy) break;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(20);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc == SQLITE_DONE) return true;
    if (error) *error = sqlite3_errstr(rc);
    return false;
}

TCopyInSteps::TCopyInSteps(TQueryResult& source, TQueryResult& target) : m_target(target.m_handle) {
    if (source.m_handle && m_target)
        m_backup = sqlite3_backup_init(m_target, "main", source.m_handle, "main");
}

TCopyInSteps::~TCopyInSteps() {
    if (m_backup) sqlite3_backup_finish(m_backup);
}

TCopyInSteps::Progress TCopyInSteps::Step(int pages, std::string& error) {
    if (!m_backup) {
        error = m_target ? sqlite3_errmsg(m_target) : "the database is not open";
        return Progress::Failed;
    }
    const int rc = sqlite3_backup_step(m_backup, pages);
    if (rc == SQLITE_DONE) return Progress::Done;
    if (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return Progress::More;
    error = sqlite3_errstr(rc);
    return Progress::Failed;
}

int TQueryResult::run(const std::string& sql, const RowHandler& onRow, std::string* error) {
    RowCall call{onRow, false, {}};
    char* message = nullptr;
    const int rc =
        sqlite3_exec(m_handle, sql.c_str(), onRow ? &callRowHandler : nullptr, &call, &message);
    if (rc != SQLITE_OK && error) {
        if (call.failed && !call.failure.empty()) {
            *error = call.failure;
        } else {
            *error = message ? message : (m_handle ? sqlite3_errmsg(m_handle) : "");
        }
    }
    sqlite3_free(message);
    // A plain VACUUM of a confined connection may have lifted the bound on attached databases
    // for its own temporary copy (see AnswerSandbox.cpp): back to none.
    if (m_confined) sqlite3_limit(m_handle, SQLITE_LIMIT_ATTACHED, 0);
    return rc;
}

bool TQueryResult::Exec(const std::string& sql) {
    return ExecRows(sql, [this](const ResultRow& row) { keepRow(row); });
}

bool TQueryResult::ExecRows(const std::string& sql, const RowHandler& onRow) {
    std::string error;
    if (run(sql, onRow, &error) == SQLITE_OK) return true;
    notifier().message(error);
    return false;
}

int TQueryResult::ExecSilently(const std::string& sql, std::string* error) {
    return run(
        sql, [this](const ResultRow& row) { keepRow(row); }, error);
}

int TQueryResult::ExecRowsSilently(const std::string& sql, const RowHandler& onRow,
                                   std::string* error) {
    return run(sql, onRow, error);
}

bool TQueryResult::Exec(const std::string& sql, const SqlValues& values) {
    std::string error;
    if (runBound(sql, values, &error) == SQLITE_OK) return true;
    notifier().message(error);
    return false;
}

int TQueryResult::ExecSilently(const std::string& sql, const SqlValues& values,
                               std::string* error) {
    return runBound(sql, values, error);
}

int TQueryResult::runBound(const std::string& sql, const SqlValues& values, std::string* error) {
    auto fail = [&](int rc, const std::string& text) {
        if (error) *error = text;
        return rc;
    };
    if (!m_handle) return fail(SQLITE_MISUSE, sqlite3_errstr(SQLITE_MISUSE));
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(m_handle, sql.c_str(), static_cast<int>(sql.size()), &raw, &tail);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, &sqlite3_finalize);
    if (rc != SQLITE_OK) return fail(rc, sqlite3_errmsg(m_handle));
    if (!statement || !Trim(std::string_view(tail)).empty()) {
        return fail(SQLITE_MISUSE, "one statement expected: " + sql);
    }
    if (sqlite3_bind_parameter_count(raw) != static_cast<int>(values.size())) {
        return fail(SQLITE_RANGE, sqlite3_errstr(SQLITE_RANGE));
    }
    for (size_t i = 0; i < values.size(); ++i) {
        const int at = static_cast<int>(i) + 1;
        if (const auto* text = std::get_if<std::string>(&values[i])) {
            rc = sqlite3_bind_text64(raw, at, text->data(), text->size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
        } else {
            rc = sqlite3_bind_int64(raw, at, std::get<long long>(values[i]));
        }
        if (rc != SQLITE_OK) return fail(rc, sqlite3_errmsg(m_handle));
    }
    const int columns = sqlite3_column_count(raw);
    std::vector<char*> cells(static_cast<size_t>(columns));
    std::vector<char*> names(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        names[static_cast<size_t>(c)] = const_cast<char*>(sqlite3_column_name(raw, c));
    }
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const auto* text = sqlite3_column_text(raw, c);
            cells[static_cast<size_t>(c)] =
                reinterpret_cast<char*>(const_cast<unsigned char*>(text));
        }
        keepRow(ResultRow(columns, cells.data(), names.data()));
    }
    if (rc != SQLITE_DONE) return fail(rc, sqlite3_errmsg(m_handle));
    return SQLITE_OK;
}

bool TQueryResult::InTransaction() const {
    return m_handle && sqlite3_get_autocommit(m_handle) == 0;
}

int TQueryResult::onProgress(void* self) {
    auto* q = static_cast<TQueryResult*>(self);
    try {
        return q->m_onSteps() ? 1 : 0;
    } catch (...) {
        return 1;  // nothing may unwind through the library
    }
}

void TQueryResult::SetProgressHandler(int steps, std::function<bool()> onSteps) {
    m_onSteps = std::move(onSteps);
    if (!m_handle) return;
    if (m_onSteps && steps > 0)
        sqlite3_progress_handler(m_handle, steps, &TQueryResult::onProgress, this);
    else
        sqlite3_progress_handler(m_handle, 0, nullptr, nullptr);
}

long long TQueryResult::Changes() const { return m_handle ? sqlite3_changes64(m_handle) : 0; }

void TQueryResult::keepRow(const ResultRow& row) {
    const int columns = row.Count();
    if (columns <= 0) return;
    if (m_rowLimit > 0 && m_rowCount >= m_rowLimit) return;
    // A row is kept whole or not at all, so that the rows before a failure stay readable.
    const size_t before = m_cells.size();
    try {
        if (m_cells.empty()) {
            for (int i = 0; i < columns; ++i) m_cells.emplace_back(row.Name(i));
        }
        for (int i = 0; i < columns; ++i) m_cells.emplace_back(row.Value(i));
    } catch (...) {
        m_cells.resize(before);
        throw;
    }
    m_columnCount = columns;
    ++m_rowCount;
}

void TQueryResult::GoTo(int n) {
    if (m_rowCount == 0) {
        m_atEnd = true;
        m_currentRow = 0;
        return;
    }
    m_currentRow = n > 0 ? n : 0;
    m_atEnd = n > m_rowCount - 1;
    if (m_atEnd) m_currentRow = m_rowCount - 1;
}

int TQueryResult::ColumnIndex(const std::string& name) const {
    const std::string wanted = AsciiUpper(Trim(name));
    for (int i = 0; i < m_columnCount && static_cast<size_t>(i) < m_cells.size(); ++i) {
        if (AsciiUpper(Trim(m_cells[static_cast<size_t>(i)])) == wanted) return i;
    }
    return -1;
}

std::string TQueryResult::Cell(int c) const {
    if (c < 0 || c >= m_columnCount) return {};
    const long long index =
        (static_cast<long long>(m_currentRow) + 1) * m_columnCount + static_cast<long long>(c);
    if (index < 0 || static_cast<size_t>(index) >= m_cells.size()) return {};
    return m_cells[static_cast<size_t>(index)];
}

std::string TQueryResult::Value(const std::string& columnName, const std::string& def) const {
    const int i = ColumnIndex(columnName);
    if (i < 0) return def;
    return Cell(i);
}

std::unique_ptr<TQueryResult> Query(const std::string& sql) {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) return nullptr;
    if (!q->Exec(sql)) return nullptr;
    return q;
}

std::unique_ptr<TQueryResult> Query(const std::string& sql, const SqlValues& values) {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) return nullptr;
    if (!q->Exec(sql, values)) return nullptr;
    return q;
}

bool ExecShowingStatement(TQueryResult& q, const std::string& sql) {
    if (q.Exec(sql)) return true;
    notifier().message(sql);
    return false;
}

Transaction::~Transaction() {
    // Rolling back must not show a second message after the one that made us roll back.
    if (m_active) m_q.ExecRowsSilently("rollback", {});
}

bool Transaction::Begin() {
    m_active = m_q.Exec("begin immediate");
    return m_active;
}

bool Transaction::Commit() {
    if (!m_active) return false;
    if (!m_q.Exec("commit")) return false;
    m_active = false;
    return true;
}

}  // namespace velmorant
