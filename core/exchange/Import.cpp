#include "core/exchange/Import.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
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
// steps pass between two looks at the clock. The answer is read and converted in pieces of
// kReadPiece bytes, with a look at the clock between two.
constexpr auto kServeInterval = std::chrono::milliseconds(40);
constexpr int kStepsBetweenLooks = 1000;
constexpr std::size_t kReadPiece = std::size_t{1} << 20;

// Lets the program's loop in while the answer is read and run, and remembers whether the person
// asked to stop. A stop is offered only from offerStop() on: while the answer is read the loop
// is served all the same, and what it answers is not a stop. Without a loop nothing is served
// and nothing stops.
class RunControl {
public:
    explicit RunControl(ImportLoop* loop) : m_loop(loop) {}
    ~RunControl() {
        if (m_offered) m_loop->running(false);
    }
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    void offerStop() {
        if (!m_loop || m_offered) return;
        m_loop->running(true);
        m_offered = true;
    }
    bool active() const { return m_loop != nullptr; }
    ImportLoop* loop() const { return m_loop; }
    // Serves the loop when its time has come (at once the first time); true once a stop was
    // asked for.
    bool stopRequested() { return serveAfter(kServeInterval); }
    // Serves the loop at once: the caller is about to wait for the disk (a commit). A stop
    // asked for here is seen by the caller's next look at stopped() or stopRequested().
    void serveBeforeWait() { serveAfter(std::chrono::steady_clock::duration::zero()); }
    bool stopped() const { return m_stopped; }

private:
    bool serveAfter(std::chrono::steady_clock::duration pause) {
        if (!m_loop || m_stopped) return m_stopped;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastServed < pause) return false;
        const bool asked = m_loop->serve();
        m_stopped = m_offered && asked;
        m_lastServed = std::chrono::steady_clock::now();
        return m_stopped;
    }

    ImportLoop* m_loop;
    std::chrono::steady_clock::time_point m_lastServed{};
    bool m_offered = false;
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

// The exact bytes of a file, read in pieces with the loop served between them; false when it
// cannot be read.
bool readBytes(const std::string& path, std::string& bytes, RunControl& control) {
    bytes.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec) bytes.reserve(static_cast<std::size_t>(size));
    std::vector<char> piece(kReadPiece);
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        bytes.append(piece.data(), static_cast<std::size_t>(in.gcount()));
        control.stopRequested();
    }
    return !in.bad();
}

// A script's bytes up to the first NUL byte, converted from Windows-1251 in pieces (a byte is
// one character of that code page) with the loop served between them.
std::string scriptTextOf(std::string_view bytes, RunControl& control) {
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 2);
    for (std::size_t at = 0; at < bytes.size(); at += kReadPiece) {
        text += Cp1251ToUtf8(bytes.substr(at, kReadPiece));
        control.stopRequested();
    }
    return text;
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

// Whether an answer that wrote the tables `written` left the agent's documents and options
// alone, and changed only what the office sends again: its directories and its messages. The
// library's own tables (sqlite_master) change with the shape of those.
bool onlyWhatTheOfficeResends(const std::set<std::string>& written) {
    static const std::set<std::string> kResent = {"SPR_CLIENTS", "SPR_GOODS", "SPR_COMPETITORS",
                                                  "MY_MESSAGES"};
    return std::all_of(written.begin(), written.end(), [](const std::string& table) {
        return kResent.count(table) > 0 || startsWith(table, "SQLITE_");
    });
}

