#include "core/exchange/Import.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>
#include <vector>

#include "core/archive/Unzipper.h"
#include "core/db/Backup.h"
#include "core/db/BatchedStatements.h"
#include "core/db/Clock.h"
#include "core/db/Dates.h"
#include "core/db/Indexes.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/documents/Document.h"
#include "core/documents/DocumentSql.h"
#include "core/exchange/AnswerSignature.h"
#include "core/exchange/ExchangePort.h"
#include "core/exchange/ImportLoop.h"
#include "core/exchange/ImportObserver.h"

namespace velmorant {

namespace {

const char* const kScriptName = "ToPDA.sqd";
const char* const kCompanionName = "ToPDA.sql";
const char* const kArchiveName = "ToPDA.zip";
const char* const kSignatureName = "ToPDA.sig";

const char* const kNotFound = "Файл не найден.";
const char* const kUnpacking = "Распаковка...";
const char* const kCannotUnpack = "Не удалось распаковать архив.";
const char* const kStarted = "Начата загрузка...";
const char* const kIncompatible = "Файл несовместимого формата.";
const char* const kDatabaseNotFound = "База данных не найдена.";
const char* const kStopped = "Загрузка прервана.";
const char* const kDirectories = "Загрузка справочников...";
const char* const kProcessing = "Обработка...";
const char* const kFinished = "Загрузка завершена.";
const char* const kInterrupted = "Прервано.";
const char* const kBadSignature = "Подпись ответа неверна.";
const char* const kStaleCompanion = "ToPDA.sql старше ToPDA.sqd: не выполнен.";
const char* const kLeftOpen =
    "Ответ оставил свою транзакцию открытой (BEGIN без COMMIT): её операторы отменены.";

// Rows a statement of the answer may return are read by no one; a few are kept for a report.
constexpr int kKeptRows = 10000;
// How much older than its script a companion may be and still belong to it.
constexpr auto kCompanionSlack = std::chrono::minutes(1);
// How often a running import lets the program serve its events, and how many of the library's
// steps pass between two looks at the clock.
constexpr auto kServeInterval = std::chrono::milliseconds(40);
constexpr int kStepsBetweenLooks = 1000;

// Lets the program's loop in while the answer runs and remembers whether the person asked to
// stop. Without a loop nothing is served and nothing stops.
class RunControl {
public:
    explicit RunControl(ImportLoop* loop) : m_loop(loop) {
        if (m_loop) m_loop->running(true);
    }
    ~RunControl() {
        if (m_loop) m_loop->running(false);
    }
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    bool active() const { return m_loop != nullptr; }
    // Serves the loop when its time has come; true once a stop was asked for.
    bool stopRequested() {
        if (!m_loop || m_stopped) return m_stopped;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastServed < kServeInterval) return false;
        m_stopped = m_loop->serve();
        m_lastServed = std::chrono::steady_clock::now();
        return m_stopped;
    }
    bool stopped() const { return m_stopped; }

private:
    ImportLoop* m_loop;
    std::chrono::steady_clock::time_point m_lastServed{};
    bool m_stopped = false;
};

bool interrupted(int code) { return (code & 0xff) == 9; /* SQLITE_INTERRUPT */ }

const std::array<const char*, 3> kHeaders = {
    "R_ODIRI RESPONSE 0002-0000-0000-0001",
    "R_ODIRI RESPONSE 0002-0000-0000-0002",
    "R_ODIRI RESPONSE 0003-0000-0000-0001",
};
const size_t kHeaderWithCompanion = 2;

std::string missingFileText(const std::string& path) { return "Файл '" + path + "' отсутствует!"; }

// The exact bytes of a file; false when it cannot be read.
bool readBytes(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A script's bytes up to the first NUL byte, converted from Windows-1251.
std::string scriptTextOf(std::string bytes) {
    if (const auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
    return Cp1251ToUtf8(bytes);
}

// Lines end at each CR; an LF right after a CR belongs to the break, any other LF stays in
// its line.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (true) {
        const size_t cr = text.find('\r', start);
        if (cr == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, cr - start));
        start = cr + 1;
        if (start < text.size() && text[start] == '\n') ++start;
        if (start >= text.size()) break;
    }
    return lines;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The argument of a directive: the first `skip` characters removed, trimmed; when it begins
// with a double quote, the text up to the last double quote.
std::string argumentOf(std::string_view line, size_t skip) {
    std::string rest = Trim(line.substr(std::min(skip, line.size())));
    if (!rest.empty() && rest.front() == '"') {
        const size_t last = rest.rfind('"');
        rest = last == 0 ? std::string() : rest.substr(1, last - 1);
    }
    return Trim(rest);
}

// The number that a placeholder's digits at `pos` stand for: the longest run of digits
// (not starting with 0) naming a field that exists; 0 when there is none. `length` receives
// the number of digits taken.
size_t fieldNumberAt(std::string_view text, size_t pos, size_t fieldCount, size_t& length) {
    size_t best = 0;
    size_t value = 0;
    length = 0;
    if (pos >= text.size() || text[pos] == '0') return 0;
    for (size_t i = pos; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<size_t>(text[i] - '0');
        if (value > fieldCount) break;
        best = value;
        length = i - pos + 1;
    }
    return best;
}

// Fills %N and %UPPER(%N) with the fields of a data row. One pass over the template: text
// that a field brings in is never read as a placeholder, and %10 stands for field 10 when
// the row has ten fields (with fewer, %1 followed by the digit 0). `unfilled` is set when a
// placeholder names a field that the row lacks (it stays in the text as it is).
std::string fillTemplate(std::string_view tpl, const std::vector<std::string>& fields,
                         bool& unfilled) {
    static constexpr std::string_view kUpper = "%UPPER(%";
    std::string out;
    out.reserve(tpl.size() + 64);
    size_t i = 0;
    while (i < tpl.size()) {
        const size_t percent = tpl.find('%', i);
        if (percent == std::string_view::npos) {
            out.append(tpl.substr(i));
            break;
        }
        out.append(tpl.substr(i, percent - i));
        if (startsWith(tpl.substr(percent), kUpper)) {
            const size_t digits = percent + kUpper.size();
            size_t length = 0;
            const size_t n = fieldNumberAt(tpl, digits, fields.size(), length);
            if (n > 0 && digits + length < tpl.size() && tpl[digits + length] == ')') {
                out += AsciiUpper(fields[n - 1]);
                i = digits + length + 1;
                continue;
            }
        }
        size_t length = 0;
        const size_t n = fieldNumberAt(tpl, percent + 1, fields.size(), length);
        if (n > 0) {
            out += fields[n - 1];
            i = percent + 1 + length;
        } else {
            if (percent + 1 < tpl.size() && tpl[percent + 1] >= '1' && tpl[percent + 1] <= '9')
                unfilled = true;
            out += '%';
            i = percent + 1;
        }
    }
    return out;
}

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::string rest = line;
    while (!rest.empty()) fields.push_back(CutToken(rest, '\t'));
    return fields;
}

