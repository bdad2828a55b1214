#include <gtest/gtest.h>

#include <filesystem>

#include "db/Database.h"
#include "db/QueryResult.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

std::string cli(const test::TempDir& home, const std::string& args) {
    return std::string(VELMORANT_CLI_PATH) + " --home '" + home.str() + "' " + args;
}

TEST(CliDatabase, InitCreatesTheDatabaseAndOptionReadsIt) {
    test::TempDir home;
    auto r = test::runCommand(cli(home, "init"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(home / "data" / "base.sdb"));

    SetProgramFolder(home.str());
    ASSERT_TRUE(PrepareDatabase());
    ASSERT_TRUE(Query("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('agentname', ' Иван ')"));
    r = test::runCommand(cli(home, "option AgentName Test"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Иван\n");
    r = test::runCommand(cli(home, "option PDA_ID 'no id'"));
    EXPECT_EQ(r.out, "no id\n");
}

TEST(CliDatabase, FailuresAndUsage) {
    test::TempDir home;
    test::writeFile(home / "data", "a file where the folder should be");
    auto r = test::runCommand(cli(home, "init"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "База данных не найдена.\nОшибка при открытии БД.\n");

    for (const char* args : {"", "nosuchcommand", "option", "option a b c", "init extra"}) {
        r = test::runCommand(cli(home, args));
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("usage: velmorant-cli"), std::string::npos) << args;
    }
}

}  // namespace
}  // namespace velmorant
