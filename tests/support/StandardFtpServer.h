#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/TestSupport.h"

namespace velmorant::test {

// The FTP servers that offices run, from Debian's packages.
enum class FtpServerKind { Vsftpd, Proftpd, PureFtpd };

const char* NameOf(FtpServerKind kind);

// One of them on 127.0.0.1 and a free port, started for one test with a configuration the
// fixture writes into its own temporary folder, and stopped with it. Plain FTP and explicit
// TLS (AUTH TLS) on the same port with the certificate and key given; passive mode.
//
// Everyone lands in root(): "anonymous" where the server can serve it without a system user
// of its own (vsftpd, proftpd), and the user "agent" with kAgentPassword where the server
// keeps users in a file of its own (proftpd, pure-ftpd).
//
// The binaries come from /usr/sbin, or from the packages' contents that
// tools/install-deps.sh unpacks under /opt/velmorant-ftp-servers (the three packages
// conflict with one another and cannot be installed together).
class StandardFtpServer {
public:
    static constexpr const char* kAgentPassword = "s3cr;et Пароль";

    // Why the server cannot run here; empty when it can.
    static std::string Unavailable(FtpServerKind kind);
    static bool HasAnonymous(FtpServerKind kind) { return kind != FtpServerKind::PureFtpd; }
    static bool HasAgent(FtpServerKind kind) { return kind != FtpServerKind::Vsftpd; }

    StandardFtpServer(FtpServerKind kind, const std::string& certFile, const std::string& keyFile);
    ~StandardFtpServer();
    StandardFtpServer(const StandardFtpServer&) = delete;
    StandardFtpServer& operator=(const StandardFtpServer&) = delete;

    std::uint16_t port() const { return m_port; }
    std::filesystem::path root() const { return m_dir.path() / "root"; }
    // The server's own log, for the message of a failing test.
    std::string log() const;

private:
    void writeVsftpd(const std::string& cert, const std::string& key);
    void writeProftpd(const std::string& cert, const std::string& key);
    void writePureFtpd(const std::string& cert, const std::string& key);
    void waitUntilListening();

    FtpServerKind m_kind;
    TempDir m_dir;
    std::uint16_t m_port = 0;
    std::vector<std::string> m_args;
    pid_t m_pid = -1;
};

}  // namespace velmorant::test