// A statement of the script failed: SQLite's text, then the statement, as a failing Exec
// followed by the statement's own box would show them.
void showFailure(const BatchedStatements::Failure& failure) {
    notifier().message(failure.error);
    notifier().message(failure.statement);
}

// One document at a time, each in a transaction of its own, as the journal deletes one: the
// way back when the deletion of them all at once failed. A failing statement is shown and
// does not stop the others. Returns the count of documents deleted.
long long deleteOneByOne(TQueryResult& q, const std::vector<std::string>& guids) {
    long long count = 0;
    for (const auto& guid : guids) {
        const std::string key = SqlQuoted(guid);
        Transaction transaction(q);
        const bool inTransaction = transaction.Begin();
        const bool head = q.Exec("delete from DOC_HEADS where (GUID=" + key + ")");
        const long long removed = head ? q.Changes() : 0;
        q.Exec("delete from DOC_ORDERS where (DOC_ID=" + key + ")");
        q.Exec("delete from DOC_SKUS where (DOC_ID=" + key + ")");
        q.Exec("delete from DOC_COMPETS where (DOC_ID=" + key + ")");
        if ((!inTransaction || transaction.Commit()) && removed > 0) ++count;
    }
    return count;
}

// Deletes the documents recorded before `dateText` (all: whatever their state, otherwise those
// above state 1) with their lines, SKU and competitor rows, all in one transaction on the
// run's connection. False when the person stopped the run meanwhile (nothing is deleted then).
bool deleteOldDocuments(TQueryResult& q, const std::string& dateText, bool all,
                        ImportObserver& observer) {
    const DateTime date = ParseDate(dateText, 0);
    if (date <= 0) return true;
    const std::string condition = "REC_TIME<" + DateToSqlText(date);
    const std::string where = all ? condition : "(" + condition + ") and (DOC_STATE>1)";
    const std::string doomed = "(select GUID from DOC_HEADS where (" + where + "))";

    std::vector<std::string> guids;
    std::string error;
    int rc = q.ExecSilently("begin immediate", &error);
    if (rc == 0) {
        rc = q.ExecRowsSilently(
            "select GUID from DOC_HEADS where (" + where + ") order by rowid",
            [&](const ResultRow& row) { guids.push_back(Trim(row.Value(0))); }, &error);
    }
    long long count = 0;
    bool setBased = rc == 0;
    for (const char* table : {"DOC_ORDERS", "DOC_SKUS", "DOC_COMPETS"}) {
        if (setBased && !guids.empty()) {
            rc = q.ExecSilently("delete from " + std::string(table) + " where DOC_ID in " + doomed,
                                &error);
            setBased = rc == 0;
        }
    }
    if (setBased && !guids.empty()) {
        rc = q.ExecSilently("delete from DOC_HEADS where (" + where + ")", &error);
        count = q.Changes();
        setBased = rc == 0;
    }
    if (setBased) rc = q.ExecSilently("commit", &error);
    if (rc != 0) {
        if (q.InTransaction()) q.ExecSilently("rollback");
        if (interrupted(rc)) return false;
        if (guids.empty()) {
            // The documents could not even be listed: shown, and nothing more happens.
            notifier().message(error);
            return true;
        }
        count = deleteOneByOne(q, guids);
    }
    for (const auto& guid : guids) observer.DocumentDeleted(all, guid);
    if (count > 0) {
        notifier().message("Поступила команда удалить " + std::string(all ? "все" : "старые") +
                               " документы до " + dateText + ".\r\nУдалено документов " +
                               std::to_string(count),
                           MessageIcon::Information);
    }
    return true;
}