// The day's copy after a completed run. Every order is in the copy or still waiting to be
// sent (state 1, which a restore brings back from the damaged file); an answer whose
// statements changed the documents may have moved orders out of state 1, so the copy is owed
// now, and so it is on a day that has none yet. A loop that serves the program takes it, to make
// in steps once the run has ended; the mark of copies behind keeps it owed until then, also
// across a kill. Without a loop (the console) it is made at once. An answer that changed only
// what the office sends again, and the deletions of old documents (a restored copy would only
// bring them back), leave every order where it was: the day's copy stays as it is, marked
// behind, and the next start makes it anew in the background. A copy restored meanwhile
// carries the older LLD_Def, and the office answers that LastLoadDate with what it sent since.
// A copy that fails (or is refused for a damaged file) leaves the earlier one and does not undo
// the import, but is said.
void keepDayCopy(DateTime now, bool onlyResent, ImportLoop* loop) {
    const std::string database = DatabasePath();
    std::string error;
    if (onlyResent && HasAnyBackupOf(database, now) && MarkCopiesBehind(database, &error)) return;
    if (loop && MarkCopiesBehind(database, &error) && loop->copyDayLater(now)) return;
    if (!BackupDatabase(database, now, &error))
        notifier().message(BackupFailureMessage(error), MessageIcon::Warning);
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

// How a stop is told besides the observer, in this order: the reason in the log, the reason in a
// box (with the error icon), "Загрузка прервана." in the log.
enum StopReport : unsigned { kLogged = 1, kBoxed = 2, kErrorBox = 4, kLogStopped = 8 };

// The one way a run stops before its end: the observer hears the reason once, and the person
// is told as `report` says. Returns false, the run's outcome.
bool stopImport(ExchangePort& screen, ImportObserver& observer, const std::string& reason,
                unsigned report) {
    observer.Stopped(reason);
    if (report & kLogged) screen.AddLogLine(reason);
    if (report & (kBoxed | kErrorBox))
        notifier().message(reason, report & kErrorBox ? MessageIcon::Error : MessageIcon::None);
    if (report & kLogStopped) screen.AddLogLine(kStopped);
    return false;
}

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// Unpacks ToPDA.sqd, ToPDA.sql and ToPDA.sig from `folder`'s ToPDA.zip into `into`. A
// signature left there by an earlier answer is removed first when answers are signed: the
// archive's own, or none, is the one that counts.
bool unpackScript(ExchangePort& screen, const std::string& folder, const std::string& into,
                  ImportObserver& observer) {
    const std::string archive = folder + kArchiveName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(archive, ec))
        return stopImport(screen, observer, kNotFound, kLogged);
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
    if (unpacked < 1) return stopImport(screen, observer, kCannotUnpack, kLogged);
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

// The answer as read before the database is touched.
struct Script {
    std::string folder;         // where it was read, with its '/'
    std::string path;           // ToPDA.sqd
    std::string companionPath;  // ToPDA.sql beside it
    std::string bytes;          // the script's exact bytes
    std::string text;           // its text, converted
    // The companion's bytes when they were read for the signature: those, and not what the
    // file may hold later, are run.
    std::string companionBytes;
    bool companionRead = false;

    std::string header() const { return Trim(std::string_view(text).substr(0, text.find('\r'))); }
};

// With the office's key set, only an answer it signed runs: its script's bytes, followed by the
// companion's when the header asks for it and the file is there.
bool signatureAccepted(ExchangePort& screen, ImportObserver& observer, Script& script,
                       RunControl& control) {
    const std::string& answerKey = screen.Options().AnswerKey;
    if (answerKey.empty()) return true;
    std::string message = script.bytes;
    bool readable = true;
    std::error_code ec;
    if (script.header() == kHeaders[kHeaderWithCompanion] &&
        std::filesystem::is_regular_file(script.companionPath, ec)) {
        readable = script.companionRead =
            readBytes(script.companionPath, script.companionBytes, control);
        message += script.companionBytes;
    }
    std::string signature;
    if (!readable || !readBytes(script.folder + kSignatureName, signature, control) ||
        !AnswerSignatureValid(answerKey, signature, message))
        return stopImport(screen, observer, kBadSignature, kLogged | kErrorBox);
    return true;
}

// Finds the answer (asking for its folder when none is given), unpacks it when UseZip is on,
// reads it and checks its signature, serving the loop through `control` between the pieces.
// False when there is nothing to run: the person chose no folder (said to no one), or the stop
// was reported.
bool readScript(ExchangePort& screen, const std::string& folderIn, const ImportHooks& hooks,
                ImportObserver& observer, Script& script, RunControl& control) {
    std::string folder = Trim(folderIn);
    if (folder.empty()) folder = Trim(screen.ChooseFolder());
    if (folder.empty()) return false;
    folder = withSlash(folder);
    script.folder = folder;
    if (screen.Options().UseZip) {
        if (!hooks.unpackFolder.empty()) script.folder = withSlash(hooks.unpackFolder);
        if (!unpackScript(screen, folder, script.folder, observer)) return false;
    }
    script.path = script.folder + kScriptName;
    script.companionPath = script.folder + kCompanionName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(script.path, ec) ||
        !readBytes(script.path, script.bytes, control))
        return stopImport(screen, observer, missingFileText(script.path), kBoxed);
    script.text = scriptTextOf(script.bytes, control);
    return signatureAccepted(screen, observer, script, control);
}

