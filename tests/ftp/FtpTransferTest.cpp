#include "exchange/FtpTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "FtpTestServer.h"
#include "ScreenRecorder.h"
#include "exchange/AppOptions.h"

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

        ScreenRecorder screen;
        screen.settings.FTPPath = c.ftpPath;
        const std::string login = c.auth ? "agent" : kAnonymousLogin;
        const std::string password = c.auth ? FtpTestServer::kAgentPassword : kAnonymousPassword;
        ASSERT_TRUE(FtpTransfer(screen, c.direction, "127.0.0.1", server.port(), login, password,
                                (exchange / c.fileName).string()));

        const std::string word = sending ? "Отправка" : "Загрузка ";
        auto expected = headerLines(server.port(), login, MaskedPassword(password));
        expected.insert(expected.end(),
                        {"Соединение установлено.", word + " файла.", word + " завершена."});
        EXPECT_EQ(screen.lines, expected);

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
        const long transfer = indexOf(commands, (sending ? "STOR " : "RETR ") + c.fileName);
        ASSERT_GE(transfer, 0);
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
         {connected, "Отправка файла.", "Сбой связи."},
         1},
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

        ScreenRecorder screen;
        screen.settings.FTPPath = c.ftpPath;
        EXPECT_FALSE(FtpTransfer(screen, c.direction, "127.0.0.1", port, c.login, c.password,
                                 (exchange / name).string()));

        auto expected = headerLines(port, c.login, MaskedPassword(c.password));
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(screen.lines, expected);

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

}  // namespace
}  // namespace velmorant::test
