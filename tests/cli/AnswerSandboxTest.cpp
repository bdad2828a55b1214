// Answers written as an attacker would write them, run through velmorant-cli import and check
// on a prepared device: each is refused with the library's text and the statement, nothing
// outside the database changes, nothing crashes; and what an office legitimately sends still
// runs.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/db/Text.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;

const char* const kHeader = "R_ODIRI RESPONSE 0003-0000-0000-0001";

// Whether the process has a handler of its own for SIGINT (its SigCgt mask); a process that
// has ended has none.
bool catchesSigint(pid_t pid) {
    const std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("SigCgt:");
    if (at == std::string::npos) return false;
    const unsigned long long mask = std::stoull(status.substr(at + 7), nullptr, 16);
    return (mask >> (SIGINT - 1)) & 1;
}

class AnswerSandboxTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(answer);
        fs::create_directories(device / "data" / "backup");
        execSql(
            {"insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values ('D1', 1, "
             "'2026-12-01')",
             "insert into DOC_ORDERS (DOC_ID, G_GUID, G_WT) values ('D1', 'G1', 2)"});
        // The day's copy, as the last completed import left it.
        fs::copy_file(device.dbPath(), device / "data" / "backup" / "20261207.sdb");
    }

    CommandResult cli(const std::string& command) {
        return runCommand(std::string("'") + VELMORANT_CLI_PATH + "' --home '" + device.str() +
                          "' " + command + " '" + answer.string() + "'");
    }
    void writeAnswer(const std::vector<std::string>& lines, const std::string& companion) {
        std::string bytes;
        for (const auto& l : lines) bytes += Utf8ToCp1251(l) + "\r\n";
        writeFile(answer / "ToPDA.sqd", bytes);
        fs::remove(answer / "ToPDA.sql");
        if (!companion.empty()) writeFile(answer / "ToPDA.sql", companion);
    }
    // Every file of the device outside data/, and of the folder beside it, with its bytes.
    std::map<std::string, std::string> filesAround() {
        std::map<std::string, std::string> files;
        for (const fs::path& root : {device.path(), outside.path()}) {
            for (auto it = fs::recursive_directory_iterator(root);
                 it != fs::recursive_directory_iterator(); ++it) {
                if (it->path() == device / "data") {
                    it.disable_recursion_pending();
                } else if (it->is_regular_file()) {
                    files[it->path().string()] = readFile(it->path());
                }
            }
        }
        return files;
    }

    TempProgramFolder device;
    TempDir outside;
    fs::path answer = outside.path() / "answer";
};

