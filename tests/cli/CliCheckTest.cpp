// velmorant-cli check, run as a separate process on a prepared device folder: the report, the
// exit codes, the JSON form read by a real JSON parser, the device's base.sdb left byte for
// byte, and the guide's examples run through it.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <set>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;

const std::string kExamples = std::string(VELMORANT_SOURCE_DIR) + "/docs/examples";

class CliCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(answer);
        execSql(
            {"insert into DOC_HEADS (GUID, DOC_STATE, REC_TIME) values ('OLD', 2, "
             "'2026-11-01'), ('KEEP', 1, '2026-11-01')",
             "insert into SPR_CLIENTS (GUID, ANAME) values ('C0', 'old client')"});
    }

    CommandResult check(const std::string& args) {
        return runCommand(std::string("'") + VELMORANT_CLI_PATH + "' check --home '" +
                          device.str() + "' " + args);
    }
    void writeScript(const std::vector<std::string>& lines) {
        std::string bytes;
        for (const auto& l : lines) bytes += Utf8ToCp1251(l) + "\r\n";
        writeFile(answer / "ToPDA.sqd", bytes);
    }

    TempProgramFolder device;
    TempDir answerDir;
    fs::path answer = answerDir.path() / "answer";
};

TEST_F(CliCheckTest, AGoodScriptCompletesOnACopyAndLeavesTheDeviceAsItWas) {
    writeScript({"R_ODIRI RESPONSE 0002-0000-0000-0002", "<EXEC \"delete from SPR_CLIENTS\">",
                 "<REPEAT \"insert into SPR_CLIENTS (GUID, ANAME) values ('%1', '%2')\">",
                 "C1\tПервый", "C2\tВторой", "</REPEAT>", "<DEL \"01.12.2026\">",
                 "<SHOWMSGWND \"Привет\">"});
    const std::string before = readFile(device.dbPath());
    const auto r = check("'" + answer.string() + "'");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Заголовок: R_ODIRI RESPONSE 0002-0000-0000-0002"), std::string::npos);
    EXPECT_NE(r.out.find("строка 3: SPR_CLIENTS, выполнено строк данных: 2"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("строка 2: EXEC DELETE FROM SPR_CLIENTS"), std::string::npos);
    EXPECT_NE(r.out.find("строка 7: DEL 01.12.2026"), std::string::npos);
    EXPECT_NE(r.out.find("строка 8: SHOWMSGWND Привет"), std::string::npos);
    EXPECT_NE(r.out.find("Удалит документов: 1\n  OLD\n"), std::string::npos) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("SPR_CLIENTS +1 -> 2\n"))) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("DOC_HEADS +2 -> 1\n"))) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("MY_OPTIONS +0 -> 1\n"))) << r.out;
    // The device's own database: the same bytes, no LLD_Def, no journal left beside it.
    EXPECT_EQ(readFile(device.dbPath()), before);
    EXPECT_TRUE(joinedRows("select * from MY_OPTIONS").empty());
    EXPECT_FALSE(fs::exists(device.dbPath() + "-journal"));
}

// A writer killed in the middle of a transaction leaves a journal that only a writer may roll
// back. check copies the file with its journal, recovers the copy, and touches neither.
TEST_F(CliCheckTest, ADatabaseLeftWithAHotJournalIsCheckedOnARecoveredCopy) {
    const pid_t child = fork();
    if (child == 0) {
        auto q = TQueryResult::Create(device.dbPath(), true);
        const bool ok = q && q->Exec("PRAGMA cache_size=1") && q->Exec("begin") &&
                        q->Exec(
                            "with recursive n(v) as (select 1 union all select v + 1 "
                            "from n where v < 2000) insert into SPR_GOODS (GUID, ANAME) "
                            "select 'G' || v, hex(randomblob(200)) from n");
        _exit(ok ? 0 : 1);  // killed: no commit, no rollback, no close
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(fs::exists(device.dbPath() + "-journal"));
    const std::string db = readFile(device.dbPath());
    const std::string journal = readFile(device.dbPath() + "-journal");

    writeScript({"R_ODIRI RESPONSE 0002-0000-0000-0002",
                 "<EXEC \"insert into SPR_GOODS (GUID) values ('NEW')\">"});
    const auto r = check("'" + answer.string() + "'");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("SPR_GOODS +0 -> 1\n"))) << r.out;
    EXPECT_EQ(readFile(device.dbPath()), db);
    EXPECT_EQ(readFile(device.dbPath() + "-journal"), journal);
}

