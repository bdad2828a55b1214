// check's promise: it runs an answer exactly as the import would. Each answer of a set runs
// through `velmorant-cli check --result` on one copy of a device's database and through a real
// `velmorant-cli import` on an identical copy; every table, the messages the agent would see,
// the exit codes and LLD_Def must come out the same.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;

const char* const kTables[] = {"SPR_CLIENTS", "SPR_GOODS",   "SPR_COMPETITORS",
                               "DOC_HEADS",   "DOC_ORDERS",  "DOC_SKUS",
                               "DOC_COMPETS", "MY_MESSAGES", "MY_OPTIONS"};

CommandResult cli(const fs::path& home, const std::string& args) {
    return runCommand(std::string("'") + VELMORANT_CLI_PATH + "' --home '" + home.string() + "' " +
                      args);
}

// Every row of a table in stored order, each cell quoted, with LLD_Def's time left out (the
// two runs happen at different moments).
std::vector<std::string> rowsOf(const fs::path& database, const char* table) {
    TQueryResult q(database.string());
    std::vector<std::string> rows;
    if (!q.OpenReadOnly() || !q.Exec(std::string("select * from ") + table + " order by rowid")) {
        rows.push_back("unreadable");
        return rows;
    }
    for (q.First(); !q.AtEnd(); q.Next()) {
        std::string row;
        for (int c = 0; c < q.ColumnCount(); ++c) row += "[" + q.Cell(c) + "]";
        if (row.rfind("[LLD_Def][", 0) == 0) row = "[LLD_Def][set]";
        rows.push_back(row);
    }
    return rows;
}

std::string cp1251Lines(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& l : lines) bytes += Utf8ToCp1251(l) + "\r\n";
    return bytes;
}

const std::string kHeader2 = "R_ODIRI RESPONSE 0002-0000-0000-0002";
const std::string kHeader3 = "R_ODIRI RESPONSE 0003-0000-0000-0001";
const std::string kClients =
    "<REPEAT \"insert into SPR_CLIENTS (GUID, ID, ANAME) values ('%1', %2, '%3')\">";

