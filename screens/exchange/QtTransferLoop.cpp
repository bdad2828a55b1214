#include "screens/exchange/QtTransferLoop.h"

#include <QEventLoop>

#include <algorithm>
#include <stdexcept>

namespace velmorant {

QtTransferLoop::QtTransferLoop(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_client) m_client->timerExpired();
    });
}

QtTransferLoop::~QtTransferLoop() { dropWatches(); }

QSocketNotifier* QtTransferLoop::notifier(int fd, QSocketNotifier::Type type) {
    Watch& watch = m_watches[fd];
    QSocketNotifier*& n = type == QSocketNotifier::Read ? watch.read : watch.write;
    if (!n) {
        n = new QSocketNotifier(fd, type, this);
        const bool reading = type == QSocketNotifier::Read;
        connect(n, &QSocketNotifier::activated, this, [this, fd, reading] {
            if (m_client) m_client->socketReady(fd, reading, !reading);
        });
    }
    return n;
}

void QtTransferLoop::watchSocket(int fd, bool read, bool write) {
    // A notifier is never deleted here: this may run inside its own activation. A socket
    // that is forgotten keeps its disabled notifiers until run() ends; one that comes back
    // under the same number gets them enabled again. Outside run() nobody would serve a
    // notifier, and an enabled one would keep the program's loop busy: only forgetting counts.
    if (!m_client) {
        read = false;
        write = false;
    }
    if (read)
        notifier(fd, QSocketNotifier::Read)->setEnabled(true);
    else if (auto it = m_watches.find(fd); it != m_watches.end() && it->second.read)
        it->second.read->setEnabled(false);
    if (write)
        notifier(fd, QSocketNotifier::Write)->setEnabled(true);
    else if (auto it = m_watches.find(fd); it != m_watches.end() && it->second.write)
        it->second.write->setEnabled(false);
}

void QtTransferLoop::setTimer(long ms) {
    if (ms < 0)
        m_timer.stop();
    else
        m_timer.start(static_cast<int>(std::min<long>(ms, 24L * 3600 * 1000)));
}

void QtTransferLoop::run(Client& client) {
    if (m_client) throw std::logic_error("QtTransferLoop::run is not re-entrant");
    QEventLoop loop;
    m_loop = &loop;
    m_client = &client;
    emit runningChanged(true);
    loop.exec();
    m_client = nullptr;
    m_loop = nullptr;
    m_timer.stop();
    dropWatches();
    emit runningChanged(false);
}

void QtTransferLoop::stop() {
    if (m_loop) m_loop->quit();
}

void QtTransferLoop::cancel() {
    if (!m_client) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_client) m_client->cancelRequested();
        },
        Qt::QueuedConnection);
}

void QtTransferLoop::dropWatches() {
    for (auto& [fd, watch] : m_watches) {
        delete watch.read;
        delete watch.write;
    }
    m_watches.clear();
}

}  // namespace velmorant
