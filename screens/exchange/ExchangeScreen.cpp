#include "screens/exchange/ExchangeScreen.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextCursor>
#include <QVBoxLayout>

#include <exception>

#include "core/db/Clock.h"
#include "core/db/Dates.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/ExchangeStatus.h"
#include "core/exchange/Export.h"
#include "core/exchange/FtpExchange.h"
#include "core/exchange/Import.h"
#include "screens/exchange/DayCopy.h"
#include "screens/widgets/FolderChooser.h"

namespace velmorant {

namespace {
constexpr int kProgressBarHeight = 16;
}  // namespace

// The screen's progress bar as the core sees it.
class ExchangeScreen::BarProgress : public ExchangeProgress {
public:
    explicit BarProgress(QProgressBar* bar) : m_bar(bar) {}

    void setRange(int minimum, int maximum) override {
        // An empty range would turn the bar into a busy indicator; keep it an empty bar.
        m_bar->setRange(minimum, maximum > minimum ? maximum : minimum + 1);
    }
    void setValue(int value) override {
        m_bar->setValue(value);
        m_bar->repaint();
    }
    void setVisible(bool visible) override { m_bar->setVisible(visible); }

private:
    QProgressBar* m_bar;
};

// Holds the busy flag and the shared guard for the length of one operation, also when it ends
// by an exception. The guard must be free (refused() said so).
class ExchangeScreen::BusyGuard {
public:
    BusyGuard(bool& busy, ExchangeGuard& guard) : m_busy(busy), m_guard(guard) {
        m_busy = true;
        m_guard.TryAcquire();
    }
    ~BusyGuard() {
        m_busy = false;
        m_guard.Release();
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& m_busy;
    ExchangeGuard& m_guard;
};

ExchangeScreen::ExchangeScreen(const Clock& clock, QWidget* parent, ExchangeGuard* guard)
    : Form(parent), m_clock(clock), m_guard(guard ? *guard : m_ownGuard) {
    using namespace exchange_text;
    setObjectName(QStringLiteral("exchangeScreen"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(kCaption));
    // Over the window it was opened from, the same size, like the document editor.
    if (parent) setGeometry(parent->geometry());

    auto* layout = new QVBoxLayout(body());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_progressBar = new QProgressBar(body());
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setFixedHeight(kProgressBarHeight);
    m_progressBar->setTextVisible(false);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_log = new QPlainTextEdit(body());
    m_log->setObjectName(QStringLiteral("log"));
    m_log->setReadOnly(true);
    m_log->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_log, 1);
    m_progress = std::make_unique<BarProgress>(m_progressBar);

    QMenu* exchange = menuBar()->addMenu(QString::fromUtf8(kMenuExchange));
    m_send = menuBar()->addItem(exchange, QString::fromUtf8(kMenuSend));
    m_fetch = menuBar()->addItem(exchange, QString::fromUtf8(kMenuFetch));
    menuBar()->addSeparator(exchange);
    m_export = menuBar()->addItem(exchange, QString::fromUtf8(kMenuExport));
    m_import = menuBar()->addItem(exchange, QString::fromUtf8(kMenuImport));
    exchange->setToolTipsVisible(true);  // why the FTP commands are greyed
    m_abort = menuBar()->addCommand(QString::fromUtf8(kMenuAbort));
    m_abort->setVisible(false);
    m_close = menuBar()->addCommand(QString::fromUtf8(kMenuClose));
    setCancelCommand(m_close);
    m_send->setEnabled(false);
    m_fetch->setEnabled(false);

    connect(m_send, &QAction::triggered, this, [this] { RunFullExchange(); });
    connect(m_fetch, &QAction::triggered, this, [this] { fetch(); });
    connect(m_export, &QAction::triggered, this, [this] { exportToFolder(); });
    connect(m_import, &QAction::triggered, this, [this] { importFromFolder(); });
    connect(m_close, &QAction::triggered, this, [this] {
        if (!m_busy) close();
    });

    m_transferLoop = new QtTransferLoop(this);
    connect(m_abort, &QAction::triggered, this, [this] {
        m_importStop = true;
        m_transferLoop->cancel();
    });
    connect(m_transferLoop, &QtTransferLoop::runningChanged, m_abort, &QAction::setVisible);
    // While a transfer of an automatic run waits, what the agent does shows its boxes.
    connect(m_transferLoop, &QtTransferLoop::runningChanged, this, [this](bool running) {
        if (m_held) m_held->PassThrough(running);
    });

    m_startTimer = new QTimer(this);
    m_startTimer->setInterval(kStartDelayMs);
    connect(m_startTimer, &QTimer::timeout, this, [this] { onStartTimer(); });
}

ExchangeScreen::~ExchangeScreen() = default;

void ExchangeScreen::AddLogLine(const std::string& text) {
    QString entry = QString::fromStdString(TimeToText(m_clock.Now()) + " " + text);
    entry.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    entry.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QTextCursor cursor(m_log->document());
    cursor.movePosition(QTextCursor::End);
    if (!m_log->document()->isEmpty()) cursor.insertText(QStringLiteral("\n"));
    cursor.insertText(entry);
    m_log->moveCursor(QTextCursor::End);
    m_log->ensureCursorVisible();
    // ensureCursorVisible stops as soon as any part of the last line shows; scrolled to the
    // bottom the newest entry is whole.
    m_log->verticalScrollBar()->setValue(m_log->verticalScrollBar()->maximum());
    // The export and the import hold the event loop: show the entry now without letting other
    // events in.
    m_log->repaint();
}

std::string ExchangeScreen::ChooseFolder() {
    const QString folder =
        velmorant::ChooseFolder(this, QString::fromUtf8(exchange_text::kChooseFolder),
                                SpecialFolderPath(SpecialFolder::Documents));
    return folder.toStdString();
}

ExchangeProgress& ExchangeScreen::Progress() { return *m_progress; }

void ExchangeScreen::running(bool on) {
    m_importStop = false;
    m_abort->setVisible(on);
}

bool ExchangeScreen::serve() {
    // The busy flag keeps every other command, the close and the start timer out meanwhile.
    if (m_held) m_held->PassThrough(true);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (m_held) m_held->PassThrough(false);
    return m_importStop;
}

void ExchangeScreen::setStartTimer(bool on) {
    if (on)
        m_startTimer->start();
    else
        m_startTimer->stop();
}

void ExchangeScreen::applyOptions(const TAppOptions& options) {
    m_options = options;
    m_send->setEnabled(m_options.UseFTP);
    m_fetch->setEnabled(m_options.UseFTP);
    // Greyed commands say why, where a finger sees it too: in the log while it is empty.
    const QString why = m_options.UseFTP ? QString() : QString::fromUtf8(exchange_text::kFtpNotSet);
    m_send->setToolTip(why);
    m_fetch->setToolTip(why);
    m_log->setPlaceholderText(why);
    setStartTimer(m_options.FTPAuto);
}

void ExchangeScreen::showEvent(QShowEvent* event) {
    Form::showEvent(event);
    // A window restored by the window system was shown before; reload only when the program
    // shows the screen, or a restored screen would start another automatic exchange.
    if (!event->spontaneous()) applyOptions(LoadAppOptions());
}

void ExchangeScreen::closeEvent(QCloseEvent* event) {
    // An operation waiting in a message box or for its server must not lose its screen.
    if (m_busy) {
        event->ignore();
        return;
    }
    m_startTimer->stop();
    Form::closeEvent(event);
}

void ExchangeScreen::onStartTimer() {
    m_startTimer->stop();
    if (m_options.FTPAuto) RunFullExchange();
}

bool ExchangeScreen::refused() {
    if (m_busy) return true;
    if (!m_guard.Busy()) return false;
    notifier().message(exchange_text::kBusy, MessageIcon::Warning);
    return true;
}

void ExchangeScreen::RunFullExchange() {
    if (refused()) return;
    bool ok = false;
    {
        BusyGuard guard(m_busy, m_guard);
        try {
            ok = SendByFtp(*this, *m_transferLoop);
            if (ok && notifier().ask(exchange_text::kFetchQuestion)) {
                ok = FetchByFtp(*this, *m_transferLoop, this);
            }
        } catch (const std::exception& error) {
            ok = false;
            notifier().message(error.what(), MessageIcon::Error);
        }
    }
    if (m_options.FTPAuto) reportOutcome(ok);
}

ExchangeScreen::AutomaticRun ExchangeScreen::RunAutomaticExchange() {
    AutomaticRun run;
    if (m_busy || m_guard.Busy()) return run;
    HeldMessages held(notifier());
    struct Installed {
        ExchangeScreen& screen;
        Notifier* previous;
        ~Installed() {
            setNotifier(previous);
            screen.m_held = nullptr;
        }
    } installed{*this, setNotifier(&held)};
    m_held = &held;
    // Read as the screen reads them when shown, but a hidden screen starts nothing by itself.
    m_options = LoadAppOptions();
    if (!m_options.UseFTP) {
        run.boxes = held.Take();
        return run;
    }
    run.started = true;
    m_log->clear();
    {
        BusyGuard guard(m_busy, m_guard);
        try {
            const int waiting = CountDocumentsToSend();
            const bool sent = SendByFtp(*this, *m_transferLoop);
            if (sent) run.sent = waiting > 0 ? waiting : 0;
            run.ok = sent && FetchByFtp(*this, *m_transferLoop, this);
        } catch (const std::exception& error) {
            run.ok = false;
            AddLogLine(error.what());
        }
    }
    run.lastMessage = lastLogMessage();
    run.boxes = held.Take();
    // A failure is told by the journal's line; what it would have shown stays in the log.
    if (!run.ok) {
        for (const HeldMessages::Box& box : run.boxes) AddLogLine(box.text);
    }
    return run;
}

void ExchangeScreen::showEarlierRun(const QString& log) {
    if (m_busy || !m_log->document()->isEmpty()) return;
    m_startTimer->stop();
    m_log->setPlainText(log);
    m_log->moveCursor(QTextCursor::End);
}

bool ExchangeScreen::copyDayLater(DateTime day) {
    QObject& owner = parent() ? *parent() : *this;
    DayCopy::KeepCurrent(owner, DatabasePath(), day);
    return true;
}

void ExchangeScreen::fetch() {
    if (refused()) return;
    BusyGuard guard(m_busy, m_guard);
    m_progress->setVisible(false);
    FetchByFtp(*this, *m_transferLoop, this);
    m_progress->setVisible(false);
}

void ExchangeScreen::exportToFolder() {
    if (refused()) return;
    BusyGuard guard(m_busy, m_guard);
    m_progress->setValue(0);
    ExportDocuments(*this, std::string());
}

void ExchangeScreen::importFromFolder() {
    if (refused()) return;
    BusyGuard guard(m_busy, m_guard);
    m_progress->setValue(0);
    ImportHooks hooks;
    hooks.loop = this;
    ImportScript(*this, std::string(), hooks);
}

std::string ExchangeScreen::lastLogMessage() const {
    const QString text = m_log->toPlainText();
    std::string line = Trim(text.mid(text.lastIndexOf(QLatin1Char('\n')) + 1).toStdString());
    const std::size_t blank = line.find(' ');
    if (blank != std::string::npos) line.erase(0, blank + 1);
    return Trim(line);
}

void ExchangeScreen::reportOutcome(bool ok) {
    using namespace exchange_text;
    const std::string message = lastLogMessage();
    if (ok) {
        notifier().show(kSuccess + message, MessageIcon::Information, MessageButtons::Ok);
        close();
        return;
    }
    const MessageAnswer answer =
        notifier().show(kFailure + message, MessageIcon::Question, MessageButtons::RetryCancel);
    if (answer == MessageAnswer::Retry)
        setStartTimer(true);
    else
        close();
}

}  // namespace velmorant
