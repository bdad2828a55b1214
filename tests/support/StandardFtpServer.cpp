#include "support/StandardFtpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/FtpTestServer.h"

namespace velmorant::test {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUnpacked = "/opt/velmorant-ftp-servers/";
// The user and group the servers started as root hand their sessions to.
constexpr int kNobody = 65534;

// The first of the places where a package's file may be.
std::string installed(const std::string& package, const std::string& path) {
    if (fs::exists(path)) return path;
    const std::string unpacked = kUnpacked + package + path;
    return fs::exists(unpacked) ? unpacked : std::string();
}

std::string vsftpdBinary() { return installed("vsftpd", "/usr/sbin/vsftpd"); }
std::string proftpdBinary() { return installed("proftpd", "/usr/sbin/proftpd"); }
std::string proftpdModules() { return installed("proftpd", "/usr/lib/proftpd/mod_tls.so"); }
std::string pureFtpdBinary() { return installed("pure-ftpd", "/usr/sbin/pure-ftpd"); }
std::string purePwBinary() { return installed("pure-ftpd", "/usr/bin/pure-pw"); }

// A password as crypt(3) stores it (SHA-512).
std::string passwordHash(const std::string& password) {
    const auto r = runCommand("openssl passwd -6 '" + password + "'");
    if (r.exitCode != 0 || r.out.empty()) throw std::runtime_error("openssl passwd: " + r.err);
    std::string hash = r.out;
    while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) hash.pop_back();
    return hash;
}

bool accepts(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

}  // namespace

const char* NameOf(FtpServerKind kind) {
    switch (kind) {
        case FtpServerKind::Vsftpd:
            return "vsftpd";
        case FtpServerKind::Proftpd:
            return "proftpd";
        case FtpServerKind::PureFtpd:
            return "pure-ftpd";
    }
    return "?";
}

std::string StandardFtpServer::Unavailable(FtpServerKind kind) {
    const std::string hint = " (tools/install-deps.sh test installs it)";
    switch (kind) {
        case FtpServerKind::Vsftpd:
            if (vsftpdBinary().empty()) return "vsftpd is not installed" + hint;
            break;
        case FtpServerKind::Proftpd:
            if (proftpdBinary().empty() || proftpdModules().empty())
                return "proftpd with mod_tls is not installed" + hint;
            break;
        case FtpServerKind::PureFtpd:
            if (pureFtpdBinary().empty() || purePwBinary().empty())
                return "pure-ftpd is not installed" + hint;
            break;
    }
    // vsftpd runs as the user who starts it; the others hand sessions to their users.
    if (kind != FtpServerKind::Vsftpd && ::geteuid() != 0) {
        return std::string(NameOf(kind)) + " switches to its users' ids and needs root";
    }
    return {};
}

