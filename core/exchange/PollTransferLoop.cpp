#include "core/exchange/PollTransferLoop.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <system_error>

#include "core/db/UniqueFd.h"

namespace velmorant {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Milliseconds until `due`, rounded up so that the timer is never served early.
int millisecondsUntil(SteadyClock::time_point due) {
    const auto left = due - SteadyClock::now();
    if (left <= SteadyClock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000));
}

// The cancel signals, blocked and readable from a signalfd for as long as it lives.
class SignalWatch {
public:
    explicit SignalWatch(const std::vector<int>& signals) {
        if (signals.empty()) return;
        sigset_t set;
        sigemptyset(&set);
        for (const int s : signals) sigaddset(&set, s);
        if (pthread_sigmask(SIG_BLOCK, &set, &m_previous) != 0) return;
        m_blocked = true;
        m_fd.reset(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    }
    ~SignalWatch() {
        m_fd.reset();
        if (m_blocked) pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    int fd() const { return m_fd.get(); }
    // Takes the signals that came; true when there was one.
    bool take() const {
        signalfd_siginfo info{};
        bool any = false;
        while (::read(m_fd.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            any = true;
        return any;
    }

private:
    sigset_t m_previous{};
    bool m_blocked = false;
    UniqueFd m_fd;
};

}  // namespace

PollTransferLoop::PollTransferLoop(std::vector<int> cancelSignals)
    : m_cancelSignals(std::move(cancelSignals)) {
    m_cancelFd.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_cancelFd) throw std::system_error(errno, std::generic_category(), "eventfd");
}

PollTransferLoop::~PollTransferLoop() = default;

void PollTransferLoop::watchSocket(int fd, bool read, bool write) {
    const short events = static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0));
    const auto it = std::find_if(m_watches.begin(), m_watches.end(),
                                 [fd](const Watch& w) { return w.fd == fd; });
    if (events == 0) {
        if (it != m_watches.end()) m_watches.erase(it);
    } else if (it != m_watches.end()) {
        it->events = events;
    } else {
        m_watches.push_back({fd, events});
    }
}

void PollTransferLoop::setTimer(long ms) {
    if (ms < 0)
        m_timerDue.reset();
    else
        m_timerDue = SteadyClock::now() + std::chrono::milliseconds(ms);
}

void PollTransferLoop::cancel() noexcept {
    const std::uint64_t one = 1;
    // Nothing to do when it fails: the counter can only be full of earlier requests.
    [[maybe_unused]] const ssize_t written = ::write(m_cancelFd.get(), &one, sizeof one);
}

void PollTransferLoop::run(Client& client) {
    if (m_running) throw std::logic_error("PollTransferLoop::run is not re-entrant");
    m_running = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_running};
    m_stopped = false;
    const SignalWatch signals(m_cancelSignals);
    std::vector<pollfd> fds;
    while (!m_stopped) {
        fds.clear();
        fds.push_back({m_cancelFd.get(), POLLIN, 0});
        fds.push_back({signals.fd(), POLLIN, 0});  // a negative fd is skipped
        for (const Watch& w : m_watches) fds.push_back({w.fd, w.events, 0});
        const int timeout = m_timerDue ? millisecondsUntil(*m_timerDue) : -1;
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (fds[0].revents != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_cancelFd.get(), &count, sizeof count);
            client.cancelRequested();
            continue;
        }
        if (fds[1].revents != 0 && signals.take()) {
            client.cancelRequested();
            continue;
        }
        for (std::size_t i = 2; i < fds.size() && !m_stopped; ++i) {
            const short ready = fds[i].revents;
            if (ready == 0) continue;
            // A callback may have forgotten the socket since poll returned.
            const auto it = std::find_if(m_watches.begin(), m_watches.end(),
                                         [&](const Watch& w) { return w.fd == fds[i].fd; });
            if (it == m_watches.end()) continue;
            // Errors and hang-ups are reported as readiness: the reader finds out.
            const bool trouble = (ready & (POLLERR | POLLHUP | POLLNVAL)) != 0;
            const bool readable = (it->events & POLLIN) && ((ready & POLLIN) || trouble);
            const bool writable = (it->events & POLLOUT) && ((ready & POLLOUT) || trouble);
            if (readable || writable) client.socketReady(fds[i].fd, readable, writable);
        }
        if (!m_stopped && m_timerDue && SteadyClock::now() >= *m_timerDue) {
            m_timerDue.reset();
            client.timerExpired();
        }
    }
}

}  // namespace velmorant
