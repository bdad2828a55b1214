// The copies of base.sdb. The online backup needs the library's own handles, so this file
// talks to SQLite directly instead of through TQueryResult.
#include "core/db/Backup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "core/db/AtomicFile.h"
#include "core/db/DatabaseCopy.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"

namespace velmorant {

namespace fs = std::filesystem;

namespace {

const char* const kPrefix = "base-";
const char* const kSuffix = ".sdb";

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// The day of a name "base-yyyy-MM-dd.sdb"; 0 for any other name.
TDate dayOfName(const std::string& name) {
    const std::string prefix = kPrefix, suffix = kSuffix;
    if (name.size() != prefix.size() + 10 + suffix.size()) return 0;
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return 0;
    const std::string iso = name.substr(prefix.size(), 10);
    if (iso[4] != '-' || iso[7] != '-') return 0;
    return IsoToDate(iso, 0);
}

// Copies the whole database at `from` into `to` with the online backup, waiting for a writer.
bool copyDatabase(const std::string& from, const std::string& to, std::string* error) {
    std::string text;
    if (CopyDatabase(from, to, WhenBusy::Wait, text)) return true;
    setError(error, text);
    return false;
}

std::string stamp(TDate now) {
    int y, m, d;
    DecodeDate(now, y, m, d);
    long seconds = std::lround((now - std::floor(now)) * 86400.0);
    if (seconds >= 86400) seconds = 86399;
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02ld%02ld%02ld", y, m, d, seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
    return text;
}

}  // namespace

std::string BackupFolderFor(const std::string& databasePath) {
    std::string folder = fs::path(databasePath).parent_path().string();
    if (folder.empty()) folder = ".";
    return folder + "/backup/";
}

std::vector<BackupCopy> ListBackups(const std::string& folder) {
    std::vector<BackupCopy> list;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const TDate day = dayOfName(it->path().filename().string());
        if (day != 0 && it->is_regular_file(ec)) list.push_back({it->path().string(), day});
    }
    std::sort(list.begin(), list.end(),
              [](const BackupCopy& a, const BackupCopy& b) { return a.day > b.day; });
    return list;
}

bool CheckDatabaseFile(const std::string& path, std::string* error) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        setError(error, "no file");
        return false;
    }
    TQueryResult db(path);
    std::string text;
    if (!db.OpenReadOnly(&text)) {
        setError(error, text);
        return false;
    }
    // The first line of the check's answer: "ok", or the first fault found.
    bool answered = false;
    std::string answer;
    const TRowHandler firstLine = [&](const TRow& row) {
        if (answered) return;
        answered = true;
        answer.assign(row.Value(0));
    };
    const bool ran = db.ExecRowsSilently("PRAGMA quick_check", firstLine, &text) == 0;
    if (!answered) {
        setError(error, ran ? std::string() : text);
        return false;
    }
    if (answer == "ok") return true;
    setError(error, answer);
    return false;
}

bool BackupDatabase(const std::string& databasePath, TDate day, std::string* error) {
    const std::string folder = BackupFolderFor(databasePath);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string target = folder + kPrefix + DateToIso(day) + kSuffix;
    if (!copyDatabase(databasePath, target, error)) return false;
    const auto list = ListBackups(folder);
    for (size_t i = kBackupsKept; i < list.size(); ++i) fs::remove(list[i].path, ec);
    return true;
}

bool BackupDatabaseOnce(const std::string& databasePath, TDate day, std::string* error) {
    for (const auto& copy : ListBackups(BackupFolderFor(databasePath))) {
        if (copy.day == std::floor(day)) return true;
    }
    return BackupDatabase(databasePath, day, error);
}

bool RestoreBackup(const std::string& databasePath, const std::string& backupPath, TDate now,
                   std::string* movedTo, std::string* error) {
    if (movedTo) movedTo->clear();
    const std::string temporary = databasePath + ".restoring";
    if (!copyDatabase(backupPath, temporary, error)) return false;
    std::error_code ec;
    if (fs::exists(databasePath, ec)) {
        std::string aside = databasePath + ".damaged-" + stamp(now);
        for (int n = 2; fs::exists(aside, ec); ++n) {
            aside = databasePath + ".damaged-" + stamp(now) + "-" + std::to_string(n);
        }
        fs::rename(databasePath, aside, ec);
        if (ec) {
            setError(error, ec.message());
            fs::remove(temporary, ec);
            return false;
        }
        if (movedTo) *movedTo = aside;
        for (const char* side : {"-journal", "-wal", "-shm"}) {
            if (fs::exists(databasePath + side, ec))
                fs::rename(databasePath + side, aside + side, ec);
        }
    }
    fs::rename(temporary, databasePath, ec);
    if (ec) {
        setError(error, ec.message());
        return false;
    }
    SyncFolderOf(databasePath);
    return true;
}

BackupCopy NewestGoodBackup(const std::string& databasePath, TDate day) {
    for (const auto& copy : ListBackups(BackupFolderFor(databasePath))) {
        if (day != 0 && copy.day != std::floor(day)) continue;
        if (CheckDatabaseFile(copy.path)) return copy;
    }
    return {};
}

bool CheckAndBackUpAtStart(const std::string& databasePath, TDate now) {
    std::error_code ec;
    if (!fs::is_regular_file(databasePath, ec)) return true;
    bool healthy = CheckDatabaseFile(databasePath);
    bool result = true;
    if (!healthy) {
        const BackupCopy copy = NewestGoodBackup(databasePath);
        if (copy.path.empty()) {
            notifier().message("База данных повреждена. Исправной резервной копии нет.",
                               MessageIcon::Warning);
        } else if (notifier().ask("База данных повреждена. Восстановить из копии от " +
                                  DateToText(copy.day) + "?")) {
            std::string error;
            healthy = RestoreBackup(databasePath, copy.path, now, nullptr, &error);
            if (!healthy) {
                notifier().message("Не удалось восстановить базу данных из копии: " + error,
                                   MessageIcon::Error);
                result = false;
            }
        }
    }
    // A damaged file is never copied: it would push a good copy out of the seven.
    if (healthy) BackupDatabaseOnce(databasePath, now);
    return result;
}

}  // namespace velmorant
