#include "support/FaultProxy.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/ChildProcess.h"

namespace velmorant::test {

namespace {

constexpr const char* kPython = "/usr/bin/python3";
const std::string kScript = std::string(VELMORANT_SOURCE_DIR) + "/tests/support/ftp_fault_proxy.py";

std::string firstLine(int fd, std::chrono::milliseconds timeout) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char c = 0;
        if (::read(fd, &c, 1) != 1 || c == '\n') return line;
        line += c;
    }
    return line;
}

}  // namespace

FaultProxy::FaultProxy(const Options& options) {
    int out = -1;
    m_pid = SpawnWithStdout(
        kPython,
        {kPython, kScript, "--target-port", std::to_string(options.targetPort), "--latency-ms",
         std::to_string(options.latencyMs), "--fault", options.fault, "--after",
         std::to_string(options.after), "--log", (m_dir / "proxy.log").string()},
        out);
    const std::string line = firstLine(out, std::chrono::seconds(20));
    ::close(out);
    if (line.rfind("PORT ", 0) != 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        throw std::runtime_error("the fault proxy did not start: '" + line + "'");
    }
    m_port = static_cast<std::uint16_t>(std::stoi(line.substr(5)));
}

FaultProxy::~FaultProxy() {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
}

bool FaultProxy::struck() const {
    const auto path = m_dir / "proxy.log";
    return std::filesystem::exists(path) && readFile(path).find("FAULT ") != std::string::npos;
}

}  // namespace velmorant::test
