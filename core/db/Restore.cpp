#include "core/db/Restore.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "core/db/AtomicFile.h"
#include "core/db/Backup.h"
#include "core/db/DatabaseCopy.h"
#include "core/db/QueryResult.h"

namespace velmorant {

namespace fs = std::filesystem;

namespace {

const char* const kRestoring = ".restoring";
const char* const kRestored = ".restored";
const char* const kDamaged = ".damaged-";
// The files SQLite keeps beside a database while it writes.
const char* const kSideFiles[] = {"-journal", "-wal", "-shm"};

std::string stamp(DateTime now) {
    int y, m, d;
    DecodeDate(now, y, m, d);
    long seconds = std::lround((now - std::floor(now)) * 86400.0);
    if (seconds >= 86400) seconds = 86399;
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02ld%02ld%02ld", y, m, d, seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
    return text;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

void removeWithSideFiles(const std::string& path) {
    std::error_code ec;
    for (const std::string& p : {path, path + ".tmp"}) {
        fs::remove(p, ec);
        for (const char* side : kSideFiles) fs::remove(p + side, ec);
    }
}

std::string folderOf(const std::string& path) {
    std::string folder = fs::path(path).parent_path().string();
    return folder.empty() ? std::string(".") : folder;
}

// Moves base.sdb aside as base.sdb.damaged-<now>: its journal and log first, so that a cut in
// between never leaves a journal beside a file that is not its own.
bool moveAside(const std::string& databasePath, DateTime now, std::string& movedTo,
               std::string& error) {
    movedTo.clear();
    bool sideFiles = false;
    for (const char* side : kSideFiles) sideFiles = sideFiles || exists(databasePath + side);
    if (!exists(databasePath) && !sideFiles) return true;
    std::string aside = databasePath + kDamaged + stamp(now);
    for (int n = 2; exists(aside) || exists(aside + "-journal"); ++n) {
        aside = databasePath + kDamaged + stamp(now) + "-" + std::to_string(n);
    }
    std::error_code ec;
    for (const char* side : kSideFiles) {
        if (!exists(databasePath + side)) continue;
        fs::rename(databasePath + side, aside + side, ec);
        if (ec) {
            error = ec.message();
            return false;
        }
    }
    if (exists(databasePath)) {
        fs::rename(databasePath, aside, ec);
        if (ec) {
            error = ec.message();
            return false;
        }
        movedTo = aside;
    }
    SyncFolderOf(databasePath);
    return true;
}

bool putInPlace(const std::string& restored, const std::string& databasePath, std::string& error) {
    std::error_code ec;
    fs::rename(restored, databasePath, ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    SyncFolderOf(databasePath);
    return true;
}

void pruneDamagedFiles(const std::string& databasePath) {
    const auto list = ListDamagedFiles(databasePath);
    for (size_t i = kKeptDamagedFiles; i < list.size(); ++i) removeWithSideFiles(list[i]);
}

std::vector<std::string> columnsOf(TQueryResult& q, const std::string& table) {
    std::vector<std::string> columns;
    q.ExecRowsSilently("pragma table_info(" + table + ")", [&](const ResultRow& row) {
        for (int c = 0; c < row.Count(); ++c) {
            if (row.Name(c) == "name") columns.emplace_back(row.Value(c));
        }
    });
    return columns;
}

std::string joined(const std::vector<std::string>& parts, const std::string& before,
                   const std::string& after) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += ", ";
        out += before + parts[i] + after;
    }
    return out;
}

// Reads every row of `table` that SQLite can reach, in the order of the rowid: when a page
// fails, the scan resumes past it, jumping further each time the next rows cannot be reached
// either. `onRow` gets the row without its leading rowid column. False when not a single
// row could be read and the first attempt failed.
bool readReachableRows(TQueryResult& q, const std::string& select, const std::string& table,
                       const std::string& where,
                       const std::function<void(const ResultRow&)>& onRow) {
    bool first = true;
    bool any = false;
    sqlite3_int64 last = 0;  // the rowid of the last row read
    sqlite3_int64 skip = 0;  // how far past it the next attempt starts
    for (;;) {
        bool gotRow = false;
        std::string sql = "select rowid, " + select + " from " + table + " where (" + where + ")";
        if (!first) sql += " and rowid > " + std::to_string(last + skip);
        sql += " order by rowid";
        const int rc = q.ExecRowsSilently(sql, [&](const ResultRow& row) {
            last = std::strtoll(std::string(row.Value(0)).c_str(), nullptr, 10);
            gotRow = true;
            onRow(row);
        });
        if (rc == SQLITE_OK) return true;
        if (first && !gotRow) return false;
        first = false;
        any = any || gotRow;
        if (gotRow) {
            skip = 0;
        } else {
            skip = skip == 0 ? 1 : skip * 2;
            if (skip > (sqlite3_int64(1) << 24)) return any;
        }
    }
}

int countOf(std::string_view text) {
    return static_cast<int>(std::lround(std::strtod(std::string(text).c_str(), nullptr)));
}

// The columns of `wanted` that `table` has in `q`'s database, as positions in `wanted`.
std::vector<size_t> sharedColumns(TQueryResult& q, const std::string& table,
                                  const std::vector<std::string>& wanted) {
    const auto present = columnsOf(q, table);
    std::vector<size_t> positions;
    for (size_t i = 0; i < wanted.size(); ++i) {
        for (const auto& name : present) {
            if (sqlite3_stricmp(name.c_str(), wanted[i].c_str()) == 0) {
                positions.push_back(i);
                break;
            }
        }
    }
    return positions;
}

std::string insertStatement(const std::string& table, const std::vector<std::string>& columns,
                            const std::vector<size_t>& positions,
                            const RescuedDocuments::Row& row) {
    std::string names, values;
    for (size_t k = 0; k < positions.size(); ++k) {
        if (k) {
            names += ", ";
            values += ", ";
        }
        names += "\"" + columns[positions[k]] + "\"";
        values += row.literals[positions[k]];
    }
    return "insert into " + table + " (" + names + ") values (" + values + ")";
}

// The document as the target holds it, in the same literal form; empty when it has none.
std::string signatureIn(TQueryResult& q, const RescuedDocuments& rescued,
                        const std::vector<size_t>& headAt, const std::vector<size_t>& lineAt,
                        const std::string& guidLiteral, std::vector<std::string>& states) {
    std::vector<std::string> heads, lines;
    for (size_t i : headAt) heads.push_back("quote(\"" + rescued.headColumns[i] + "\")");
    for (size_t i : lineAt) lines.push_back("quote(\"" + rescued.lineColumns[i] + "\")");
    std::string signature;
    const auto keep = [&](const ResultRow& row) {
        for (int c = 1; c < row.Count(); ++c) signature.append(row.Value(c)).push_back('\x1f');
        signature.push_back('\n');
    };
    q.ExecRowsSilently("select DOC_STATE, " + joined(heads, "", "") +
                           " from DOC_HEADS where GUID = " + guidLiteral,
                       [&](const ResultRow& row) {
                           states.emplace_back(row.Value(0));
                           keep(row);
                       });
    q.ExecRowsSilently("select 0, " + joined(lines, "", "") +
                           " from DOC_ORDERS where DOC_ID = " + guidLiteral + " order by rowid",
                       keep);
    return signature;
}

std::string signatureOf(const RescuedDocuments::Document& doc, const std::vector<size_t>& headAt,
                        const std::vector<size_t>& lineAt) {
    std::string signature;
    const auto add = [&](const RescuedDocuments::Row& row, const std::vector<size_t>& at) {
        for (size_t i : at) signature.append(row.literals[i]).push_back('\x1f');
        signature.push_back('\n');
    };
    add(doc.head, headAt);
    for (const auto& line : doc.lines) add(line, lineAt);
    return signature;
}

// Puts the rescued documents into the database at `path` in one transaction.
bool putBack(const std::string& path, const RescuedDocuments& rescued, RestoreOutcome& outcome,
             std::string& error) {
    outcome.unreadable = rescued.unreadable;
    if (rescued.documents.empty()) return true;
    TQueryResult q(path);
    if (!q.Open(&error)) return false;
    const auto headAt = sharedColumns(q, "DOC_HEADS", rescued.headColumns);
    const auto lineAt = sharedColumns(q, "DOC_ORDERS", rescued.lineColumns);
    if (q.ExecSilently("begin immediate", &error) != SQLITE_OK) return false;
    int broughtBack = 0;
    for (const auto& doc : rescued.documents) {
        std::vector<std::string> states;
        const std::string held = signatureIn(q, rescued, headAt, lineAt, doc.guidLiteral, states);
        // The copy has it as the agent last saved it, or the office has taken it over since.
        if (held == signatureOf(doc, headAt, lineAt)) continue;
        if (std::any_of(states.begin(), states.end(),
                        [](const std::string& s) { return countOf(s) != 1; })) {
            continue;
        }
        std::string sql = "delete from DOC_HEADS where GUID = " + doc.guidLiteral +
                          "; delete from DOC_ORDERS where DOC_ID = " + doc.guidLiteral + ";";
        sql += insertStatement("DOC_HEADS", rescued.headColumns, headAt, doc.head) + ";";
        for (const auto& line : doc.lines) {
            sql += insertStatement("DOC_ORDERS", rescued.lineColumns, lineAt, line) + ";";
        }
        std::string failure;
        if (q.ExecSilently("savepoint one; " + sql + " release one;", &failure) != SQLITE_OK) {
            q.ExecSilently("rollback to one; release one;");
            ++outcome.unreadable;
            continue;
        }
        ++broughtBack;
    }
    if (q.ExecSilently("commit", &error) != SQLITE_OK) {
        q.ExecSilently("rollback");
        return false;
    }
    if (!q.Close()) {
        error = "the database stays busy";
        return false;
    }
    outcome.broughtBack = broughtBack;
    return true;
}

}  // namespace

RescuedDocuments ReadRescuableDocuments(const std::string& path) {
    RescuedDocuments rescued;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) == 0) return rescued;
    TQueryResult q(path);
    if (!q.OpenReadOnly()) return rescued;
    rescued.headColumns = columnsOf(q, "DOC_HEADS");
    rescued.lineColumns = columnsOf(q, "DOC_ORDERS");
    if (rescued.headColumns.empty()) return rescued;

    struct Head {
        RescuedDocuments::Document doc;
        int expectedLines = 0;
        std::set<std::string> lineNumbers;
        bool broken = false;
    };
    std::map<std::string, Head> heads;  // by the GUID's text
    const std::string headSelect =
        "GUID, ORD_LINES, quote(GUID), " + joined(rescued.headColumns, "quote(\"", "\")");
    rescued.readable =
        readReachableRows(q, headSelect, "DOC_HEADS", "DOC_STATE = 1", [&](const ResultRow& row) {
            Head& head = heads[std::string(row.Value(1))];
            head.expectedLines = countOf(row.Value(2));
            head.doc.guidLiteral = std::string(row.Value(3));
            head.doc.head.literals.clear();
            for (int c = 4; c < row.Count(); ++c) head.doc.head.literals.emplace_back(row.Value(c));
        });
    if (!rescued.readable || heads.empty()) return rescued;

    if (!rescued.lineColumns.empty()) {
        const std::string lineSelect =
            "DOC_ID, ORDER_ID, " + joined(rescued.lineColumns, "quote(\"", "\")");
        // Lines that cannot be reached leave their document short: it counts as unreadable.
        readReachableRows(q, lineSelect, "DOC_ORDERS", "1", [&](const ResultRow& row) {
            const auto it = heads.find(std::string(row.Value(1)));
            if (it == heads.end()) return;
            Head& head = it->second;
            if (!head.lineNumbers.emplace(row.Value(2)).second) head.broken = true;
            RescuedDocuments::Row line;
            for (int c = 3; c < row.Count(); ++c) line.literals.emplace_back(row.Value(c));
            head.doc.lines.push_back(std::move(line));
        });
    }
    for (auto& [guid, head] : heads) {
        const bool whole = !head.broken &&
                           head.doc.head.literals.size() == rescued.headColumns.size() &&
                           static_cast<int>(head.doc.lines.size()) == head.expectedLines;
        if (whole) {
            rescued.documents.push_back(std::move(head.doc));
        } else {
            ++rescued.unreadable;
        }
    }
    return rescued;
}