TEST_F(AnswerSandboxTest, HostileAnswersAreRefusedAndTouchNothingElse) {
    const std::string target = (outside.path() / "loot.db").string();
    const std::string backup = (device / "data" / "backup" / "20261207.sdb").string();
    struct Case {
        const char* name;
        std::vector<std::string> lines;  // after the header
        std::string companion;
        std::string error;      // the library's text, as the import shows it
        std::string statement;  // the statement shown after it
    };
    const std::vector<Case> cases = {
        {"a library address through the tokenizer function",
         {"<EXEC \"select fts3_tokenizer('simple')\">"},
         "",
         "not authorized to use function: FTS3_TOKENIZER",
         "SELECT FTS3_TOKENIZER('SIMPLE')"},
        {"a pointer of the script's own choosing",
         {"<EXEC \"select fts3_tokenizer('mine', x'4141414141414141')\">",
          "<EXEC \"create virtual table T using fts3(tokenize=mine)\">"},
         "",
         "not authorized to use function: FTS3_TOKENIZER",
         "SELECT FTS3_TOKENIZER('MINE', X'4141414141414141')"},
        {"a virtual table",
         {"<EXEC \"create virtual table T using fts3(A)\">"},
         "",
         "not authorized",
         "CREATE VIRTUAL TABLE T USING FTS3(A)"},
        {"a file anywhere through ATTACH",
         {"<REPEAT \"ATTACH DATABASE '%1' AS X\">", target},
         "",
         "not authorized",
         "ATTACH DATABASE '" + target + "' AS X"},
        {"the day's copy emptied through ATTACH",
         {"<REPEAT \"ATTACH DATABASE '%1' AS B\">", backup, "<EXEC \"delete from B.DOC_HEADS\">"},
         "",
         "not authorized",
         "ATTACH DATABASE '" + backup + "' AS B"},
        {"a copy of everything through VACUUM INTO",
         {"<REPEAT \"VACUUM INTO '%1'\">", target},
         "",
         "authorization denied",
         "VACUUM INTO '" + target + "'"},
        {"a trigger that swallows every later order line",
         {"<EXEC \"create trigger EAT after insert on DOC_ORDERS begin delete from DOC_ORDERS "
          "where rowid=new.rowid; end\">"},
         "",
         "not authorized",
         "CREATE TRIGGER EAT AFTER INSERT ON DOC_ORDERS BEGIN DELETE FROM DOC_ORDERS WHERE "
         "ROWID=NEW.ROWID; END"},
        {"a trigger that marks every new order as sent",
         {},
         "create trigger SENT after insert on DOC_HEADS begin update DOC_HEADS set DOC_STATE=2 "
         "where GUID=new.GUID; end;",
         "not authorized",
         "create trigger SENT after insert on DOC_HEADS begin update DOC_HEADS set DOC_STATE=2 "
         "where GUID=new.GUID; end;"},
        {"a trigger for the rest of the run",
         {"<EXEC \"create temp trigger T before delete on DOC_HEADS begin select 1; end\">"},
         "",
         "not authorized",
         "CREATE TEMP TRIGGER T BEFORE DELETE ON DOC_HEADS BEGIN SELECT 1; END"},
        {"a view kept in the file",
         {"<EXEC \"create view V as select * from DOC_HEADS\">"},
         "",
         "not authorized",
         "CREATE VIEW V AS SELECT * FROM DOC_HEADS"},
        {"a schema written by hand",
         {"<EXEC \"pragma writable_schema=1\">",
          "<EXEC \"update sqlite_master set sql='x' where name='DOC_HEADS'\">"},
         "",
         "not authorized",
         "PRAGMA WRITABLE_SCHEMA=1"},
        {"the schema table written directly",
         {"<EXEC \"delete from sqlite_master where name='DOC_ORDERS'\">"},
         "",
         "table sqlite_master may not be modified",
         "DELETE FROM SQLITE_MASTER WHERE NAME='DOC_ORDERS'"},
        {"the journal switched off for good",
         {"<EXEC \"pragma journal_mode=off\">"},
         "",
         "not authorized",
         "PRAGMA JOURNAL_MODE=OFF"},
        {"writes that a power cut may lose",
         {"<EXEC \"pragma synchronous=off\">"},
         "",
         "not authorized",
         "PRAGMA SYNCHRONOUS=OFF"},
        {"temporary files anywhere",
         {},
         "pragma temp_store_directory='" + outside.str() + "';",
         "not authorized",
         "pragma temp_store_directory='" + outside.str() + "';"},
        {"the process's memory cut to nothing",
         {"<EXEC \"pragma hard_heap_limit=1\">"},
         "",
         "not authorized",
         "PRAGMA HARD_HEAP_LIMIT=1"},
        {"the schema's version changed",
         {"<EXEC \"pragma schema_version=1\">"},
         "",
         "not authorized",
         "PRAGMA SCHEMA_VERSION=1"},
        {"an extension loaded",
         {},
         "select load_extension('" + target + "');",
         "not authorized to use function: load_extension",
         "select load_extension('" + target + "');"},
        {"a value that fills the memory",
         {"<EXEC \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('X', "
          "randomblob(1000000000))\">"},
         "",
         "string or blob too big",
         "INSERT INTO MY_OPTIONS (OPT_NAME, OPT_VAL) VALUES ('X', RANDOMBLOB(1000000000))"},
    };
    const std::string dayCopy = readFile(backup);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines = {kHeader};
        lines.insert(lines.end(), c.lines.begin(), c.lines.end());
        lines.push_back("<DELALL \"01.01.2030\">");
        writeAnswer(lines, c.companion);
        const auto before = filesAround();

        const auto imported = cli("import");
        EXPECT_EQ(imported.exitCode, c.companion.empty() ? 1 : 0) << imported.out << imported.err;
        // The two boxes of a failing statement, or the one box of a failing companion file.
        const std::string boxes =
            c.error + "\n" + (c.companion.empty() ? c.statement + "\n" : std::string());
        EXPECT_NE(imported.err.find(boxes), std::string::npos) << imported.err;

        const auto checked = cli("check");
        EXPECT_EQ(checked.exitCode, imported.exitCode) << checked.out << checked.err;
        EXPECT_NE(checked.out.find(c.error + "\n  " + c.statement), std::string::npos)
            << checked.out;

        EXPECT_FALSE(fs::exists(target));
        EXPECT_EQ(filesAround(), before);
        EXPECT_EQ(joinedRows("select name from sqlite_master where type in ('trigger', 'view')"),
                  std::vector<std::string>{});
        EXPECT_EQ(joinedRows("pragma integrity_check"), std::vector<std::string>{"ok"});
        execSql({"delete from MY_OPTIONS"});
        if (c.companion.empty()) {
            // A run that stops writes no copy of the day; this one is as it was.
            EXPECT_EQ(readFile(backup), dayCopy);
            // The run stopped before its deletions: the order is still there.
            EXPECT_EQ(joinedRows("select count(*) from DOC_ORDERS"), std::vector<std::string>{"1"});
        }
        execSql({"delete from DOC_HEADS", "delete from DOC_ORDERS",
                 "insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values ('D1', 1, "
                 "'2026-12-01')",
                 "insert into DOC_ORDERS (DOC_ID, G_GUID, G_WT) values ('D1', 'G1', 2)"});
    }
}

