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

// Says that the database has moved on from its copies: an import changed only what the office
// sends again (the next start's copy, not this moment, keeps it), or the program makes the copy
// in steps from now on. Until a copy taken after this mark is complete, HasBackupOf() is false,
// so a kill meanwhile leaves the copy to the next start. Every call writes a mark of its own:
// a copy whose content was taken before it leaves it in place. Written durably; false with
// `error` set when it cannot be.
bool MarkCopiesBehind(const std::string& databasePath, std::string* error = nullptr);

// The day's copy made a number of pages at a time, for a caller that runs it between other
// work (the program's event loop). The copy is written under a temporary name and checked
// before it takes the day's copy's place; a job destroyed before that removes its temporary
// file.
class BackupInSteps {
public:
    enum class State { Running, Written, Done, Failed };

    BackupInSteps(std::string databasePath, DateTime day);
    ~BackupInSteps();
    BackupInSteps(const BackupInSteps&) = delete;
    BackupInSteps& operator=(const BackupInSteps&) = delete;

    // Copies up to `pages` more pages (the first call opens both files). Written once the copy
    // is complete and closed in WrittenPath() (not yet on the disk); Failed with error() set
    // otherwise.
    State Step(int pages);
    // The slow end of a written copy, which touches only the copies and may run on another
    // thread while nothing else calls this job: the copy is checked (CheckDatabaseFile;
    // kDatabaseDamaged when it fails), made durable and put in place of the day's copy, and
    // the old ones are pruned. False with error() set when it was not put in place.
    bool PutInPlace();
    // Ends a written copy (putting it in place first unless PutInPlace() did): the mark of
    // MarkCopiesBehind goes unless it was written after the copy's content was taken. Done, or
    // Failed with error() set and the written copy removed.
    State Finish();
    const std::string& WrittenPath() const { return m_written; }
    const std::string& error() const { return m_error; }

private:
    State fail(const std::string& text);
    void discard();

    std::string m_databasePath;
    std::string m_target, m_error, m_written;
    std::string m_markWhenWritten;  // the mark of copies behind when the content was taken
    State m_state = State::Running;
    bool m_placed = false;
    struct Open;
    std::unique_ptr<Open> m_open;
};

// The newest copy in the folder of `databasePath` that passes its own check, optionally only
// copies of `day` (0: any); nullptr-like empty path when there is none.
BackupCopy NewestGoodBackup(const std::string& databasePath, DateTime day = 0);

}  // namespace velmorant
