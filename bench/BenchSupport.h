#pragma once

// Timing helpers shared by the benchmarks.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/db/Clock.h"
#include "core/exchange/ExchangePort.h"
#include "tests/support/ChildProcess.h"

namespace velmorant::bench {

inline double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time (user and system) of this process, and of its finished children.
inline double ownCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}
inline double childrenCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A fixed sequence of pseudo-random numbers (a 64-bit linear congruential generator), so
// that every run builds the same data.
class Random {
public:
    std::uint32_t next() {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(m_state >> 33);
    }

private:
    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
};

// An exchange screen with nowhere to show anything: the log keeps only its last entry (to
// explain a failed run), the progress bar is ignored, the folder chooser is cancelled.
class QuietScreen : public ExchangePort {
public:
    void AddLogLine(const std::string& text) override { last = text; }
    const Clock& ExchangeClock() const override { return systemClock; }
    std::string ChooseFolder() override { return {}; }
    ExchangeProgress& Progress() override { return bar; }
    const TAppOptions& Options() const override { return appOptions; }

    std::string last;
    NoProgress bar;
    SystemClock systemClock;
    TAppOptions appOptions;
};

// What one run of a child process cost: wall-clock and processor time, and its peak
// resident memory (the kernel's high-water mark of the child alone).
struct ChildRun {
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    double peakMiB = 0;
};

inline ChildRun waitForChild(pid_t pid, std::chrono::steady_clock::time_point start) {
    ChildRun r;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return r;
    r.wall = seconds(start);
    r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

// Runs argv with stdin from `in` and stdout to `out` (empty: /dev/null); stderr is kept.
inline ChildRun runProgram(const std::vector<std::string>& argv, const std::string& in = "",
                           const std::string& out = "") {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int input = ::open(in.empty() ? "/dev/null" : in.c_str(), O_RDONLY);
        const int output =
            ::open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (input < 0 || output < 0) _exit(126);
        dup2(input, 0);
        dup2(output, 1);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return waitForChild(pid, start);
}

// Runs `work` in a forked child of this process, so that its peak memory is its own (plus what
// this process held at the fork). The child's own time for `work` alone comes back as wall.
inline ChildRun runInChild(const std::function<bool()>& work) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        const auto begin = std::chrono::steady_clock::now();
        const bool ok = work();
        const double took = seconds(begin);
        if (::write(pipeFds[1], &took, sizeof took) != sizeof took) _exit(1);
        _exit(ok ? 0 : 1);
    }
    ::close(pipeFds[1]);
    double took = 0;
    const bool got = ::read(pipeFds[0], &took, sizeof took) == sizeof took;
    ::close(pipeFds[0]);
    ChildRun r = waitForChild(pid, start);
    r.ok = r.ok && got;
    r.wall = took;
    return r;
}

// The instructions that argv executes, counted by valgrind's callgrind (the same on every
// run, however busy the machine); -1 when valgrind is missing or the run failed.
inline long long callgrindInstructions(const std::vector<std::string>& argv,
                                       const std::string& in = "", const std::string& out = "") {
    char dir[] = "/tmp/velmorant-callgrind-XXXXXX";
    if (!mkdtemp(dir)) return -1;
    const std::string file = std::string(dir) + "/callgrind.out";
    std::vector<std::string> full = {"valgrind", "--tool=callgrind", "--quiet",
                                     "--callgrind-out-file=" + file};
    full.insert(full.end(), argv.begin(), argv.end());
    long long total = -1;
    if (runProgram(full, in, out).ok) {
        std::ifstream data(file);
        std::string line;
        while (std::getline(data, line)) {
            // "summary: N" (or "totals: N" in older versions) holds the sum of every event.
            for (const char* key : {"summary: ", "totals: "}) {
                if (line.rfind(key, 0) == 0) total = std::atoll(line.c_str() + std::strlen(key));
            }
        }
    }
    std::remove(file.c_str());
    ::rmdir(dir);
    return total;
}

// The tests' FTP server (tests/support/ftp_test_server.py under /usr/bin/python3) on 127.0.0.1,
// serving `root`, with the extra options given (see the script); stopped with the object.
class LocalFtpServer {
public:
    LocalFtpServer(const std::filesystem::path& root, const std::filesystem::path& log,
                   std::vector<std::string> options = {}) {
        const std::filesystem::path script =
            std::filesystem::path(__FILE__).parent_path().parent_path() / "tests" / "support" /
            "ftp_test_server.py";
        std::vector<std::string> args = {"python3", script.string(), "--root",     root.string(),
                                         "--log",   log.string(),    "--lifetime", "600"};
        args.insert(args.end(), options.begin(), options.end());
        int stdoutFd = -1;
        m_pid = test::SpawnWithStdout("/usr/bin/python3", std::move(args), stdoutFd);
        FILE* in = ::fdopen(stdoutFd, "r");
        char line[64] = {};
        const bool started = in && std::fgets(line, sizeof line, in);
        if (in) std::fclose(in);
        if (!started)
            throw std::runtime_error("the FTP server did not start (needs python3-pyftpdlib)");
        m_port = std::atoi(line + 5);
    }
    ~LocalFtpServer() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    LocalFtpServer(const LocalFtpServer&) = delete;
    LocalFtpServer& operator=(const LocalFtpServer&) = delete;

    int port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

}  // namespace velmorant::bench
