#pragma once

#include <string>
#include <vector>

#include "core/db/Dates.h"

namespace velmorant {

// Copies of base.sdb kept beside it in data/backup/, one per day ("base-yyyy-MM-dd.sdb"),
// the seven newest. Every copy is made with SQLite's online backup, so a copy is always a
// consistent database even while another connection writes.

inline constexpr int kBackupsKept = 7;

struct BackupCopy {
    std::string path;
    TDate day = 0;  // the day in the file's name
};

// data/backup/ beside the database at `databasePath` (ends with "/").
std::string BackupFolderFor(const std::string& databasePath);

// The copies in `folder`, newest first; files whose names are not such a copy are ignored.
std::vector<BackupCopy> ListBackups(const std::string& folder);

// True when the file at `path` opens and PRAGMA quick_check answers "ok". A missing file
// fails. `error` (optional) receives the first problem reported.
bool CheckDatabaseFile(const std::string& path, std::string* error = nullptr);

// Copies the database at `databasePath` into the copy of `day`, replacing that day's earlier
// one, then removes all but the kBackupsKept newest. The copy is written under a temporary
// name and renamed only when complete: a copy that fails (full disk, no folder) is removed
// and leaves the earlier one as it was. Returns false with `error` set on failure.
bool BackupDatabase(const std::string& databasePath, TDate day, std::string* error = nullptr);

// Makes the copy of `day` unless one exists already (the first start of a day).
bool BackupDatabaseOnce(const std::string& databasePath, TDate day, std::string* error = nullptr);

// Puts the copy at `backupPath` in place of the database: the copy is first written beside
// the database under a temporary name, then the current file (and its journal, which must not
// be replayed onto the copy) is moved aside as "base.sdb.damaged-yyyyMMdd-HHmmss", never
// deleted, and the copy renamed into place. `now` names the moved file. The name moved to is
// returned in `movedTo` (empty when there was no file).
bool RestoreBackup(const std::string& databasePath, const std::string& backupPath, TDate now,
                   std::string* movedTo = nullptr, std::string* error = nullptr);

// The newest copy in the folder of `databasePath` that passes its own check, optionally only
// copies of `day` (0: any); nullptr-like empty path when there is none.
BackupCopy NewestGoodBackup(const std::string& databasePath, TDate day = 0);

// Start-up: checks the database at `databasePath` once. When the check fails and a good copy
// exists, asks through notifier() whether to restore it; on Yes restores it. Then makes the
// day's first copy of a database that passed (or was restored). Returns false only when the
// person agreed to a restore that failed (the message has been shown); the program goes on
// with the file it has in every case.
bool CheckAndBackUpAtStart(const std::string& databasePath, TDate now);

}  // namespace velmorant