TEST_F(CliCheckTest, StopsAsTheImportWould) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::vector<std::string> expected;  // pieces of the report
    };
    const std::string script = (answer / "ToPDA.sqd").string();
    const std::vector<Case> cases = {
        {"a statement failing at line 7",
         [&] {
             writeScript({"R_ODIRI RESPONSE 0003-0000-0000-0001",
                          "<REPEAT \"insert into SPR_CLIENTS (GUID) values ('%1')\">", "A", "B",
                          "C", "</REPEAT>", "<EXEC \"insert into NOWHERE values (1)\">",
                          "<SHOWMSGWND \"never\">"});
         },
         {"строка 2: SPR_CLIENTS, выполнено строк данных: 3",
          "Ошибка: строка 7: no such table: NOWHERE\n  INSERT INTO NOWHERE VALUES (1)\n",
          "пропущено:\n  ToPDA.sql\n  удаление документов (не задано)\n  сообщения из офиса: "
          "0\n  LLD_Def\n"}},
        {"a bad header",
         [&] { writeScript({"R_ODIRI RESPONSE 0009-0000-0000-0001"}); },
         {"Остановка: Файл несовместимого формата."}},
        {"a missing file",
         [&] { fs::remove(script); },
         {"Остановка: Файл '" + script + "' отсутствует!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        const std::string before = readFile(device.dbPath());
        const auto r = check("'" + answer.string() + "'");
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        for (const auto& piece : c.expected) {
            EXPECT_NE(r.out.find(piece), std::string::npos) << piece << "\n---\n" << r.out;
        }
        EXPECT_NE(r.out.find("Итог: загрузка не завершится"), std::string::npos);
        EXPECT_EQ(readFile(device.dbPath()), before);
    }
}

TEST_F(CliCheckTest, UnpacksTheZipVariantWithoutTouchingTheAnswerFolder) {
    execSql({"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseZip', '1')"});
    const TempDir staging;
    writeFile(staging / "ToPDA.sqd",
              "R_ODIRI RESPONSE 0003-0000-0000-0001\r\n<EXEC \"delete from SPR_CLIENTS\">\r\n");
    writeFile(staging / "ToPDA.sql", "insert into SPR_GOODS (GUID) values ('G1'), ('G2');");
    const auto zip = runCommand("cd '" + staging.str() + "' && zip -q -9 '" + answer.string() +
                                "/ToPDA.zip' ToPDA.sqd ToPDA.sql");
    ASSERT_EQ(zip.exitCode, 0) << zip.err;
    writeFile(answer / "ToPDA.sqd", "stale, not what the archive holds");
    const auto r = check("--json '" + answer.string() + "'");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("\"executed\": 1"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(answer / "ToPDA.sqd"), "stale, not what the archive holds");
    EXPECT_FALSE(fs::exists(answer / "ToPDA.sql"));
}

// The JSON report read back by Python's json module, the way an office's test would.
TEST_F(CliCheckTest, JsonIsOneObjectThatAParserReads) {
    writeScript({"R_ODIRI RESPONSE 0002-0000-0000-0002",
                 "<REPEAT \"insert into SPR_GOODS (GUID, ANAME) values ('%1', '%2')\">",
                 "G1\tСок \"Добрый\"", "G2\tback\\slash", "</REPEAT>",
                 "<EXEC \"update SPR_GOODS set PRICE = 1 where GUID = 'NONE' or\">"});
    const auto r = check("--json '" + answer.string() + "'");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    TempDir dir;
    writeFile(dir / "report.json", r.out);
    const auto parsed = runCommand(
        "/usr/bin/python3 -c \"import json,sys; d=json.load(open(sys.argv[1], encoding='utf-8')); "
        "t=d['templates'][0]; f=d['failure']; "
        "print(d['completed'], d['exitCode'], t['line'], t['table'], t['rows'], f['line'], "
        "f['text'].split(':')[0], d['tables']['SPR_GOODS']['after'], d['skipped'][-1], sep='|')\" "
        "'" +
        (dir / "report.json").string() + "'");
    ASSERT_EQ(parsed.exitCode, 0) << parsed.err << r.out;
    EXPECT_EQ(parsed.out, "False|1|2|SPR_GOODS|2|6|строка 6|2|LLD_Def\n");
}

TEST_F(CliCheckTest, UsageErrorsExitWithTwo) {
    for (const char* args : {"", "--json", "--home", "a b", "--bogus a"}) {
        SCOPED_TRACE(args);
        const auto r = runCommand(std::string("'") + VELMORANT_CLI_PATH + "' check " + args);
        EXPECT_EQ(r.exitCode, 2) << r.out;
        EXPECT_NE(r.err.find("check [--home DIR] [--json] [--result FILE] FOLDER"),
                  std::string::npos)
            << r.err;
    }
}

// Every example of the guide is a file under docs/examples/; the guide quotes it whole, and
// the answers among them run through check with the exit code the guide gives.
TEST_F(CliCheckTest, TheGuidesExamplesAreTheFilesAndRunAsItSays) {
    const std::string guide =
        readFile(std::string(VELMORANT_SOURCE_DIR) + "/docs/exchange-protocol.md");
    const std::regex marker(
        "<!-- example: (\\S+)(?: check=(\\d))? -->\n```text\n([\\s\\S]*?)\n```");
    std::set<std::string> quoted;
    for (std::sregex_iterator it(guide.begin(), guide.end(), marker), end; it != end; ++it) {
        const std::string file = (*it)[1];
        SCOPED_TRACE(file);
        quoted.insert(file);
        std::string text = Cp1251ToUtf8(readFile(kExamples + "/" + file));
        text = std::regex_replace(text, std::regex("\r\n"), "\n");
        EXPECT_EQ(text, (*it)[3].str() + "\n");
        if ((*it)[2].matched) {
            const std::string folder = fs::path(kExamples + "/" + file).parent_path().string();
            const auto r = check("'" + folder + "'");
            EXPECT_EQ(r.exitCode, std::stoi((*it)[2])) << r.out << r.err;
        }
    }
    for (const auto& entry : fs::recursive_directory_iterator(kExamples)) {
        if (!entry.is_regular_file() || entry.path().filename() == ".gitattributes") continue;
        EXPECT_EQ(quoted.count(fs::relative(entry.path(), kExamples).string()), 1u)
            << entry.path() << " is not quoted in the guide";
    }
    EXPECT_GE(quoted.size(), 5u);
}

// The export example is what the export writes for its two documents (but the moment).
TEST_F(CliCheckTest, TheExportExampleIsWhatTheExportWrites) {
    execSql({"delete from DOC_HEADS",
             "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('AgentName','Иванов И.'), "
             "('PDA_ID','PDA-07'), ('LLD_Def','06.12.2026 18:40:12')",
             "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME, "
             "ORD_LINES, STR_PRIM) values ('D0000000-0000-4000-8000-000000000001', "
             "'2026-12-08', 1, '2026-12-07', 'C1000000-0000-4000-8000-000000000001', "
             "'ООО \"Ромашка\"', 2, 'до обеда'), ('D0000000-0000-4000-8000-000000000002', "
             "'2026-12-09', 1, '2026-12-07', 'C1000000-0000-4000-8000-000000000002', "
             "'ИП Петров', 1, '')",
             "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT) values "
             "('D0000000-0000-4000-8000-000000000001', 0, "
             "'A0000000-0000-4000-8000-000000000001', 'Сок яблочный 1 л', '12.00'), "
             "('D0000000-0000-4000-8000-000000000001', 1, "
             "'A0000000-0000-4000-8000-000000000003', 'Гречка 900 г', '5.00'), "
             "('D0000000-0000-4000-8000-000000000002', 0, "
             "'A0000000-0000-4000-8000-000000000002', 'Вода минеральная 0,5 л', '24.00')"});
    const auto r = runCommand(std::string("'") + VELMORANT_CLI_PATH + "' --home '" + device.str() +
                              "' export '" + answer.string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::regex moment("DateTime=\"[^\"]*\"");
    EXPECT_EQ(
        std::regex_replace(readFile(answer / "PDATo1C.xml"), moment, "DateTime=\"\""),
        std::regex_replace(readFile(kExamples + "/day/PDATo1C.xml"), moment, "DateTime=\"\""));
}

}  // namespace
}  // namespace velmorant::test
