// What the office's answer may do on the connection that runs it. The answer is SQL that
// arrives over the network, so the connection is set up as for untrusted SQL: the library's
// defensive mode, no extensions, no file other than base.sdb, nothing that stays behind in
// the schema and runs later on other connections, nothing that changes the process.
// docs/exchange-protocol.md ("What an answer may do") lists the same choices for the office.
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"

namespace velmorant {

namespace {

// The longest text or blob a statement may make: far above any directory row, far below what
// would exhaust a handheld's memory (randomblob(1e9), a runaway group_concat).
constexpr int kMaxValueLength = 32 * 1024 * 1024;

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
           });
}

template <std::size_t N>
bool oneOf(const char* name, const std::array<std::string_view, N>& list) {
    if (!name) return false;
    return std::any_of(list.begin(), list.end(),
                       [&](std::string_view entry) { return sameName(entry, name); });
}

// Pragmas that only read, or that change nothing but this connection while it lives.
constexpr std::array<std::string_view, 36> kPragmas = {
    "analysis_limit",   "automatic_index",    "busy_timeout",
    "cache_size",       "cache_spill",        "case_sensitive_like",
    "cell_size_check",  "collation_list",     "data_version",
    "database_list",    "defer_foreign_keys", "foreign_key_check",
    "foreign_key_list", "foreign_keys",       "freelist_count",
    "function_list",    "incremental_vacuum", "index_info",
    "index_list",       "index_xinfo",        "integrity_check",
    "max_page_count",   "module_list",        "optimize",
    "page_count",       "pragma_list",        "query_only",
    "quick_check",      "recursive_triggers", "reverse_unordered_selects",
    "secure_delete",    "shrink_memory",      "table_info",
    "table_list",       "table_xinfo",        "temp_store"};

// Pragmas that may be read but not set: setting them changes the file for every later
// connection, or the whole process, or lets a power cut during the run damage the file.
constexpr std::array<std::string_view, 15> kReadOnlyPragmas = {
    "application_id",  "auto_vacuum",        "compile_options", "encoding",     "hard_heap_limit",
    "journal_mode",    "legacy_alter_table", "locking_mode",    "page_size",    "schema_version",
    "soft_heap_limit", "synchronous",        "threads",         "user_version", "writable_schema"};

// Functions that reach outside the database or hand out the library's pointers. Most are not
// even present in a program's build; naming them costs nothing if one ever is.
constexpr std::array<std::string_view, 9> kFunctions = {
    "load_extension", "fts3_tokenizer", "readfile", "writefile",       "edit",
    "fts5",           "fts5_source_id", "zipfile",  "sqlar_uncompress"};

// Tables that are doors to the file's pages or to the file system when the library has them.
constexpr std::array<std::string_view, 5> kTables = {"sqlite_dbpage", "sqlite_dbdata",
                                                     "sqlite_dbptr", "fsdir", "zipfile"};

// A plain VACUUM attaches its temporary copy under an empty name while it runs; it is the only
// attachment let through, and only while the statement that runs is a VACUUM of main.
bool isPlainVacuumRunning(sqlite3* db) {
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s)) {
        if (!sqlite3_stmt_busy(s)) continue;
        const char* sql = sqlite3_sql(s);
        if (!sql) continue;
        const std::string words = AsciiUpper(Trim(sql));
        if (words == "VACUUM" || words == "VACUUM;" || words == "VACUUM MAIN" ||
            words == "VACUUM MAIN;")
            return true;
    }
    return false;
}

