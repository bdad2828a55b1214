#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace velmorant::test {

// A real FTP server (pyftpdlib under /usr/bin/python3) on 127.0.0.1 and a free port, serving
// its own temporary folder, started for one test and stopped with it. The users are
// "anonimous" (any password), "agent" (kAgentPassword) and "reader" (read only); every
// command the server received is in its log.
class FtpTestServer {
public:
    static constexpr const char* kAgentPassword = "s3cr;et Пароль";

    struct Options {
        long dropAfter = -1;           // cut a download's data connection after this many bytes
        std::string dropMode = "426";  // "426", "226" (pretend success) or "kill"
    };

    FtpTestServer() : FtpTestServer(Options{}) {}
    explicit FtpTestServer(const Options& options);
    ~FtpTestServer();
    FtpTestServer(const FtpTestServer&) = delete;
    FtpTestServer& operator=(const FtpTestServer&) = delete;

    std::uint16_t port() const { return m_port; }
    // The folder the server shows as "/".
    std::filesystem::path root() const { return m_dir.path() / "root"; }

    // The server's log: "<session> <command line>", "<session> CONNECT", "<session> CLOSE",
    // "<session> DROP <bytes>".
    std::vector<std::string> log() const;
    // The command lines the server received (log lines without their session numbers, and
    // without CONNECT/CLOSE), in order.
    std::vector<std::string> commands() const;
    // The number of connections the server accepted.
    int sessions() const;
    // Waits (at most a few seconds) until every accepted connection has been closed.
    void waitUntilIdle() const;

private:
    TempDir m_dir;
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
};

// A port on 127.0.0.1 on which nothing listens.
std::uint16_t UnusedLocalPort();

}  // namespace velmorant::test
