#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/db/Dates.h"

namespace velmorant {

// Putting a copy from data/backup/ in place of a damaged base.sdb, so that a kill or a power
// cut at any moment leaves something the next start can finish or undo. The names beside
// base.sdb tell how far it got:
//   base.sdb.restoring   the copy being written (and documents being brought back into it):
//                        incomplete, removed at the next start; base.sdb is untouched;
//   base.sdb.restored    the complete copy: the next start moves base.sdb aside (if it is
//                        still there) and renames this one into its place;
//   base.sdb.damaged-yyyyMMdd-HHmmss   the file that was replaced, never deleted by the
//                        restore itself; only the newest kKeptDamagedFiles are kept.

inline constexpr int kKeptDamagedFiles = 2;

// The documents read from a damaged file that the copy may lack: every document in state 1
// whose lines could all be read and match the count in its header, as SQL literals ready to
// be inserted again.
struct RescuedDocuments {
    struct Row {
        std::vector<std::string> literals;  // quote() of every column, in `columns` order
    };
    struct Document {
        std::string guidLiteral;
        Row head;
        std::vector<Row> lines;
    };
    bool readable = false;  // the file opened and its document headers could be read
    std::vector<std::string> headColumns;
    std::vector<std::string> lineColumns;
    std::vector<Document> documents;
    int unreadable = 0;  // documents in state 1 whose lines could not all be read
};

// Reads, as far as SQLite can, the documents in state 1 of the (damaged) database at `path`.
// A missing, empty or unreadable file gives readable == false and nothing to bring back.
RescuedDocuments ReadRescuableDocuments(const std::string& path);

// The steps of RestoreBackup, each reported once it is complete (for tests that stop the
// process there).
enum class RestoreStep { CopyWritten, DocumentsBroughtBack, CopyComplete, MovedAside, Done };
using RestoreStepHook = std::function<void(RestoreStep)>;

struct RestoreOutcome {
    std::string movedTo;  // where base.sdb went; empty when there was none
    int broughtBack = 0;  // documents of `rescued` put into the restored database
    int unreadable = 0;   // rescued.unreadable plus documents that could not be put back
};

// Puts the copy at `backupPath` in place of the database at `databasePath`: the copy is
// written as base.sdb.restoring, the documents of `rescued` (optional) that the copy lacks, or
// holds in an older state-1 version, are put into it in one transaction, it becomes
// base.sdb.restored, base.sdb (with its journal, which must never be replayed onto the copy)
// is moved aside as base.sdb.damaged-<now>, and base.sdb.restored is renamed into place.
// Each step is made durable (fsync of the file and the folder) before the next. False with
// `error` set when it fails; what is left is then undone or finished by
// FinishInterruptedRestore.
bool RestoreBackup(const std::string& databasePath, const std::string& backupPath, DateTime now,
                   const RescuedDocuments* rescued, RestoreOutcome& outcome, std::string& error,
                   const RestoreStepHook& onStep = {});

// What FinishInterruptedRestore found.
enum class InterruptedRestore { None, Undone, Finished };

// Start-up: an incomplete base.sdb.restoring is removed (undone: base.sdb was never touched);
// a complete base.sdb.restored is put into place as the last steps of RestoreBackup would
// have. Then only the newest kKeptDamagedFiles damaged files are kept.
InterruptedRestore FinishInterruptedRestore(const std::string& databasePath, DateTime now);

// The files base.sdb.damaged-* beside `databasePath`, newest first (journals excluded).
std::vector<std::string> ListDamagedFiles(const std::string& databasePath);

// True when a restore left one of its temporary files beside `databasePath`.
bool RestoreTemporaryExists(const std::string& databasePath);

}  // namespace velmorant
