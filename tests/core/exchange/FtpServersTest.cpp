// Send and fetch through the FTP servers that offices run (vsftpd, proftpd with mod_tls,
// pure-ftpd) and through our pyftpdlib server: plain and TLS, zipped and not, in the login
// folder and in FTPPath (also a Cyrillic one), anonymous and with a login.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/db/Options.h"
#include "core/db/QueryResult.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/FtpExchange.h"
#include "core/exchange/PollTransferLoop.h"
#include "support/FtpTestServer.h"
#include "support/RecordingScreen.h"
#include "support/StandardFtpServer.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;
using Options = std::vector<std::pair<std::string, std::string>>;

// A running server as the cases see it.
struct Served {
    std::uint16_t port;
    fs::path root;
    bool anonymous;  // serves an anonymous login
    bool agent;      // knows "agent" with its password
    std::string password;
    std::string log;  // where to look when a case fails
};

void setOptions(const Options& options) {
    ASSERT_TRUE(Query("delete from MY_OPTIONS"));
    for (const auto& [name, value] : options) {
        ASSERT_TRUE(Query("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('" + name + "', '" +
                          value + "')"));
    }
}

// Creates `path` under `root` so that a server whose sessions run as another user may write.
void makeSharedFolder(const fs::path& root, const std::string& path) {
    fs::path folder = root;
    for (const auto& part : fs::path(path)) {
        folder /= part;
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::all);
    }
}

std::string answerSetting(const std::string& value) {
    return "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n"
           "<EXEC \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('Fetched', '" +
           value + "')\">\r\n";
}

void putAnswer(const fs::path& folder, const std::string& script, bool zip) {
    writeFile(folder / "ToPDA.sqd", script);
    fs::permissions(folder / "ToPDA.sqd", fs::perms::owner_read | fs::perms::owner_write |
                                              fs::perms::group_read | fs::perms::others_read);
    if (!zip) return;
    const auto r = runCommand("cd '" + folder.string() + "' && zip -q ToPDA.zip ToPDA.sqd");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    fs::permissions(folder / "ToPDA.zip", fs::perms::owner_read | fs::perms::owner_write |
                                              fs::perms::group_read | fs::perms::others_read);
    fs::remove(folder / "ToPDA.sqd");
}

// Every combination the server serves, each with a send and a fetch of its own.
void sendAndFetchEverything(const Served& server, bool tls, const std::string& pin) {
    const char* const paths[] = {"", "in/agent 7", "Входящие"};
    int number = 0;
    for (const bool zip : {false, true}) {
        for (const std::string path : paths) {
            for (const bool agent : {false, true}) {
                if (agent ? !server.agent : !server.anonymous) continue;
                const std::string name = std::string(tls ? "tls" : "plain") + (zip ? " zip" : "") +
                                         " path '" + path + "' " + (agent ? "agent" : "anonymous");
                SCOPED_TRACE(name);
                TempProgramFolder program;
                RecordingNotifier notifier;
                makeSharedFolder(server.root, path);
                Options options = {{"UseFTP", "1"},
                                   {"FTPAddress", "127.0.0.1"},
                                   {"FTPPort", std::to_string(server.port)},
                                   {"UseZip", zip ? "1" : "0"},
                                   {"FTPPath", path},
                                   {"FTPSecure", tls ? "1" : "0"},
                                   {"FTPCertPin", tls ? pin : ""}};
                if (agent) {
                    options.insert(options.end(), {{"FTPAuth", "1"},
                                                   {"FTPLogin", "agent"},
                                                   {"FTPPassword", server.password}});
                }
                setOptions(options);
                RecordingScreen screen;
                PollTransferLoop loop;
                screen.appOptions = LoadAppOptions();

                ASSERT_TRUE(SendByFtp(screen, loop))
                    << ::testing::PrintToString(screen.log) << server.log;
                const std::string sent = zip ? "PDATo1C.zip" : "PDATo1C.xml";
                const fs::path remote = server.root / path;
                EXPECT_EQ(readFile(remote / sent), readFile(program / "exchange" / sent));
                EXPECT_FALSE(fs::exists(remote / (sent + ".part")));
                fs::remove(remote / sent);

                const std::string value = "VALUE" + std::to_string(++number);
                putAnswer(remote, answerSetting(value), zip);
                ASSERT_TRUE(FetchByFtp(screen, loop))
                    << ::testing::PrintToString(screen.log) << server.log;
                EXPECT_EQ(GetOption("Fetched", ""), value);
                EXPECT_EQ(screen.log.back(), "Загрузка завершена.");
                fs::remove(remote / (zip ? "ToPDA.zip" : "ToPDA.sqd"));
            }
        }
    }
}

void runStandard(FtpServerKind kind) {
    const std::string why = StandardFtpServer::Unavailable(kind);
    if (!why.empty()) GTEST_SKIP() << why;
    TestCertificates certificates;
    StandardFtpServer server(kind, certificates.selfSignedCert(), certificates.selfSignedKey());
    const Served served{server.port(),
                        server.root(),
                        StandardFtpServer::HasAnonymous(kind),
                        StandardFtpServer::HasAgent(kind),
                        StandardFtpServer::kAgentPassword,
                        ""};
    // The same server speaks plain FTP and TLS.
    for (const bool tls : {false, true}) {
        sendAndFetchEverything(served, tls, certificates.selfSignedPin());
        if (::testing::Test::HasFatalFailure()) {
            ADD_FAILURE() << server.log();
            return;
        }
    }
}

TEST(FtpServers, Vsftpd) { runStandard(FtpServerKind::Vsftpd); }
TEST(FtpServers, Proftpd) { runStandard(FtpServerKind::Proftpd); }
TEST(FtpServers, PureFtpd) { runStandard(FtpServerKind::PureFtpd); }

TEST(FtpServers, Pyftpdlib) {
    TestCertificates certificates;
    for (const bool tls : {false, true}) {
        FtpTestServer::Options options;
        if (tls) {
            options.tlsCert = certificates.selfSignedCert();
            options.tlsKey = certificates.selfSignedKey();
        }
        FtpTestServer server(options);
        const Served served{
            server.port(), server.root(), true, true, FtpTestServer::kAgentPassword, ""};
        sendAndFetchEverything(served, tls, certificates.selfSignedPin());
    }
}

}  // namespace
}  // namespace velmorant::test
