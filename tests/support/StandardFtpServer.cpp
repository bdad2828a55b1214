#include "support/StandardFtpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "support/FtpTestServer.h"

namespace velmorant::test {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUnpacked = "/opt/velmorant-ftp-servers/";
// The user and group the servers started as root hand their sessions to ("nobody", and
// "ftp" for the anonymous sessions).
constexpr int kNobody = 65534;
// vsftpd's sessions of "agent": another user than the anonymous one (see writeVsftpd).
constexpr int kVsftpdAgent = 65533;
constexpr const char* kPamService = "velmorant-ftp";

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

// A library the build found (tests/CMakeLists.txt), when it is still there.
std::string library(const char* found) {
    return found[0] != '\0' && fs::exists(found) ? found : std::string();
}
std::string nssWrapper() { return library(VELMORANT_NSS_WRAPPER); }
std::string pamWrapper() { return library(VELMORANT_PAM_WRAPPER); }
// The module of libpam-wrapper that checks a login against a file of its own.
std::string pamMatrix() {
    const std::string wrapper = pamWrapper();
    if (wrapper.empty()) return {};
    const fs::path module = fs::path(wrapper).parent_path() / "pam_wrapper" / "pam_matrix.so";
    return fs::exists(module) ? module.string() : std::string();
}

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
    if (kind != FtpServerKind::Proftpd && nssWrapper().empty())
        return "libnss-wrapper is not installed" + hint;
    if (kind == FtpServerKind::Vsftpd && pamMatrix().empty())
        return "libpam-wrapper is not installed" + hint;
    if (::geteuid() != 0)
        return std::string(NameOf(kind)) + " switches to its users' ids and needs root";
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
    std::vector<char*> argv;
    for (auto& a : m_args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> environment;
    for (auto& e : m_environment) environment.push_back(e.data());
    for (char** e = environ; *e; ++e) {
        const std::string_view variable(*e);
        const auto named = [&](const std::string& own) {
            return variable.substr(0, variable.find('=')) == own.substr(0, own.find('='));
        };
        if (std::none_of(m_environment.begin(), m_environment.end(), named))
            environment.push_back(*e);
    }
    environment.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        ::setpgid(0, 0);  // the server and its sessions end together (see the destructor)
        const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::execve(argv[0], argv.data(), environment.data());
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
    removePamCopies();
}

// libpam-wrapper copies the service folder into /tmp/pam.? for each process that logs in;
// a session ended by a signal leaves its copy there (the library removes such copies only
// when it needs their names).
void StandardFtpServer::removePamCopies() const {
    if (m_kind != FtpServerKind::Vsftpd) return;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/tmp", ec)) {
        const fs::path service = entry.path() / kPamService;
        if (entry.path().filename().string().rfind("pam.", 0) != 0 || !fs::exists(service, ec))
            continue;
        if (readFile(service).find(m_dir.str() + "/") != std::string::npos)
            fs::remove_all(entry.path(), ec);
    }
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

// The users the server looks up, for libnss-wrapper: "ftp" is the anonymous user of vsftpd
// and pure-ftpd, its home their anonymous root; "ftpagent" is vsftpd's "agent".
void StandardFtpServer::writeSystemUsers() {
    const std::string nobody = std::to_string(kNobody);
    const std::string home = root().string();
    writeFile(m_dir.path() / "passwd",
              "root:x:0:0:root:/root:/bin/sh\nnobody:x:" + nobody + ":" + nobody +
                  ":nobody:/nonexistent:/usr/sbin/nologin\nftp:x:" + nobody + ":" + nobody +
                  ":anonymous:" + home +
                  ":/usr/sbin/nologin\nftpagent:x:" + std::to_string(kVsftpdAgent) + ":" + nobody +
                  ":agent:" + home + ":/usr/sbin/nologin\n");
    writeFile(m_dir.path() / "group", "root:x:0:\nnogroup:x:" + nobody + ":\n");
    m_environment.push_back("NSS_WRAPPER_PASSWD=" + (m_dir.path() / "passwd").string());
    m_environment.push_back("NSS_WRAPPER_GROUP=" + (m_dir.path() / "group").string());
}

void StandardFtpServer::writeVsftpd(const std::string& cert, const std::string& key) {
    const std::string d = m_dir.str() + "/";
    fs::create_directories(m_dir.path() / "empty");
    writeSystemUsers();
    // vsftpd serves an anonymous root only when the anonymous user cannot write it, so the
    // agents' sessions run as a user of their own who owns root(); the folders under it are
    // everyone's (makeSharedFolder in the tests).
    if (::chown(root().c_str(), kVsftpdAgent, kNobody) != 0)
        throw std::runtime_error("vsftpd: cannot hand the served folder to its agent");
    fs::permissions(root(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    // The login: PAM as libpam-wrapper reads it from the folder given instead of /etc/pam.d,
    // where pam_matrix checks "agent" against the file passdb.
    const fs::path pam = m_dir.path() / "pam";
    fs::create_directories(pam);
    writeFile(m_dir.path() / "passdb",
              std::string("agent:") + kAgentPassword + ":" + kPamService + "\n");
    const std::string matrix = pamMatrix() + " passdb=" + d + "passdb\n";
    writeFile(pam / kPamService, "auth required " + matrix + "account required " + matrix);
    // Without a service "other" the library complains on stderr, which is the session's socket.
    writeFile(pam / "other", "auth required pam_deny.so\naccount required pam_deny.so\n");
    m_environment.push_back("LD_PRELOAD=" + nssWrapper() + ":" + pamWrapper());
    m_environment.push_back("PAM_WRAPPER=1");
    m_environment.push_back("PAM_WRAPPER_SERVICE_DIR=" + pam.string());

    const fs::path conf = m_dir.path() / "vsftpd.conf";
    writeFile(conf, "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(m_port) +
                        "\nbackground=NO\n"
                        "anonymous_enable=YES\nno_anon_password=YES\nftp_username=ftp\nanon_root=" +
                        root().string() +
                        "\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                        "anon_other_write_enable=YES\nanon_umask=022\nwrite_enable=YES\n"
                        "local_enable=YES\nguest_enable=YES\nguest_username=ftpagent\n"
                        "virtual_use_local_privs=YES\nlocal_root=" +
                        root().string() +
                        "\nlocal_umask=022\nchroot_local_user=YES\nallow_writeable_chroot=YES\n"
                        "pam_service_name=" +
                        kPamService + "\nsecure_chroot_dir=" + d +
                        "empty\npasv_enable=YES\nssl_enable=YES\nallow_anon_ssl=YES\n"
                        "force_anon_logins_ssl=NO\nforce_anon_data_ssl=NO\n"
                        "force_local_logins_ssl=NO\nforce_local_data_ssl=NO\nrsa_cert_file=" +
                        cert + "\nrsa_private_key_file=" + key +
                        "\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                        "xferlog_enable=YES\nvsftpd_log_file=" +
                        d + "server.log\ndual_log_enable=NO\n");
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
    // Anonymous sessions run as "ftp" in its home.
    writeSystemUsers();
    m_environment.push_back("LD_PRELOAD=" + nssWrapper());
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
              "-H",
              "-Y",
              "1",  // TLS when the client asks for it
              "-2",
              d + "tls.pem",
              "-g",
              d + "pure-ftpd.pid"};
}

}  // namespace velmorant::test