// What an office sends to keep a device's directories: tables and indexes made and dropped,
// transactions, a plain VACUUM, the reading pragmas, recursive queries and large selects.
TEST_F(AnswerSandboxTest, WhatAnOfficeSendsStillRuns) {
    writeAnswer(
        {kHeader, "<EXEC \"create table EXTRA (A integer primary key, B text)\">",
         "<EXEC \"create index EXTRA_B on EXTRA (B)\">", "<EXEC \"begin\">",
         "<EXEC \"with recursive N(V) as (select 1 union all select V + 1 from N where "
         "V < 20000) insert into EXTRA (A, B) select V, 'B' || V from N\">",
         "<EXEC \"commit\">", "<EXEC \"select * from EXTRA\">",
         "<EXEC \"pragma table_info(EXTRA)\">", "<EXEC \"pragma foreign_keys=on\">",
         "<EXEC \"pragma journal_mode\">", "<EXEC \"pragma max_page_count=1000000\">",
         "<EXEC \"create temp table T as select * from EXTRA where A < 10\">",
         "<EXEC \"alter table EXTRA add column C integer\">", "<EXEC \"drop index EXTRA_B\">",
         "<EXEC \"vacuum\">", "<EXEC \"drop trigger if exists LEFT_BEHIND\">"},
        "savepoint S; update EXTRA set C = A % 7; release S; analyze; "
        "insert into SPR_CLIENTS (GUID, ANAME) select 'C' || A, B from EXTRA where A <= 3;");
    const auto imported = cli("import");
    EXPECT_EQ(imported.exitCode, 0) << imported.out << imported.err;
    EXPECT_EQ(imported.err, "");
    EXPECT_EQ(joinedRows("select count(*), sum(C) from EXTRA"),
              std::vector<std::string>{"20000|59998"});
    EXPECT_EQ(joinedRows("select count(*) from SPR_CLIENTS"), std::vector<std::string>{"3"});
    const auto checked = cli("check");
    EXPECT_EQ(checked.exitCode, 1) << checked.out;  // EXTRA exists now: the first EXEC fails
    EXPECT_NE(checked.out.find("table EXTRA already exists"), std::string::npos) << checked.out;
}