// The companion file's text, statement by statement in batches as the script's lines, with
// the outcome of running the whole text at once: the statements before a failing one stay,
// the rest does not run, and only SQLite's text is shown.
void runCompanion(BatchedStatements& statements, const std::string& text,
                  ImportObserver& observer) {
    const std::vector<std::string> pieces = SplitSqlStatements(text);
    bool ok = true;
    for (size_t k = 0; ok && k < pieces.size(); ++k) ok = statements.Run(pieces[k], k + 1);
    if (ok) ok = statements.Commit();
    if (ok) {
        observer.CompanionRan(pieces.size(), pieces.size(), 0, "", "");
        return;
    }
    const auto& f = statements.LastFailure();
    if (interrupted(f.code)) return;  // the person stopped the run: the caller says so
    observer.CompanionRan(f.tag - 1, pieces.size(), f.tag, f.error, f.statement);
    notifier().message(f.error);
}

// Unpacks ToPDA.sqd, ToPDA.sql and ToPDA.sig from `folder`'s ToPDA.zip into `into`. A
// signature left there by an earlier answer is removed first when answers are signed: the
// archive's own, or none, is the one that counts.
bool unpackScript(ExchangePort& screen, const std::string& folder, const std::string& into,
                  ImportObserver& observer) {
    const std::string archive = folder + kArchiveName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(archive, ec)) {
        observer.Stopped(kNotFound);
        screen.AddLogLine(kNotFound);
        return false;
    }
    screen.AddLogLine(kUnpacking);
    const bool signedAnswers = !screen.Options().AnswerKey.empty();
    if (signedAnswers) std::filesystem::remove(into + kSignatureName, ec);
    // A companion left by an earlier answer must not pass for this archive's.
    std::filesystem::remove(into + kCompanionName, ec);
    auto unzipper = std::make_unique<TUnzipper>();
    const int unpacked = UnpackFiles(*unzipper, archive, into, kScriptName);
    UnpackFiles(*unzipper, archive, into, kCompanionName);
    if (signedAnswers) UnpackFiles(*unzipper, archive, into, kSignatureName);
    unzipper.reset();
    if (unpacked < 1) {
        observer.Stopped(kCannotUnpack);
        screen.AddLogLine(kCannotUnpack);
        return false;
    }
    return true;
}

