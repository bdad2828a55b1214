#include "core/exchange/FtpExchange.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sodium.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "core/db/Options.h"
#include "core/db/QueryResult.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/PollTransferLoop.h"
#include "support/ChildProcess.h"
#include "support/FtpTestServer.h"
#include "support/RecordingScreen.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;
using Options = std::vector<std::pair<std::string, std::string>>;

const std::string kConnected = "Соединение установлено.";

void setOptions(const Options& options) {
    ASSERT_TRUE(Query("delete from MY_OPTIONS"));
    for (const auto& [name, value] : options) {
        ASSERT_TRUE(Query("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('" + name + "', '" +
                          value + "')"));
    }
}

// The settings of an exchange with `server`, anonymous or with the agent's password.
Options ftpOptions(const FtpTestServer& server, bool zip, bool auth, const std::string& path) {
    Options o = {{"UseFTP", "1"},
                 {"FTPAddress", "127.0.0.1"},
                 {"FTPPort", std::to_string(server.port())},
                 {"UseZip", zip ? "1" : "0"},
                 {"FTPPath", path}};
    if (auth) {
        o.insert(o.end(), {{"FTPAuth", "1"},
                           {"FTPLogin", "agent"},
                           {"FTPPassword", FtpTestServer::kAgentPassword}});
    }
    return o;
}

// An answer of the office that stores `value` (in capitals) as the option FETCHED.
std::string scriptSetting(const std::string& value) {
    return "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n"
           "<EXEC \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('Fetched', '" +
           value + "')\">\r\n";
}

void putAnswer(const fs::path& folder, const std::string& script, bool zip) {
    fs::create_directories(folder);
    writeFile(folder / "ToPDA.sqd", script);
    if (!zip) return;
    const auto r = runCommand("cd '" + folder.string() + "' && zip -q ToPDA.zip ToPDA.sqd");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    fs::remove(folder / "ToPDA.sqd");
}

