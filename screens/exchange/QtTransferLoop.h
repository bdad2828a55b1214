#pragma once

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <map>

#include "core/exchange/TransferLoop.h"

class QEventLoop;

namespace velmorant {

// The TransferLoop of the GUI: the transfer's sockets become socket notifiers and its timer a
// QTimer of Qt's own event loop, and run() is a nested QEventLoop. The screen therefore keeps
// painting and taking input while a transfer runs, and the transfer goes on while another
// nested loop (a message box) runs on top of it; such a box only delays run()'s return.
// Lives on the user-interface thread.
class QtTransferLoop : public QObject, public TransferLoop {
    Q_OBJECT
public:
    explicit QtTransferLoop(QObject* parent = nullptr);
    ~QtTransferLoop() override;

    // Outside run() only forgetting a socket has an effect (libcurl names its sockets while
    // it is driven, that is inside run()).
    void watchSocket(int fd, bool read, bool write) override;
    void setTimer(long ms) override;
    void run(Client& client) override;
    void stop() override;

    // Asks the running transfer to stop (" Прервать "); does nothing when none runs. The
    // transfer hears of it from the event loop, never from inside this call.
    void cancel();

signals:
    // A transfer started or ended running the loop.
    void runningChanged(bool running);

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    QSocketNotifier* notifier(int fd, QSocketNotifier::Type type);
    void dropWatches();

    std::map<int, Watch> m_watches;
    QTimer m_timer;
    QPointer<QEventLoop> m_loop;
    Client* m_client = nullptr;
};

}  // namespace velmorant