bool RestoreBackup(const std::string& databasePath, const std::string& backupPath, DateTime now,
                   const RescuedDocuments* rescued, RestoreOutcome& outcome, std::string& error,
                   const RestoreStepHook& onStep) {
    outcome = RestoreOutcome{};
    const auto step = [&](RestoreStep s) {
        if (onStep) onStep(s);
    };
    const std::string restoring = databasePath + kRestoring;
    const std::string restored = databasePath + kRestored;
    removeWithSideFiles(restoring);
    if (!CopyDatabase(backupPath, restoring, WhenBusy::Wait, error)) {
        removeWithSideFiles(restoring);
        return false;
    }
    step(RestoreStep::CopyWritten);
    if (rescued && !putBack(restoring, *rescued, outcome, error)) {
        removeWithSideFiles(restoring);
        return false;
    }
    // SQLite forced the documents to the disk when their transaction committed.
    step(RestoreStep::DocumentsBroughtBack);
    std::error_code ec;
    fs::rename(restoring, restored, ec);
    if (ec) {
        error = ec.message();
        removeWithSideFiles(restoring);
        return false;
    }
    SyncFolderOf(databasePath);
    step(RestoreStep::CopyComplete);
    // From here on the restore is decided: a failure leaves base.sdb.restored, which the next
    // start puts in place.
    if (!moveAside(databasePath, now, outcome.movedTo, error)) return false;
    step(RestoreStep::MovedAside);
    if (!putInPlace(restored, databasePath, error)) return false;
    step(RestoreStep::Done);
    pruneDamagedFiles(databasePath);
    return true;
}