// Whether the companion belongs to the script: one left by an earlier answer is older. The
// office writes both in one go, so a little older (the two-second steps of ZIP times, the
// order of writing) still counts as the same answer.
bool companionIsCurrent(const std::string& script, const std::string& companion) {
    std::error_code ec;
    const auto scriptTime = std::filesystem::last_write_time(script, ec);
    if (ec) return false;
    const auto companionTime = std::filesystem::last_write_time(companion, ec);
    return !ec && companionTime + kCompanionSlack >= scriptTime;
}

}  // namespace

bool ScriptRunsCompanion(const std::string& scriptPath) {
    std::ifstream in(scriptPath, std::ios::binary);
    std::string first;
    if (!in || !std::getline(in, first, '\r')) return false;
    if (const auto lf = first.find('\n'); lf != std::string::npos) first.resize(lf);
    return Trim(first) == kHeaders[kHeaderWithCompanion];
}

bool ImportScript(ExchangePort& screen, const std::string& folderIn, const ImportHooks& hooks) {
    ImportObserver none;
    ImportObserver& observer = hooks.observer ? *hooks.observer : none;
    std::string folder = Trim(folderIn);
    if (folder.empty()) folder = Trim(screen.ChooseFolder());
    if (folder.empty()) return false;
    if (folder.back() != '/') folder += '/';
    std::string scriptFolder = folder;

    if (screen.Options().UseZip) {
        if (!hooks.unpackFolder.empty()) {
            scriptFolder = hooks.unpackFolder;
            if (scriptFolder.back() != '/') scriptFolder += '/';
        }
        if (!unpackScript(screen, folder, scriptFolder, observer)) return false;
    }
    const std::string path = scriptFolder + kScriptName;

    std::error_code ec;
    std::string scriptBytes;
    if (!std::filesystem::is_regular_file(path, ec) || !readBytes(path, scriptBytes)) {
        observer.Stopped(missingFileText(path));
        notifier().message(missingFileText(path));
        return false;
    }
    const std::string text = scriptTextOf(scriptBytes);
    const std::string companionPath = scriptFolder + kCompanionName;
    // The companion's bytes when they were read for the signature: those, and not what the
    // file may hold later, are run.
    std::string companionBytes;
    bool companionRead = false;

    // With the office's key set, only an answer it signed runs: its script's bytes, followed
    // by the companion's when the header asks for it and the file is there.
    const std::string& answerKey = screen.Options().AnswerKey;
    if (!answerKey.empty()) {
        std::string message = scriptBytes;
        bool readable = true;
        if (Trim(splitLines(text).front()) == kHeaders[kHeaderWithCompanion] &&
            std::filesystem::is_regular_file(companionPath, ec)) {
            readable = companionRead = readBytes(companionPath, companionBytes);
            message += companionBytes;
        }
        std::string signature;
        if (!readable || !readBytes(scriptFolder + kSignatureName, signature) ||
            !AnswerSignatureValid(answerKey, signature, message)) {
            observer.Stopped(kBadSignature);
            screen.AddLogLine(kBadSignature);
            notifier().message(kBadSignature, MessageIcon::Error);
            return false;
        }
    }

    // From here on the person may stop the run.
    RunControl control(hooks.loop);
    screen.AddLogLine(kStarted);
    const std::vector<std::string_view> lines = splitLines(text);
    const std::string header = Trim(lines.front());
    size_t headerIndex = kHeaders.size();
    for (size_t h = 0; h < kHeaders.size(); ++h) {
        if (header == kHeaders[h]) headerIndex = h;
    }
    if (headerIndex == kHeaders.size()) {
        observer.Stopped(kIncompatible);
        notifier().message(kIncompatible);
        return false;
    }
    observer.HeaderFound(header, headerIndex == kHeaderWithCompanion);

    // SQLite would create an empty file in place of a missing database, and every statement
    // would then fail on a missing table: stop before executing anything.
    if (!std::filesystem::is_regular_file(DatabasePath(), ec)) {
        observer.Stopped(kDatabaseNotFound);
        notifier().message(kDatabaseNotFound);
        screen.AddLogLine(kStopped);
        return false;
    }
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) {
        observer.Stopped(kDatabaseNotFound);
        screen.AddLogLine(kStopped);
        return false;
    }
    // The answer is SQL from the network: the connection that runs it may change the rows of
    // the tables and little else (see ConfineToAnswer), before its first statement.
    std::string confineError;
    if (!q->ConfineToAnswer(&confineError)) {
        observer.Stopped(confineError);
        notifier().message(confineError);
        screen.AddLogLine(kStopped);
        return false;
    }
    q->SetRowLimit(kKeptRows);
    if (control.active())
        q->SetProgressHandler(kStepsBetweenLooks, [&] { return control.stopRequested(); });
    // An answer that drops a table and makes it again drops the device's indexes on it: they
    // are made again at once (the rows that follow are then kept indexed), and once more when
    // the run ends, however it ends, for a statement that a rolled-back batch took with it.
    struct IndexesAtEnd {
        TQueryResult& q;
        ~IndexesAtEnd() { EnsureDeviceIndexes(q); }
    } indexesAtEnd{*q};
    // The script's statements are committed in batches; the outcome is still that of one
    // commit per statement (see BatchedStatements). Every step after the lines below
    // starts from a commit: the companion file, the deletions in one transaction of their
    // own, the messages that wait for the agent, and LLD_Def.
    BatchedStatements statements(*q);
    // The person stopped the run: the open batch goes, what was committed stays.
    auto stopped = [&] {
        statements.Abandon();
        // What the run does on its way out (the device's indexes) is not to be stopped too.
        q->SetProgressHandler(0, {});
        observer.Stopped(kInterrupted);
        screen.AddLogLine(kInterrupted);
        return false;
    };
    // Statements are tagged with their line's index; the header is index 0, line 1.
    auto failed = [&] {
        const auto& f = statements.LastFailure();
        if (control.stopped() && interrupted(f.code)) return stopped();
        observer.StatementFailed(f.tag + 1, f.error, f.statement);
        showFailure(f);
        return false;
    };
    // A transaction that the answer began and did not end would be rolled back when the
    // connection closes: nothing of it is in force, so the run does not count as complete.
    auto leftOpen = [&] {
        statements.Abandon();
        observer.Stopped(kLeftOpen);
        screen.AddLogLine(kLeftOpen);
        notifier().message(kLeftOpen);
        screen.AddLogLine(kStopped);
        return false;
    };

    ExchangeProgress& progress = screen.Progress();
    progress.setVisible(true);
    progress.setValue(0);
    progress.setRange(0, static_cast<int>(lines.size()) - 1);

    std::string tpl;
    std::string deleteAllDate;
    std::string deleteOldDate;
    std::vector<std::string> officeMessages;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (control.stopRequested()) return stopped();
        progress.setValue(static_cast<int>(i));
        const std::string line = Trim(lines[i]);
        if (line.empty() || startsWith(line, "//")) continue;
        std::string row = line;
        if (line.front() == '<') {
            if (AsciiUpper(std::string_view(line).substr(0, 12)) == "<SHOWMSGWND ") {
                officeMessages.push_back(argumentOf(line, 11));
                observer.MessageMet(i + 1, officeMessages.back());
                continue;
            }
            const std::string upper = AsciiUpper(line);
            const std::string_view u = upper;
            if (Trim(u.substr(0, 8)) == "<DELALL") {
                deleteAllDate = argumentOf(upper, 7);
                observer.DeleteMet(i + 1, true, deleteAllDate);
                continue;
            }
            if (Trim(u.substr(0, 5)) == "<DEL") {
                deleteOldDate = argumentOf(upper, 4);
                observer.DeleteMet(i + 1, false, deleteOldDate);
                continue;
            }
            if (upper == "</*>" || upper == "</REPEAT>") {
                tpl.clear();
                continue;
            }
            if (startsWith(u, "<REPEAT")) {
                tpl = argumentOf(upper, 7);
                observer.TemplateStarted(i + 1, tpl);
                continue;
            }
            if (startsWith(u, "<EXEC")) {
                tpl.clear();
                const std::string sql = argumentOf(upper, 5);
                observer.ExecMet(i + 1, sql);
                if (!statements.Run(sql, i)) return failed();
                if (MayChangeTables(sql)) EnsureDeviceIndexes(*q);
                continue;
            }
            row = upper;
        }
        if (tpl.empty()) continue;
        const std::vector<std::string> fields = splitFields(row);
        bool unfilled = false;
        const std::string statement = fillTemplate(tpl, fields, unfilled);
        if (unfilled) observer.FieldsMissing(i + 1, fields.size());
        if (!statements.Run(statement, i)) return failed();
        if (tpl.find("TABLE") != std::string::npos) EnsureDeviceIndexes(*q);  // upper case
        observer.RowExecuted(i + 1);
    }
    if (!statements.Commit()) return failed();
    if (q->InTransaction()) return leftOpen();

    if (headerIndex == kHeaderWithCompanion) {
        if (!companionRead && !std::filesystem::is_regular_file(companionPath, ec)) {
            // Nothing to run.
        } else if (!companionIsCurrent(path, companionPath)) {
            screen.AddLogLine(kStaleCompanion);
        } else {
            screen.AddLogLine(kDirectories);
            if (companionRead || readBytes(companionPath, companionBytes))
                runCompanion(statements, scriptTextOf(companionBytes), observer);
            if (control.stopped()) return stopped();
            if (q->InTransaction()) return leftOpen();
        }
    }

    screen.AddLogLine(kProcessing);
    if (!deleteOldDocuments(*q, deleteAllDate, true, observer) ||
        !deleteOldDocuments(*q, deleteOldDate, false, observer))
        return stopped();

    const size_t count = officeMessages.size();
    for (size_t k = 0; k < count; ++k) {
        notifier().message("Сообщение из офиса: [" + std::to_string(k + 1) + " / " +
                           std::to_string(count) + "]\r\n" + Trim(officeMessages[k]));
    }

    EnsureDeviceIndexes(*q);  // before the day's copy is taken
    screen.AddLogLine(kFinished);
    const DateTime now = screen.ExchangeClock().Now();
    ExecShowingStatement(*q, "delete from MY_OPTIONS where OPT_NAME=\"LLD_Def\"");
    ExecShowingStatement(*q, "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (\"LLD_Def\", \"" +
                                 DateToText(now) + " " + TimeToText(now) + "\")");
    // The day's copy holds what the office just sent; a copy that fails (or is refused for a
    // damaged file) leaves the earlier one and does not undo the import, but is said.
    std::string backupError;
    if (!BackupDatabase(DatabasePath(), now, &backupError))
        notifier().message(BackupFailureMessage(backupError), MessageIcon::Warning);
    observer.Finished();
    return true;
}

}  // namespace velmorant
