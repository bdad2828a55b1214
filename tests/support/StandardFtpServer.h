#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace velmorant::test {

// The FTP servers that offices run, from Debian's packages.
enum class FtpServerKind { Vsftpd, Proftpd, PureFtpd };

const char* NameOf(FtpServerKind kind);

// One of them on 127.0.0.1 and a free port, started for one test with a configuration the
// fixture writes into its own temporary folder, and stopped with it. Plain FTP and explicit
// TLS (AUTH TLS) on the same port with the certificate and key given; passive mode.
//
// Every server serves "anonymous" and the user "agent" with kAgentPassword, both landing in
// root(), as an office sets them up: the servers run as root and hand each session to an
// unprivileged user. The system users they look up ("ftp" and the others) and the login
// vsftpd checks through PAM come from files the fixture writes, read through Debian's
// libnss-wrapper and libpam-wrapper preloaded into the server alone, so nothing under /etc is
// needed or changed.
//
// The binaries come from /usr/sbin, or from the packages' contents that
// tools/install-deps.sh unpacks under /opt/velmorant-ftp-servers (the three packages
// conflict with one another and cannot be installed together).
class StandardFtpServer {
public:
    static constexpr const char* kAgentPassword = "s3cr;et Пароль";

    // Why the server cannot run here; empty when it can.
    static std::string Unavailable(FtpServerKind kind);
    // vsftpd refuses an anonymous session whose root it may write: anonymous agents write
    // only into folders under root().
    static bool AnonymousWritesRoot(FtpServerKind kind) { return kind != FtpServerKind::Vsftpd; }
    // pure-ftpd lets anonymous users neither rename nor overwrite a file.
    static bool AnonymousRenames(FtpServerKind kind) { return kind != FtpServerKind::PureFtpd; }

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
    void writeSystemUsers();
    void waitUntilListening();
    void removePamCopies() const;

    FtpServerKind m_kind;
    TempDir m_dir;
    std::uint16_t m_port = 0;
    std::vector<std::string> m_args;
    std::vector<std::string> m_environment;  // added to this process's for the server
    pid_t m_pid = -1;
};

}  // namespace velmorant::test