StandardFtpServer::StandardFtpServer(FtpServerKind kind, const std::string& certFile,
                                     const std::string& keyFile)
    : m_kind(kind) {
    const std::string why = Unavailable(kind);
    if (!why.empty()) throw std::runtime_error(why);
    // The sessions run as nobody: they must reach and write the served folder.
    fs::permissions(m_dir.path(), fs::perms::owner_all | fs::perms::group_exec |
                                      fs::perms::group_read | fs::perms::others_exec |
                                      fs::perms::others_read);
    fs::create_directories(root());
    fs::permissions(root(), fs::perms::all);
    m_port = UnusedLocalPort();
    switch (kind) {
        case FtpServerKind::Vsftpd:
            writeVsftpd(certFile, keyFile);
            break;
        case FtpServerKind::Proftpd:
            writeProftpd(certFile, keyFile);
            break;
        case FtpServerKind::PureFtpd:
            writePureFtpd(certFile, keyFile);
            break;
    }
    const std::string logPath = (m_dir.path() / "output.log").string();
    m_pid = ::fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        ::setpgid(0, 0);  // the server and its sessions end together (see the destructor)
        const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        std::vector<char*> argv;
        for (auto& a : m_args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::setpgid(m_pid, m_pid);
    waitUntilListening();
}

StandardFtpServer::~StandardFtpServer() {
    if (m_pid <= 0) return;
    ::kill(-m_pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (i == 99) {
            ::kill(-m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ::kill(-m_pid, SIGKILL);  // sessions left behind
}

std::string StandardFtpServer::log() const {
    std::string text;
    for (const char* name : {"output.log", "server.log", "tls.log"}) {
        if (fs::exists(m_dir.path() / name)) text += readFile(m_dir.path() / name);
    }
    return text;
}

void StandardFtpServer::waitUntilListening() {
    for (int i = 0; i < 500; ++i) {
        if (accepts(m_port)) return;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error(std::string(NameOf(m_kind)) + " ended: " + log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error(std::string(NameOf(m_kind)) + " does not listen: " + log());
}

void StandardFtpServer::writeVsftpd(const std::string& cert, const std::string& key) {
    const fs::path empty = m_dir.path() / "empty";
    fs::create_directories(empty);
    const fs::path conf = m_dir.path() / "vsftpd.conf";
    const passwd* self = ::getpwuid(::geteuid());
    if (!self) throw std::runtime_error("vsftpd: no name for the current user");
    // Sessions stay with the user who started the server: no chroot, no system users.
    writeFile(conf, "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(m_port) +
                        "\nbackground=NO\nrun_as_launching_user=YES\n"
                        "anonymous_enable=YES\nno_anon_password=YES\nftp_username=" +
                        self->pw_name + "\nanon_root=" + root().string() +
                        "\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                        "anon_other_write_enable=YES\nanon_umask=022\nwrite_enable=YES\n"
                        "local_enable=NO\nsecure_chroot_dir=" +
                        empty.string() +
                        "\npasv_enable=YES\nssl_enable=YES\nallow_anon_ssl=YES\n"
                        "force_anon_logins_ssl=NO\nforce_anon_data_ssl=NO\nrsa_cert_file=" +
                        cert + "\nrsa_private_key_file=" + key +
                        "\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                        "xferlog_enable=YES\nvsftpd_log_file=" +
                        (m_dir.path() / "server.log").string() + "\ndual_log_enable=NO\n");
    m_args = {vsftpdBinary(), conf.string()};
}

void StandardFtpServer::writeProftpd(const std::string& cert, const std::string& key) {
    const std::string d = m_dir.str() + "/";
    const std::string nobody = std::to_string(kNobody);
    writeFile(m_dir.path() / "passwd", "agent:" + passwordHash(kAgentPassword) + ":" + nobody +
                                           ":" + nobody + "::" + root().string() + ":/bin/sh\n");
    fs::permissions(m_dir.path() / "passwd", fs::perms::owner_read | fs::perms::owner_write);
    writeFile(m_dir.path() / "group", "nogroup:x:" + nobody + ":\n");
    const std::string modules = fs::path(proftpdModules()).parent_path().string();
    writeFile(m_dir.path() / "proftpd.conf",
              "ServerType standalone\nServerName \"test\"\nPort " + std::to_string(m_port) +
                  "\nDefaultAddress 127.0.0.1\nSocketBindTight on\nUseIPv6 off\n"
                  "User nobody\nGroup nogroup\nPidFile " +
                  d + "proftpd.pid\nScoreboardFile " + d +
                  "proftpd.scoreboard\nDelayEngine off\nWtmpLog off\nTransferLog none\n"
                  "SystemLog " +
                  d + "server.log\nAuthOrder mod_auth_file.c mod_auth_unix.c\nAuthUserFile " + d +
                  "passwd\nAuthGroupFile " + d +
                  "group\nRequireValidShell off\nAllowOverwrite on\nUseReverseDNS off\n"
                  "ModulePath " +
                  modules +
                  "\nLoadModule mod_tls.c\nTLSEngine on\nTLSProtocol TLSv1.2 TLSv1.3\n"
                  "TLSRSACertificateFile " +
                  cert + "\nTLSRSACertificateKeyFile " + key + "\nTLSECCertificateFile " + cert +
                  "\nTLSECCertificateKeyFile " + key +
                  "\nTLSRequired off\nTLSVerifyClient off\nTLSLog " + d + "tls.log\n<Anonymous " +
                  root().string() +
                  ">\n  User nobody\n  Group nogroup\n  UserAlias anonymous nobody\n"
                  "  RequireValidShell off\n  AllowOverwrite on\n</Anonymous>\n");
    m_args = {proftpdBinary(), "-n", "-q", "-c", d + "proftpd.conf"};
}

void StandardFtpServer::writePureFtpd(const std::string& cert, const std::string& key) {
    const std::string d = m_dir.str() + "/";
    const std::string nobody = std::to_string(kNobody);
    // Virtual users in pure-ftpd's own database; "/./" keeps the agent inside its home.
    writeFile(m_dir.path() / "users", "agent:" + passwordHash(kAgentPassword) + ":" + nobody + ":" +
                                          nobody + "::" + root().string() + "/./::::::::::::\n");
    const auto made =
        runCommand("'" + purePwBinary() + "' mkdb '" + d + "users.pdb' -f '" + d + "users'");
    if (made.exitCode != 0) throw std::runtime_error("pure-pw mkdb: " + made.err);
    // Key and certificate in one file, as pure-ftpd reads them.
    writeFile(m_dir.path() / "tls.pem", readFile(key) + readFile(cert));
    m_args = {pureFtpdBinary(),
              "-S",
              "127.0.0.1," + std::to_string(m_port),
              "-l",
              "puredb:" + d + "users.pdb",
              "-E",  // no anonymous logins: they need a system user "ftp"
              "-H",
              "-Y",
              "1",  // TLS when the client asks for it
              "-2",
              d + "tls.pem",
              "-g",
              d + "pure-ftpd.pid"};
}

}  // namespace velmorant::test
