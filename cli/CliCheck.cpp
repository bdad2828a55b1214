// velmorant-cli check: runs an office's answer exactly as the import would, but against a copy
// of the device's base.sdb in a temporary folder, and prints what happened instead of showing
// message boxes. For the office's programmer, before the answer goes out.
//   velmorant-cli check [--home DIR] [--json] [--result FILE] FOLDER
// Exit code 0 when the run would complete, 1 when it would stop (a failing statement, a bad
// header, a missing file), 2 for a usage error.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/ConsoleImportLoop.h"
#include "cli/HomeOption.h"
#include "core/db/Clock.h"
#include "core/db/Database.h"
#include "core/db/DatabaseCopy.h"
#include "core/db/Dates.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/ExchangePort.h"
#include "core/exchange/Import.h"
#include "core/exchange/ImportObserver.h"

namespace velmorant::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

const char* const kUsage =
    "usage: velmorant-cli check [--home DIR] [--json] [--result FILE] FOLDER\n";

const std::array<const char*, 9> kTables = {"SPR_CLIENTS", "SPR_GOODS",   "SPR_COMPETITORS",
                                            "DOC_HEADS",   "DOC_ORDERS",  "DOC_SKUS",
                                            "DOC_COMPETS", "MY_MESSAGES", "MY_OPTIONS"};

// The table that a template's statement writes, when it names one.
std::string tableOf(const std::string& sql) {
    static const std::regex statement(
        R"(^\s*(?:INSERT(?:\s+OR\s+\w+)?\s+INTO|REPLACE\s+INTO|UPDATE(?:\s+OR\s+\w+)?|DELETE\s+FROM)\s+([\w."`\[\]]+))",
        std::regex::icase);
    std::smatch m;
    if (!std::regex_search(sql, m, statement)) return {};
    std::string name = m[1].str();
    name.erase(std::remove_if(name.begin(), name.end(),
                              [](char c) { return c == '"' || c == '`' || c == '[' || c == ']'; }),
               name.end());
    return name;
}

std::map<std::string, long long> rowCounts() {
    std::map<std::string, long long> counts;
    for (const char* table : kTables) {
        TQueryResult q(DatabasePath());
        long long n = -1;
        if (q.Open() && q.ExecSilently(std::string("select count(*) from ") + table) == 0) {
            q.First();
            n = std::atoll(q.Cell(0).c_str());
        }
        counts[table] = n;
    }
    return counts;
}

// Everything the run met and did, collected through the import's observer.
class CheckReport : public ImportObserver {
public:
    struct Template {
        std::size_t line;
        std::string sql;
        std::vector<std::size_t> rows;  // lines of the data rows that ran
    };
    struct Directive {
        std::size_t line;
        std::string kind;  // EXEC, DEL, DELALL, SHOWMSGWND
        std::string argument;
    };

    void Stopped(const std::string& reason) override { stopped = reason; }
    void HeaderFound(const std::string& h, bool withCompanion) override {
        header = h;
        companionProtocol = withCompanion;
    }
    void TemplateStarted(std::size_t line, const std::string& sql) override {
        templates.push_back({line, sql, {}});
    }
    void RowExecuted(std::size_t line) override {
        if (!templates.empty()) templates.back().rows.push_back(line);
    }
    void FieldsMissing(std::size_t line, std::size_t fields) override {
        shortRows.push_back({line, fields});
    }
    void ExecMet(std::size_t line, const std::string& sql) override {
        directives.push_back({line, "EXEC", sql});
    }
    void DeleteMet(std::size_t line, bool all, const std::string& date) override {
        directives.push_back({line, all ? "DELALL" : "DEL", date});
    }
    void MessageMet(std::size_t line, const std::string& text) override {
        directives.push_back({line, "SHOWMSGWND", text});
    }
    void StatementFailed(std::size_t line, const std::string& error,
                         const std::string& statement) override {
        failedLine = line;
        failedError = error;
        failedStatement = statement;
    }
    void CompanionRan(std::size_t executed, std::size_t total, std::size_t failed,
                      const std::string& error, const std::string& statement) override {
        companionRan = true;
        companionExecuted = executed;
        companionTotal = total;
        companionFailed = failed;
        companionError = error;
        companionStatement = statement;
    }
    void DocumentDeleted(bool, const std::string& guid) override { deleted.push_back(guid); }
    void Finished() override { finished = true; }