// What an answer may leave on its connection does not reach the steps after it: the deletions
// and LLD_Def go to the device's own tables, and the deletion's box is the only one.
TEST_F(AnswerSandboxTest, TheStepsAfterTheAnswerWorkOnTheDevicesOwnTables) {
    const struct {
        const char* name;
        const char* exec;
    } cases[] = {
        {"options in a temporary table", "create temp table MY_OPTIONS (OPT_NAME, OPT_VAL)"},
        {"documents in a temporary table",
         "create temp table DOC_HEADS as select * from main.DOC_HEADS"},
        {"documents in a temporary view",
         "create temp view DOC_HEADS as select * from main.DOC_HEADS"},
        {"a read-only connection", "pragma query_only = 1"},
        {"no room to grow", "pragma max_page_count = 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeAnswer({kHeader, std::string("<EXEC \"") + c.exec + "\">", "<DELALL \"01.01.2030\">"},
                    "");
        const auto imported = cli("import");
        EXPECT_EQ(imported.exitCode, 0) << imported.out << imported.err;
        EXPECT_EQ(imported.err,
                  "Поступила команда удалить все документы до 01.01.2030.  Удалено документов 1\n");
        EXPECT_EQ(joinedRows("select count(*) from DOC_HEADS"), std::vector<std::string>{"0"});
        EXPECT_EQ(joinedRows("select count(*) from MY_OPTIONS where OPT_NAME = 'LLD_Def'"),
                  std::vector<std::string>{"1"});
        execSql({"delete from MY_OPTIONS",
                 "insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values ('D1', 1, "
                 "'2026-12-01')"});
    }
}

// An answer that never ends stops on Ctrl+C, as " Прервать " stops it on the screen: the log
// says "Прервано.", the statements committed before it stay, the open batch goes, no box,
// exit code 1.
TEST_F(AnswerSandboxTest, AnEndlessAnswerStopsOnCtrlC) {
    writeAnswer({kHeader, "<EXEC \"insert into SPR_CLIENTS (GUID) values ('BEFORE')\">",
                 "<EXEC \"pragma foreign_keys\">",  // commits what came before
                 "<EXEC \"insert into SPR_CLIENTS (GUID) values ('BATCH')\">",
                 "<EXEC \"with recursive N(V) as (select 1 union all select V + 1 from N) select "
                 "count(*) from N\">",
                 "<EXEC \"insert into SPR_CLIENTS (GUID) values ('AFTER')\">"},
                "");
    for (const char* command : {"import", "check"}) {
        SCOPED_TRACE(command);
        int out = -1;
        const pid_t child = SpawnWithStdout(
            VELMORANT_CLI_PATH, {"velmorant-cli", "--home", device.str(), command, answer.string()},
            out);
        // Once the run has taken Ctrl+C for itself, it comes.
        int status = 0;
        while (!catchesSigint(child)) {
            ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "ended before its run";
            usleep(5000);
        }
        kill(child, SIGINT);
        std::string text;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = read(out, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        close(out);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << text;
        EXPECT_EQ(WEXITSTATUS(status), 1) << text;
        EXPECT_NE(text.find("Прервано."), std::string::npos) << text;
    }
    EXPECT_EQ(joinedRows("select GUID from SPR_CLIENTS"), std::vector<std::string>{"BEFORE"});
    EXPECT_TRUE(joinedRows("select * from MY_OPTIONS").empty());
}

}  // namespace
}  // namespace velmorant::test
