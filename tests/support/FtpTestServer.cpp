#include "support/FtpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/ChildProcess.h"

namespace velmorant::test {

namespace {

constexpr const char* kPython = "/usr/bin/python3";
const std::string kScript = std::string(VELMORANT_SOURCE_DIR) + "/tests/support/ftp_test_server.py";

// Reads one line from `fd`, waiting at most `timeout` in total.
std::string readLine(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return line;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return line;
        char c = 0;
        if (::read(fd, &c, 1) != 1) return line;
        if (c == '\n') return line;
        line += c;
    }
}

}  // namespace

FtpTestServer::FtpTestServer(const Options& options) {
    std::filesystem::create_directories(root());
    std::vector<std::string> args = {kPython,         kScript,
                                     "--root",        root().string(),
                                     "--log",         (m_dir / "server.log").string(),
                                     "--password",    kAgentPassword,
                                     "--drop-after",  std::to_string(options.dropAfter),
                                     "--drop-mode",   options.dropMode,
                                     "--stall",       options.stall,
                                     "--stall-after", std::to_string(options.stallAfter),
                                     "--throttle",    std::to_string(options.throttle),
                                     "--data-buffer", std::to_string(options.dataBuffer),
                                     "--debug-log",   (m_dir / "debug.log").string(),
                                     "--lifetime",    "300"};
    if (options.standardAnonymous) args.push_back("--standard-anonymous");
    if (!options.tlsCert.empty()) {
        args.insert(args.end(), {"--tls-cert", options.tlsCert, "--tls-key", options.tlsKey});
    }
    int out = -1;
    m_pid = SpawnWithStdout(kPython, std::move(args), out);
    const std::string line = readLine(out, std::chrono::seconds(20));
    ::close(out);
    if (line.rfind("PORT ", 0) != 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        throw std::runtime_error("the FTP test server did not start: '" + line + "'");
    }
    m_port = static_cast<std::uint16_t>(std::stoi(line.substr(5)));
}

FtpTestServer::~FtpTestServer() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
}

std::vector<std::string> FtpTestServer::log() const {
    std::vector<std::string> lines;
    std::istringstream in(readFile(m_dir / "server.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> FtpTestServer::commands() const {
    std::vector<std::string> out;
    for (const auto& line : log()) {
        const std::string text = line.substr(line.find(' ') + 1);
        if (text == "CONNECT" || text == "CLOSE" || text.rfind("DROP ", 0) == 0 ||
            text.rfind("STALL ", 0) == 0) {
            continue;
        }
        out.push_back(text);
    }
    return out;
}

std::string FtpTestServer::debugLog() const { return readFile(m_dir / "debug.log"); }

int FtpTestServer::sessions() const {
    int count = 0;
    for (const auto& line : log()) {
        if (line.size() > 8 && line.compare(line.size() - 8, 8, " CONNECT") == 0) ++count;
    }
    return count;
}

void FtpTestServer::waitUntilIdle() const {
    for (int i = 0; i < 250; ++i) {
        int open = 0;
        for (const auto& line : log()) {
            if (line.ends_with(" CONNECT")) ++open;
            if (line.ends_with(" CLOSE")) --open;
        }
        if (open <= 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::uint16_t UnusedLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("no free local port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace velmorant::test

namespace velmorant::test {

namespace {

void openssl(const std::string& arguments) {
    const auto r = runCommand("openssl " + arguments);
    if (r.exitCode != 0) throw std::runtime_error("openssl " + arguments + ": " + r.err);
}

// The pin of a public key: base64 of the SHA-256 of its DER form.
std::string pinOf(const std::filesystem::path& key) {
    const auto r = runCommand("openssl pkey -in '" + key.string() +
                              "' -pubout -outform DER | openssl dgst -sha256 -binary | "
                              "openssl base64 -A");
    if (r.exitCode != 0 || r.out.empty()) throw std::runtime_error("no pin: " + r.err);
    return "sha256//" + r.out;
}

}  // namespace

TestCertificates::TestCertificates() {
    const std::string d = m_dir.str() + "/";
    const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 ";
    openssl("req -x509 " + ec + "-keyout " + d + "ca.key -out " + d +
            "ca.pem -subj /CN=Velmorant-Test-CA -addext basicConstraints=critical,CA:TRUE "
            "-addext keyUsage=critical,keyCertSign,cRLSign");
    openssl("req " + ec + "-keyout " + d + "signed.key -out " + d +
            "signed.csr -subj /CN=127.0.0.1");
    writeFile(m_dir / "san.ext", "subjectAltName=IP:127.0.0.1\n");
    openssl("x509 -req -in " + d + "signed.csr -CA " + d + "ca.pem -CAkey " + d +
            "ca.key -CAcreateserial -days 2 -extfile " + d + "san.ext -out " + d + "signed.pem");
    openssl("req -x509 " + ec + "-keyout " + d + "self.key -out " + d +
            "self.pem -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1");
    openssl("genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out " + d + "other.key");
    m_selfPin = pinOf(m_dir / "self.key");
    m_otherPin = pinOf(m_dir / "other.key");
}

}  // namespace velmorant::test
