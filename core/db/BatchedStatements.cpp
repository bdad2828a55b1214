#include "core/db/BatchedStatements.h"

#include <sqlite3.h>

#include <array>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"

namespace velmorant {

namespace {

// Errors after which SQLite may have rolled back the whole transaction, not only the failing
// statement; the library's own list, with the two lock errors and an interrupt added.
bool mayHaveLostTheTransaction(int code) {
    switch (code & 0xff) {
        case SQLITE_FULL:
        case SQLITE_IOERR:
        case SQLITE_NOMEM:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_INTERRUPT:
            return true;
        default:
            return false;
    }
}

bool isWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool startsComment(std::string_view s, size_t i) {
    return i + 1 < s.size() &&
           ((s[i] == '-' && s[i + 1] == '-') || (s[i] == '/' && s[i + 1] == '*'));
}

// Skips blanks and comments from `i`; returns the index of the next other character.
size_t skipBlanksAndComments(std::string_view s, size_t i) {
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) <= 32) {
            ++i;
        } else if (!startsComment(s, i)) {
            break;
        } else if (s[i] == '-') {
            const size_t end = s.find('\n', i);
            i = end == std::string_view::npos ? s.size() : end + 1;
        } else {
            const size_t end = s.find("*/", i + 2);
            i = end == std::string_view::npos ? s.size() : end + 2;
        }
    }
    return i;
}

constexpr std::array<std::string_view, 10> kOwnTransactionWords = {
    "BEGIN",   "COMMIT", "END",    "ROLLBACK", "SAVEPOINT",
    "RELEASE", "ATTACH", "DETACH", "VACUUM",   "PRAGMA"};

bool isOwnTransactionWord(std::string_view word) {
    if (word.size() < 3 || word.size() > 9) return false;
    for (const auto w : kOwnTransactionWords) {
        if (w.size() != word.size()) continue;
        size_t k = 0;
        while (k < w.size() && (word[k] & ~0x20) == w[k]) ++k;
        if (k == w.size()) return true;
    }
    return false;
}

// The first word of the statement at `i`; `i` moves past it.
std::string_view firstWord(std::string_view s, size_t& i) {
    i = skipBlanksAndComments(s, i);
    const size_t start = i;
    while (i < s.size() && isWordChar(s[i])) ++i;
    return s.substr(start, i - start);
}

}  // namespace

bool NeedsOwnTransaction(std::string_view s) {
    size_t i = 0;
    if (isOwnTransactionWord(firstWord(s, i))) return true;
    // Most texts are one statement: nothing more to read without a semicolon.
    if (s.find(';', i) == std::string_view::npos) return false;
    while (i < s.size()) {
        // The rest of the statement, up to a semicolon outside quotes and comments.
        while (i < s.size() && s[i] != ';') {
            const char c = s[i];
            if (c == '\'' || c == '"' || c == '`' || c == '[') {
                const size_t q = s.find(c == '[' ? ']' : c, i + 1);
                i = q == std::string_view::npos ? s.size() : q + 1;
            } else if (startsComment(s, i)) {
                i = skipBlanksAndComments(s, i);
            } else {
                ++i;
            }
        }
        if (i >= s.size()) break;
        ++i;  // the semicolon
        if (isOwnTransactionWord(firstWord(s, i))) return true;
    }
    return false;
}

std::vector<std::string> SplitSqlStatements(std::string_view sql) {
    std::vector<std::string> statements;
    std::string candidate;
    size_t start = 0;
    auto add = [&](std::string_view piece) {
        const size_t first = skipBlanksAndComments(piece, 0);
        if (first < piece.size() && !(piece[first] == ';' && first + 1 == piece.size())) {
            statements.push_back(Trim(piece));
        }
    };
    for (size_t i = sql.find(';'); i != std::string_view::npos; i = sql.find(';', i + 1)) {
        candidate.assign(sql.substr(start, i + 1 - start));
        // The library's own test of a complete statement knows quotes, comments and triggers.
        if (sqlite3_complete(candidate.c_str())) {
            add(candidate);
            start = i + 1;
        }
    }
    if (start < sql.size()) add(sql.substr(start));
    return statements;
}

BatchedStatements::BatchedStatements(TQueryResult& q, BatchLimits limits, Clock clock)
    : m_q(q), m_limits(limits), m_clock(std::move(clock)) {
    if (!m_clock) m_clock = [] { return std::chrono::steady_clock::now(); };
    if (m_limits.statements == 0) m_limits.statements = 1;
}