    // Data rows of a template in force: those before a failing line.
    std::size_t RowsInForce(const Template& t) const {
        if (failedLine == 0) return t.rows.size();
        return static_cast<std::size_t>(std::lower_bound(t.rows.begin(), t.rows.end(), failedLine) -
                                        t.rows.begin());
    }

    std::string stopped;
    std::string header;
    bool companionProtocol = false;
    std::vector<Template> templates;
    std::vector<Directive> directives;
    std::size_t failedLine = 0;
    std::string failedError;
    std::string failedStatement;
    bool companionRan = false;
    std::size_t companionExecuted = 0;
    std::size_t companionTotal = 0;
    std::size_t companionFailed = 0;
    std::string companionError;
    std::string companionStatement;
    std::vector<std::string> deleted;
    bool finished = false;
    std::vector<std::pair<std::size_t, std::size_t>> shortRows;  // line, fields
};

// Likely mistakes that the run itself passes over without a word.
std::vector<std::string> warningsOf(const CheckReport& r) {
    std::vector<std::string> warnings;
    for (const auto& [line, fields] : r.shortRows) {
        warnings.push_back("строка " + std::to_string(line) + ": в строке данных полей " +
                           std::to_string(fields) +
                           ", а шаблон ссылается на поле дальше: такой %N попадёт в базу как "
                           "написан");
    }
    for (const auto& d : r.directives) {
        if ((d.kind == "DEL" || d.kind == "DELALL") && ParseDate(d.argument, 0) <= 0) {
            warnings.push_back("строка " + std::to_string(d.line) + ": дата «" + d.argument +
                               "» в <" + d.kind + "> не читается: документы не удаляются");
        }
    }
    if (r.companionFailed > 0) {
        warnings.push_back("ToPDA.sql: оператор " + std::to_string(r.companionFailed) +
                           " не выполнен, остальные пропущены, а загрузка всё равно завершится");
    }
    return warnings;
}

// Keeps every box instead of showing it.
class QuietNotifier : public Notifier {
public:
    MessageAnswer show(const std::string& text, MessageIcon, MessageButtons buttons) override {
        shown.push_back(text);
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }
    std::vector<std::string> shown;
};

// The exchange screen of a check: keeps the log, draws nothing.
class CheckScreen : public ExchangePort {
public:
    CheckScreen(TAppOptions options, const Clock& clock)
        : appOptions(std::move(options)), m_clock(clock) {}
    void AddLogLine(const std::string& text) override { log.push_back(text); }
    const Clock& ExchangeClock() const override { return m_clock; }
    std::string ChooseFolder() override { return {}; }
    ExchangeProgress& Progress() override { return m_progress; }
    const TAppOptions& Options() const override { return appOptions; }

    std::vector<std::string> log;
    TAppOptions appOptions;

private:
    const Clock& m_clock;
    NoProgress m_progress;
};

struct CheckOptions {
    HomeOption home;  // not given: the program folder already set
    bool json = false;
    std::string folder;
    std::string result;  // --result: where to copy the database as the run left it
};

bool parse(std::vector<std::string> args, CheckOptions& o) {
    std::string error;
    for (std::size_t i = 0; i < args.size();) {
        if (args[i] == "--home") {
            if (!TakeHomeOption(args, i, o.home, error)) return false;
            continue;
        }
        if (args[i] == "--json") {
            o.json = true;
        } else if (args[i] == "--result") {
            if (++i >= args.size()) return false;
            o.result = args[i];
        } else if (!args[i].empty() && args[i][0] == '-' && args[i] != "-") {
            return false;
        } else if (o.folder.empty()) {
            o.folder = args[i];
        } else {
            return false;
        }
        ++i;
    }
    return !o.folder.empty();
}

// A folder of its own under the system's temporary folder, removed at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string t = (fs::temp_directory_path() / "velmorant-check-XXXXXX").string();
        if (mkdtemp(t.data())) m_path = t;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

std::string protocolText(const std::string& header, bool companion) {
    const std::string version = header.substr(header.rfind(' ') + 1);
    return version + (companion ? ": сценарий, затем ToPDA.sql" : ": только сценарий");
}