// The connection the answer runs on, confined to what an answer may do, its rows read by no
// one, stoppable through `control`; nullptr when there is none (the stop was reported).
std::unique_ptr<TQueryResult> openAnswerConnection(ExchangePort& screen, ImportObserver& observer,
                                                   RunControl& control) {
    // SQLite would create an empty file in place of a missing database, and every statement
    // would then fail on a missing table: stop before executing anything.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(DatabasePath(), ec)) {
        stopImport(screen, observer, kDatabaseNotFound, kBoxed | kLogStopped);
        return nullptr;
    }
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) {
        stopImport(screen, observer, kDatabaseNotFound, kLogStopped);
        return nullptr;
    }
    // The answer is SQL from the network: the connection that runs it may change the rows of
    // the tables and little else (see ConfineToAnswer), before its first statement.
    std::string confineError;
    if (!q->ConfineToAnswer(&confineError)) {
        stopImport(screen, observer, confineError, kBoxed | kLogStopped);
        return nullptr;
    }
    q->SetRowLimit(kKeptRows);
    if (control.active())
        q->SetProgressHandler(kStepsBetweenLooks, [&control] { return control.stopRequested(); });
    return q;
}

// One run of an answer on its connection: the script's lines, the companion, the deletions,
// the office's messages and the stamp of the load. Each step returns false when the run ends
// there (a failing statement, or a stop that was reported).
class AnswerRun {
public:
    AnswerRun(ExchangePort& screen, ImportObserver& observer, TQueryResult& q, RunControl& control)
        : m_screen(screen),
          m_observer(observer),
          m_q(q),
          m_control(control),
          m_indexesAtEnd{q},
          m_statements(q) {
        m_statements.SetBeforeCommit([&control] { control.serveBeforeWait(); });
    }

    bool runLines(const std::vector<std::string_view>& lines);
    bool runCompanionOf(Script& script);
    bool finish();

private:
    // What a line beginning with '<' turned out to be.
    enum class Directive { Done, Failed, DataRow };
    Directive runDirective(size_t i, const std::string& line, std::string& row);
    bool runRow(size_t i, const std::string& row);
    bool stopped();
    bool failed();
    bool leftOpen();

    // An answer that drops a table and makes it again drops the device's indexes on it: they
    // are made again at once (the rows that follow are then kept indexed), and once more when
    // the run ends, however it ends, for a statement that a rolled-back batch took with it.
    // Declared before the statements, so that it runs after their last commit.
    struct IndexesAtEnd {
        TQueryResult& q;
        ~IndexesAtEnd() { EnsureDeviceIndexes(q); }
    };

    ExchangePort& m_screen;
    ImportObserver& m_observer;
    TQueryResult& m_q;
    RunControl& m_control;
    IndexesAtEnd m_indexesAtEnd;
    // The script's statements are committed in batches; the outcome is still that of one
    // commit per statement (see BatchedStatements). Every step after the lines starts from a
    // commit: the companion file, the deletions in one transaction of their own, the messages
    // that wait for the agent, and LLD_Def.
    BatchedStatements m_statements;
    std::string m_template;
    std::string m_deleteAllDate;
    std::string m_deleteOldDate;
    std::vector<std::string> m_officeMessages;
};

