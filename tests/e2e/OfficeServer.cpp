#include "OfficeServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "support/TestSupport.h"

namespace velmorant::test {

std::string OfficeSimulator() {
    return std::string(VELMORANT_SOURCE_DIR) + "/tools/office_simulator.py";
}

OfficeServer::OfficeServer(const std::filesystem::path& root,
                           const std::vector<std::string>& arguments)
    : m_log(root.parent_path() / (root.filename().string() + ".server.log")) {
    std::vector<std::string> args = {
        kPython, OfficeSimulator(),   "serve", "--root", root.string(), "--port", "0", "--lifetime",
        "300",   "--exit-with-parent"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const int out = ::open(m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        m_error = "cannot create " + m_log.string();
        return;
    }
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        // The server must not outlive the test, even when the test is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(126);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(kPython, argv.data());
        ::_exit(127);
    }
    ::close(out);
    if (m_pid < 0) {
        m_error = "fork failed";
        return;
    }
    static const std::regex started(R"(serving .* on 127\.0\.0\.1:(\d+))");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        std::smatch m;
        const std::string text = output();
        if (std::regex_search(text, m, started)) {
            m_port = static_cast<std::uint16_t>(std::stoi(m[1].str()));
            return;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "the office simulator ended at once: " + output();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
    m_error = "the office simulator did not start within 30 s: " + output();
}

OfficeServer::~OfficeServer() { stop(); }

std::string OfficeServer::output() const { return readFile(m_log); }

void OfficeServer::stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

}  // namespace velmorant::test
