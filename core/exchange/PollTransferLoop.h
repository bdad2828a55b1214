#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "core/db/UniqueFd.h"
#include "core/exchange/TransferLoop.h"

namespace velmorant {

// A TransferLoop of its own over poll(2), for programs without another event loop
// (velmorant-cli, tests, benchmarks). While run() waits, nothing else of the program runs.
//
// cancel() may be called from a signal handler or from another thread: it only writes to an
// eventfd that run() polls along with the sockets. A cancel that comes while no transfer runs
// is kept for the next run(), which then reports it at once.
//
// The signals given to the constructor (velmorant-cli: SIGINT) cancel the transfer while
// run() serves it: they are blocked for that time and read from a signalfd. Outside run()
// they have their usual effect, and one that comes after the cancel, before run() returns,
// gets it then (a second Ctrl+C ends the program).
class PollTransferLoop : public TransferLoop {
public:
    // Throws std::system_error when the eventfd cannot be made.
    explicit PollTransferLoop(std::vector<int> cancelSignals = {});
    ~PollTransferLoop() override;
    PollTransferLoop(const PollTransferLoop&) = delete;
    PollTransferLoop& operator=(const PollTransferLoop&) = delete;

    void watchSocket(int fd, bool read, bool write) override;
    void setTimer(long ms) override;
    // Throws std::system_error when poll(2) fails for another reason than a signal.
    void run(Client& client) override;
    void stop() override { m_stopped = true; }

    // Asks the running (or the next) transfer to stop. Async-signal-safe.
    void cancel() noexcept;

private:
    struct Watch {
        int fd;
        short events;
    };

    UniqueFd m_cancelFd;
    std::vector<int> m_cancelSignals;
    std::vector<Watch> m_watches;
    std::optional<std::chrono::steady_clock::time_point> m_timerDue;
    bool m_stopped = false;
    bool m_running = false;
};

}  // namespace velmorant
