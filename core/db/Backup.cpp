// The copies of base.sdb in data/backup/: made whole or not at all, only of a file that
// passes its check, and in steps for a caller that has other work between them.
#include "core/db/Backup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "core/db/AtomicFile.h"
#include "core/db/DatabaseCopy.h"
#include "core/db/QueryResult.h"

namespace velmorant {

namespace fs = std::filesystem;

namespace {

const char* const kPrefix = "base-";
const char* const kSuffix = ".sdb";
// Beside the copies: the database has moved on from them (MarkCopiesBehind).
const char* const kBehindMark = "copies-behind";

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// The day of a name "base-yyyy-MM-dd.sdb"; 0 for any other name.
DateTime dayOfName(const std::string& name) {
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

// The local time of the file's last change as a day number; 0 when it cannot be read.
DateTime writtenAt(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    struct tm local {};
    const time_t seconds = st.st_mtime;
    if (!::localtime_r(&seconds, &local)) return 0;
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

std::string copyName(const std::string& databasePath, DateTime day) {
    return BackupFolderFor(databasePath) + kPrefix + DateToIso(day) + kSuffix;
}

std::string behindMarkOf(const std::string& databasePath) {
    return BackupFolderFor(databasePath) + kBehindMark;
}

// The text of the mark of copies behind; empty when there is none.
std::string markOf(const std::string& databasePath) {
    std::ifstream in(behindMarkOf(databasePath), std::ios::binary);
    std::string text;
    if (in) std::getline(in, text);
    return text.empty() && in.is_open() ? "?" : text;
}

// A copy whose content was taken while the mark read `taken` is current unless a mark was
// written since.
void clearMarkIfStill(const std::string& databasePath, const std::string& taken) {
    if (markOf(databasePath) != taken) return;
    std::error_code ec;
    fs::remove(behindMarkOf(databasePath), ec);
}

// The copy is in place (and the rename durable): keep only the newest copies.
// An older copy that is larger than every one of the newest stays as well (only the newest
// such): a database that lost its content (a restore the agent declined, an answer that wiped
// the tables) must not push the last full copy out within a week.
void afterCopy(const std::string& folder) {
    const auto list = ListBackups(folder);
    std::error_code ec;
    uintmax_t largestKept = 0;
    for (size_t i = 0; i < list.size() && i < static_cast<size_t>(kBackupsKept); ++i) {
        const uintmax_t size = fs::file_size(list[i].path, ec);
        if (!ec) largestKept = std::max(largestKept, size);
    }
    bool fullerKept = false;
    for (size_t i = kBackupsKept; i < list.size(); ++i) {
        const uintmax_t size = fs::file_size(list[i].path, ec);
        if (!fullerKept && !ec && size > largestKept) {
            fullerKept = true;
            continue;
        }
        fs::remove(list[i].path, ec);
    }
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
        const DateTime day = dayOfName(it->path().filename().string());
        if (day != 0 && it->is_regular_file(ec))
            list.push_back({it->path().string(), day, writtenAt(it->path().string())});
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
    // SQLite takes an empty file for an empty database; here it is a database that was lost.
    if (fs::file_size(path, ec) == 0) {
        setError(error, "empty file");
        return false;
    }
    TQueryResult db(path);
    std::string text;
    // A journal left by a writer that was killed is rolled back by the first reader that may
    // write; a read-only connection would only fail on it, and the file is not damaged.
    const bool hotJournal = fs::file_size(path + "-journal", ec) > 0 && !ec;
    if (!(hotJournal ? db.Open(&text) : db.OpenReadOnly(&text))) {
        setError(error, text);
        return false;
    }
    // The first line of the check's answer: "ok", or the first fault found.
    bool answered = false;
    std::string answer;
    const RowHandler firstLine = [&](const ResultRow& row) {
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

bool BackupDatabase(const std::string& databasePath, DateTime day, std::string* error) {
    if (!CheckDatabaseFile(databasePath)) {
        setError(error, kDatabaseDamaged);
        return false;
    }
    const std::string folder = BackupFolderFor(databasePath);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string target = copyName(databasePath, day);
    const std::string mark = markOf(databasePath);
    if (!copyDatabase(databasePath, target, error)) return false;
    afterCopy(folder);
    clearMarkIfStill(databasePath, mark);
    return true;
}

bool HasAnyBackupOf(const std::string& databasePath, DateTime day) {
    for (const auto& copy : ListBackups(BackupFolderFor(databasePath))) {
        if (copy.day == std::floor(day)) return true;
    }
    return false;
}

bool HasBackupOf(const std::string& databasePath, DateTime day) {
    std::error_code ec;
    return !fs::exists(behindMarkOf(databasePath), ec) && HasAnyBackupOf(databasePath, day);
}

bool MarkCopiesBehind(const std::string& databasePath, std::string* error) {
    std::error_code ec;
    fs::create_directories(BackupFolderFor(databasePath), ec);
    // A text of its own: the time to the nanosecond and the process.
    const std::string text =
        std::to_string(std::chrono::system_clock::now().time_since_epoch().count()) + " " +
        std::to_string(::getpid()) + "\n";
    AtomicFile mark(behindMarkOf(databasePath));
    if (mark.Open() && mark.Write(text) && mark.Commit()) return true;
    setError(error, mark.Error());
    return false;
}

bool BackupDatabaseOnce(const std::string& databasePath, DateTime day, std::string* error) {
    return HasBackupOf(databasePath, day) || BackupDatabase(databasePath, day, error);
}

std::string BackupFailureMessage(const std::string& error) {
    if (error == kDatabaseDamaged) return error;
    return "Не удалось сделать резервную копию: " + error;
}

struct BackupInSteps::Open {
    AtomicFile file;
    TQueryResult source;
    std::unique_ptr<TQueryResult> target;
    std::unique_ptr<TCopyInSteps> copy;
    Open(const std::string& from, const std::string& to) : file(to), source(from) {}
};

BackupInSteps::BackupInSteps(std::string databasePath, DateTime day)
    : m_databasePath(std::move(databasePath)), m_target(copyName(m_databasePath, day)) {}

BackupInSteps::~BackupInSteps() {
    if (m_state != State::Done) discard();
}

void BackupInSteps::discard() {
    std::string journal;  // none once the copy is in place
    if (m_open && !m_open->file.TemporaryPath().empty())
        journal = m_open->file.TemporaryPath() + "-journal";
    m_open.reset();  // the writer removes its temporary file
    std::error_code ec;
    if (!journal.empty()) fs::remove(journal, ec);
}

BackupInSteps::State BackupInSteps::fail(const std::string& text) {
    m_error = text;
    m_state = State::Failed;
    discard();
    return m_state;
}

BackupInSteps::State BackupInSteps::Step(int pages) {
    if (m_state != State::Running) return m_state;
    std::string text;
    if (!m_open) {
        std::error_code ec;
        fs::create_directories(BackupFolderFor(m_databasePath), ec);
        // A name of its own: an import may make the day's copy while this one is between
        // steps (its loop serves the program), and must not take this temporary file for a
        // leftover. A kill's leftover goes at the next start.
        m_open = std::make_unique<Open>(m_databasePath, m_target);
        if (!m_open->file.Open()) return fail(m_open->file.Error());
        m_open->target = std::make_unique<TQueryResult>(m_open->file.TemporaryPath());
        if (!m_open->source.OpenReadOnly(&text) || !m_open->target->Open(&text)) return fail(text);
        // The copy goes to the disk once, when it is put in place (the file writer syncs it):
        // the library need not sync a file that is removed if it is never completed.
        if (m_open->target->ExecRowsSilently("pragma synchronous=OFF", {}, &text) != 0)
            return fail(text);
        m_open->copy = std::make_unique<TCopyInSteps>(m_open->source, *m_open->target);
    }
    const auto progress = m_open->copy->Step(pages, text);
    if (progress == TCopyInSteps::Progress::More) return m_state;
    if (progress == TCopyInSteps::Progress::Failed) return fail(text);
    // The copy holds the database as it was now, on this thread: a mark written after this
    // moment is one that the copy does not answer.
    m_markWhenWritten = markOf(m_databasePath);
    m_open->copy.reset();
    if (!m_open->target->Close()) return fail("the copy cannot be closed");
    m_written = m_open->file.TemporaryPath();
    m_state = State::Written;
    return m_state;
}

bool BackupInSteps::PutInPlace() {
    if (m_state != State::Written || m_placed) return m_placed;
    if (!CheckDatabaseFile(m_written)) {
        m_error = kDatabaseDamaged;
        return false;
    }
    if (!m_open->file.Commit()) {
        m_error = m_open->file.Error();
        return false;
    }
    afterCopy(BackupFolderFor(m_databasePath));
    m_placed = true;
    return true;
}

BackupInSteps::State BackupInSteps::Finish() {
    if (m_state != State::Written) return m_state;
    if (!m_placed && !PutInPlace()) return fail(m_error);
    m_open.reset();
    clearMarkIfStill(m_databasePath, m_markWhenWritten);
    m_state = State::Done;
    return m_state;
}

BackupCopy NewestGoodBackup(const std::string& databasePath, DateTime day) {
    for (const auto& copy : ListBackups(BackupFolderFor(databasePath))) {
        if (day != 0 && copy.day != std::floor(day)) continue;
        if (CheckDatabaseFile(copy.path)) return copy;
    }
    return {};
}

}  // namespace velmorant
