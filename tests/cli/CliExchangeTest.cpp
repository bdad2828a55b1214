// velmorant-cli export and import, run as a separate process on a prepared program folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "core/db/QueryResult.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

class CliExchangeTest : public ::testing::Test {
protected:
    CommandResult cli(const std::string& args) {
        return runCommand("'" + cliPath + "' --home '" + program.str() + "' " + args);
    }

    // Also what an unprivileged child may start.
    std::string cliPath = CliPathForUnprivileged();

    TempProgramFolder program;
    std::string folder = (program / "exchange").string();
};

TEST_F(CliExchangeTest, ExportWritesTheFileAndLogsOnStdout) {
    struct Case {
        const char* name;
        const char* useZip;
        const char* fileName;
    };
    for (const Case& c : {Case{"plain", "0", "PDATo1C.xml"}, Case{"packed", "1", "PDATo1C.zip"}}) {
        SCOPED_TRACE(c.name);
        execSql({"delete from MY_OPTIONS",
                 std::string("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('usezip', '") +
                     c.useZip + "')"});
        const auto r = cli("export '" + folder + "'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::string path = folder + "/" + c.fileName;
        EXPECT_TRUE(std::filesystem::exists(path));
        const std::regex last("\\d\\d:\\d\\d:\\d\\d Выгрузка завершена\\.\n" + path + "\n$");
        EXPECT_TRUE(std::regex_search(r.out, last)) << r.out;
        EXPECT_TRUE(std::regex_search(r.out, std::regex("^\\d\\d:\\d\\d:\\d\\d Начата выгрузка")))
            << r.out;
        std::filesystem::remove(path);
    }
}

// A folder given relative to the current one is logged as the full path of the file made.
TEST_F(CliExchangeTest, ExportLogsTheFullPathForARelativeFolder) {
    for (const char* given : {"out", "./out", "out/", "./sub/./../out"}) {
        SCOPED_TRACE(given);
        std::filesystem::create_directories(program / "sub");
        const auto r = runCommand("cd '" + program.str() + "' && '" + VELMORANT_CLI_PATH +
                                  "' --home '" + program.str() + "' export '" + given + "'");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const std::string expected = std::string(given) == "./sub/./../out"
                                         ? program.str() + "/sub/../out/PDATo1C.xml"
                                         : program.str() + "/out/PDATo1C.xml";
        const std::string tail = "Выгрузка завершена.\n" + expected + "\n";
        ASSERT_GE(r.out.size(), tail.size());
        EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
        EXPECT_TRUE(std::filesystem::is_regular_file(expected));
    }
}

TEST_F(CliExchangeTest, ExportFailsIntoAFolderThatCannotBeMade) {
    writeFile(program / "blocker", "");
    const auto r = cli("export '" + (program / "blocker" / "x").string() + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Не удалось открыть файл для записи.\n");
}

TEST_F(CliExchangeTest, ImportSucceedsOnlyWhenTheRunCompletes) {
    struct Case {
        const char* name;
        std::string script;
        int exitCode;
        std::string err;
    };
    const std::string header = "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n";
    const std::vector<Case> cases = {
        {"complete", header + "<SHOWMSGWND \"\xCF\xF0\xE8\xE2\xE5\xF2\">\r\n", 0,
         "Сообщение из офиса: [1 / 1]  Привет\n"},
        {"failing statement", header + "<EXEC \"insert into Nowhere values (1)\">\r\n", 1,
         "no such table: NOWHERE\nINSERT INTO NOWHERE VALUES (1)\n"},
        {"wrong header", "R_ODIRI RESPONSE 0009\r\n", 1, "Файл несовместимого формата.\n"},
    };
    std::filesystem::create_directories(folder);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(folder + "/ToPDA.sqd", c.script);
        const auto r = cli("import '" + folder + "'");
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err, c.err);
        const bool completed =
            std::regex_search(r.out, std::regex("\\d\\d:\\d\\d:\\d\\d Загрузка завершена\\.\n$"));
        EXPECT_EQ(completed, c.exitCode == 0) << r.out;
    }
}

// Yesterday's script came read-only out of its archive: today's import, run by the agent (an
// ordinary user), still unpacks and runs today's script.
TEST_F(CliExchangeTest, ImportReplacesTheReadOnlyScriptOfTheLastRun) {
    execSql({"create table T (A)",
             "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseZip', '1')"});
    std::filesystem::create_directories(folder);
    // An archive made on an MS-DOS host whose entry has the read-only attribute.
    auto makeArchive = [&](const std::string& day) {
        const auto script = program / "script.sqd";
        writeFile(script,
                  "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n<EXEC \"insert into T (A) values ('" +
                      day + "')\">\r\n");
        const auto r = runCommand(
            "/usr/bin/python3 -c \"import sys, zipfile\n"
            "z = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)\n"
            "i = zipfile.ZipInfo('ToPDA.sqd', (2026, 12, 7, 10, 0, 0))\n"
            "i.create_system = 0\n"
            "i.external_attr = 0x21\n"
            "z.writestr(i, open(sys.argv[2], 'rb').read())\n"
            "z.close()\" '" +
            folder + "/ToPDA.zip' '" + script.string() + "'");
        ASSERT_EQ(r.exitCode, 0) << r.err;
    };
    GiveToUnprivileged(program.path());
    std::vector<std::string> results;
    for (const std::string day : {"day 1", "day 2"}) {
        makeArchive(day);
        GiveToUnprivileged(program.path());
        results.push_back(RunUnprivileged([&] {
            const auto r = cli("import '" + folder + "'");
            return std::to_string(r.exitCode) + " " + r.err;
        }));
    }
    EXPECT_EQ(results, (std::vector<std::string>{"0 ", "0 "}));
    EXPECT_EQ(joinedRows("select A from T"), (std::vector<std::string>{"DAY 1", "DAY 2"}));
}

}  // namespace
}  // namespace velmorant::test