InterruptedRestore FinishInterruptedRestore(const std::string& databasePath, DateTime now) {
    InterruptedRestore found = InterruptedRestore::None;
    const std::string restoring = databasePath + kRestoring;
    const std::string restored = databasePath + kRestored;
    if (exists(restoring) || exists(restoring + "-journal") || exists(restoring + ".tmp") ||
        exists(restoring + ".tmp-journal")) {
        removeWithSideFiles(restoring);
        found = InterruptedRestore::Undone;
    }
    if (exists(restored)) {
        std::string movedTo, error;
        // A journal beside the complete copy is never its own: it is not replayed.
        for (const char* side : kSideFiles) {
            std::error_code ec;
            fs::remove(restored + side, ec);
        }
        if (moveAside(databasePath, now, movedTo, error) &&
            putInPlace(restored, databasePath, error)) {
            found = InterruptedRestore::Finished;
        }
    }
    pruneDamagedFiles(databasePath);
    return found;
}

std::vector<std::string> ListDamagedFiles(const std::string& databasePath) {
    const std::string prefix = fs::path(databasePath).filename().string() + kDamaged;
    std::vector<std::string> list;
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(databasePath), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        bool sideFile = false;
        for (const char* side : kSideFiles) {
            const std::string s = side;
            sideFile = sideFile || (name.size() > s.size() &&
                                    name.compare(name.size() - s.size(), s.size(), s) == 0);
        }
        if (!sideFile) list.push_back(it->path().string());
    }
    // The names hold the time: the newest sorts last ("-2" after the same second's first).
    std::sort(list.begin(), list.end(), std::greater<>());
    return list;
}

bool RestoreTemporaryExists(const std::string& databasePath) {
    const std::string restoring = databasePath + kRestoring;
    return exists(restoring) || exists(restoring + "-journal") || exists(restoring + ".tmp") ||
           exists(databasePath + kRestored);
}

}  // namespace velmorant