TEST(CheckVersusImport, CheckPredictsExactlyWhatTheImportDoes) {
    const struct {
        const char* name;
        bool zip;
        std::vector<std::string> script;
        std::vector<std::string> companion;  // ToPDA.sql beside the script (zip: in the archive)
        int companionAgeSeconds;             // how much older than the script it is
        std::vector<std::string> staleCompanion;  // left in the folder by an earlier answer
        int exitCode;
        std::size_t warnings;
    } cases[] = {
        {"a complete answer",
         false,
         {kHeader2, "<EXEC \"delete from SPR_CLIENTS\">", kClients, "C1\t1\tПервый",
          "C2\t2\tВторой", "</REPEAT>",
          "<EXEC \"update DOC_HEADS set DOC_STATE=2 where GUID='D1'\">", "<DEL \"02.12.2026\">",
          "<SHOWMSGWND \"Заявки приняты\">", "<SHOWMSGWND \"Вторая | строка\">"},
         {},
         0,
         {},
         0,
         0},
        {"a statement fails half-way",
         false,
         {kHeader2, kClients, "C1\t1\tПервый", "C2\t2\tД'Артаньян", "C3\t3\tТретий", "</REPEAT>",
          "<SHOWMSGWND \"не дойдёт\">"},
         {},
         0,
         {},
         1,
         0},
        {"a wrong header",
         false,
         {"R_ODIRI RESPONSE 0009", "<EXEC \"delete from SPR_GOODS\">"},
         {},
         0,
         {},
         1,
         0},
        {"short rows and an unreadable date",
         false,
         {kHeader2, kClients, "C1\t1", "C2\t2\tВторой", "</REPEAT>", "<DELALL \"31.02.2026\">",
          "<DEL \"вчера\">"},
         {},
         0,
         {},
         0,
         3},
        {"a companion that fails in the middle",
         false,
         {kHeader3, "<EXEC \"update DOC_HEADS set DOC_STATE=3\">"},
         {"insert into SPR_GOODS (GUID, ANAME) values ('G1', 'one');",
          "insert into NO_SUCH_TABLE values (1);",
          "insert into SPR_GOODS (GUID, ANAME) values ('G2', 'two');"},
         0,
         {},
         0,
         1},
        {"a companion from an earlier answer",
         false,
         {kHeader3, "<EXEC \"delete from SPR_GOODS\">"},
         {"insert into SPR_GOODS (GUID, ANAME) values ('OLD', 'stale');"},
         600,
         {},
         0,
         0},
        {"zipped with its companion",
         true,
         {kHeader3, kClients, "C9\t9\tДевятый", "</REPEAT>"},
         {"insert into SPR_GOODS (GUID, ANAME) values ('G3', 'three');"},
         0,
         {},
         0,
         0},
        {"zipped without a companion, a stale one beside the archive",
         true,
         {kHeader3, "<EXEC \"delete from SPR_GOODS\">"},
         {},
         0,
         {"insert into SPR_GOODS (GUID, ANAME) values ('STALE', 'stale');"},
         0,
         0},
        {"a transaction left open",
         false,
         {kHeader2, "<EXEC \"begin\">", "<EXEC \"delete from SPR_GOODS\">"},
         {},
         0,
         {},
         1,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir work;
        const fs::path checked = work / "checked";
        const fs::path imported = work / "imported";
        const fs::path answer = work / "answer";
        fs::create_directories(answer);
        // One device database, seeded, then copied: both runs start from the same bytes.
        ASSERT_EQ(cli(checked, "init").exitCode, 0);
        {
            TQueryResult q((checked / "data" / "base.sdb").string());
            ASSERT_TRUE(q.Open());
            for (const std::string& sql : std::vector<std::string>{
                     "insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values ('D1', 1, "
                     "'2026-12-01'), ('D0', 2, '2026-11-01'), ('D2', 3, '2026-12-05')",
                     "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID) values ('D0', 0, 'G0')",
                     "insert into SPR_GOODS (GUID, ANAME) values ('G0', 'zero')",
                     std::string("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseZip', '") +
                         (c.zip ? "1" : "0") + "')"}) {
                ASSERT_TRUE(q.Exec(sql)) << sql;
            }
        }
        fs::create_directories(imported / "data");
        fs::copy_file(checked / "data" / "base.sdb", imported / "data" / "base.sdb");

        writeFile(answer / "ToPDA.sqd", cp1251Lines(c.script));
        if (!c.companion.empty()) {
            writeFile(answer / "ToPDA.sql", cp1251Lines(c.companion));
            fs::last_write_time(answer / "ToPDA.sql",
                                fs::last_write_time(answer / "ToPDA.sqd") -
                                    std::chrono::seconds(c.companionAgeSeconds));
        }
        if (c.zip) {
            const auto r = runCommand("cd '" + answer.string() + "' && zip -q ToPDA.zip ToPDA.sqd" +
                                      (c.companion.empty() ? "" : " ToPDA.sql") +
                                      " && rm -f ToPDA.sqd ToPDA.sql");
            ASSERT_EQ(r.exitCode, 0) << r.err;
        }
        if (!c.staleCompanion.empty())
            writeFile(answer / "ToPDA.sql", cp1251Lines(c.staleCompanion));

        const fs::path result = work / "result.sdb";
        const auto checkRun = cli(
            checked, "check --json --result '" + result.string() + "' '" + answer.string() + "'");
        const auto report = nlohmann::json::parse(checkRun.out, nullptr, false);
        ASSERT_FALSE(report.is_discarded()) << checkRun.out << checkRun.err;
        const auto importRun = cli(imported, "import '" + answer.string() + "'");

        EXPECT_EQ(checkRun.exitCode, c.exitCode) << checkRun.out;
        EXPECT_EQ(importRun.exitCode, checkRun.exitCode) << importRun.out << importRun.err;
        EXPECT_EQ(report["exitCode"].get<int>(), checkRun.exitCode);
        // The boxes the agent would see, one line each as the import prints them.
        std::string predicted;
        for (const auto& m : report["messages"]) {
            std::string line = m.get<std::string>();
            for (char& ch : line) {
                if (ch == '\r' || ch == '\n') ch = ' ';
            }
            predicted += line + "\n";
        }
        EXPECT_EQ(predicted, importRun.err);
        EXPECT_EQ(report["warnings"].size(), c.warnings) << report["warnings"].dump();
        for (const char* table : kTables) {
            SCOPED_TRACE(table);
            EXPECT_EQ(rowsOf(result, table), rowsOf(imported / "data" / "base.sdb", table));
        }
        // The device itself is untouched by check.
        EXPECT_EQ(rowsOf(checked / "data" / "base.sdb", "SPR_CLIENTS"), std::vector<std::string>{});
    }
}

// The office simulator builds the same directories whichever protocol carries them: data rows
// (0002) or ToPDA.sql (0003), zipped or not; and it refuses a deletion date the device could
// not read.
TEST(CheckVersusImport, OfficeSimulatorBuildsTheSameDirectoriesInEveryProtocol) {
    const std::string simulator =
        "/usr/bin/python3 '" + std::string(VELMORANT_SOURCE_DIR) + "/tools/office_simulator.py' ";
    TempDir work;
    // Cyrillic names in small letters, doubled blanks, an empty info, a quote.
    writeFile(
        work / "clients.csv",
        "guid,name,info,forbidden\nC1,ооо  \"Ромашка\",,0\nC2,Кафе д'Артаньяна,пр. Мира  1,1\n");
    writeFile(
        work / "goods.csv",
        "id,parent,folder,guid,name,price\n1,0,1,F1,напитки,0\n2,1,0,G1,сок  яблочный,85.5\n");
    std::vector<std::vector<std::string>> tables;
    for (const std::string protocol : {"0002", "0003"}) {
        for (const bool zip : {false, true}) {
            SCOPED_TRACE(protocol + (zip ? " zip" : ""));
            const fs::path home = work / ("device" + protocol + (zip ? "z" : ""));
            const fs::path answer = work / ("answer" + protocol + (zip ? "z" : ""));
            ASSERT_EQ(cli(home, "init").exitCode, 0);
            if (zip) {
                TQueryResult q((home / "data" / "base.sdb").string());
                ASSERT_TRUE(q.Open());
                ASSERT_TRUE(
                    q.Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseZip', '1')"));
            }
            const auto made =
                runCommand(simulator + "script --clients '" + (work / "clients.csv").string() +
                           "' --goods '" + (work / "goods.csv").string() + "' --protocol " +
                           protocol + (zip ? " --zip" : "") + " --out '" + answer.string() + "'");
            ASSERT_EQ(made.exitCode, 0) << made.err;
            const auto run = cli(home, "import '" + answer.string() + "'");
            ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
            std::vector<std::string> rows = rowsOf(home / "data" / "base.sdb", "SPR_CLIENTS");
            for (const auto& g : rowsOf(home / "data" / "base.sdb", "SPR_GOODS")) rows.push_back(g);
            tables.push_back(rows);
        }
    }
    ASSERT_EQ(tables.size(), 4u);
    EXPECT_EQ(tables[0][0], "[C1][0][0][0][0][ооо \"Ромашка\"][ООО \"РОМАШКА\"][-][][][]");
    for (std::size_t k = 1; k < tables.size(); ++k) EXPECT_EQ(tables[k], tables[0]) << k;

    for (const std::string option : {"--delete-old 31.02.2026", "--delete-all вчера"}) {
        const auto r = runCommand(simulator + "script " + option + " --out '" +
                                  (work / "refused").string() + "'");
        EXPECT_NE(r.exitCode, 0) << option;
        EXPECT_NE(r.err.find("dd.mm.yyyy"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(work / "refused" / "ToPDA.sqd"));
    }
}

}  // namespace
}  // namespace velmorant::test