std::vector<std::string> skippedSteps(const CheckReport& r) {
    std::vector<std::string> steps;
    if (r.companionProtocol) steps.push_back("ToPDA.sql");
    std::size_t deletions = 0;
    std::size_t messages = 0;
    for (const auto& d : r.directives) {
        if (d.kind == "DEL" || d.kind == "DELALL") ++deletions;
        if (d.kind == "SHOWMSGWND") ++messages;
    }
    steps.push_back(deletions > 0 ? "удаление документов" : "удаление документов (не задано)");
    steps.push_back("сообщения из офиса: " + std::to_string(messages));
    steps.push_back("LLD_Def");
    return steps;
}

ordered_json toJson(const CheckReport& r, const CheckOptions& o, const std::string& source,
                    const std::map<std::string, long long>& before,
                    const std::map<std::string, long long>& after,
                    const std::vector<std::string>& messages, int exitCode) {
    ordered_json j;
    j["folder"] = o.folder;
    j["database"] = source;
    j["completed"] = r.finished;
    j["exitCode"] = exitCode;
    j["stopped"] = r.stopped.empty() ? ordered_json() : ordered_json(r.stopped);
    if (!r.header.empty()) {
        j["header"] = r.header;
        j["protocol"] = protocolText(r.header, r.companionProtocol);
        j["runsCompanion"] = r.companionProtocol;
    }
    j["templates"] = ordered_json::array();
    for (const auto& t : r.templates) {
        j["templates"].push_back({{"line", t.line},
                                  {"table", tableOf(t.sql)},
                                  {"sql", t.sql},
                                  {"rows", r.RowsInForce(t)}});
    }
    j["directives"] = ordered_json::array();
    for (const auto& d : r.directives) {
        ordered_json entry = {{"line", d.line}, {"kind", d.kind}};
        entry[d.kind == "EXEC" ? "sql" : d.kind == "SHOWMSGWND" ? "text" : "date"] = d.argument;
        j["directives"].push_back(entry);
    }
    if (r.failedLine > 0) {
        j["failure"] = {{"line", r.failedLine},
                        {"error", r.failedError},
                        {"statement", r.failedStatement},
                        {"text", "строка " + std::to_string(r.failedLine) + ": " + r.failedError}};
        j["skipped"] = skippedSteps(r);
    } else {
        j["failure"] = nullptr;
    }
    if (r.companionRan) {
        j["companion"] = {{"statements", r.companionTotal}, {"executed", r.companionExecuted}};
        if (r.companionFailed > 0) {
            j["companion"]["failure"] = {{"statement", r.companionFailed},
                                         {"error", r.companionError},
                                         {"sql", r.companionStatement}};
        }
    }
    j["deleted"] = {{"count", r.deleted.size()}, {"guids", r.deleted}};
    for (const char* table : kTables) {
        j["tables"][table] = {{"before", before.at(table)}, {"after", after.at(table)}};
    }
    j["messages"] = messages;
    j["warnings"] = warningsOf(r);
    return j;
}

void printText(const CheckReport& r, const CheckOptions& o, const std::string& source,
               const std::map<std::string, long long>& before,
               const std::map<std::string, long long>& after,
               const std::vector<std::string>& messages, int exitCode) {
    std::printf("Проверка ответа в %s\n", o.folder.c_str());
    std::printf("База: %s\n", source.c_str());
    if (!r.header.empty()) {
        std::printf("Заголовок: %s (протокол %s)\n", r.header.c_str(),
                    protocolText(r.header, r.companionProtocol).c_str());
    }
    if (!r.stopped.empty()) std::printf("Остановка: %s\n", r.stopped.c_str());
    if (!r.templates.empty()) std::printf("Шаблоны:\n");
    for (const auto& t : r.templates) {
        const std::string table = tableOf(t.sql);
        std::printf("  строка %zu: %s, выполнено строк данных: %zu\n", t.line,
                    table.empty() ? "(таблица не названа)" : table.c_str(), r.RowsInForce(t));
    }
    if (!r.directives.empty()) std::printf("Директивы:\n");
    for (const auto& d : r.directives) {
        std::printf("  строка %zu: %s %s\n", d.line, d.kind.c_str(), d.argument.c_str());
    }
    if (r.failedLine > 0) {
        std::printf("Ошибка: строка %zu: %s\n  %s\n", r.failedLine, r.failedError.c_str(),
                    r.failedStatement.c_str());
        std::printf("Импорт остановится здесь; пропущено:\n");
        for (const auto& step : skippedSteps(r)) std::printf("  %s\n", step.c_str());
    }
    if (r.companionRan) {
        std::printf("ToPDA.sql: выполнено операторов %zu из %zu\n", r.companionExecuted,
                    r.companionTotal);
        if (r.companionFailed > 0) {
            std::printf("  ошибка в операторе %zu: %s\n  %s\n", r.companionFailed,
                        r.companionError.c_str(), r.companionStatement.c_str());
        }
    }
    if (r.finished) {
        std::printf("Удалит документов: %zu\n", r.deleted.size());
        for (const auto& guid : r.deleted) std::printf("  %s\n", guid.c_str());
    }
    std::printf("Строк в таблицах (до -> после):\n");
    for (const char* table : kTables) {
        std::printf("  %-16s %lld -> %lld\n", table, before.at(table), after.at(table));
    }
    if (!messages.empty()) std::printf("Сообщения агенту:\n");
    for (const auto& m : messages) std::printf("  %s\n", OneLineText(m).c_str());
    const auto warnings = warningsOf(r);
    if (!warnings.empty()) std::printf("Предупреждения:\n");
    for (const auto& w : warnings) std::printf("  %s\n", w.c_str());
    std::printf("Итог: %s\n",
                exitCode == kExitOk ? "загрузка завершится" : "загрузка не завершится");
}

