#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/db/Database.h"
#include "core/db/QueryResult.h"
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

// A name that could end the statement's quoted text or start another statement is refused
// before any SQL runs: the table keeps its rows, and a new home gets no database at all.
TEST(CliDatabase, OptionRefusesNamesThatCouldChangeTheStatement) {
    test::TempDir home;
    SetProgramFolder(home.str() + "/");
    ASSERT_TRUE(PrepareDatabase());
    ASSERT_TRUE(Query("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('AgentName', 'Иван')"));
    const std::vector<std::string> names = {
        "x\"); delete from MY_OPTIONS; select (\"1",
        "AgentName\"",
        "AgentName;",
        std::string("Agent\tName"),
        std::string("Agent\nName"),
        std::string("Agent\x01Name"),
        std::string("Agent\x7FName"),
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::string quoted = "'";
        for (char c : name) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        quoted += "'";
        auto r = test::runCommand(cli(home, "option " + quoted));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("option name"), std::string::npos) << r.err;

        test::TempDir fresh;
        r = test::runCommand(cli(fresh, "option " + quoted + " default"));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_FALSE(std::filesystem::exists(fresh / "data")) << "SQL ran before the check";
    }
    auto rows = Query("select OPT_VAL from MY_OPTIONS where OPT_NAME='AgentName'");
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->RowCount(), 1);
    // Names that are only unusual still work: a single quote, letters of any kind.
    auto r = test::runCommand(cli(home, "option \"O'Brien\" none"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "none\n");
}

// An empty --home would put data/base.sdb at the root of the file system. Run as an ordinary
// user, so that a regression could not write there.
TEST(CliDatabase, EmptyHomeIsRefused) {
    const std::string program = test::CliPathForUnprivileged();
    const std::string out = test::RunUnprivileged([&] {
        const auto r = test::runCommand("'" + program + "' --home '' init");
        return std::to_string(r.exitCode) + " " + r.err;
    });
    EXPECT_EQ(out.substr(0, 2), "2 ") << out;
    EXPECT_NE(out.find("--home"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmorant
