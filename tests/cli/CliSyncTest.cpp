// velmorant-cli sync: the documents sent and the office's answer fetched and run, without a
// question, against the office simulator and vsftpd on 127.0.0.1, as a cron job would run it.
#include <gtest/gtest.h>

#include <filesystem>

#include "OfficeServer.h"
#include "core/db/QueryResult.h"
#include "core/documents/Document.h"
#include "support/FixedClock.h"
#include "support/FtpTestServer.h"
#include "support/StandardFtpServer.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;

class CliSyncTest : public ::testing::Test {
protected:
    CommandResult cli(const std::string& args) {
        return runCommand("'" + std::string(VELMORANT_CLI_PATH) + "' --home '" + program.str() +
                          "' " + args);
    }

    // One order in state 1 for a client and goods of its own, as the editor writes it.
    std::string waitingOrder() {
        execSql(
            {"insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, "
             "INFO) values ('C-1', 1, 0, 0, 0, 'ООО Ромашка', 'ромашка', '')",
             "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, "
             "PRICE) values ('G-1', 10, 0, 0, 0, 'Квас', 'a', 35)"});
        TDocHead doc;
        NewDocument(doc, clock);
        doc.CLI_GUID = "C-1";
        doc.CLI_NAME = "ООО Ромашка";
        doc.Lines.push_back({"G-1", "Квас", "2.00", 0, ""});
        EXPECT_TRUE(SaveDocument(doc, clock));
        return doc.GUID;
    }

    void useServer(std::uint16_t port) {
        execSql({"delete from MY_OPTIONS",
                 "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseFTP', '1')",
                 "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('FTPAddress', '127.0.0.1')",
                 "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('FTPPort', '" +
                     std::to_string(port) + "')"});
    }

    std::string stateOf(const std::string& guid) {
        auto q = Query("select DOC_STATE from DOC_HEADS where GUID=?", {guid});
        if (!q || q->RowCount() == 0) return "<none>";
        q->First();
        return q->Value("DOC_STATE", "");
    }

    FixedClock clock;
    TempProgramFolder program;
    TempDir work;
};

// The office simulator takes the order over (state 2) in its answer.
TEST_F(CliSyncTest, SendsThenRunsTheOfficesAnswer) {
    const std::string guid = waitingOrder();
    OfficeServer office(work / "office", {});
    ASSERT_TRUE(office.error().empty()) << office.error();
    useServer(office.port());

    const auto r = cli("sync");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Отправка завершена."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Загрузка завершена.\n"), std::string::npos) << r.out;
    EXPECT_LT(r.out.find("Отправка завершена."), r.out.find("Загрузка завершена."));
    EXPECT_TRUE(fs::exists(work / "office" / "PDATo1C.xml")) << office.output();
    EXPECT_EQ(stateOf(guid), "2");
}

// vsftpd, as an office runs it: the answer lies ready on the server beside the upload.
TEST_F(CliSyncTest, SendsAndFetchesThroughVsftpd) {
    const std::string why = StandardFtpServer::Unavailable(FtpServerKind::Vsftpd);
    if (!why.empty()) GTEST_SKIP() << why;
    const std::string guid = waitingOrder();
    TestCertificates certificates;
    StandardFtpServer server(FtpServerKind::Vsftpd, certificates.selfSignedCert(),
                             certificates.selfSignedKey());
    writeFile(server.root() / "ToPDA.sqd",
              "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n"
              "<EXEC \"update DOC_HEADS set DOC_STATE=3 where GUID='" +
                  guid + "'\">\r\n");
    fs::permissions(server.root() / "ToPDA.sqd", fs::perms::owner_read | fs::perms::owner_write |
                                                     fs::perms::group_read |
                                                     fs::perms::others_read);
    useServer(server.port());
    // With the agent's login: vsftpd lets anonymous users write only below its root.
    execSql({"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('FTPAuth', '1')",
             "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('FTPLogin', 'agent')",
             std::string("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('FTPPassword', '") +
                 StandardFtpServer::kAgentPassword + "')"});

    const auto r = cli("sync");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err << server.log();
    EXPECT_EQ(readFile(server.root() / "PDATo1C.xml"),
              readFile(program / "exchange" / "PDATo1C.xml"));
    EXPECT_EQ(stateOf(guid), "3");
}

// A failed upload stops the run before anything is fetched; a wrong call is a usage error.
TEST_F(CliSyncTest, FailsWithoutFetchingAndRefusesArguments) {
    const std::string guid = waitingOrder();
    useServer(UnusedLocalPort());
    const auto failed = cli("sync");
    EXPECT_EQ(failed.exitCode, 1) << failed.out << failed.err;
    EXPECT_EQ(failed.out.find("Загрузка"), std::string::npos) << failed.out;
    EXPECT_EQ(stateOf(guid), "1");

    const auto usage = cli("sync now");
    EXPECT_EQ(usage.exitCode, 2) << usage.out << usage.err;
    EXPECT_EQ(stateOf(guid), "1");
}

}  // namespace
}  // namespace velmorant::test
