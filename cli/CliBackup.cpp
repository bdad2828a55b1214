// velmorant-cli backup, restore, startup: the copies of base.sdb in data/backup/, for support
// staff. backup and restore print the copies held afterwards, newest first:
// "yyyy-MM-dd <bytes> <path>".
#include <cstdio>
#include <filesystem>

#include "cli/CliCommand.h"
#include "core/db/Backup.h"
#include "core/db/Clock.h"
#include "core/db/Database.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"
#include "core/db/Restore.h"
#include "core/db/StartCheck.h"

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

// A damaged database is not prepared (its probe would only add the library's complaints) and
// never copied: "База данных повреждена.", exit code 1, the copies stay as they are.
int runBackup(const CliArgs& a) {
    const std::string databasePath = DatabaseFileIn(ProgramFolder());
    if (ClassifyDatabase(databasePath) != DatabaseState::Damaged && !PrepareDatabase()) {
        notifier().message("Ошибка при открытии БД.", MessageIcon::Error);
        return kExitFailed;
    }
    std::string error;
    const bool ok = BackupDatabase(databasePath, a.clock.Today(), &error);
    if (!ok) notifier().message(BackupFailureMessage(error), MessageIcon::Error);
    printBackups(databasePath);
    return ok ? kExitOk : kExitFailed;
}

// Without DATE the newest copy that passes its check; with DATE that day's copy.
int runRestore(const CliArgs& a) {
    DateTime day = 0;
    if (!a.args.empty()) {
        day = IsoToDate(a.args[0], 0);
        if (day == 0) day = ParseDate(a.args[0], 0);
        if (day == 0) {
            std::fprintf(stderr, "velmorant-cli: not a date: %s (yyyy-MM-dd)\n", a.args[0].c_str());
            return kExitUsage;
        }
    }
    // Not prepared: the file may be damaged, and a missing one must not become an empty one.
    const std::string databasePath = DatabaseFileIn(ProgramFolder());
    FinishInterruptedRestore(databasePath, a.clock.Now());
    const BackupCopy copy = NewestGoodBackup(databasePath, day);
    int code = kExitOk;
    if (copy.path.empty()) {
        notifier().message(day == 0 ? "Исправной резервной копии нет."
                                    : "Исправной резервной копии от " + DateToText(day) + " нет.",
                           MessageIcon::Error);
        code = kExitFailed;
    } else {
        // What the current file holds in state 1 beyond the copy goes into the restored one.
        const RescuedDocuments rescued = ReadRescuableDocuments(databasePath);
        RestoreOutcome outcome;
        std::string error;
        if (RestoreBackup(databasePath, copy.path, a.clock.Now(), &rescued, outcome, error)) {
            std::printf("restored %s\n", copy.path.c_str());
            if (!outcome.movedTo.empty()) std::printf("moved aside %s\n", outcome.movedTo.c_str());
            if (rescued.readable) {
                std::printf("Восстановлено документов: %d. Не удалось прочитать: %d.\n",
                            outcome.broughtBack, outcome.unreadable);
            }
        } else {
            notifier().message("Не удалось восстановить базу данных из копии: " + error,
                               MessageIcon::Error);
            code = kExitFailed;
        }
    }
    printBackups(databasePath);
    return code;
}

// What the program does at its start, without windows: stale temporary files removed, an
// interrupted restore finished or undone, the check (a damaged file is restored only when
// --restore is given: questions are answered Yes then, No otherwise), the preparation and
// the day's copy. Exit code 1 when the database is left damaged or cannot be prepared.
int runStartup(const CliArgs& a) {
    if (!a.args.empty() && a.args[0] != "--restore") {
        std::fprintf(stderr, "velmorant-cli: startup takes only --restore\n");
        return kExitUsage;
    }
    struct Answering : StderrNotifier {
        bool yes;
        explicit Answering(bool y) : yes(y) {}
        MessageAnswer show(const std::string& text, MessageIcon icon,
                           MessageButtons buttons) override {
            const MessageAnswer answer = StderrNotifier::show(text, icon, buttons);
            return buttons == MessageButtons::YesNo && yes ? MessageAnswer::Yes : answer;
        }
    } answering(!a.args.empty());
    Notifier* previous = setNotifier(&answering);
    const StartOutcome outcome = CheckDatabaseAtStart(
        ProgramFolder(), a.clock.Now(), std::filesystem::file_time_type::clock::now());
    int code = kExitOk;
    if (outcome == StartOutcome::Damaged || outcome == StartOutcome::RestoreFailed) {
        code = kExitFailed;
    } else if (!PrepareDatabase()) {
        notifier().message("Ошибка при открытии БД.", MessageIcon::Error);
        code = kExitFailed;
    } else if (outcome != StartOutcome::NewDevice) {
        std::string error;
        if (!BackupDatabaseOnce(DatabasePath(), a.clock.Now(), &error)) {
            notifier().message(BackupFailureMessage(error), MessageIcon::Error);
            code = kExitFailed;
        }
    }
    setNotifier(previous);
    return code;
}

const CliRegistration backupCommand({"backup", "", 0, 0, &runBackup});
const CliRegistration restoreCommand({"restore", "[yyyy-MM-dd]", 0, 1, &runRestore});
const CliRegistration startupCommand({"startup", "[--restore]", 0, 1, &runStartup});

}  // namespace
}  // namespace velmorant::cli
