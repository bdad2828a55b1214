// Exit codes that tell the truth: a fetch whose answer cannot be run, and an unpacking whose
// entry could not be written, fail.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/db/QueryResult.h"
#include "support/FtpTestServer.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;

CommandResult cli(const TempDir& home, const std::string& args) {
    return runCommand(std::string("'") + VELMORANT_CLI_PATH + "' --home '" + home.str() + "' " +
                      args);
}

TEST(CliExitCodes, FetchFailsWhenTheAnswerCannotBeRun) {
    const struct {
        const char* name;
        std::string script;
        int exitCode;
        const char* said;  // on stderr
    } cases[] = {
        {"a valid answer", "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n", 0, ""},
        {"not an answer", "garbage\r\n", 1, "Файл несовместимого формата."},
        {"a statement refused",
         "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n<EXEC \"insert into NO_SUCH_TABLE values "
         "(1)\">\r\n",
         1, "NO_SUCH_TABLE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempProgramFolder home;
        FtpTestServer server;
        fs::create_directories(server.root());
        writeFile(server.root() / "ToPDA.sqd", c.script);
        ASSERT_TRUE(
            Query("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseFTP', '1'), "
                  "('FTPAddress', '127.0.0.1'), ('FTPPort', '" +
                  std::to_string(server.port()) + "'), ('UseZip', '0')"));
        const auto r = cli(home, "fetch");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_TRUE(fs::exists(home / "exchange" / "ToPDA.sqd"));
    }
}

TEST(CliExitCodes, UnpackFailsWhenAnEntryCannotBeWritten) {
    TempDir home;
    const fs::path source = home / "src";
    fs::create_directories(source);
    writeFile(source / "ToPDA.sqd", "script");
    writeFile(source / "ToPDA.sql", "companion");
    const auto zipped = runCommand("cd '" + source.string() + "' && zip -q ../ToPDA.zip *");
    ASSERT_EQ(zipped.exitCode, 0) << zipped.err;
    writeFile(home / "plain.txt", "not an archive");

    const struct {
        const char* name;
        const char* archive;
        const char* blocked;  // an entry whose name a non-empty folder holds
        int exitCode;
        const char* printed;
        const char* said;
    } cases[] = {
        {"every entry written", "ToPDA.zip", nullptr, 0, "2\n", ""},
        {"one entry blocked", "ToPDA.zip", "ToPDA.sqd", 1, "1\n", "not written: ToPDA.sqd: "},
        {"not an archive", "plain.txt", nullptr, 1, "-12\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path target = home / "out";
        fs::remove_all(target);
        fs::create_directories(target);
        if (c.blocked) {
            fs::create_directories(target / c.blocked);
            writeFile(target / c.blocked / "inside", "x");
        }
        const auto r =
            cli(home, "unpack '" + (home / c.archive).string() + "' '" + target.string() + "' '*'");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(r.out, c.printed);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        // Nothing half-written stays behind.
        int temporaries = 0;
        for (const auto& e : fs::recursive_directory_iterator(target))
            temporaries += e.path().extension() == ".tmp";
        EXPECT_EQ(temporaries, 0);
    }
}

}  // namespace
}  // namespace velmorant::test
