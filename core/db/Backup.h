#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/db/Dates.h"

namespace velmorant {

// Copies of base.sdb kept beside it in data/backup/, one per day ("base-yyyy-MM-dd.sdb"),
// the seven newest, and an older one when it is larger than all of them (the last full copy
// of a database that lost its content). Every copy is made with SQLite's online backup, so a copy
// is always a consistent database even while another connection writes.

inline constexpr int kBackupsKept = 7;

struct BackupCopy {
    std::string path;
    DateTime day = 0;      // the day in the file's name
    DateTime written = 0;  // when the file was last written (local time)
};

// data/backup/ beside the database at `databasePath` (ends with "/").
std::string BackupFolderFor(const std::string& databasePath);

// The copies in `folder`, newest first; files whose names are not such a copy are ignored.
std::vector<BackupCopy> ListBackups(const std::string& folder);

// True when the file at `path` opens and PRAGMA quick_check answers "ok". A missing or empty
// file fails. A journal that a killed writer left beside it is rolled back first. `error`
// (optional) receives the first problem reported.
bool CheckDatabaseFile(const std::string& path, std::string* error = nullptr);

// The error text of a copy refused because the database failed its check.
inline constexpr char kDatabaseDamaged[] = "База данных повреждена.";

// Copies the database at `databasePath` into the copy of `day`, replacing that day's earlier
// one, then removes all but the kBackupsKept newest (and the larger older one above), and the
// mark of MarkCopiesBehind. A database
// that fails CheckDatabaseFile is never copied (`error` is then kDatabaseDamaged): a damaged copy
// would replace a good one. The copy is written under a temporary name and renamed only when
// complete: a copy that fails (full disk, no folder) is removed and leaves the earlier one as it
// was. Returns false with `error` set on failure.
bool BackupDatabase(const std::string& databasePath, DateTime day, std::string* error = nullptr);

// Makes the copy of `day` unless it has one that is not behind (the first start of a day).
bool BackupDatabaseOnce(const std::string& databasePath, DateTime day,
                        std::string* error = nullptr);

// What to show for a copy that failed with `error`: kDatabaseDamaged as it stands, anything
// else after "Не удалось сделать резервную копию: ".
std::string BackupFailureMessage(const std::string& error);

// True when the day's copy exists and is not behind (see MarkCopiesBehind): no copy needs to
// be made for the day.
bool HasBackupOf(const std::string& databasePath, DateTime day);

// True when the day's copy exists, behind or not.
bool HasAnyBackupOf(const std::string& databasePath, DateTime day);

// Says that the database has moved on from its copies in a way that the next copy, and not
// this moment, is to keep: a completed import that changed only what the office sends again
// (see ImportScript). Until a copy is complete again HasBackupOf() is false, so the next start
// makes the day's copy anew. Written durably; false with `error` set when it cannot be.
bool MarkCopiesBehind(const std::string& databasePath, std::string* error = nullptr);

// The day's copy made a number of pages at a time, for a caller that runs it between other
// work (the program's event loop): nothing of the database is checked here, the caller has
// done that. The copy is written under the temporary name and takes its place only when
// complete; a job destroyed before that removes its temporary file.
class BackupInSteps {
public:
    enum class State { Running, Done, Failed };

    BackupInSteps(std::string databasePath, DateTime day);
    ~BackupInSteps();
    BackupInSteps(const BackupInSteps&) = delete;
    BackupInSteps& operator=(const BackupInSteps&) = delete;

    // Copies up to `pages` more pages (the first call opens both files). Done once the copy is
    // in place, the old ones pruned and the mark of MarkCopiesBehind removed; Failed with
    // error() set otherwise.
    State Step(int pages);
    const std::string& error() const { return m_error; }

private:
    State fail(const std::string& text);
    void discard();

    std::string m_databasePath;
    std::string m_target, m_error;
    State m_state = State::Running;
    struct Open;
    std::unique_ptr<Open> m_open;
};

// The newest copy in the folder of `databasePath` that passes its own check, optionally only
// copies of `day` (0: any); nullptr-like empty path when there is none.
BackupCopy NewestGoodBackup(const std::string& databasePath, DateTime day = 0);

}  // namespace velmorant