// The person stopped the run: the open batch goes, what was committed stays.
bool AnswerRun::stopped() {
    m_statements.Abandon();
    // What the run does on its way out (the device's indexes) is not to be stopped too.
    m_q.SetProgressHandler(0, {});
    return stopImport(m_screen, m_observer, kInterrupted, kLogged);
}

// Statements are tagged with their line's index; the header is index 0, line 1.
bool AnswerRun::failed() {
    const auto& f = m_statements.LastFailure();
    if (m_control.stopped() && interrupted(f.code)) return stopped();
    m_observer.StatementFailed(f.tag + 1, f.error, f.statement);
    showFailure(f);
    return false;
}

// A transaction that the answer began and did not end would be rolled back when the
// connection closes: nothing of it is in force, so the run does not count as complete.
bool AnswerRun::leftOpen() {
    m_statements.Abandon();
    return stopImport(m_screen, m_observer, kLeftOpen, kLogged | kBoxed | kLogStopped);
}

bool AnswerRun::runLines(const std::vector<std::string_view>& lines) {
    ExchangeProgress& progress = m_screen.Progress();
    progress.setVisible(true);
    progress.setValue(0);
    progress.setRange(0, static_cast<int>(lines.size()) - 1);
    for (size_t i = 1; i < lines.size(); ++i) {
        if (m_control.stopRequested()) return stopped();
        progress.setValue(static_cast<int>(i));
        const std::string line = Trim(lines[i]);
        if (line.empty() || startsWith(line, "//")) continue;
        std::string row = line;
        if (line.front() == '<') {
            const Directive directive = runDirective(i, line, row);
            if (directive == Directive::Failed) return false;
            if (directive == Directive::Done) continue;
        }
        if (!m_template.empty() && !runRow(i, row)) return false;
    }
    if (!m_statements.Commit()) return failed();
    if (m_control.stopped()) return stopped();  // asked for while the last batch was committed
    if (m_q.InTransaction()) return leftOpen();
    return true;
}

// Directives are read in upper case; a line of data that begins with '<' is too (`row`).
AnswerRun::Directive AnswerRun::runDirective(size_t i, const std::string& line, std::string& row) {
    if (AsciiUpper(std::string_view(line).substr(0, 12)) == "<SHOWMSGWND ") {
        m_officeMessages.push_back(argumentOf(line, 11));
        m_observer.MessageMet(i + 1, m_officeMessages.back());
        return Directive::Done;
    }
    const std::string upper = AsciiUpper(line);
    const std::string_view u = upper;
    if (Trim(u.substr(0, 8)) == "<DELALL") {
        m_deleteAllDate = argumentOf(upper, 7);
        m_observer.DeleteMet(i + 1, true, m_deleteAllDate);
    } else if (Trim(u.substr(0, 5)) == "<DEL") {
        m_deleteOldDate = argumentOf(upper, 4);
        m_observer.DeleteMet(i + 1, false, m_deleteOldDate);
    } else if (upper == "</*>" || upper == "</REPEAT>") {
        m_template.clear();
    } else if (startsWith(u, "<REPEAT")) {
        m_template = argumentOf(upper, 7);
        m_observer.TemplateStarted(i + 1, m_template);
    } else if (startsWith(u, "<EXEC")) {
        m_template.clear();
        const std::string sql = argumentOf(upper, 5);
        m_observer.ExecMet(i + 1, sql);
        if (!m_statements.Run(sql, i)) {
            failed();
            return Directive::Failed;
        }
        if (MayChangeTables(sql)) EnsureDeviceIndexes(m_q);
    } else {
        row = upper;
        return Directive::DataRow;
    }
    return Directive::Done;
}

// A data row through the current template.
bool AnswerRun::runRow(size_t i, const std::string& row) {
    const std::vector<std::string> fields = splitFields(row);
    bool unfilled = false;
    const std::string statement = fillTemplate(m_template, fields, unfilled);
    if (unfilled) m_observer.FieldsMissing(i + 1, fields.size());
    if (!m_statements.Run(statement, i)) return failed();
    if (m_template.find("TABLE") != std::string::npos) EnsureDeviceIndexes(m_q);  // upper case
    m_observer.RowExecuted(i + 1);
    return true;
}

