#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

namespace velmorant {

// Keeps one running copy per user. The first copy listens on a local socket named from
// "Tarvosk_Agent", the user id and the user's runtime folder (in the abstract namespace, so
// no file is left behind); a later copy connects, asks the first to bring its journal forward,
// and ends. The runtime folder is the same in every session of a user; a program started
// with a runtime folder of its own (a test, a sandbox) is kept apart from the user's copy.
//
// Protocol: the newcomer sends "raise\n"; the running copy brings its window forward and
// answers "raised\n".
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // "Tarvosk_Agent-<uid>", followed by "-" and a hash of `runtimeDir` when that is set; the
    // first form takes the runtime folder from XDG_RUNTIME_DIR.
    static QString defaultName();
    static QString defaultName(const QString& runtimeDir);
    const QString& name() const { return m_name; }

    // Asks a running copy to bring its journal forward. True when a copy is running (it
    // accepted the connection), whether or not it answered within `timeoutMs`.
    bool notifyRunningCopy(int timeoutMs = 2000);

    // Starts answering newcomers; `raise` runs for each request. False when the name is
    // taken by a running copy (then call notifyRunningCopy again) or cannot be used.
    bool listen(std::function<void()> raise);

    // Sends "raise" to a running copy and returns its answer line ("" when none).
    static QString request(const QString& name, int timeoutMs);

signals:
    // A newcomer asked this copy to come forward (after the raise callback ran).
    void raiseRequested();

private:
    QString m_name;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_raise;
};

}  // namespace velmorant