BatchedStatements::~BatchedStatements() {
    if (m_open && m_q.ExecSilently("commit") != SQLITE_OK) rollbackOpen();
}

bool BatchedStatements::Run(const std::string& sql, std::size_t tag) {
    // A transaction the script opened itself is the script's: its statements run in it, as
    // they would one by one.
    if (!m_open && m_q.InTransaction()) return runAlone(sql, tag);
    if (NeedsOwnTransaction(sql)) {
        if (!Commit()) return false;
        return runAlone(sql, tag);
    }
    if (!m_open && !begin()) return runAlone(sql, tag);

    keep(sql, tag);
    std::string error;
    const int rc = m_q.ExecSilently(sql, &error);
    if (rc == SQLITE_OK) {
        if (!m_q.InTransaction()) {
            // A statement that succeeds and leaves autocommit on has committed the batch with
            // itself (the words that end a transaction are run alone, so this takes a form
            // that the test above does not know).
            m_open = false;
            m_count = 0;
            return true;
        }
        if (CommitDue(m_limits, m_count, m_clock() - m_openedAt, m_lastCommit)) return Commit();
        return true;
    }
    if ((rc & 0xff) == SQLITE_INTERRUPT) {
        Abandon();
        return fail(tag, sql, rc, std::move(error));
    }
    if (m_q.InTransaction() && !mayHaveLostTheTransaction(rc)) {
        // Only the failing statement was undone: the ones before it go in force.
        --m_count;
        if (commitOpen()) return fail(tag, sql, rc, std::move(error));
        keep(sql, tag);
    }
    rollbackOpen();
    return replay();
}

bool BatchedStatements::Commit() {
    if (!m_open) return true;
    if (commitOpen()) return true;
    return replay();
}

void BatchedStatements::Abandon() {
    rollbackOpen();
    m_count = 0;
}

bool BatchedStatements::begin() {
    // Taking the write lock at once lets the busy timeout wait for it; a lock taken later, in
    // the middle of the batch, could fail without waiting.
    if (m_q.ExecSilently("begin immediate") != SQLITE_OK) return false;
    m_open = true;
    m_openedAt = m_clock();
    m_count = 0;
    return true;
}

bool BatchedStatements::CommitDue(const BatchLimits& limits, std::size_t count,
                                  std::chrono::steady_clock::duration sinceBegin,
                                  std::chrono::steady_clock::duration lastCommit) {
    if (sinceBegin >= limits.interval) return true;
    return count >= limits.statements && sinceBegin >= lastCommit * limits.commitShare;
}

bool BatchedStatements::commitOpen() {
    if (m_beforeCommit) m_beforeCommit();
    const TimePoint start = m_clock();
    const int rc = m_q.ExecSilently("commit");
    m_lastCommit = m_clock() - start;
    if (rc == SQLITE_OK) {
        m_open = false;
        m_count = 0;
        return true;
    }
    rollbackOpen();
    return false;
}

void BatchedStatements::rollbackOpen() {
    if (m_q.InTransaction()) m_q.ExecSilently("rollback");
    m_open = false;
}

// The batch was rolled back: its statements run again one by one, each committed on its own,
// up to the first that fails.
bool BatchedStatements::replay() {
    const std::size_t count = m_count;
    m_count = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!runAlone(m_batch[i].sql, m_batch[i].tag)) return false;
    }
    return true;
}

bool BatchedStatements::runAlone(const std::string& sql, std::size_t tag) {
    std::string error;
    const int rc = m_q.ExecSilently(sql, &error);
    if (rc == SQLITE_OK) return true;
    if ((rc & 0xff) == SQLITE_INTERRUPT) Abandon();
    return fail(tag, sql, rc, std::move(error));
}

void BatchedStatements::keep(const std::string& sql, std::size_t tag) {
    if (m_count == m_batch.size()) m_batch.emplace_back();
    m_batch[m_count].sql.assign(sql);
    m_batch[m_count].tag = tag;
    ++m_count;
}

bool BatchedStatements::fail(std::size_t tag, const std::string& sql, int code, std::string error) {
    m_failure.tag = tag;
    m_failure.statement = sql;
    m_failure.code = code;
    m_failure.error = std::move(error);
    return false;
}

}  // namespace velmorant
