#include "core/db/StartCheck.h"

#include <sys/stat.h>

#include <cctype>
#include <filesystem>

#include "core/db/Backup.h"
#include "core/db/Notifier.h"
#include "core/db/Restore.h"

namespace velmorant {

namespace fs = std::filesystem;

namespace {

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string withoutJournal(const std::string& name) {
    return endsWith(name, "-journal") ? name.substr(0, name.size() - 8) : name;
}

// "<name>.XXXXXX.tmp": six letters or digits, as AtomicFile makes them.
bool isWrittenFileTemporary(const std::string& name) {
    if (!endsWith(name, ".tmp") || name.size() < 12) return false;
    const size_t dot = name.size() - 11;
    if (name[dot] != '.') return false;
    for (size_t i = dot + 1; i < dot + 7; ++i) {
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

bool isPackScratch(const std::string& name) {
    if (name == "pack.tmp") return true;
    if (name.size() != 4) return false;
    for (const char c : name) {
        if (!std::isxdigit(static_cast<unsigned char>(c)) ||
            std::islower(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

bool isCopyTemporary(const std::string& name) {
    return (name.rfind("base-", 0) == 0 && endsWith(name, ".sdb.tmp")) ||
           isWrittenFileTemporary(name);
}

bool changedBefore(const fs::path& path, fs::file_time_type when) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(path, ec))) return false;
    const auto written = fs::last_write_time(path, ec);
    return !ec && written < when;
}

int removeMatching(const std::string& folder, bool (*matches)(const std::string&),
                   fs::file_time_type runStarted) {
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!matches(withoutJournal(name)) || !changedBefore(it->path(), runStarted)) continue;
        std::error_code removeError;
        if (fs::remove(it->path(), removeError)) ++removed;
    }
    return removed;
}

bool isExchangeTemporary(const std::string& name) {
    return isWrittenFileTemporary(name) || endsWith(name, ".part");
}

bool isEmptyOrMissing(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return true;
    return S_ISREG(st.st_mode) && st.st_size == 0;
}

// "Заявки, записанные после dd.MM.yyyy HH:mm, будут потеряны."
std::string lossWarning(const BackupCopy& copy) {
    const DateTime when = copy.written != 0 ? copy.written : copy.day;
    return "\r\nЗаявки, записанные после " + DateToText(when) + " " +
           TimeToText(when).substr(0, 5) + ", будут потеряны.";
}

}  // namespace

std::string DatabaseFileIn(const std::string& programFolder) {
    std::string folder = programFolder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder + "data/base.sdb";
}

int RemoveStaleTemporaries(const std::string& programFolder, fs::file_time_type runStarted) {
    std::string folder = programFolder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    int removed = removeMatching(folder, &isPackScratch, runStarted);
    removed += removeMatching(folder, &isWrittenFileTemporary, runStarted);
    removed += removeMatching(folder + "exchange", &isExchangeTemporary, runStarted);
    removed += removeMatching(folder + "data", &isWrittenFileTemporary, runStarted);
    removed += removeMatching(folder + "data/backup", &isCopyTemporary, runStarted);
    return removed;
}

DatabaseState ClassifyDatabase(const std::string& databasePath) {
    if (isEmptyOrMissing(databasePath)) {
        const bool heldOne = !ListBackups(BackupFolderFor(databasePath)).empty() ||
                             !ListDamagedFiles(databasePath).empty() ||
                             RestoreTemporaryExists(databasePath);
        return heldOne ? DatabaseState::Damaged : DatabaseState::NewDevice;
    }
    return CheckDatabaseFile(databasePath) ? DatabaseState::Healthy : DatabaseState::Damaged;
}

StartOutcome CheckDatabaseAtStart(const std::string& programFolder, DateTime now,
                                  fs::file_time_type runStarted) {
    const std::string databasePath = DatabaseFileIn(programFolder);
    RemoveStaleTemporaries(programFolder, runStarted);
    FinishInterruptedRestore(databasePath, now);
    switch (ClassifyDatabase(databasePath)) {
        case DatabaseState::NewDevice:
            return StartOutcome::NewDevice;
        case DatabaseState::Healthy:
            return StartOutcome::Healthy;
        case DatabaseState::Damaged:
            break;
    }
    const BackupCopy copy = NewestGoodBackup(databasePath);
    if (copy.path.empty()) {
        notifier().message("База данных повреждена. Исправной резервной копии нет.",
                           MessageIcon::Warning);
        return StartOutcome::Damaged;
    }
    const RescuedDocuments rescued = ReadRescuableDocuments(databasePath);
    std::string question =
        "База данных повреждена. Восстановить из копии от " + DateToText(copy.day) + "?";
    if (!rescued.readable) question += lossWarning(copy);
    if (!notifier().ask(question)) return StartOutcome::Damaged;

    RestoreOutcome outcome;
    std::string error;
    if (!RestoreBackup(databasePath, copy.path, now, &rescued, outcome, error)) {
        notifier().message("Не удалось восстановить базу данных из копии: " + error,
                           MessageIcon::Error);
        return StartOutcome::RestoreFailed;
    }
    if (rescued.readable) {
        notifier().message("Восстановлено документов: " + std::to_string(outcome.broughtBack) +
                           ". Не удалось прочитать: " + std::to_string(outcome.unreadable) + ".");
    }
    return StartOutcome::Restored;
}

bool CheckAndBackUpAtStart(const std::string& programFolder, DateTime now,
                           fs::file_time_type runStarted) {
    const StartOutcome outcome = CheckDatabaseAtStart(programFolder, now, runStarted);
    if (outcome == StartOutcome::Healthy || outcome == StartOutcome::Restored) {
        std::string error;
        const std::string databasePath = DatabaseFileIn(programFolder);
        if (!HasBackupOf(databasePath, now) && !BackupDatabase(databasePath, now, &error))
            notifier().message(BackupFailureMessage(error), MessageIcon::Warning);
    }
    return outcome != StartOutcome::RestoreFailed;
}

}  // namespace velmorant
