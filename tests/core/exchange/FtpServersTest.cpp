// Send and fetch through the FTP servers that offices run (vsftpd, proftpd with mod_tls,
// pure-ftpd) and through our pyftpdlib server: plain and TLS, zipped and not, in the login
// folder and in FTPPath (also a Cyrillic one), anonymous and with a login; then through our
// fault proxy: replies 300 ms late, a server silent at each step, a reset in the data.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/db/Options.h"
#include "core/db/QueryResult.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/FtpExchange.h"
#include "core/exchange/FtpTransfer.h"
#include "core/exchange/PollTransferLoop.h"
#include "support/FaultProxy.h"
#include "support/FtpTestServer.h"
#include "support/RecordingScreen.h"
#include "support/StandardFtpServer.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;
using Options = std::vector<std::pair<std::string, std::string>>;

// A running server as the cases see it: it serves "anonymous", and "agent" with `password`.
struct Served {
    std::uint16_t port;
    fs::path root;
    std::string password;
    bool anonymousWritesRoot;  // see StandardFtpServer
    bool anonymousRenames;
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
                // vsftpd's anonymous agents have folders of their own under its root.
                if (!agent && path.empty() && !server.anonymousWritesRoot) continue;
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

                const std::string sent = zip ? "PDATo1C.zip" : "PDATo1C.xml";
                const fs::path remote = server.root / path;
                // pure-ftpd lets anonymous users neither rename nor overwrite: the temporary
                // name stays there, and the file goes again straight under its own. So it
                // does the next time, when the temporary name is taken.
                for (int time = 0; time < (agent || server.anonymousRenames ? 1 : 2); ++time) {
                    ASSERT_TRUE(SendByFtp(screen, loop))
                        << ::testing::PrintToString(screen.log) << server.log;
                    EXPECT_EQ(readFile(remote / sent), readFile(program / "exchange" / sent));
                    EXPECT_EQ(fs::exists(remote / (sent + ".part")),
                              !agent && !server.anonymousRenames);
                    fs::remove(remote / sent);
                }
                fs::remove(remote / (sent + ".part"));

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

// The server checks the agent's password: a wrong one ends the transfer at the login.
void refusesWrongPassword(const Served& server) {
    SCOPED_TRACE("wrong password");
    TempDir local;
    writeFile(local / "PDATo1C.xml", "x");
    FtpConnection c;
    c.host = "127.0.0.1";
    c.port = server.port;
    c.login = "agent";
    c.password = server.password + "x";
    RecordingScreen screen;
    PollTransferLoop loop;
    EXPECT_FALSE(
        FtpTransfer(screen, loop, FtpDirection::Send, c, (local / "PDATo1C.xml").string()));
    EXPECT_FALSE(fs::exists(server.root / "PDATo1C.xml"));
    EXPECT_FALSE(fs::exists(server.root / "PDATo1C.xml.part"));
    ASSERT_FALSE(screen.log.empty());
    EXPECT_EQ(screen.log.back(), "Не удалось соединиться с сервером.");
}

// Cancels `loop` from another thread as soon as `ready` holds, as velmorant-cli's Ctrl+C does.
class CancelWhen {
public:
    CancelWhen(PollTransferLoop& loop, std::function<bool()> ready)
        : m_thread([this, &loop, ready = std::move(ready)] {
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
              while (!m_done && std::chrono::steady_clock::now() < deadline) {
                  if (ready()) {
                      loop.cancel();
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              }
          }) {}
    ~CancelWhen() {
        m_done = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

FtpConnection connectionTo(const Served& server, std::uint16_t port) {
    FtpConnection c;
    c.host = "127.0.0.1";
    c.port = port;
    c.login = "agent";
    c.password = server.password;
    return c;
}

constexpr std::size_t kFileSize = 256 * 1024;

// Replies 300 ms late: a TLS send and fetch still succeed (the limits are 20 s until the login
// and 30 s without progress).
void passesWithLatency(const Served& server, const std::string& pin) {
    FaultProxy proxy({server.port, 300, "none", 0});
    for (const auto direction : {FtpDirection::Send, FtpDirection::Fetch}) {
        const bool sending = direction == FtpDirection::Send;
        SCOPED_TRACE(sending ? "send over TLS, 300 ms" : "fetch over TLS, 300 ms");
        TempDir local;
        const std::string name = sending ? "PDATo1C.xml" : "ToPDA.sqd";
        const std::string content(kFileSize, sending ? 's' : 'f');
        writeFile((sending ? local.path() : server.root) / name, content);
        if (!sending) fs::permissions(server.root / name, fs::perms::all);
        FtpConnection c = connectionTo(server, proxy.port());
        c.secure = true;
        c.certPin = pin;
        RecordingScreen screen;
        PollTransferLoop loop;
        EXPECT_TRUE(FtpTransfer(screen, loop, direction, c, (local / name).string()))
            << ::testing::PrintToString(screen.log) << server.log;
        EXPECT_EQ(readFile((sending ? server.root : local.path()) / name), content);
        fs::remove(server.root / name);
    }
}

// A server silent at each step, a data connection reset, and one that ends early as if the file
// were whole (the receiving side confirms it): each transfer fails with the lines of its
// situation in the limits given, leaves no file under the name the other side takes, and a
// cancel during the silence after the data works at once.
void failsCleanlyOnFaults(const Served& server) {
    const std::string noConnection = "Не удалось соединиться с сервером.";
    const std::string sendFailed = "Сбой связи.";
    const std::string fetchFailed = "Файл не найден.";
    const std::string cancelled = "Прервано.";
    const struct {
        const char* fault;
        FtpDirection direction;
        bool cancel;  // cancel as soon as the fault struck
        std::string last;
    } cases[] = {
        {"greeting", FtpDirection::Fetch, false, noConnection},
        {"login", FtpDirection::Send, false, noConnection},
        {"pasv", FtpDirection::Fetch, false, fetchFailed},
        {"pasv", FtpDirection::Send, false, sendFailed},
        {"data", FtpDirection::Fetch, false, fetchFailed},
        {"data", FtpDirection::Send, false, sendFailed},
        {"final", FtpDirection::Fetch, false, fetchFailed},
        {"final", FtpDirection::Send, false, sendFailed},
        {"final", FtpDirection::Fetch, true, cancelled},
        {"final", FtpDirection::Send, true, cancelled},
        {"reset", FtpDirection::Fetch, false, fetchFailed},
        {"reset", FtpDirection::Send, false, sendFailed},
        {"short", FtpDirection::Fetch, false, fetchFailed},
        {"short", FtpDirection::Send, false, sendFailed},
    };
    for (const auto& c : cases) {
        const bool sending = c.direction == FtpDirection::Send;
        SCOPED_TRACE(std::string(c.fault) + (sending ? " send" : " fetch") +
                     (c.cancel ? " cancelled" : ""));
        FaultProxy proxy({server.port, 0, c.fault, 64 * 1024});
        TempDir local;
        const std::string name = sending ? "PDATo1C.xml" : "ToPDA.sqd";
        writeFile((sending ? local.path() : server.root) / name, std::string(kFileSize, 'x'));
        if (!sending) fs::permissions(server.root / name, fs::perms::all);
        FtpConnection connection = connectionTo(server, proxy.port());
        // Short limits; a cancelled case must not reach its limit first.
        const std::chrono::milliseconds limit(c.cancel ? 20000 : 1000);
        connection.timeouts = {limit, limit};
        RecordingScreen screen;
        PollTransferLoop loop;
        bool result = true;
        {
            std::optional<CancelWhen> cancel;
            if (c.cancel) cancel.emplace(loop, [&] { return proxy.struck(); });
            result = FtpTransfer(screen, loop, c.direction, connection, (local / name).string());
        }
        EXPECT_FALSE(result);
        EXPECT_TRUE(proxy.struck());
        ASSERT_FALSE(screen.log.empty());
        EXPECT_EQ(screen.log.back(), c.last) << ::testing::PrintToString(screen.log);
        if (sending) {
            EXPECT_FALSE(fs::exists(server.root / name));
        } else {
            EXPECT_FALSE(fs::exists(local / name));
            EXPECT_FALSE(fs::exists(local / (name + ".part")));
        }
        fs::remove(server.root / name);
        fs::remove(server.root / (name + ".part"));
    }
}

void runStandard(FtpServerKind kind) {
    const std::string why = StandardFtpServer::Unavailable(kind);
    if (!why.empty()) GTEST_SKIP() << why;
    TestCertificates certificates;
    StandardFtpServer server(kind, certificates.selfSignedCert(), certificates.selfSignedKey());
    const Served served{server.port(),
                        server.root(),
                        StandardFtpServer::kAgentPassword,
                        StandardFtpServer::AnonymousWritesRoot(kind),
                        StandardFtpServer::AnonymousRenames(kind),
                        ""};
    // The same server speaks plain FTP and TLS.
    for (const bool tls : {false, true}) {
        sendAndFetchEverything(served, tls, certificates.selfSignedPin());
        if (::testing::Test::HasFatalFailure()) {
            ADD_FAILURE() << server.log();
            return;
        }
    }
    refusesWrongPassword(served);
    passesWithLatency(served, certificates.selfSignedPin());
    failsCleanlyOnFaults(served);
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
        const Served served{server.port(), server.root(), FtpTestServer::kAgentPassword,
                            true,          true,          ""};
        sendAndFetchEverything(served, tls, certificates.selfSignedPin());
        if (tls)
            passesWithLatency(served, certificates.selfSignedPin());
        else {
            refusesWrongPassword(served);
            failsCleanlyOnFaults(served);
        }
    }
}

}  // namespace
}  // namespace velmorant::test