int authorize(sqlite3* db, int action, const char* a1, const char* a2) {
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_RECURSIVE:
        case SQLITE_TRANSACTION:
        case SQLITE_SAVEPOINT:
        case SQLITE_CREATE_TABLE:
        case SQLITE_CREATE_INDEX:
        case SQLITE_CREATE_TEMP_TABLE:
        case SQLITE_CREATE_TEMP_INDEX:
        case SQLITE_CREATE_TEMP_VIEW:  // gone when the connection closes
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_INDEX:
        case SQLITE_DROP_TEMP_TABLE:
        case SQLITE_DROP_TEMP_INDEX:
        case SQLITE_DROP_TRIGGER:  // dropping is how an office clears what it must not keep
        case SQLITE_DROP_TEMP_TRIGGER:
        case SQLITE_DROP_VIEW:
        case SQLITE_DROP_TEMP_VIEW:
        case SQLITE_ALTER_TABLE:
        case SQLITE_REINDEX:
        case SQLITE_ANALYZE:
            return SQLITE_OK;
        case SQLITE_READ:
        case SQLITE_INSERT:
        case SQLITE_UPDATE:
        case SQLITE_DELETE:
            return oneOf(a1, kTables) ? SQLITE_DENY : SQLITE_OK;
        case SQLITE_FUNCTION:
            return oneOf(a2, kFunctions) ? SQLITE_DENY : SQLITE_OK;
        case SQLITE_PRAGMA:
            if (oneOf(a1, kPragmas)) return SQLITE_OK;
            return !a2 && oneOf(a1, kReadOnlyPragmas) ? SQLITE_OK : SQLITE_DENY;
        case SQLITE_ATTACH:
            if (a1 && *a1 == '\0' && isPlainVacuumRunning(db)) {
                sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 1);  // back to 0 after the statement
                return SQLITE_OK;
            }
            return SQLITE_DENY;
        default:
            // ATTACH, DETACH, triggers and views that stay in the file, virtual tables, and
            // whatever a later library adds.
            return SQLITE_DENY;
    }
}

// The table whose rows or shape an action may change; nullptr for any other action.
const char* writtenTable(int action, const char* a1, const char* a2) {
    switch (action) {
        case SQLITE_INSERT:
        case SQLITE_UPDATE:
        case SQLITE_DELETE:
        case SQLITE_CREATE_TABLE:
        case SQLITE_DROP_TABLE:
            return a1;
        case SQLITE_ALTER_TABLE:
            return a2;  // a1 names the database
        default:
            return nullptr;
    }
}

}  // namespace

int TQueryResult::authorizeAnswer(void* self, int action, const char* a1, const char* a2,
                                  const char* database, const char* /*inside*/) {
    auto* q = static_cast<TQueryResult*>(self);
    const int verdict = authorize(q->m_handle, action, a1, a2);
    const char* table = writtenTable(action, a1, a2);
    const char* inDatabase = action == SQLITE_ALTER_TABLE ? a1 : database;
    const bool temporary = inDatabase && sameName(inDatabase, "temp");
    if (verdict == SQLITE_OK && table && !temporary) q->m_tablesWritten.insert(AsciiUpper(table));
    return verdict;
}

bool TQueryResult::ConfineToAnswer(std::string* error) {
    if (!m_handle) return false;
    int on = 0;
    const bool configured =
        sqlite3_db_config(m_handle, SQLITE_DBCONFIG_DEFENSIVE, 1, &on) == SQLITE_OK && on == 1 &&
        sqlite3_db_config(m_handle, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, &on) == SQLITE_OK &&
        on == 0 &&
        sqlite3_db_config(m_handle, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, &on) == SQLITE_OK &&
        on == 0 &&
        sqlite3_db_config(m_handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, &on) == SQLITE_OK &&
        on == 0 &&
        sqlite3_set_authorizer(m_handle, &TQueryResult::authorizeAnswer, this) == SQLITE_OK;
    if (!configured) {
        if (error) *error = sqlite3_errmsg(m_handle);
        return false;
    }
    sqlite3_limit(m_handle, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(m_handle, SQLITE_LIMIT_LENGTH, kMaxValueLength);
    m_confined = true;
    return true;
}

bool TQueryResult::EndAnswer(std::string* error) {
    std::vector<std::string> drops;
    int rc = ExecRowsSilently(
        "select type, name from temp.sqlite_master where type in ('table', 'view')",
        [&](const ResultRow& row) {
            std::string quoted;
            for (const char c : row.Value(1)) {
                if (c == '"') quoted += '"';
                quoted += c;
            }
            drops.push_back("drop " + std::string(row.Value(0)) + " temp.\"" + quoted + "\"");
        },
        error);
    for (std::size_t i = 0; rc == 0 && i < drops.size(); ++i) rc = ExecSilently(drops[i], error);
    if (rc == 0) rc = ExecSilently("pragma query_only = 0", error);
    // The largest page count the library allows.
    if (rc == 0) rc = ExecSilently("pragma max_page_count = 4294967294", error);
    return rc == 0;
}

}  // namespace velmorant