int runCheck(const CliArgs& a) {
    CheckOptions o;
    if (!parse(a.args, o)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    std::error_code ec;
    // The device's folder is only read: a missing one is not made.
    if (o.home.given) UseHomeFolder(o.home, false);
    o.folder = fs::absolute(o.folder, ec).string();
    if (!o.result.empty()) o.result = fs::absolute(o.result, ec).string();
    const std::string device = ProgramFolder() + "data/base.sdb";

    ScratchFolder scratch;
    if (scratch.path().empty()) {
        std::fprintf(stderr, "velmorant-cli: cannot create a temporary folder\n");
        return kExitFailed;
    }
    fs::create_directories(scratch.path() + "/data", ec);
    fs::create_directories(scratch.path() + "/unpacked", ec);
    std::string source = "копия " + device;
    if (fs::exists(device, ec)) {
        std::string error;
        if (!CopyDatabase(device, scratch.path() + "/data/base.sdb", WhenBusy::CopyFiles, error)) {
            std::fprintf(stderr, "velmorant-cli: cannot copy %s: %s\n", device.c_str(),
                         error.c_str());
            return kExitFailed;
        }
    } else {
        source = "новая пустая база (у устройства её нет: " + device + ")";
    }

    QuietNotifier quiet;
    Notifier* previous = setNotifier(&quiet);
    struct Restore {
        Notifier* n;
        ~Restore() { setNotifier(n); }
    } restore{previous};

    SetProgramFolder(scratch.path());
    if (!PrepareDatabase()) {
        std::fprintf(stderr, "velmorant-cli: the database cannot be opened: %s\n",
                     quiet.shown.empty() ? "" : quiet.shown.back().c_str());
        return kExitFailed;
    }
    const auto before = rowCounts();
    CheckScreen screen(LoadAppOptions(), a.clock);
    CheckReport report;
    ConsoleImportLoop loop;  // Ctrl+C stops an answer that does not end
    ImportHooks hooks;
    hooks.observer = &report;
    hooks.loop = &loop;
    hooks.unpackFolder = scratch.path() + "/unpacked";
    const bool completed = ImportScript(screen, o.folder, hooks);
    const auto after = rowCounts();
    const int exitCode = completed ? kExitOk : kExitFailed;

    if (!o.result.empty()) {
        // The database as the run left it, for the office's own comparisons.
        std::string error;
        if (!CopyDatabase(DatabasePath(), o.result, WhenBusy::CopyFiles, error)) {
            std::fprintf(stderr, "velmorant-cli: cannot write %s: %s\n", o.result.c_str(),
                         error.c_str());
            return kExitFailed;
        }
    }
    if (o.json) {
        std::printf(
            "%s\n",
            toJson(report, o, source, before, after, quiet.shown, exitCode).dump(2).c_str());
    } else {
        printText(report, o, source, before, after, quiet.shown, exitCode);
    }
    return exitCode;
}

const CliRegistration checkCommand({"check", "[--home DIR] [--json] [--result FILE] FOLDER", 1, 6,
                                    &runCheck});

}  // namespace
}  // namespace velmorant::cli
