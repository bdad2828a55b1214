// velmorant-cli export and import, run as a separate process on a prepared program folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "ExchangeTestSupport.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

class CliExchangeTest : public ::testing::Test {
protected:
    CommandResult cli(const std::string& args) {
        return runCommand(std::string("'") + VELMORANT_CLI_PATH + "' --home '" + program.str() +
                          "' " + args);
    }

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

}  // namespace
}  // namespace velmorant::test
