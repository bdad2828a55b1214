// The import script interpreter over real script files (Windows-1251, CR LF) and a real
// base.sdb.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <regex>

#include "core/db/Backup.h"
#include "core/db/Dates.h"
#include "core/db/QueryResult.h"
#include "core/exchange/Import.h"
#include "core/exchange/ImportLoop.h"
#include "support/RecordingScreen.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

#define CP_PRIVET "\xCF\xF0\xE8\xE2\xE5\xF2"
#define CP_OFIS "\xCE\xF4\xE8\xF1"
#define CP_KOFE "\xCA\xEE\xF4\xE5"

const std::string kH1 = "R_ODIRI RESPONSE 0002-0000-0000-0001";
const std::string kH2 = "R_ODIRI RESPONSE 0002-0000-0000-0002";
const std::string kH3 = "R_ODIRI RESPONSE 0003-0000-0000-0001";

std::string script(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& l : lines) bytes += l + "\r\n";
    return bytes;
}

const std::vector<std::string> kCompleteLog = {"Начата загрузка...", "Обработка...",
                                               "Загрузка завершена."};

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folder);
        execSql({"create table T (A, B, C)"});
    }

    bool run(const std::string& bytes) {
        writeFile(folder + "/ToPDA.sqd", bytes);
        return ImportScript(screen, folder);
    }

    std::vector<std::string> tableT() { return joinedRows("select A, B, C from T order by rowid"); }

    // LLD_Def holds the time of the last completed load, once, as the screen's clock told it.
    bool lldDefWritten() {
        const auto rows = joinedRows("select OPT_VAL from MY_OPTIONS where OPT_NAME='LLD_Def'");
        static const std::regex form("\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d");
        const DateTime now = screen.ExchangeClock().Now();
        return rows.size() == 1 && std::regex_match(rows[0], form) &&
               rows[0] == DateToText(now) + " " + TimeToText(now);
    }

    TempProgramFolder program;
    RecordingNotifier notes;
    RecordingScreen screen;
    std::string folder = (program / "in").string();
};

struct ScriptCase {
    const char* name;
    std::string bytes;
    bool completes;
    std::vector<std::string> rows;      // of table T afterwards
    std::vector<std::string> messages;  // boxes shown, in order
};

