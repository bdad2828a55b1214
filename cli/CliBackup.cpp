// velmorant-cli backup, restore: the copies of base.sdb in data/backup/, for support staff.
// Both print the copies held afterwards, newest first: "yyyy-MM-dd <bytes> <path>".
#include <cstdio>
#include <filesystem>

#include "cli/CliCommand.h"
#include "core/db/Backup.h"
#include "core/db/Clock.h"
#include "core/db/Database.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"

namespace velmorant::cli {
namespace {

void printBackups(const std::string& databasePath) {
    for (const auto& copy : ListBackups(BackupFolderFor(databasePath))) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(copy.path, ec);
        std::printf("%s %llu %s\n", DateToIso(copy.day).c_str(),
                    static_cast<unsigned long long>(ec ? 0 : size), copy.path.c_str());
    }
}

int runBackup(const CliArgs& a) {
    if (!PrepareDatabase()) {
        notifier().message("Ошибка при открытии БД.", MessageIcon::Error);
        return kExitFailed;
    }
    std::string error;
    const bool ok = BackupDatabase(DatabasePath(), a.clock.Today(), &error);
    if (!ok) notifier().message("Не удалось сделать резервную копию: " + error, MessageIcon::Error);
    printBackups(DatabasePath());
    return ok ? kExitOk : kExitFailed;
}

// Without DATE the newest copy that passes its check; with DATE that day's copy.
int runRestore(const CliArgs& a) {
    TDate day = 0;
    if (!a.args.empty()) {
        day = IsoToDate(a.args[0], 0);
        if (day == 0) day = ParseDate(a.args[0], 0);
        if (day == 0) {
            std::fprintf(stderr, "velmorant-cli: not a date: %s (yyyy-MM-dd)\n", a.args[0].c_str());
            return kExitUsage;
        }
    }
    // The database path as the program computes it; a damaged file may fail to prepare.
    PrepareDatabase();
    const std::string databasePath = DatabasePath();
    const BackupCopy copy = NewestGoodBackup(databasePath, day);
    int code = kExitOk;
    if (copy.path.empty()) {
        notifier().message(day == 0 ? "Исправной резервной копии нет."
                                    : "Исправной резервной копии от " + DateToText(day) + " нет.",
                           MessageIcon::Error);
        code = kExitFailed;
    } else {
        std::string movedTo, error;
        if (RestoreBackup(databasePath, copy.path, a.clock.Now(), &movedTo, &error)) {
            std::printf("restored %s\n", copy.path.c_str());
            if (!movedTo.empty()) std::printf("moved aside %s\n", movedTo.c_str());
        } else {
            notifier().message("Не удалось восстановить базу данных из копии: " + error,
                               MessageIcon::Error);
            code = kExitFailed;
        }
    }
    printBackups(databasePath);
    return code;
}

const CliRegistration backupCommand({"backup", "", 0, 0, &runBackup});
const CliRegistration restoreCommand({"restore", "[yyyy-MM-dd]", 0, 1, &runRestore});

}  // namespace
}  // namespace velmorant::cli
