#include "db/QueryResult.h"

#include <sqlite3.h>

#include "db/Notifier.h"
#include "db/Text.h"

namespace velmorant {

namespace {
std::string g_databasePath;

const char* const kDatabaseNotFound = "База данных не найдена.";
const char* const kNoPath = "Не указан путь к БД";
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

bool TQueryResult::Open() {
    if (m_path.empty()) {
        m_errorText = kNoPath;
        return false;
    }
    if (m_handle) {
        sqlite3_close_v2(m_handle);
        m_handle = nullptr;
    }
    const int rc = sqlite3_open(m_path.c_str(), &m_handle);
    m_open = rc == SQLITE_OK;
    if (m_open) {
        // Statements put texts between double quotes and rely on SQLite reading a word that
        // names no column as a text value: keep that allowed whatever the library's default.
        sqlite3_db_config(m_handle, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
        sqlite3_db_config(m_handle, SQLITE_DBCONFIG_DQS_DDL, 1, nullptr);
        // Several objects may be open on the file at once; wait briefly for a lock instead of
        // failing at once.
        sqlite3_busy_timeout(m_handle, 5000);
    }
    return m_open;
}

bool TQueryResult::Exec(const std::string& sql) {
    std::string error;
    if (ExecSilently(sql, &error) == SQLITE_OK) return true;
    notifier().message(error);
    return false;
}

int TQueryResult::ExecSilently(const std::string& sql, std::string* error) {
    char* message = nullptr;
    const int rc = sqlite3_exec(m_handle, sql.c_str(), &TQueryResult::RowCallback, this, &message);
    if (rc != SQLITE_OK && error) {
        *error = message ? message : (m_handle ? sqlite3_errmsg(m_handle) : "");
    }
    sqlite3_free(message);
    return rc;
}

bool TQueryResult::InTransaction() const {
    return m_handle && sqlite3_get_autocommit(m_handle) == 0;
}

int TQueryResult::RowCallback(void* context, int columns, char** values, char** names) {
    auto* self = static_cast<TQueryResult*>(context);
    if (columns <= 0) return 0;
    self->m_columnCount = columns;
    ++self->m_rowCount;
    if (self->m_cells.empty()) {
        for (int i = 0; i < columns; ++i) self->m_cells.emplace_back(names[i] ? names[i] : "");
    }
    for (int i = 0; i < columns; ++i) self->m_cells.emplace_back(values[i] ? values[i] : "");
    return 0;
}

void TQueryResult::GoTo(int n) {
    m_currentRow = n;
    if (m_rowCount == 0) {
        m_atEnd = true;
        m_atStart = true;
        m_currentRow = 0;
        return;
    }
    if (n > 0) {
        m_atStart = false;
    } else {
        m_atStart = true;
        m_currentRow = 0;
    }
    if (n <= m_rowCount - 1) {
        m_atEnd = false;
    } else {
        m_atEnd = true;
        m_currentRow = m_rowCount - 1;
    }
}

std::string TQueryResult::ColumnName(int i) const {
    if (i < 0 || i >= m_columnCount || static_cast<size_t>(i) >= m_cells.size()) return {};
    return m_cells[static_cast<size_t>(i)];
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

TTransaction::~TTransaction() {
    if (m_active) {
        // Rolling back must not show a second message after the one that made us roll back.
        char* error = nullptr;
        sqlite3_exec(m_q.Handle(), "rollback", nullptr, nullptr, &error);
        sqlite3_free(error);
    }
}

bool TTransaction::Begin() {
    m_active = m_q.Exec("begin immediate");
    return m_active;
}

bool TTransaction::Commit() {
    if (!m_active) return false;
    if (!m_q.Exec("commit")) return false;
    m_active = false;
    return true;
}

}  // namespace velmorant
