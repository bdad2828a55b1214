#pragma once

#include <filesystem>
#include <string>

#include "core/db/Dates.h"

namespace velmorant {

// The database file as the start finds it, before anything opens it for writing.
enum class DatabaseState {
    NewDevice,  // no base.sdb (or an empty one) and nothing that ever held one: a first start
    Healthy,    // base.sdb passes its check
    Damaged,    // base.sdb fails its check, or is missing or empty where copies or damaged
                // files show that a database was there
};

// Looks at the file only (the quick check of CheckDatabaseFile); asks nothing, changes nothing.
DatabaseState ClassifyDatabase(const std::string& databasePath);

enum class StartOutcome {
    NewDevice,      // nothing to check: the preparation creates the database
    Healthy,        // the file passed its check
    Restored,       // the file was damaged and a copy took its place (the messages are shown)
    Damaged,        // damaged and left as it is (no good copy, or the person said No)
    RestoreFailed,  // the person agreed and the restore failed (the message is shown)
};

// The start of the program (or of velmorant-cli startup), before the database is prepared:
//   1. temporary files of our own that a killed run left (RemoveStaleTemporaries, for those
//      last changed before `runStarted`) are removed;
//   2. an interrupted restore is finished or undone (FinishInterruptedRestore);
//   3. the database is classified; when it is damaged and a copy passes its check, the person
//      is asked "База данных повреждена. Восстановить из копии от dd.MM.yyyy?" (with a warning
//      that orders written after the copy will be lost when the damaged file cannot be read),
//      and on Yes the copy is restored with every document in state 1 that could be read from
//      the damaged file, which the person is told: "Восстановлено документов: N. Не удалось
//      прочитать: M.". Without a good copy: "База данных повреждена. Исправной резервной
//      копии нет."
// The day's copy is not made here: the caller makes it (at once or in steps) when the outcome
// is Healthy or Restored.
StartOutcome CheckDatabaseAtStart(const std::string& programFolder, DateTime now,
                                  std::filesystem::file_time_type runStarted);

// The same, then the day's copy at once; for velmorant-cli and tests. False only for
// RestoreFailed.
bool CheckAndBackUpAtStart(
    const std::string& programFolder, DateTime now,
    std::filesystem::file_time_type runStarted = std::filesystem::file_time_type::clock::now());

// data/base.sdb in `programFolder` (which ends with "/").
std::string DatabaseFileIn(const std::string& programFolder);

// Removes the temporary files that operations of this program create and a kill can leave:
// "<name>.XXXXXX.tmp" (an extracted entry, the export's XML, a written file, a copy made in
// steps), "*.part" (a download) in the exchange folder, "base-yyyy-MM-dd.sdb.tmp" (a copy) in
// data/backup/, the packer's scratch files ("pack.tmp", "0001".."FFFF") in the program
// folder, each with the journal SQLite may have left beside it. Only files last changed before
// `runStarted` go, so that a run still writing keeps its own. Returns the number removed.
int RemoveStaleTemporaries(const std::string& programFolder,
                           std::filesystem::file_time_type runStarted);

}  // namespace velmorant
