#include "core/exchange/FtpTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "core/exchange/AppOptions.h"
#include "core/exchange/PollTransferLoop.h"
#include "support/FtpTestServer.h"
#include "support/RecordingScreen.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Bytes that a text-mode transfer would change: bare LF, CR LF, NUL, Ctrl-Z, high bytes.
std::string binaryContent(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes = "\r\n\n\x00\x1a\xff\xc0\r"s;
    while (bytes.size() < size) bytes += static_cast<char>(random() & 0xFF);
    bytes.resize(size);
    return bytes;
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

long countPrefix(const std::vector<std::string>& commands, const std::string& prefix) {
    return std::count_if(commands.begin(), commands.end(),
                         [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
}

long indexOf(const std::vector<std::string>& commands, const std::string& command) {
    const auto it = std::find(commands.begin(), commands.end(), command);
    return it == commands.end() ? -1 : it - commands.begin();
}

std::vector<std::string> headerLines(std::uint16_t port, const std::string& login,
                                     const std::string& stars) {
    return {"Try connect to 127.0.0.1 : " + std::to_string(port),
            "  (Username=" + login + "; Password=" + stars + ")"};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kConnected = "Соединение установлено.";
const std::string kNoConnection = "Не удалось соединиться с сервером.";
const std::string kCancelled = "Прервано.";

FtpConnection connectionTo(std::uint16_t port, const std::string& login,
                           const std::string& password, const std::string& path = "") {
    FtpConnection c;
    c.host = "127.0.0.1";
    c.port = port;
    c.login = login;
    c.password = password;
    c.path = path;
    return c;
}

bool transfer(RecordingScreen& screen, FtpDirection direction, const FtpConnection& connection,
              const fs::path& local) {
    PollTransferLoop loop;
    return FtpTransfer(screen, loop, direction, connection, local.string());
}

// Whether the server logged a line (after its session number) that starts with `prefix`.
bool serverLogged(const FtpTestServer& server, const std::string& prefix) {
    for (const auto& line : server.log()) {
        if (line.compare(line.find(' ') + 1, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

// Cancels `loop` from another thread as soon as `ready` holds, as the Ctrl+C handler of
// velmorant-cli does; `ready` runs on that thread (it reads files only).
class CancelWhen {
public:
    CancelWhen(PollTransferLoop& loop, std::function<bool()> ready)
        : m_thread([this, &loop, ready = std::move(ready)] {
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
              while (!m_done && std::chrono::steady_clock::now() < deadline) {
                  if (ready()) {
                      m_fired = true;
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
    bool fired() const { return m_fired; }

private:
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

TEST(FtpTransfer, MasksEveryCharacterOfThePassword) {
    const struct {
        std::string password;
        std::string shown;
    } cases[] = {
        {"", ""},
        {"abc", "***"},
        {"Пароль", "******"},
        {"s3cr;et Пароль", "**************"},
        {kAnonymousPassword, std::string(18, '*')},
    };
    for (const auto& c : cases) EXPECT_EQ(MaskedPassword(c.password), c.shown) << c.password;
}

// The exchange connects as its settings say, with the limits a person can wait for: 20 s to
// connect and log in, 30 s without a byte; the second anonymous login only without FTPAuth.
TEST(FtpTransfer, ConnectionFollowsTheSettings) {
    for (const bool auth : {false, true}) {
        SCOPED_TRACE(auth ? "FTPAuth on" : "FTPAuth off");
        TAppOptions o;
        o.UseFTP = true;
        o.FTPAuth = auth;
        o.FTPAddress = "ftp.example.org";
        o.FTPPath = "in/box";
        o.FTPLogin = auth ? "agent" : kAnonymousLogin;
        o.FTPPassword = auth ? "secret" : kAnonymousPassword;
        o.FTPPort = 2121;
        o.FTPSecure = auth;
        o.FTPCertPin = "sha256//pin";
        const FtpConnection c = FtpConnectionFor(o);
        EXPECT_EQ(c.host, "ftp.example.org");
        EXPECT_EQ(c.port, 2121);
        EXPECT_EQ(c.login, o.FTPLogin);
        EXPECT_EQ(c.password, o.FTPPassword);
        EXPECT_EQ(c.path, "in/box");
        EXPECT_EQ(c.anonymousFallback, !auth);
        EXPECT_EQ(c.secure, auth);
        EXPECT_EQ(c.certPin, "sha256//pin");
        EXPECT_EQ(c.caFile, "");
        EXPECT_EQ(c.timeouts.connect, std::chrono::seconds(20));
        EXPECT_EQ(c.timeouts.stall, std::chrono::seconds(30));
    }
}

// Whole transfers in both directions, logged in anonymously or with a password, in the login
// folder or in FTPPath: the file arrives byte for byte, the log holds exactly the five lines,
// and the server saw one connection, passive mode, binary type and at most one CWD.
TEST(FtpTransfer, TransfersWholeFileOverOnePassiveBinaryConnection) {
    const struct {
        const char* name;
        FtpDirection direction;
        bool auth;
        std::string ftpPath;
        std::string fileName;
        std::size_t size;
        bool localExists;    // fetch: an older local file is overwritten
        bool folderMissing;  // fetch: the exchange folder does not exist yet
    } cases[] = {
        {"send anonymous", FtpDirection::Send, false, "", "PDATo1C.xml", 3000, false, false},
        {"send zip into path", FtpDirection::Send, true, "in/agent 7", "PDATo1C.zip", 300000, false,
         false},
        {"send cyrillic path", FtpDirection::Send, false, "Входящие", "PDATo1C.xml", 10, false,
         false},
        {"fetch anonymous", FtpDirection::Fetch, false, "", "ToPDA.sqd", 5000, false, false},
        {"fetch zip from path", FtpDirection::Fetch, true, "out", "ToPDA.zip", 250000, true, false},
        {"fetch into missing folder", FtpDirection::Fetch, false, "", "ToPDA.sqd", 100, false,
         true},
        {"fetch empty file", FtpDirection::Fetch, true, "out/x", "ToPDA.sqd", 0, true, false},
    };
    unsigned seed = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FtpTestServer server;
        TempDir local;
        const fs::path exchange = local / "exchange";
        if (!c.folderMissing) fs::create_directories(exchange);
        const fs::path remoteFolder = server.root() / c.ftpPath;
        fs::create_directories(remoteFolder);
        const std::string content = binaryContent(c.size, seed++);

        const bool sending = c.direction == FtpDirection::Send;
        if (sending)
            writeFile(exchange / c.fileName, content);
        else
            writeFile(remoteFolder / c.fileName, content);
        if (!sending && c.localExists) writeFile(exchange / c.fileName, "an older answer");

        RecordingScreen screen;
        const std::string login = c.auth ? "agent" : kAnonymousLogin;
        const std::string password = c.auth ? FtpTestServer::kAgentPassword : kAnonymousPassword;
        ASSERT_TRUE(transfer(screen, c.direction,
                             connectionTo(server.port(), login, password, c.ftpPath),
                             exchange / c.fileName));

        const std::string word = sending ? "Отправка" : "Загрузка ";
        auto expected = headerLines(server.port(), login, MaskedPassword(password));
        expected.insert(expected.end(),
                        {"Соединение установлено.", word + " файла.", word + " завершена."});
        EXPECT_EQ(screen.log, expected);
        // The bar counts the bytes of the file and ends full.
        if (c.size > 0) {
            EXPECT_TRUE(screen.bar.visible);
            EXPECT_EQ(screen.bar.maximum, static_cast<int>(c.size));
            EXPECT_EQ(screen.bar.value, static_cast<int>(c.size));
        }

        if (sending) {
            EXPECT_EQ(readFile(remoteFolder / c.fileName), content);
        } else {
            EXPECT_EQ(readFile(exchange / c.fileName), content);
            EXPECT_EQ(filesIn(exchange), std::vector<std::string>{c.fileName});
            EXPECT_EQ(fs::status(exchange / c.fileName).permissions() & fs::perms::others_read,
                      fs::perms::others_read);
        }

        server.waitUntilIdle();
        const auto commands = server.commands();
        EXPECT_EQ(server.sessions(), 1);
        EXPECT_EQ(indexOf(commands, "USER " + login), 0);
        EXPECT_EQ(indexOf(commands, "PASS " + password), 1);
        // An upload arrives under a temporary name and is renamed once it is complete.
        const long transfer =
            indexOf(commands, sending ? "STOR " + c.fileName + ".part" : "RETR " + c.fileName);
        ASSERT_GE(transfer, 0);
        if (sending) {
            const long from = indexOf(commands, "RNFR " + c.fileName + ".part");
            EXPECT_GT(from, transfer);
            EXPECT_EQ(indexOf(commands, "RNTO " + c.fileName), from + 1);
            EXPECT_EQ(filesIn(remoteFolder), std::vector<std::string>{c.fileName});
        }
        EXPECT_TRUE(indexOf(commands, "TYPE I") >= 0 && indexOf(commands, "TYPE I") < transfer);
        EXPECT_TRUE(indexOf(commands, "PASV") >= 0 && indexOf(commands, "PASV") < transfer);
        EXPECT_EQ(countPrefix(commands, "EPSV") + countPrefix(commands, "PORT") +
                      countPrefix(commands, "EPRT") + countPrefix(commands, "TYPE A") +
                      countPrefix(commands, "MKD"),
                  0);
        EXPECT_EQ(countPrefix(commands, "CWD"), c.ftpPath.empty() ? 0 : 1);
        if (!c.ftpPath.empty()) {
            EXPECT_LT(indexOf(commands, "CWD " + c.ftpPath), transfer);
        }
    }
}

// Every failure gives false with exactly the lines of its situation, and leaves nothing
// half-written: no file on the server after a refused upload, and after a failed download
// the earlier local file as it was (or none) and no temporary file.
TEST(FtpTransfer, FailuresLogTheirLinesAndLeaveNothingHalfWritten) {
    enum class Server { Running, NotListening };
    const std::string connected = "Соединение установлено.";
    // The two connection lines again: a second session, straight under the file's own name.
    const std::string again = "(again)";
    const struct {
        const char* name;
        FtpDirection direction;
        Server server;
        FtpTestServer::Options serverOptions;
        std::string login;
        std::string password;
        std::string ftpPath;             // created on the server unless it starts with "missing"
        bool remoteFileExists;           // fetch: ToPDA.sqd is on the server
        bool localFileExists;            // the local file exists before the transfer
        std::vector<std::string> lines;  // after the two connection lines
        int sessions;
    } cases[] = {
        {"send with a wrong password",
         FtpDirection::Send,
         Server::Running,
         {},
         "agent",
         "wrong",
         "",
         false,
         true,
         {"Не удалось соединиться с сервером."},
         1},
        {"send with no server listening",
         FtpDirection::Send,
         Server::NotListening,
         {},
         "anonimous",
         "x",
         "",
         false,
         true,
         {"Не удалось соединиться с сервером."},
         0},
        {"send into a missing folder",
         FtpDirection::Send,
         Server::Running,
         {},
         "anonimous",
         "x",
         "missing/in",
         false,
         true,
         {connected, "Сменить путь не удалось.", "Сбой связи."},
         1},
        {"fetch from a missing folder",
         FtpDirection::Fetch,
         Server::Running,
         {},
         "anonimous",
         "x",
         "missing",
         false,
         true,
         {connected, "Сменить путь не удалось.", "Файл не найден."},
         1},
        {"fetch of a missing remote file",
         FtpDirection::Fetch,
         Server::Running,
         {},
         "agent",
         FtpTestServer::kAgentPassword,
         "out",
         false,
         true,
         {connected, "Загрузка  файла.", "Файл не найден."},
         1},
        {"fetch of a missing remote file, no local file",
         FtpDirection::Fetch,
         Server::Running,
         {},
         "anonimous",
         "x",
         "",
         false,
         false,
         {connected, "Загрузка  файла.", "Файл не найден."},
         1},
        {"send refused by the server",
         FtpDirection::Send,
         Server::Running,
         {},
         "reader",
         "reader",
         "",
         false,
         true,
         {connected, "Отправка файла.", again, connected, "Отправка файла.", "Сбой связи."},
         2},
        {"send of a missing local file",
         FtpDirection::Send,
         Server::Running,
         {},
         "anonimous",
         "x",
         "",
         false,
         false,
         {"Сбой связи."},
         0},
        {"download cut with 426",
         FtpDirection::Fetch,
         Server::Running,
         {50000, "426"},
         "anonimous",
         "x",
         "",
         true,
         true,
         {connected, "Загрузка  файла.", "Файл не найден."},
         1},
        {"download cut but reported complete",
         FtpDirection::Fetch,
         Server::Running,
         {50000, "226"},
         "anonimous",
         "x",
         "out",
         true,
         true,
         {connected, "Загрузка  файла.", "Файл не найден."},
         1},
        {"download cut with the control connection",
         FtpDirection::Fetch,
         Server::Running,
         {70000, "kill"},
         "anonimous",
         "x",
         "",
         true,
         false,
         {connected, "Загрузка  файла.", "Файл не найден."},
         1},
        {"login carrying a second command",
         FtpDirection::Fetch,
         Server::Running,
         {},
         "anonimous\r\nDELE ToPDA.sqd",
         "x",
         "",
         true,
         true,
         {"Не удалось соединиться с сервером."},
         0},
        {"folder carrying a second command",
         FtpDirection::Send,
         Server::Running,
         {},
         "anonimous",
         "x",
         "in\r\nDELE x",
         false,
         true,
         {"Сменить путь не удалось.", "Сбой связи."},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FtpTestServer server(c.serverOptions);
        const std::uint16_t port = c.server == Server::Running ? server.port() : UnusedLocalPort();
        const bool sending = c.direction == FtpDirection::Send;
        const std::string name = sending ? "PDATo1C.xml" : "ToPDA.sqd";
        if (c.ftpPath.rfind("missing", 0) != 0 && c.ftpPath.find('\r') == std::string::npos) {
            fs::create_directories(server.root() / c.ftpPath);
        }
        const std::string remoteContent = binaryContent(200000, 7);
        if (c.remoteFileExists) writeFile(server.root() / c.ftpPath / name, remoteContent);
        TempDir local;
        const fs::path exchange = local / "exchange";
        fs::create_directories(exchange);
        const std::string localContent = "the file that was here before";
        if (c.localFileExists) writeFile(exchange / name, localContent);

        RecordingScreen screen;
        EXPECT_FALSE(transfer(screen, c.direction,
                              connectionTo(port, c.login, c.password, c.ftpPath), exchange / name));

        if (c.login.find('\r') == std::string::npos) {  // that one has its own test below
            const auto header = headerLines(port, c.login, MaskedPassword(c.password));
            auto expected = header;
            for (const auto& line : c.lines) {
                if (line == again)
                    expected.insert(expected.end(), header.begin(), header.end());
                else
                    expected.push_back(line);
            }
            EXPECT_EQ(screen.log, expected);
        } else {
            ASSERT_GE(screen.log.size(), 2u);
            EXPECT_EQ(std::vector<std::string>(screen.log.begin() + 2, screen.log.end()), c.lines);
        }

        // Nothing half-written on either side.
        EXPECT_EQ(filesIn(exchange),
                  c.localFileExists ? std::vector<std::string>{name} : std::vector<std::string>{});
        if (c.localFileExists) {
            EXPECT_EQ(readFile(exchange / name), localContent);
        }
        if (sending) {
            EXPECT_FALSE(fs::exists(server.root() / name));
            EXPECT_FALSE(fs::exists(server.root() / "x"));
        } else if (c.remoteFileExists) {
            EXPECT_EQ(readFile(server.root() / c.ftpPath / name), remoteContent);
        }

        server.waitUntilIdle();
        EXPECT_EQ(server.sessions(), c.sessions);
        EXPECT_LE(countPrefix(server.commands(), "CWD"), 1);
        if (c.serverOptions.dropAfter >= 0) {
            const auto log = server.log();
            EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) {
                return l.find(" DROP ") != std::string::npos;
            })) << "the server never cut the download";
        }
    }
}

// A host or a login holding line breaks or other control characters is shown as it is, on
// the log's one line, and never reaches a server.
TEST(FtpTransfer, ValuesWithLineBreaksStayOnTheirLogLine) {
    const std::uint16_t port = UnusedLocalPort();
    const std::string p = std::to_string(port);
    const struct {
        const char* name;
        std::string host;
        std::string login;
        std::vector<std::string> lines;
    } cases[] = {
        {"host with CR/LF",
         "127.0.0.1\r\nDELE x",
         "anonimous",
         {"Try connect to 127.0.0.1\\r\\nDELE x : " + p, "  (Username=anonimous; Password=*)",
          kNoConnection}},
        {"host with a bare LF and a tab",
         "ftp\n\texample",
         "anonimous",
         {"Try connect to ftp\\n\\texample : " + p, "  (Username=anonimous; Password=*)",
          kNoConnection}},
        {"login with CR/LF",
         "127.0.0.1",
         "anonimous\r\nDELE ToPDA.sqd",
         {"Try connect to 127.0.0.1 : " + p,
          "  (Username=anonimous\\r\\nDELE ToPDA.sqd; Password=*)", kNoConnection}},
        {"login with an escape character",
         "127.0.0.1",
         "a\x1b[2Jb",
         {"Try connect to 127.0.0.1 : " + p, "  (Username=a\\x1B[2Jb; Password=*)", kNoConnection}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir local;
        FtpConnection connection = connectionTo(port, c.login, "x");
        connection.host = c.host;
        RecordingScreen screen;
        EXPECT_FALSE(transfer(screen, FtpDirection::Fetch, connection, local / "ToPDA.sqd"));
        EXPECT_EQ(screen.log, c.lines);
    }
}

// Every step is logged the moment it happens: "Соединение установлено." before the transfer
// command has reached the server, the start of the transfer before its first byte, its end
// after the last; meanwhile the bar moves through the bytes of the file.
TEST(FtpTransfer, LogsEachStepWhenItHappens) {
    for (const FtpDirection direction : {FtpDirection::Fetch, FtpDirection::Send}) {
        const bool sending = direction == FtpDirection::Send;
        SCOPED_TRACE(sending ? "send" : "fetch");
        FtpTestServer::Options options;
        options.throttle = 128 * 1024;
        options.dataBuffer = 64 * 1024;  // the line is slow, not the server
        FtpTestServer server(options);
        fs::create_directories(server.root() / "box");
        TempDir local;
        const std::string name = sending ? "PDATo1C.xml" : "ToPDA.sqd";
        const std::string content = binaryContent(512 * 1024, 3);
        writeFile((sending ? local.path() : server.root() / "box") / name, content);

        struct Moment {
            std::string line;
            bool transferCommandSeen;  // by the server
            std::size_t barUpdates;
        };
        std::vector<Moment> moments;
        RecordingScreen screen;
        screen.onLine = [&](const std::string& line) {
            moments.push_back({line, serverLogged(server, sending ? "STOR " : "RETR "),
                               screen.bar.values.size()});
        };
        ASSERT_TRUE(transfer(screen, direction,
                             connectionTo(server.port(), "anonimous", "x", "box"), local / name));

        const std::string word = sending ? "Отправка" : "Загрузка ";
        ASSERT_EQ(screen.log,
                  (headerLines(server.port(), "anonimous", "*") +
                   std::vector<std::string>{kConnected, word + " файла.", word + " завершена."}));
        EXPECT_FALSE(moments[2].transferCommandSeen);
        EXPECT_EQ(moments[2].barUpdates, 0u);
        EXPECT_EQ(moments[3].barUpdates, 0u);
        EXPECT_TRUE(moments[4].transferCommandSeen);
        const auto& values = screen.bar.values;
        EXPECT_TRUE(
            std::any_of(values.begin(), values.end(),
                        [&](int v) { return v > 0 && v < static_cast<int>(content.size()); }))
            << "the bar never showed a part of the file: " << ::testing::PrintToString(values);
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
        EXPECT_EQ(values.back(), static_cast<int>(content.size()));
        EXPECT_EQ(readFile((sending ? server.root() / "box" : local.path()) / name), content);
    }
}

// A server that falls silent as `stall` says once 100 000 bytes have passed.
FtpTestServer::Options stallingAfter100k(const std::string& stall) {
    FtpTestServer::Options options;
    options.stall = stall;
    options.stallAfter = 100000;
    return options;
}

// The file `name` of a transfer in `direction` on the side it leaves from (an upload larger
// than the system's buffers can take in) and, for a download, the answer of yesterday in
// `local`; returns the file's content.
std::string placeTransferFile(const FtpTestServer& server, const TempDir& local,
                              FtpDirection direction, const std::string& name, unsigned seed) {
    const bool sending = direction == FtpDirection::Send;
    const std::string content = binaryContent(sending ? 16 << 20 : 300000, seed);
    writeFile((sending ? local.path() : server.root()) / name, content);
    if (!sending) writeFile(local / name, "the answer of yesterday");
    return content;
}

// A server that falls silent is given up: before the login after the connect timeout, later
// after the stall timeout of a transfer that moves nothing. The lines are the usual failure
// lines, and an earlier local file survives.
TEST(FtpTransfer, SilentServersAreGivenUpWithTheFailureLines) {
    using Lines = std::vector<std::string>;
    const Lines fetchFailed = {kConnected, "Загрузка  файла.", "Файл не найден."};
    const Lines sendFailed = {kConnected, "Отправка файла.", "Сбой связи."};
    const struct {
        const char* name;
        std::string stall;
        FtpDirection direction;
        bool secure;
        Lines lines;
    } cases[] = {
        {"no reply after the greeting", "greeting", FtpDirection::Fetch, false, {kNoConnection}},
        {"no reply to AUTH TLS", "greeting", FtpDirection::Send, true, {kNoConnection}},
        {"no reply to RETR", "pasv", FtpDirection::Fetch, false, fetchFailed},
        {"no reply to STOR", "pasv", FtpDirection::Send, false, sendFailed},
        {"download stops half-way", "data", FtpDirection::Fetch, false, fetchFailed},
        {"upload stops half-way", "data", FtpDirection::Send, false, sendFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FtpTestServer server(stallingAfter100k(c.stall));
        const bool sending = c.direction == FtpDirection::Send;
        const std::string name = sending ? "PDATo1C.xml" : "ToPDA.sqd";
        TempDir local;
        placeTransferFile(server, local, c.direction, name, 5);

        RecordingScreen screen;
        FtpConnection connection = connectionTo(server.port(), "anonimous", "x");
        connection.secure = c.secure;
        connection.timeouts.connect = std::chrono::milliseconds(700);
        connection.timeouts.stall = std::chrono::milliseconds(700);
        EXPECT_FALSE(transfer(screen, c.direction, connection, local / name));

        EXPECT_EQ(screen.log, headerLines(server.port(), "anonimous", "*") + c.lines);
        EXPECT_EQ(filesIn(local.path()), std::vector<std::string>{name});
        if (!sending) {
            EXPECT_EQ(readFile(local / name), "the answer of yesterday");
        }
        if (c.stall == "data") {
            EXPECT_TRUE(serverLogged(server, "STALL ")) << "the server never stalled";
        }
    }
}

// " Прервать " or Ctrl+C (here: the loop's cancel from another thread, as the signal handler
// calls it) ends the transfer at once in every phase with "Прервано.", closes the connection
// and leaves the local side as it was before. A cancel that came before the transfer started
// stops it as soon as it starts.
TEST(FtpTransfer, CancelStopsAtOnceAndLeavesNothingHalfWritten) {
    using Lines = std::vector<std::string>;
    const struct {
        const char* name;
        std::string stall;
        FtpDirection direction;
        std::string when;  // cancel once the server logged this; empty: before the start
        Lines lines;
    } cases[] = {
        {"before the start", "none", FtpDirection::Fetch, "", {kCancelled}},
        {"while logging in", "greeting", FtpDirection::Fetch, "USER ", {kCancelled}},
        {"waiting for the download",
         "pasv",
         FtpDirection::Fetch,
         "RETR ",
         {kConnected, "Загрузка  файла.", kCancelled}},
        {"waiting for the upload",
         "pasv",
         FtpDirection::Send,
         "STOR ",
         {kConnected, "Отправка файла.", kCancelled}},
        {"in the middle of the download",
         "data",
         FtpDirection::Fetch,
         "STALL ",
         {kConnected, "Загрузка  файла.", kCancelled}},
        {"in the middle of the upload",
         "data",
         FtpDirection::Send,
         "STALL ",
         {kConnected, "Отправка файла.", kCancelled}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FtpTestServer server(stallingAfter100k(c.stall));
        const bool sending = c.direction == FtpDirection::Send;
        const std::string name = sending ? "PDATo1C.xml" : "ToPDA.sqd";
        TempDir local;
        const std::string content = placeTransferFile(server, local, c.direction, name, 9);

        RecordingScreen screen;
        PollTransferLoop loop;
        bool result = true;
        if (c.when.empty()) {
            loop.cancel();
            result =
                FtpTransfer(screen, loop, c.direction,
                            connectionTo(server.port(), "anonimous", "x"), (local / name).string());
        } else {
            CancelWhen cancel(loop, [&] { return serverLogged(server, c.when); });
            result =
                FtpTransfer(screen, loop, c.direction,
                            connectionTo(server.port(), "anonimous", "x"), (local / name).string());
            EXPECT_TRUE(cancel.fired());
        }
        EXPECT_FALSE(result);
        EXPECT_EQ(screen.log, headerLines(server.port(), "anonimous", "*") + c.lines);
        EXPECT_EQ(filesIn(local.path()), std::vector<std::string>{name});
        EXPECT_EQ(readFile(local / name), sending ? content : "the answer of yesterday");
        server.waitUntilIdle();
        EXPECT_LE(server.sessions(), 1);
    }
}

// A download writes into one temporary file of a fixed name beside the answer; what a crash
// left under that name is removed by the next fetch, whether it succeeds or not.
TEST(FtpTransfer, DownloadKeepsOneTemporaryFileThatTheNextFetchRemoves) {
    const std::string remote = binaryContent(200000, 11);
    {
        SCOPED_TRACE("during a download");
        FtpTestServer::Options options;
        options.stall = "data";
        options.stallAfter = 70000;
        FtpTestServer server(options);
        writeFile(server.root() / "ToPDA.sqd", remote);
        TempDir local;
        writeFile(local / "ToPDA.sqd", "earlier");
        writeFile(local / "ToPDA.sqd.part", "left by a crash");
        std::vector<std::string> during;
        std::string partial;
        RecordingScreen screen;
        PollTransferLoop loop;
        {
            CancelWhen cancel(loop, [&] {
                std::error_code ec;
                if (!serverLogged(server, "STALL ") ||
                    fs::file_size(local / "ToPDA.sqd.part", ec) < 4096 || ec) {
                    return false;
                }
                during = filesIn(local.path());
                partial = readFile(local / "ToPDA.sqd.part");
                return true;
            });
            EXPECT_FALSE(FtpTransfer(screen, loop, FtpDirection::Fetch,
                                     connectionTo(server.port(), "anonimous", "x"),
                                     (local / "ToPDA.sqd").string()));
        }
        EXPECT_EQ(during, (std::vector<std::string>{"ToPDA.sqd", "ToPDA.sqd.part"}));
        EXPECT_EQ(partial, remote.substr(0, partial.size()));
        EXPECT_EQ(filesIn(local.path()), std::vector<std::string>{"ToPDA.sqd"});
        EXPECT_EQ(readFile(local / "ToPDA.sqd"), "earlier");
    }
    for (const bool remoteExists : {true, false}) {
        SCOPED_TRACE(remoteExists ? "the next fetch works" : "the next fetch fails");
        FtpTestServer server;
        if (remoteExists) writeFile(server.root() / "ToPDA.zip", remote);
        TempDir local;
        writeFile(local / "ToPDA.zip.part", "left by a crash");
        RecordingScreen screen;
        EXPECT_EQ(transfer(screen, FtpDirection::Fetch,
                           connectionTo(server.port(), "anonimous", "x"), local / "ToPDA.zip"),
                  remoteExists);
        EXPECT_EQ(filesIn(local.path()), remoteExists ? std::vector<std::string>{"ToPDA.zip"}
                                                      : std::vector<std::string>{});
    }
}

// Without FTPAuth the device logs in as "anonimous"; a standard anonymous server refuses that
// name with 530, and the device then tries once more as "anonymous" with the same password,
// logging the second attempt. Nothing else is retried.
TEST(FtpTransfer, AnonymousLoginFallsBackToTheStandardName) {
    const struct {
        const char* name;
        bool standardServer;
        std::string login;
        std::string password;
        bool fallback;  // FTPAuth off
        bool ok;
        std::vector<std::string> logins;  // the USER commands the server got, in order
    } cases[] = {
        {"standard server",
         true,
         "anonimous",
         kAnonymousPassword,
         true,
         true,
         {"anonimous", "anonymous"}},
        {"office server", false, "anonimous", kAnonymousPassword, true, true, {"anonimous"}},
        {"with FTPAuth nothing changes",
         true,
         "anonimous",
         kAnonymousPassword,
         false,
         false,
         {"anonimous"}},
        {"a wrong password is not retried", false, "agent", "wrong", true, false, {"agent"}},
    };
    const std::string stars = MaskedPassword(kAnonymousPassword);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FtpTestServer::Options options;
        options.standardAnonymous = c.standardServer;
        FtpTestServer server(options);
        writeFile(server.root() / "ToPDA.sqd", "answer");
        TempDir local;
        RecordingScreen screen;
        FtpConnection connection = connectionTo(server.port(), c.login, c.password);
        connection.anonymousFallback = c.fallback;
        EXPECT_EQ(transfer(screen, FtpDirection::Fetch, connection, local / "ToPDA.sqd"), c.ok);

        std::vector<std::string> expected;
        for (const auto& login : c.logins) {
            expected = expected + headerLines(server.port(), login, MaskedPassword(c.password));
        }
        expected = expected + (c.ok ? std::vector<std::string>{kConnected, "Загрузка  файла.",
                                                               "Загрузка  завершена."}
                                    : std::vector<std::string>{kNoConnection});
        EXPECT_EQ(screen.log, expected);
        std::vector<std::string> users;
        for (const auto& command : server.commands()) {
            if (command.rfind("USER ", 0) == 0) users.push_back(command.substr(5));
        }
        EXPECT_EQ(users, c.logins);
        EXPECT_EQ(server.sessions(), static_cast<int>(c.logins.size()));
        if (c.ok) {
            EXPECT_EQ(readFile(local / "ToPDA.sqd"), "answer");
        }
    }
}

// FTPSecure: explicit TLS on both connections, the server's certificate checked against the
// authorities or its key against FTPCertPin. Every refusal happens before the login (no
// USER or PASS ever reaches the server in clear) and is logged with its reason.
TEST(FtpTransfer, SecureConnectionsCheckTheServerAndNeverFallBackToPlainFtp) {
    TestCertificates certs;
    enum class Server { Plain, SelfSigned, Signed };
    const std::string untrusted = "Сертификат сервера не является доверенным.";
    const struct {
        const char* name;
        Server server;
        bool secure;
        std::string pin;
        bool ownAuthority;  // trust the test's authority instead of the system's
        FtpDirection direction;
        std::vector<std::string> lines;  // after the two connection lines; empty: success
    } cases[] = {
        {"self-signed, pinned",
         Server::SelfSigned,
         true,
         certs.selfSignedPin(),
         false,
         FtpDirection::Fetch,
         {}},
        {"self-signed, one of several pins",
         Server::SelfSigned,
         true,
         certs.otherPin() + " ; " + certs.selfSignedPin(),
         false,
         FtpDirection::Send,
         {}},
        {"signed by a trusted authority", Server::Signed, true, "", true, FtpDirection::Fetch, {}},
        {"self-signed, not pinned",
         Server::SelfSigned,
         true,
         "",
         false,
         FtpDirection::Fetch,
         {kNoConnection, untrusted}},
        {"authority unknown to the system",
         Server::Signed,
         true,
         "",
         false,
         FtpDirection::Send,
         {kNoConnection, untrusted}},
        {"pin of another key",
         Server::SelfSigned,
         true,
         certs.otherPin(),
         false,
         FtpDirection::Fetch,
         {kNoConnection, "Ключ сервера не совпадает с FTPCertPin."}},
        {"server without TLS",
         Server::Plain,
         true,
         "",
         false,
         FtpDirection::Send,
         {kNoConnection, "Сервер не поддерживает шифрование (TLS)."}},
        {"not a pin",
         Server::SelfSigned,
         true,
         "/etc/passwd",
         false,
         FtpDirection::Fetch,
         {kNoConnection, "Неверное значение FTPCertPin."}},
        {"plain FTP to a server that requires TLS",
         Server::SelfSigned,
         false,
         "",
         false,
         FtpDirection::Fetch,
         {kNoConnection}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FtpTestServer::Options options;
        if (c.server == Server::SelfSigned) {
            options.tlsCert = certs.selfSignedCert();
            options.tlsKey = certs.selfSignedKey();
        } else if (c.server == Server::Signed) {
            options.tlsCert = certs.signedCert();
            options.tlsKey = certs.signedKey();
        }
        FtpTestServer server(options);
        const bool sending = c.direction == FtpDirection::Send;
        const std::string name = sending ? "PDATo1C.zip" : "ToPDA.zip";
        const std::string content = binaryContent(150000, 13);
        TempDir local;
        writeFile((sending ? local.path() : server.root()) / name, content);

        RecordingScreen screen;
        FtpConnection connection =
            connectionTo(server.port(), "agent", FtpTestServer::kAgentPassword);
        connection.secure = c.secure;
        connection.certPin = c.pin;
        if (c.ownAuthority) connection.caFile = certs.caFile();
        const bool ok = c.lines.empty();
        EXPECT_EQ(transfer(screen, c.direction, connection, local / name), ok);

        const std::string word = sending ? "Отправка" : "Загрузка ";
        const auto header = headerLines(server.port(), "agent", "**************");
        EXPECT_EQ(screen.log, header + (ok ? std::vector<std::string>{kConnected, word + " файла.",
                                                                      word + " завершена."}
                                           : c.lines));
        server.waitUntilIdle();
        const auto commands = server.commands();
        if (ok) {
            EXPECT_EQ(readFile((sending ? server.root() : local.path()) / name), content);
            ASSERT_FALSE(commands.empty());
            EXPECT_EQ(commands.front(), "AUTH TLS");
            const long pbsz = indexOf(commands, "PBSZ 0");
            const long prot = indexOf(commands, "PROT P");
            EXPECT_TRUE(pbsz > 0 && prot > pbsz && prot < indexOf(commands, "PASV"));
        } else if (c.secure) {
            EXPECT_EQ(countPrefix(commands, "USER") + countPrefix(commands, "PASS"), 0);
            EXPECT_EQ(filesIn(local.path()),
                      sending ? std::vector<std::string>{name} : std::vector<std::string>{});
        }
    }
}

}  // namespace
}  // namespace velmorant::test