TEST_F(ImportTest, RunsScriptsLineByLine) {
    const std::string repeat2 = "<REPEAT \"insert into T (A, B) values ('%1', '%2')\">";
    const std::string repeat1 = "<REPEAT \"insert into T (A) values ('%1')\">";
    const std::vector<ScriptCase> cases = {
        {"first header alone", script({kH1}), true, {}, {}},
        {"second header with blanks around it", script({"  " + kH2 + " \t"}), true, {}, {}},
        {"companion header without a companion file", script({kH3}), true, {}, {}},
        {"header in other letter case",
         script(
             {"R_ODIRI Response 0002-0000-0000-0002", "<EXEC \"insert into T values (1,2,3)\">"}),
         false,
         {},
         {"Файл несовместимого формата."}},
        {"line feeds without carriage returns",
         kH2 + "\n<EXEC \"insert into T values (1,2,3)\">\n",
         false,
         {},
         {"Файл несовместимого формата."}},
        {"byte-order mark",
         "\xEF\xBB\xBF" + script({kH2}),
         false,
         {},
         {"Файл несовместимого формата."}},
        {"empty file", "", false, {}, {"Файл несовместимого формата."}},
        {"comments, empty lines and rows outside a block",
         script({kH2, "// <EXEC \"insert into T (A) values ('comment')\">", "", "   ",
                 "outside\tblock", repeat2, "a\tb", "</REPEAT>", "after\tend",
                 "<repeat insert into T (A) values ('%1')", "e", "</*>", "f"}),
         true,
         {"a|b|", "e||"},
         {}},
        {"template in small letters and %UPPER",
         script({kH2,
                 "<repeat \"insert into T (A, B, C) values ('%1', '%upper(%2)', 'const %2')\">",
                 "mixed\tCase " CP_KOFE}),
         true,
         {"mixed|CASE Кофе|CONST Case Кофе"},
         {}},
        {"runs of tabs and blanks are one separator",
         script({kH2, "<REPEAT \"insert into T (A, B, C) values ('%1', '%2', '%3')\">", "A\t\tB",
                 "x\t \t y\t\t"}),
         true,
         {"A|B|%3", "x|y|%3"},
         {}},
        {"field ten and beyond",
         script({kH2, "<REPEAT \"insert into T (A, B) values ('%10', '%1%2')\">",
                 "a\tb\tc\td\te\tf\tg\th\ti\tj", "a\tb\tc\td\te\tf\tg\th\ti"}),
         true,
         {"j|ab|", "a0|ab|"},
         {}},
        {"field values are not read as placeholders",
         script({kH2, repeat2, "%2\tz"}),
         true,
         {"%2|z|"},
         {}},
        {"a data row beginning with an angle bracket",
         script({kH2, repeat1, "<tag>"}),
         true,
         {"<TAG>||"},
         {}},
        {"EXEC ends a block",
         script({kH2, repeat1, "r1", "<EXEC \"insert into T (A) values ('exec')\" ignored>", "r2"}),
         true,
         {"r1||", "EXEC||"},
         {}},
        {"a failing statement stops the run",
         script({kH2, "<EXEC \"insert into T (A) values ('one')\">", repeat1, "two",
                 "<EXEC insert into T (A) values ('three')>",
                 "<EXEC \"insert into T (A) values ('four')\">", "<SHOWMSGWND hello>"}),
         false,
         {"ONE||", "two||"},
         {"near \">\": syntax error", "INSERT INTO T (A) VALUES ('THREE')>"}},
        {"office messages in any letter case",
         script({kH2, "<showmsgwnd \"" CP_PRIVET ", " CP_OFIS "\">", "<SHOWMSGWND second one>"}),
         true,
         {},
         {"Сообщение из офиса: [1 / 2]\r\nПривет, Офис",
          "Сообщение из офиса: [2 / 2]\r\nsecond one>"}},
        {"reading stops at a NUL byte",
         script({kH2, "<EXEC \"insert into T (A) values ('one')\">"}) + std::string(1, '\0') +
             script({"<EXEC \"insert into T (A) values ('two')\">"}),
         true,
         {"ONE||"},
         {}},
        {"a delete directive without a date does nothing",
         script({kH2, "<DEL", "<DELALL \"\">"}),
         true,
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        execSql({"delete from T", "delete from MY_OPTIONS"});
        notes.clear();
        screen.log.clear();
        EXPECT_EQ(run(c.bytes), c.completes);
        EXPECT_EQ(tableT(), c.rows);
        EXPECT_EQ(notes.texts(), c.messages);
        EXPECT_EQ(lldDefWritten(), c.completes);
        if (c.completes) {
            EXPECT_EQ(screen.log, kCompleteLog);
        }
        if (!c.completes) {
            EXPECT_NE(screen.log.back(), "Загрузка завершена.");
        }
    }
}

// The statements of a script are committed in batches; a failure in the middle of one must
// still leave exactly what running the statements one by one leaves.
TEST_F(ImportTest, StopsAtTheFailingStatementOfABatch) {
    const std::string repeat = "<REPEAT \"insert into U (A, B) values (%1, '%2')\">";
    const std::string wide(300, 'w');
    struct BatchCase {
        const char* name;
        int pageLimit;                        // PRAGMA max_page_count, when not 0
        std::function<std::string(int)> row;  // the data row for n = 1, 2, ...
        int rows;
    };
    const std::vector<BatchCase> cases = {
        {"a constraint in the second batch", 0,
         [](int n) { return std::to_string(n == 700 ? 5 : n) + "\tr"; }, 1500},
        {"a syntax error", 0,
         [](int n) { return std::to_string(n) + (n == 640 ? "\tx')" : "\tr"); }, 1500},
        {"a full disk", 80, [&](int n) { return std::to_string(n) + "\t" + wide; }, 3000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        notes.clear();
        execSql({"drop table if exists U", "create table U (A unique, B)"});
        const std::string limit = "PRAGMA max_page_count = " + std::to_string(c.pageLimit);

        // The same statements one by one on a copy of the database.
        TempDir reference;
        std::filesystem::copy_file(DatabasePath(), reference / "base.sdb");
        size_t fit = 0;
        std::string failing;
        std::string error;
        {
            auto q = TQueryResult::Create((reference / "base.sdb").string(), true);
            q->Exec("PRAGMA synchronous=OFF");  // only faster; the outcome is the same
            if (c.pageLimit > 0) q->Exec(limit);
            for (int n = 1; n <= c.rows; ++n) {
                const std::string row = c.row(n);
                const size_t tab = row.find('\t');
                const std::string sql = "INSERT INTO U (A, B) VALUES (" + row.substr(0, tab) +
                                        ", '" + row.substr(tab + 1) + "')";
                if (q->ExecSilently(sql, &error) != 0) {
                    failing = sql;
                    break;
                }
                ++fit;
            }
        }
        ASSERT_FALSE(failing.empty());
        ASSERT_GT(fit, 500u);

        std::vector<std::string> lines = {kH2};
        if (c.pageLimit > 0) lines.push_back("<EXEC \"" + limit + "\">");
        lines.push_back(repeat);
        for (int n = 1; n <= c.rows; ++n) lines.push_back(c.row(n));
        lines.push_back("<SHOWMSGWND \"never shown\">");
        EXPECT_FALSE(run(script(lines)));
        EXPECT_EQ(notes.texts(), (std::vector<std::string>{error, failing}));
        // An unbroken run of whole rows from the first, and nothing after the failing one.
        EXPECT_EQ(joinedRows("select count(*), min(A), max(A) from U"),
                  std::vector<std::string>{std::to_string(fit) + "|1|" + std::to_string(fit)});
        EXPECT_FALSE(lldDefWritten());
    }
}

// The loop is served while the answer (read and converted in pieces) is read, before the run
// offers a stop; what the loop answers then is no stop. From "Начата загрузка..." on a stop is
// taken, at the latest when the last batch is committed, and told once.
TEST_F(ImportTest, ServesTheLoopFromTheReadingOnAndStopsOnlyOnceOffered) {
    class Loop : public ImportLoop {
    public:
        Loop(bool stopWhileReading, bool stopWhileRunning)
            : m_whileReading(stopWhileReading), m_whileRunning(stopWhileRunning) {}
        void running(bool on) override {
            m_running = on;
            transitions.push_back(on);
        }
        bool serve() override {
            ++(m_running ? servedRunning : servedReading);
            return m_running ? m_whileRunning : m_whileReading;
        }
        int servedReading = 0, servedRunning = 0;
        std::vector<bool> transitions;

    private:
        bool m_whileReading, m_whileRunning, m_running = false;
    };
    // Rows of Windows-1251 text over several pieces of the reading.
    const std::string text(1000, '\xEF');  // "п"
    std::string utf8;
    for (int i = 0; i < 1000; ++i) utf8 += "п";
    std::vector<std::string> lines = {kH2, "<REPEAT \"insert into T (A, B) values (%1, '%2')\">"};
    for (int n = 1; n <= 3000; ++n) lines.push_back(std::to_string(n) + "\t" + text);
    lines.push_back("</REPEAT>");
    const std::string bytes = script(lines);
    ASSERT_GT(bytes.size(), 2u << 20);

    struct LoopCase {
        const char* name;
        bool stopWhileReading, stopWhileRunning;
        bool completes;
    };
    const std::vector<LoopCase> cases = {
        {"a loop that never stops the run", false, false, true},
        {"a stop asked for before the run offers one", true, false, true},
        {"a stop asked for as soon as it is offered", false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        execSql({"delete from T", "delete from MY_OPTIONS where OPT_NAME='LLD_Def'"});
        screen.log.clear();
        Loop loop(c.stopWhileReading, c.stopWhileRunning);
        ImportHooks hooks;
        hooks.loop = &loop;
        writeFile(folder + "/ToPDA.sqd", bytes);
        EXPECT_EQ(ImportScript(screen, folder, hooks), c.completes);
        EXPECT_GT(loop.servedReading, 0);
        EXPECT_GT(loop.servedRunning, 0);  // at least before the commit
        EXPECT_EQ(loop.transitions, (std::vector<bool>{true, false}));
        const auto rows = joinedRows("select count(*), count(distinct B), min(A), max(A), " +
                                     std::string("min(length(B)) from T"));
        if (c.completes) {
            EXPECT_EQ(screen.log, kCompleteLog);
            EXPECT_EQ(rows, std::vector<std::string>{"3000|1|1|3000|1000"});
            EXPECT_EQ(joinedRows("select B from T where A=3000"), std::vector<std::string>{utf8});
            EXPECT_TRUE(lldDefWritten());
        } else {
            EXPECT_EQ(screen.log, (std::vector<std::string>{"Начата загрузка...", "Прервано."}));
            EXPECT_FALSE(lldDefWritten());
        }
    }
}

TEST_F(ImportTest, DeletesOldDocumentsBeforeTheCutOffDay) {
    struct DeleteCase {
        const char* name;
        std::vector<std::string> directives;
        std::vector<std::string> remaining;
        std::vector<std::string> messages;
    };
    const std::string before = "Поступила команда удалить ";
    const std::vector<DeleteCase> cases = {
        {"delete old keeps documents ready to send",
         {"<DEL \"01.12.2026\">"},
         {"D2", "D3"},
         {before + "старые документы до 01.12.2026.\r\nУдалено документов 2"}},
        {"delete all, whatever the state",
         {"<DELALL 01.12.2026"},
         {"D3"},
         {before + "все документы до 01.12.2026.\r\nУдалено документов 3"}},
        {"the last delete-all counts",
         {"<DELALL 01.01.2020", "<DelAll \"01.12.2026\">"},
         {"D3"},
         {before + "все документы до 01.12.2026.\r\nУдалено документов 3"}},
        {"nothing matches, nothing shown",
         {"<DELALL 01.12.2026", "<DELALL 01.01.2020"},
         {"D1", "D2", "D3", "D4"},
         {}},
        {"delete all first, then delete old",
         {"<DEL 01.12.2026", "<DELALL 01.11.2026"},
         {"D2", "D3"},
         {before + "все документы до 01.11.2026.\r\nУдалено документов 1",
          before + "старые документы до 01.12.2026.\r\nУдалено документов 1"}},
        {"small letters and another separator",
         {"<del 15/11/2026"},
         {"D1", "D2", "D3"},
         {before + "старые документы до 15/11/2026.\r\nУдалено документов 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        execSql({"delete from DOC_HEADS", "delete from DOC_ORDERS",
                 "insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values "
                 "('D1', 2, '2026-11-30'), ('D2', 1, '2026-11-30'), ('D3', 3, '2026-12-01'), "
                 "('D4', 4, '2026-10-01')",
                 "insert into DOC_ORDERS (DOC_ID, ORDER_ID) values ('D1', 0), ('D2', 0), "
                 "('D3', 0), ('D4', 0)"});
        notes.clear();
        std::vector<std::string> lines = {kH2};
        lines.insert(lines.end(), c.directives.begin(), c.directives.end());
        EXPECT_TRUE(run(script(lines)));
        EXPECT_EQ(joinedRows("select GUID from DOC_HEADS order by GUID"), c.remaining);
        EXPECT_EQ(joinedRows("select DOC_ID from DOC_ORDERS order by DOC_ID"), c.remaining);
        EXPECT_EQ(notes.texts(), c.messages);
        for (const auto& shown : notes.shown()) EXPECT_EQ(shown.icon, MessageIcon::Information);
    }
}

// Documents whose GUIDs name columns: deleting one of them must not read its GUID as that
// column, which would match every row.
TEST_F(ImportTest, DeleteOldTakesGuidsThatNameAColumnAsValues) {
    execSql(
        {"insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values "
         "('GUID', 2, '2026-11-30'), ('DOC_ID', 3, '2026-11-30'), ('D2', 1, '2026-11-30'), "
         "('D3', 2, '2026-12-01')",
         "insert into DOC_ORDERS (DOC_ID, ORDER_ID) values ('GUID', 0), ('DOC_ID', 0), "
         "('D2', 0), ('D3', 0)",
         "insert into DOC_SKUS (DOC_ID, ORDER_ID) values ('DOC_ID', 0), ('D2', 0)"});
    EXPECT_TRUE(run(script({kH2, "<DEL \"01.12.2026\">"})));
    EXPECT_EQ(joinedRows("select GUID from DOC_HEADS order by GUID"),
              (std::vector<std::string>{"D2", "D3"}));
    EXPECT_EQ(joinedRows("select DOC_ID from DOC_ORDERS order by DOC_ID"),
              (std::vector<std::string>{"D2", "D3"}));
    EXPECT_EQ(joinedRows("select DOC_ID from DOC_SKUS"), std::vector<std::string>{"D2"});
    EXPECT_EQ(notes.texts(),
              std::vector<std::string>{"Поступила команда удалить старые документы до "
                                       "01.12.2026.\r\nУдалено документов 2"});
}

TEST_F(ImportTest, RunsTheCompanionFileOnlyWithItsHeader) {
    struct CompanionCase {
        const char* name;
        std::string header;
        std::string companion;
        std::vector<std::string> rows;
        std::vector<std::string> messages;
    };
    const std::string two = "insert into T (A) values ('s1');\r\ninsert into T (A) values ('s2');";
    const std::vector<CompanionCase> cases = {
        {"after the script", kH3, "  " + two + "\r\n", {"FIRST||", "s1||", "s2||"}, {}},
        {"not with the older header", kH2, two, {"FIRST||"}, {}},
        {"a failure is shown and the run goes on",
         kH3,
         "insert into T (A) values ('s1'); insert into Nowhere values (1); insert into T (A) "
         "values ('s3')",
         {"FIRST||", "s1||"},
         {"no such table: Nowhere"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        execSql({"delete from T", "delete from MY_OPTIONS"});
        notes.clear();
        screen.log.clear();
        writeFile(folder + "/ToPDA.sql", c.companion);
        EXPECT_TRUE(run(script({c.header, "<EXEC \"insert into T (A) values ('first')\">"})));
        EXPECT_EQ(tableT(), c.rows);
        EXPECT_EQ(notes.texts(), c.messages);
        EXPECT_TRUE(lldDefWritten());
        const bool companionRan = c.header == kH3;
        EXPECT_EQ(screen.log.size(), companionRan ? 4u : 3u);
        if (companionRan) {
            EXPECT_EQ(screen.log[1], "Загрузка справочников...");
        }
    }
}

// An answer that drops a directory and makes it again takes the device's indexes on it with
// the table; the import puts them back, whether the answer completes or stops later on.
TEST_F(ImportTest, TableMadeAgainKeepsTheDeviceIndexes) {
    const std::string drop = "<EXEC \"drop table SPR_GOODS\">";
    const std::string make =
        "<EXEC \"create table SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, "
        "PRICE)\">";
    const std::string fill = "<REPEAT \"insert into SPR_GOODS (GUID, UNAME) values ('%1', '%2')\">";
    const std::string sqlMake =
        "drop table SPR_GOODS; create table SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, "
        "ANAME, UNAME, PRICE); insert into SPR_GOODS (GUID, UNAME) values ('G1', 'A');";
    const std::vector<std::string> all = {"MY_IX_GOODS_GUID", "MY_IX_GOODS_ROOTID",
                                          "MY_IX_GOODS_TRIM_GUID", "MY_IX_GOODS_UNAME"};
    struct Case {
        const char* name;
        std::string script;
        std::string companion;
        bool completes;
        std::vector<std::string> indexes;
    };
    const std::vector<Case> cases = {
        {"in the script", script({kH2, drop, make, fill, "G1\tA", "G2\tB"}), "", true, all},
        {"in the companion file", script({kH3}), sqlMake, true, all},
        {"and the answer stops later",
         script({kH2, drop, make, fill, "G1\tA", "<EXEC \"insert into Nowhere values (1)\">"}), "",
         false, all},
        {"made again without a GUID column",
         script({kH2, drop, "<EXEC \"create table SPR_GOODS (ID, ROOTID, UNAME)\">"}),
         "",
         true,
         {"MY_IX_GOODS_ROOTID", "MY_IX_GOODS_UNAME"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(folder + "/ToPDA.sql", c.companion);
        EXPECT_EQ(run(c.script), c.completes);
        EXPECT_EQ(joinedRows("select name from sqlite_master where type = 'index' and tbl_name = "
                             "'SPR_GOODS' order by name"),
                  c.indexes);
        // Back to the table the program makes, for the next case.
        execSql({"drop table SPR_GOODS",
                 "create table SPR_GOODS  (GUID, ID , ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, "
                 "PRICE)"});
    }
}

TEST_F(ImportTest, UnpacksTheScriptWhenZipIsOn) {
    screen.appOptions.UseZip = true;
    const auto staging = program / "staging";
    std::filesystem::create_directories(staging);
    writeFile(staging / "ToPDA.sqd",
              script({kH3, "<EXEC \"insert into T (A) values ('zipped')\">"}));
    writeFile(staging / "ToPDA.sql", "insert into T (A) values ('companion')");
    const auto zip = runCommand("cd '" + staging.string() + "' && zip -q -9 '" + folder +
                                "/ToPDA.zip' ToPDA.sqd ToPDA.sql");
    ASSERT_EQ(zip.exitCode, 0) << zip.err;
    writeFile(folder + "/ToPDA.sqd", "stale script");

    EXPECT_TRUE(ImportScript(screen, folder));
    EXPECT_EQ(tableT(), (std::vector<std::string>{"ZIPPED||", "companion||"}));
    EXPECT_EQ(screen.log.front(), "Распаковка...");
    EXPECT_EQ(screen.log.back(), "Загрузка завершена.");
}

TEST_F(ImportTest, StopsEarlyWithoutAUsableScript) {
    struct StopCase {
        const char* name;
        bool useZip;
        std::string zipBytes;  // written as ToPDA.zip when not empty
        std::vector<std::string> log;
        std::vector<std::string> messages;
    };
    const std::vector<StopCase> cases = {
        {"no archive", true, "", {"Файл не найден."}, {}},
        {"damaged archive",
         true,
         "not a zip archive at all",
         {"Распаковка...", "Не удалось распаковать архив."},
         {}},
        {"no script", false, "", {}, {"Файл '" + folder + "/ToPDA.sqd' отсутствует!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(folder + "/ToPDA.sqd");
        std::filesystem::remove(folder + "/ToPDA.zip");
        if (!c.zipBytes.empty()) writeFile(folder + "/ToPDA.zip", c.zipBytes);
        notes.clear();
        screen.log.clear();
        screen.appOptions.UseZip = c.useZip;
        EXPECT_FALSE(ImportScript(screen, folder + "/"));
        EXPECT_EQ(screen.log, c.log);
        EXPECT_EQ(notes.texts(), c.messages);
        EXPECT_TRUE(joinedRows("select * from MY_OPTIONS").empty());
    }
}

TEST_F(ImportTest, AskForTheFolderAndStopSilentlyWhenNoneIsChosen) {
    screen.chosenFolder = "   ";
    EXPECT_FALSE(ImportScript(screen, " "));
    EXPECT_EQ(screen.chooserCalls, 1);
    EXPECT_TRUE(notes.texts().empty());
    EXPECT_TRUE(screen.log.empty());

    writeFile(folder + "/ToPDA.sqd", script({kH2}));
    screen.chosenFolder = folder;
    EXPECT_TRUE(ImportScript(screen, ""));
    EXPECT_TRUE(lldDefWritten());
}

TEST_F(ImportTest, AMissingDatabaseStopsBeforeAnyStatement) {
    const auto missing = program / "gone" / "base.sdb";
    SetDatabasePath(missing.string());
    EXPECT_FALSE(run(script({kH2, "<EXEC \"create table X (A)\">"})));
    EXPECT_EQ(notes.texts(), std::vector<std::string>{"База данных не найдена."});
    EXPECT_EQ(screen.log.back(), "Загрузка прервана.");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(ImportTest, ReplacesLldDefAndLeavesTheJournalModeAsItWas) {
    execSql({"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('LLD_Def', 'old')"});
    const auto modeBefore = joinedRows("PRAGMA journal_mode");
    std::vector<std::string> lines = {kH2, "<REPEAT \"insert into T (A) values (%1)\">"};
    for (int i = 0; i < 50; ++i) lines.push_back(std::to_string(i));
    EXPECT_TRUE(run(script(lines)));
    EXPECT_TRUE(lldDefWritten());
    EXPECT_EQ(joinedRows("select count(*) from T"), std::vector<std::string>{"50"});
    EXPECT_EQ(joinedRows("PRAGMA journal_mode"), modeBefore);
    EXPECT_EQ(screen.bar.minimum, 0);
    EXPECT_EQ(screen.bar.maximum, 51);
    EXPECT_EQ(screen.bar.value, 51);
    EXPECT_TRUE(screen.bar.visible);
}

TEST_F(ImportTest, ACompletedImportReplacesTheDaysCopyAFailedOneDoesNot) {
    const std::string copy = BackupFolderFor(program.dbPath()) + "base-" +
                             DateToIso(screen.ExchangeClock().Today()) + ".sdb";
    struct Case {
        std::string bytes;
        bool completes;
        std::string rowsInCopy;  // of table T; empty: no copy
    };
    const std::vector<Case> cases = {
        {"not a script header\r\n", false, ""},
        {script({kH2, "<EXEC \"insert into T (A) values (1)\">"}), true, "1"},
        {script({kH2, "<EXEC \"insert into T (A) values (2)\">"}), true, "2"},
        {script({"garbage", "insert into T (A) values (3)"}), false, "2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(run(c.bytes), c.completes);
        if (c.rowsInCopy.empty()) {
            EXPECT_FALSE(std::filesystem::exists(copy));
            continue;
        }
        auto q = TQueryResult::Create(copy, true);
        ASSERT_TRUE(q && q->Exec("select count(*) as N from T"));
        EXPECT_EQ(q->Value("N", ""), c.rowsInCopy);
    }
}

// Every order is in the day's copy or still waiting to be sent, where a restore finds it. An
// answer that may have changed the documents, the options or a table the office does not send
// again is followed by the copy at once, and so is any answer on a day without a copy; one that
// changed only the office's directories and messages, or deleted old documents by the
// directive, leaves the day's copy as it was, marked behind, and the next start makes it anew.
// A loop that serves the program takes the copy that is owed, and the run leaves it marked.
TEST_F(ImportTest, TheDaysCopyFollowsAtOnceUnlessOnlyTheOfficesDirectoriesChanged) {
    const std::string db = program.dbPath();
    const DateTime today = screen.ExchangeClock().Today();
    const std::string copy = BackupFolderFor(db) + "base-" + DateToIso(today) + ".sdb";
    const std::string goods = "(GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE)";
    struct Case {
        std::string name;
        std::vector<std::string> lines;
        bool dayHasCopy;
        bool copiedNow;
    };
    const std::vector<Case> cases = {
        {"prices",
         {kH2, "<REPEAT \"update SPR_GOODS set PRICE=%2 where (GUID='%1')\">", "G1\t2.50"},
         true,
         false},
        {"messages and clients",
         {kH2, "<EXEC \"insert into MY_MESSAGES (GUID) values ('M1')\">",
          "<EXEC \"delete from SPR_CLIENTS\">"},
         true,
         false},
        {"the table of goods made again",
         {kH2, "<EXEC \"drop table SPR_GOODS\">",
          "<EXEC \"create table SPR_GOODS " + goods + "\">"},
         true,
         false},
        {"a temporary table of the answer",
         {kH2, "<EXEC \"create temp table X (A)\">", "<EXEC \"insert into X values ('C1')\">",
          "<EXEC \"insert into SPR_CLIENTS (GUID) select A from X\">"},
         true,
         false},
        {"directories on a day without a copy",
         {kH2, "<EXEC \"delete from SPR_COMPETITORS\">"},
         false,
         true},
        {"documents accepted",
         {kH2, "<EXEC \"update DOC_HEADS set DOC_STATE=2 where GUID='D1'\">"},
         true,
         true},
        {"an update that matches no document",
         {kH2, "<EXEC \"update DOC_HEADS set DOC_STATE=2 where GUID='none'\">"},
         true,
         true},
        {"order lines", {kH2, "<EXEC \"delete from DOC_ORDERS where DOC_ID='D1'\">"}, true, true},
        {"documents deleted by the directive", {kH2, "<DELALL \"01.01.2021\">"}, true, false},
        {"documents deleted by the answer",
         {kH2, "<EXEC \"delete from DOC_HEADS where REC_TIME<'2021'\">"},
         true,
         true},
        {"options", {kH2, "<EXEC \"update MY_OPTIONS set OPT_VAL='1' where 0\">"}, true, true},
        {"a table that the office made",
         {kH2, "<EXEC \"insert into T (A) values ('office')\">"},
         true,
         true},
        {"the table of documents renamed",
         {kH2, "<EXEC \"alter table DOC_HEADS rename to OLD_HEADS\">"},
         true,
         true},
    };
    // The program's loop takes the copy that is owed, to make after the run.
    class Loop : public ImportLoop {
    public:
        void running(bool) override {}
        bool serve() override { return false; }
        bool copyDayLater(DateTime day) override {
            days.push_back(std::floor(day));  // the time of the run, on its day
            return true;
        }
        std::vector<DateTime> days;
    };
    for (const bool withLoop : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name + (withLoop ? " (the loop takes the copy)" : ""));
            std::filesystem::remove_all(BackupFolderFor(db));
            execSql({"delete from DOC_HEADS", "delete from T",
                     "insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values ('D1', 1, "
                     "'2020-05-05')"});
            if (c.dayHasCopy) {
                ASSERT_TRUE(BackupDatabase(db, today));
            }
            // A row the copy can only hold when it was made after the answer.
            execSql({"insert into T (A) values ('" + c.name + "')"});
            writeFile(folder + "/ToPDA.sqd", script(c.lines));
            Loop loop;
            ImportHooks hooks;
            hooks.loop = withLoop ? &loop : nullptr;
            ASSERT_TRUE(ImportScript(screen, folder, hooks));
            const bool copiedNow = c.copiedNow && !withLoop;
            EXPECT_EQ(loop.days, c.copiedNow && withLoop ? std::vector<DateTime>{today}
                                                         : std::vector<DateTime>{});
            auto q = TQueryResult::Create(copy, true);
            if (c.dayHasCopy || copiedNow) {
                ASSERT_TRUE(q && q->Exec("select count(*) as N from T where A='" + c.name + "'"));
                EXPECT_EQ(q->Value("N", ""), copiedNow ? "1" : "0");
            }
            EXPECT_EQ(HasBackupOf(db, today), copiedNow);
            if (copiedNow) continue;
            // The next start's copy catches up.
            q.reset();
            ASSERT_TRUE(BackupDatabaseOnce(db, today));
            EXPECT_TRUE(HasBackupOf(db, today));
            q = TQueryResult::Create(copy, true);
            ASSERT_TRUE(q && q->Exec("select count(*) as N from T where A='" + c.name + "'"));
            EXPECT_EQ(q->Value("N", ""), "1");
        }
        execSql({"alter table OLD_HEADS rename to DOC_HEADS"});  // the last case's
    }
}

// A transaction that the answer opens and never ends would be rolled back when the connection
// closes: the run stops there, keeps what was committed before the BEGIN, and does none of
// what follows a complete run.
TEST_F(ImportTest, AnAnswerThatLeavesItsTransactionOpenStops) {
    const std::string leftOpen =
        "Ответ оставил свою транзакцию открытой (BEGIN без COMMIT): её операторы отменены.";
    struct OpenCase {
        const char* name;
        std::vector<std::string> lines;
        std::string companion;
        bool completes;
        std::vector<std::string> rows;  // of table T afterwards
    };
    const std::string insert = "<REPEAT \"insert into T (A) values ('%1')\">";
    const std::vector<OpenCase> cases = {
        {"a BEGIN in the script", {kH2, insert, "1", "<EXEC \"begin\">", "2"}, "", false, {"1||"}},
        {"a BEGIN in the companion file",
         {kH3, insert, "1"},
         "insert into T (A) values ('2'); begin; insert into T (A) values ('3');",
         false,
         {"1||", "2||"}},
        {"a failing statement inside the companion's transaction",
         {kH3, insert, "1"},
         "begin; insert into T (A) values ('2'); insert into NOWHERE values (1); commit;",
         false,
         {"1||"}},
        {"a transaction that is ended",
         {kH2, "<EXEC \"begin\">", insert, "1", "2", "<EXEC \"commit\">"},
         "",
         true,
         {"1||", "2||"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        execSql({"delete from T", "delete from MY_OPTIONS", "delete from DOC_HEADS",
                 "insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values ('OLD', 2, "
                 "'2020-01-01')"});
        std::filesystem::remove(folder + "/ToPDA.sql");
        if (!c.companion.empty()) writeFile(folder + "/ToPDA.sql", c.companion);
        screen.log.clear();
        notes.clear();
        std::vector<std::string> lines = c.lines;
        lines.push_back("<DELALL \"01.12.2026\">");
        EXPECT_EQ(run(script(lines)), c.completes);
        EXPECT_EQ(tableT(), c.rows);
        EXPECT_EQ(lldDefWritten(), c.completes);
        EXPECT_EQ(joinedRows("select count(*) from DOC_HEADS"),
                  std::vector<std::string>{c.completes ? "0" : "1"});
        if (!c.completes) {
            ASSERT_GE(screen.log.size(), 2u);
            EXPECT_EQ(screen.log[screen.log.size() - 2], leftOpen);
            EXPECT_EQ(screen.log.back(), "Загрузка прервана.");
            ASSERT_FALSE(notes.texts().empty());
            EXPECT_EQ(notes.texts().back(), leftOpen);
        }
    }
}

// A deletion that fails as a whole is done again one document at a time, each in its own
// transaction: a document whose rows cannot all go loses the others, as the journal's own
// deletion would, and the count is that of the documents actually removed.
TEST_F(ImportTest, ADeletionThatFailsAsAWholeGoesOneDocumentAtATime) {
    execSql(
        {"insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values ('D1', 2, '2026-11-01'), "
         "('D2', 2, '2026-11-02'), ('D3', 2, '2026-11-03'), ('NEW', 2, '2026-12-05')",
         "insert into DOC_ORDERS (DOC_ID, ORDER_ID) values ('D1', 0), ('D2', 0), ('D3', 0), "
         "('NEW', 0)",
         "insert into DOC_SKUS (DOC_ID, ORDER_ID) values ('D1', 0), ('D2', 0), ('D3', 0)",
         "insert into DOC_COMPETS (DOC_ID, ORDER_ID) values ('D2', 0), ('D3', 0)",
         "create trigger KEEP before delete on DOC_SKUS when old.DOC_ID='D2' begin "
         "select raise(abort, 'kept'); end"});
    EXPECT_TRUE(run(script({kH2, "<DEL \"01.12.2026\">"})));
    EXPECT_EQ(joinedRows("select GUID from DOC_HEADS"), std::vector<std::string>{"NEW"});
    EXPECT_EQ(joinedRows("select DOC_ID from DOC_ORDERS"), std::vector<std::string>{"NEW"});
    EXPECT_EQ(joinedRows("select DOC_ID from DOC_SKUS"), std::vector<std::string>{"D2"});
    EXPECT_EQ(joinedRows("select count(*) from DOC_COMPETS"), std::vector<std::string>{"0"});
    EXPECT_EQ(notes.texts(),
              (std::vector<std::string>{"kept",
                                        "Поступила команда удалить старые документы до "
                                        "01.12.2026.\r\nУдалено документов 3"}));
}

}  // namespace
}  // namespace velmorant::test
