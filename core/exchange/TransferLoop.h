#pragma once

namespace velmorant {

// The event loop as a running FTP transfer sees it. The transfer stays on the thread that
// started it (the user-interface thread of the program): it hands its sockets and its one
// timer to the loop and runs the loop, which keeps serving the program's other events while
// it waits, and calls the transfer back when a socket is ready, when the timer is due and
// when the person asks to stop. The GUI's loop is Qt's; velmorant-cli, the tests and the
// benchmarks use PollTransferLoop.
class TransferLoop {
public:
    // What the loop calls back while run() serves it. The calls come one at a time, never
    // from inside one another, and only while run() is on the stack. They do not throw.
    class Client {
    public:
        virtual ~Client() = default;
        virtual void socketReady(int fd, bool readable, bool writable) = 0;
        virtual void timerExpired() = 0;
        // The person asked to stop the transfer (" Прервать ", Ctrl+C).
        virtual void cancelRequested() = 0;
    };

    virtual ~TransferLoop() = default;

    // Watches `fd` for readability and/or writability from now on; with neither the socket is
    // forgotten (before it is closed). May be called from inside a callback.
    virtual void watchSocket(int fd, bool read, bool write) = 0;
    // Calls timerExpired once, `ms` milliseconds from now (0: as soon as the loop gets to it);
    // a negative value switches the timer off. Replaces an earlier setting.
    virtual void setTimer(long ms) = 0;
    // Serves events and calls `client` back until stop() is called. Also returns when the
    // program is ending; the client then has not been told why. Not re-entrant: one transfer
    // at a time runs a given loop.
    virtual void run(Client& client) = 0;
    // Makes run() return once the callback that calls it has returned.
    virtual void stop() = 0;
};

}  // namespace velmorant