// The 0003 header's ToPDA.sql, unless it is missing or older than the script.
bool AnswerRun::runCompanionOf(Script& script) {
    std::error_code ec;
    if (!script.companionRead && !std::filesystem::is_regular_file(script.companionPath, ec))
        return true;  // nothing to run
    if (!companionIsCurrent(script.path, script.companionPath)) {
        m_screen.AddLogLine(kStaleCompanion);
        return true;
    }
    m_screen.AddLogLine(kDirectories);
    if (script.companionRead || readBytes(script.companionPath, script.companionBytes, m_control))
        runCompanion(m_statements, scriptTextOf(script.companionBytes, m_control), m_observer);
    if (m_control.stopped()) return stopped();
    if (m_q.InTransaction()) return leftOpen();
    return true;
}

// The deletions, the office's messages, LLD_Def and the day's copy.
bool AnswerRun::finish() {
    // The deletions and LLD_Def go to the device's own tables, whatever the answer left.
    std::string leftover;
    if (!m_q.EndAnswer(&leftover))
        return stopImport(m_screen, m_observer, leftover, kLogged | kBoxed | kLogStopped);
    // Taken before the deletions of old documents: they remove whole documents, which a copy
    // made before them still holds.
    const bool onlyResent = onlyWhatTheOfficeResends(m_q.TablesWritten());
    m_screen.AddLogLine(kProcessing);
    if (!deleteOldDocuments(m_q, m_deleteAllDate, true, m_observer) ||
        !deleteOldDocuments(m_q, m_deleteOldDate, false, m_observer))
        return stopped();

    const size_t count = m_officeMessages.size();
    for (size_t k = 0; k < count; ++k) {
        notifier().message("Сообщение из офиса: [" + std::to_string(k + 1) + " / " +
                           std::to_string(count) + "]\r\n" + Trim(m_officeMessages[k]));
    }

    EnsureDeviceIndexes(m_q);  // before the day's copy is taken
    m_screen.AddLogLine(kFinished);
    const DateTime now = m_screen.ExchangeClock().Now();
    ExecShowingStatement(m_q, "delete from MY_OPTIONS where OPT_NAME=\"LLD_Def\"");
    ExecShowingStatement(m_q, "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (\"LLD_Def\", \"" +
                                  DateToText(now) + " " + TimeToText(now) + "\")");
    keepDayCopy(now, onlyResent, m_control.loop());
    m_observer.Finished();
    return true;
}

}  // namespace

bool ScriptRunsCompanion(const std::string& scriptPath) {
    std::ifstream in(scriptPath, std::ios::binary);
    std::string first;
    if (!in || !std::getline(in, first, '\r')) return false;
    if (const auto lf = first.find('\n'); lf != std::string::npos) first.resize(lf);
    return Trim(first) == kHeaders[kHeaderWithCompanion];
}

bool ImportScript(ExchangePort& screen, const std::string& folder, const ImportHooks& hooks) {
    ImportObserver none;
    ImportObserver& observer = hooks.observer ? *hooks.observer : none;
    // The loop is served while the answer is read; from "Начата загрузка..." on the person may
    // stop the run.
    RunControl control(hooks.loop);
    Script script;
    if (!readScript(screen, folder, hooks, observer, script, control)) return false;
    control.offerStop();
    screen.AddLogLine(kStarted);
    const std::string header = script.header();
    const auto known = std::find(kHeaders.begin(), kHeaders.end(), header);
    if (known == kHeaders.end()) return stopImport(screen, observer, kIncompatible, kBoxed);
    const bool withCompanion = known == kHeaders.begin() + kHeaderWithCompanion;
    observer.HeaderFound(header, withCompanion);

    const auto q = openAnswerConnection(screen, observer, control);
    if (!q) return false;
    AnswerRun run(screen, observer, *q, control);
    return run.runLines(splitLines(script.text)) &&
           (!withCompanion || run.runCompanionOf(script)) && run.finish();
}

}  // namespace velmorant
