#include "screens/shell/SingleInstance.h"

#include <unistd.h>
#include <QCryptographicHash>
#include <QLocalSocket>

namespace velmorant {

namespace {
constexpr char kIdentifier[] = "Tarvosk_Agent";
constexpr char kRaise[] = "raise\n";
constexpr char kRaised[] = "raised\n";
}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName() {
    return defaultName(qEnvironmentVariable("XDG_RUNTIME_DIR"));
}

QString SingleInstance::defaultName(const QString& runtimeDir) {
    QString name = QStringLiteral("%1-%2").arg(QLatin1String(kIdentifier)).arg(getuid());
    if (!runtimeDir.isEmpty()) {
        const QByteArray hash =
            QCryptographicHash::hash(runtimeDir.toUtf8(), QCryptographicHash::Sha1).toHex();
        name += QLatin1Char('-') + QString::fromLatin1(hash.left(12));
    }
    return name;
}

QString SingleInstance::request(const QString& name, int timeoutMs) {
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return QString();
    socket.write(kRaise);
    socket.waitForBytesWritten(timeoutMs);
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(timeoutMs)) answer += socket.readAll();
    answer += socket.readAll();
    socket.disconnectFromServer();
    return answer.isEmpty() ? QStringLiteral("connected") : QString::fromUtf8(answer.trimmed());
}

bool SingleInstance::notifyRunningCopy(int timeoutMs) {
    return !request(m_name, timeoutMs).isEmpty();
}

bool SingleInstance::listen(std::function<void()> raise) {
    m_raise = std::move(raise);
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = m_server->nextPendingConnection()) {
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                    if (!socket->canReadLine()) return;
                    const QByteArray line = socket->readLine();
                    if (line == kRaise) {
                        if (m_raise) m_raise();
                        emit raiseRequested();
                        socket->write(kRaised);
                        socket->flush();
                    }
                    socket->disconnectFromServer();
                });
            }
        });
    }
    return m_server->isListening() || m_server->listen(m_name);
}

}  // namespace velmorant