// Whether the server logged a line (after its session number) that starts with `prefix`.
bool serverLogged(const FtpTestServer& server, const std::string& prefix) {
    for (const auto& line : server.log()) {
        if (line.compare(line.find(' ') + 1, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

std::vector<std::string> tail(const std::vector<std::string>& lines, std::size_t n) {
    return {lines.end() - static_cast<long>(std::min(n, lines.size())), lines.end()};
}

TEST(FtpExchange, DoesNothingWhileFtpIsOff) {
    const Options cases[] = {
        {{"UseFTP", "0"}, {"FTPAddress", "127.0.0.1"}},
        {{"UseFTP", "1"}, {"FTPAddress", ""}},
    };
    for (const auto& options : cases) {
        TempProgramFolder program;
        RecordingNotifier notifier;
        FtpTestServer server;
        Options withPort = options;
        withPort.emplace_back("FTPPort", std::to_string(server.port()));
        setOptions(withPort);
        RecordingScreen screen;
        PollTransferLoop loop;
        screen.appOptions = LoadAppOptions();
        EXPECT_FALSE(SendByFtp(screen, loop));
        EXPECT_FALSE(FetchByFtp(screen, loop));
        EXPECT_TRUE(screen.log.empty());
        EXPECT_FALSE(fs::exists(program / "exchange"));
        EXPECT_EQ(server.sessions(), 0);
    }
}

// The export goes to the exchange folder and travels unchanged, packed or not, into the
// login folder or FTPPath.
TEST(FtpExchange, SendUploadsTheExport) {
    const struct {
        bool zip;
        bool auth;
        std::string path;
    } cases[] = {{false, false, ""}, {true, true, "in"}, {false, true, "in/agent"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.zip) + " " + c.path);
        TempProgramFolder program;
        RecordingNotifier notifier;
        FtpTestServer server;
        fs::create_directories(server.root() / c.path);
        setOptions(ftpOptions(server, c.zip, c.auth, c.path));
        RecordingScreen screen;
        PollTransferLoop loop;
        screen.appOptions = LoadAppOptions();

        ASSERT_TRUE(SendByFtp(screen, loop));
        const std::string name = c.zip ? "PDATo1C.zip" : "PDATo1C.xml";
        const fs::path local = program / "exchange" / name;
        const std::string sent = readFile(server.root() / c.path / name);
        EXPECT_EQ(sent, readFile(local));
        EXPECT_EQ(sent.substr(0, 4), c.zip ? "PK\x03\x04" : "<?xm");
        EXPECT_EQ(fs::exists(program / "exchange" / "PDATo1C.xml"), !c.zip);

        ASSERT_FALSE(screen.log.empty());
        EXPECT_EQ(screen.log.front(), "Начата выгрузка...");
        const std::string login = c.auth ? "agent" : "anonimous";
        const std::string stars(c.auth ? 14 : 18, '*');
        EXPECT_EQ(
            tail(screen.log, 5),
            (std::vector<std::string>{"Try connect to 127.0.0.1 : " + std::to_string(server.port()),
                                      "  (Username=" + login + "; Password=" + stars + ")",
                                      kConnected, "Отправка файла.", "Отправка завершена."}));
        EXPECT_TRUE(notifier.shown().empty());
    }
}

// A downloaded answer is imported whatever it holds; the result only says that the download
// worked. The exchange folder is made when it is missing.
TEST(FtpExchange, FetchDownloadsAndImports) {
    const struct {
        bool zip;
        std::string path;
        bool validScript;
    } cases[] = {
        {false, "", true},
        {true, "out", true},
        {false, "out/agent", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.zip) + " " + c.path);
        TempProgramFolder program;
        RecordingNotifier notifier;
        FtpTestServer server;
        putAnswer(server.root() / c.path, c.validScript ? scriptSetting("remote") : "garbage\r\n",
                  c.zip);
        setOptions(ftpOptions(server, c.zip, false, c.path));
        RecordingScreen screen;
        PollTransferLoop loop;
        screen.appOptions = LoadAppOptions();
        ASSERT_FALSE(fs::exists(program / "exchange"));

        // An answer that cannot be run fails the fetch, though the download itself went well.
        EXPECT_EQ(FetchByFtp(screen, loop), c.validScript);
        EXPECT_TRUE(fs::exists(program / "exchange" / (c.zip ? "ToPDA.zip" : "ToPDA.sqd")));
        const auto done = std::find(screen.log.begin(), screen.log.end(), "Загрузка  завершена.");
        ASSERT_NE(done, screen.log.end());
        EXPECT_EQ(*(done - 1), "Загрузка  файла.");
        if (c.validScript) {
            EXPECT_EQ(GetOption("Fetched", ""), "REMOTE");
            EXPECT_EQ(screen.log.back(), "Загрузка завершена.");
            EXPECT_NE(GetOption("LLD_Def", ""), "");
        } else {
            EXPECT_EQ(notifier.texts(), std::vector<std::string>{"Файл несовместимого формата."});
            EXPECT_EQ(GetOption("LLD_Def", ""), "");
        }
    }
}

// A download that failed imports nothing, not even the answer of an earlier exchange that is
// still in the folder, and leaves that answer as it was.
TEST(FtpExchange, FailedFetchImportsNothing) {
    const struct {
        const char* name;
        FtpTestServer::Options server;
        bool remoteExists;
    } cases[] = {
        {"remote file missing", {}, false},
        {"download cut", {1000, "426"}, true},
        {"download cut, reported complete", {1000, "226"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempProgramFolder program;
        RecordingNotifier notifier;
        FtpTestServer server(c.server);
        if (c.remoteExists) {
            // Long enough to be cut: a valid script with a long comment.
            putAnswer(server.root(), scriptSetting("remote") + "// " + std::string(50000, 'x'),
                      false);
        }
        const std::string old = scriptSetting("old");
        putAnswer(program / "exchange", old, false);
        setOptions(ftpOptions(server, false, false, ""));
        RecordingScreen screen;
        PollTransferLoop loop;
        screen.appOptions = LoadAppOptions();

        EXPECT_FALSE(FetchByFtp(screen, loop));
        EXPECT_EQ(tail(screen.log, 3),
                  (std::vector<std::string>{kConnected, "Загрузка  файла.", "Файл не найден."}));
        EXPECT_EQ(readFile(program / "exchange" / "ToPDA.sqd"), old);
        EXPECT_EQ(GetOption("Fetched", ""), "");
        EXPECT_TRUE(notifier.shown().empty());
    }
}

// A 0003 answer runs its ToPDA.sql too. Unpacked over FTP the companion comes by a second
// download, and the answer does not run without it; a companion that an earlier answer left
// in the exchange folder never runs in its place, zipped or not.
TEST(FtpExchange, CompanionComesWithItsAnswer) {
    const std::string withCompanion = "R_ODIRI RESPONSE 0003-0000-0000-0001\r\n";
    const std::string scriptOnly = "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n";
    const std::string script =
        "<EXEC \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('Fetched', 'yes')\">\r\n";
    const auto companionSetting = [](const std::string& value) {
        return "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('Companion', '" + value +
               "');\r\n";
    };
    const struct {
        const char* name;
        bool zip;
        std::string header;
        bool remoteCompanion;  // on the server (zip: in the archive)
        bool result;
        std::string fetched;    // the script's option afterwards
        std::string companion;  // the companion's option afterwards
        bool companionFetched;  // the device asked the server for ToPDA.sql
    } cases[] = {
        {"0003 unpacked", false, withCompanion, true, true, "YES", "new", true},
        {"0003 unpacked, companion missing", false, withCompanion, false, false, "", "", true},
        {"0002 unpacked", false, scriptOnly, true, true, "YES", "", false},
        {"0003 zipped", true, withCompanion, true, true, "YES", "new", false},
        {"0003 zipped without companion", true, withCompanion, false, true, "YES", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempProgramFolder program;
        RecordingNotifier notifier;
        FtpTestServer server;
        // What an earlier answer left behind.
        fs::create_directories(program / "exchange");
        writeFile(program / "exchange" / "ToPDA.sql", companionSetting("stale"));
        const fs::path remote = server.root();
        writeFile(remote / "ToPDA.sqd", c.header + script);
        if (c.remoteCompanion) writeFile(remote / "ToPDA.sql", companionSetting("new"));
        if (c.zip) {
            const auto r = runCommand("cd '" + remote.string() + "' && zip -q ToPDA.zip ToPDA.sqd" +
                                      (c.remoteCompanion ? " ToPDA.sql" : ""));
            ASSERT_EQ(r.exitCode, 0) << r.err;
        }
        setOptions(ftpOptions(server, c.zip, false, ""));
        RecordingScreen screen;
        PollTransferLoop loop;
        screen.appOptions = LoadAppOptions();

        EXPECT_EQ(FetchByFtp(screen, loop), c.result) << ::testing::PrintToString(screen.log);
        EXPECT_EQ(GetOption("Fetched", ""), c.fetched);
        EXPECT_EQ(GetOption("Companion", ""), c.companion);
        EXPECT_EQ(serverLogged(server, "SIZE ToPDA.sql"), c.companionFetched);
    }
}

// velmorant-cli send and fetch: the settings of base.sdb, the log on stdout, exit code 0 for a
// true result.
TEST(FtpExchange, CommandLineSendAndFetch) {
    enum class Setup { Working, NoRemoteFile, FtpOff, NoServer };
    const struct {
        const char* command;
        Setup setup;
        int exitCode;
        std::string lastLine;  // of stdout, without the time stamp
    } cases[] = {
        {"send", Setup::Working, 0, "Отправка завершена."},
        {"fetch", Setup::Working, 0, "Загрузка завершена."},
        {"fetch", Setup::NoRemoteFile, 1, "Файл не найден."},
        {"send", Setup::NoServer, 1, "Не удалось соединиться с сервером."},
        {"fetch", Setup::FtpOff, 1, ""},
    };
    const std::regex entry(R"(\d\d:\d\d:\d\d (.*))");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.lastLine);
        TempProgramFolder program;
        FtpTestServer server;
        if (c.setup != Setup::NoRemoteFile) putAnswer(server.root(), scriptSetting("cli"), false);
        Options options = ftpOptions(server, false, true, "");
        if (c.setup == Setup::FtpOff) options.front().second = "0";
        if (c.setup == Setup::NoServer) options[2].second = std::to_string(UnusedLocalPort());
        setOptions(options);

        const auto r = runCommand(std::string(VELMORANT_CLI_PATH) + " --home '" + program.str() +
                                  "' " + c.command);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        std::vector<std::string> lines;
        std::istringstream out(r.out);
        for (std::string line; std::getline(out, line);) {
            std::smatch m;
            // Every line is a log entry except the path that follows "Выгрузка завершена.".
            if (std::regex_match(line, m, entry)) lines.push_back(m[1]);
        }
        EXPECT_EQ(lines.empty() ? std::string() : lines.back(), c.lastLine) << r.out;
        if (c.setup == Setup::FtpOff) {
            EXPECT_NE(r.err.find("UseFTP"), std::string::npos);
        }
        if (c.setup == Setup::Working && std::string(c.command) == "send") {
            EXPECT_EQ(readFile(server.root() / "PDATo1C.xml"),
                      readFile(program / "exchange" / "PDATo1C.xml"));
        }
        if (c.setup == Setup::Working && std::string(c.command) == "fetch") {
            EXPECT_EQ(GetOption("Fetched", ""), "CLI");
        }
    }
}

// velmorant-cli run with its stdout on a pipe, read line by line as it writes.
class CliProcess {
public:
    CliProcess(const std::string& home, const std::string& command) {
        m_pid = SpawnWithStdout(VELMORANT_CLI_PATH, {VELMORANT_CLI_PATH, "--home", home, command},
                                m_out);
    }
    ~CliProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
    }

    // The next line of stdout; nothing at the end of the output or after `timeout`.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto end = m_buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{m_out, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return std::nullopt;
            }
            char chunk[512];
            const ssize_t got = ::read(m_out, chunk, sizeof chunk);
            if (got <= 0) return std::nullopt;
            m_buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }

    bool running() { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; }
    void interrupt() { ::kill(m_pid, SIGINT); }
    int exitCode() {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

// velmorant-cli prints every step on stdout the moment it happens, and Ctrl+C stops a
// transfer as " Прервать " does: "Прервано.", exit code 1, the earlier answer kept, nothing
// imported.
TEST(FtpExchange, CommandLineShowsStepsLiveAndStopsOnInterrupt) {
    const struct {
        const char* command;
        std::string stall;
        std::string stalled;  // what the server logs once it stalls
        std::string start;    // the log line of the transfer's start
    } cases[] = {
        {"fetch", "data", "STALL ", "Загрузка  файла."},
        {"send", "pasv", "STOR ", "Отправка файла."},
    };
    const std::regex entry(R"(\d\d:\d\d:\d\d (.*))");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        TempProgramFolder program;
        FtpTestServer::Options serverOptions;
        serverOptions.stall = c.stall;
        serverOptions.stallAfter = 50000;
        FtpTestServer server(serverOptions);
        putAnswer(server.root(), scriptSetting("remote") + "// " + std::string(300000, 'x'), false);
        const std::string old = scriptSetting("old");
        putAnswer(program / "exchange", old, false);
        setOptions(ftpOptions(server, false, false, ""));

        CliProcess cli(program.str(), c.command);
        std::vector<std::string> lines;
        auto readEntry = [&](std::chrono::milliseconds timeout) {
            for (auto line = cli.readLine(timeout); line; line = cli.readLine(timeout)) {
                std::smatch m;
                if (!std::regex_match(*line, m, entry)) continue;
                lines.push_back(m[1]);
                return true;
            }
            return false;
        };
        while (readEntry(std::chrono::seconds(20)) && lines.back() != c.start) {
        }
        ASSERT_FALSE(lines.empty());
        ASSERT_EQ(lines.back(), c.start);
        for (int i = 0; i < 2000 && !serverLogged(server, c.stalled); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(serverLogged(server, c.stalled));
        // The steps so far were on stdout while the transfer was still running.
        EXPECT_TRUE(cli.running());
        EXPECT_NE(std::find(lines.begin(), lines.end(), kConnected), lines.end());

        cli.interrupt();
        while (readEntry(std::chrono::seconds(10))) {
        }
        EXPECT_EQ(cli.exitCode(), 1);
        EXPECT_EQ(tail(lines, 3), (std::vector<std::string>{kConnected, c.start, "Прервано."}));
        EXPECT_EQ(readFile(program / "exchange" / "ToPDA.sqd"), old);
        EXPECT_FALSE(fs::exists(program / "exchange" / "ToPDA.sqd.part"));
        EXPECT_EQ(GetOption("Fetched", ""), "");
    }
}

// With AnswerKey set the signature is fetched from beside the answer; one left in the
// exchange folder by an earlier answer never stands in for a missing one.
TEST(FtpExchange, FetchTakesTheSignatureFromBesideTheAnswer) {
    ASSERT_GE(sodium_init(), 0);
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(publicKey, secretKey);
    auto base64 = [](const unsigned char* bytes, std::size_t size) {
        std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
        sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
        text.resize(text.size() - 1);
        return text;
    };
    const std::string script = scriptSetting("signed");
    unsigned char sig[crypto_sign_BYTES];
    crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(script.data()),
                         script.size(), secretKey);
    const std::string signature = base64(sig, sizeof sig);
    for (const bool onServer : {true, false}) {
        SCOPED_TRACE(onServer ? "signature on the server" : "only an old one on the device");
        TempProgramFolder program;
        RecordingNotifier notifier;
        FtpTestServer server;
        putAnswer(server.root(), script, false);
        if (onServer) writeFile(server.root() / "ToPDA.sig", signature);
        fs::create_directories(program / "exchange");
        if (!onServer) writeFile(program / "exchange" / "ToPDA.sig", signature);
        Options options = ftpOptions(server, false, false, "");
        options.emplace_back("AnswerKey", base64(publicKey, sizeof publicKey));
        setOptions(options);
        RecordingScreen screen;
        PollTransferLoop loop;
        screen.appOptions = LoadAppOptions();
        EXPECT_EQ(FetchByFtp(screen, loop), onServer);
        EXPECT_EQ(GetOption("Fetched", ""), onServer ? "SIGNED" : "");
        EXPECT_EQ(screen.log.back(), onServer ? "Загрузка завершена." : "Подпись ответа неверна.");
    }
}

}  // namespace
}  // namespace velmorant::test
