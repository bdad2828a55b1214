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
// command the server received is in its log. ftp_test_server.py describes the options.
class FtpTestServer {
public:
    static constexpr const char* kAgentPassword = "s3cr;et Пароль";

    struct Options {
        long dropAfter = -1;           // cut a download's data connection after this many bytes
        std::string dropMode = "426";  // "426", "226" (pretend success) or "kill"
        std::string stall = "none";    // "greeting", "pasv" or "data" (after stallAfter bytes)
        long stallAfter = 0;
        long throttle = 0;    // bytes per second on data connections; 0: as fast as it goes
        long dataBuffer = 0;  // system buffer size of data connections; 0: the default
        // Refuse "anonimous" (530), accept "anonymous", as standard anonymous servers do.
        bool standardAnonymous = false;
        // Explicit TLS required on both connections, with this certificate and key (PEM).
        std::string tlsCert{};
        std::string tlsKey{};
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
    // pyftpdlib's own log of the session (commands and replies, the password masked).
    std::string debugLog() const;
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

// Certificates for TLS servers, made with the openssl command in a folder of their own: an
// authority, a server certificate for 127.0.0.1 that it signed, a self-signed one, and a
// second key that no server uses. Pins are in libcurl's form, "sha256//BASE64".
class TestCertificates {
public:
    TestCertificates();

    std::string caFile() const { return (m_dir / "ca.pem").string(); }
    std::string signedCert() const { return (m_dir / "signed.pem").string(); }
    std::string signedKey() const { return (m_dir / "signed.key").string(); }
    std::string selfSignedCert() const { return (m_dir / "self.pem").string(); }
    std::string selfSignedKey() const { return (m_dir / "self.key").string(); }
    // The pin of the self-signed certificate's key, and of the unused key.
    std::string selfSignedPin() const { return m_selfPin; }
    std::string otherPin() const { return m_otherPin; }

private:
    TempDir m_dir;
    std::string m_selfPin;
    std::string m_otherPin;
};

}  // namespace velmorant::test
