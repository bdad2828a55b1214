// The exchange screen driven as the agent drives it: real widgets offscreen, a real FTP
// server on 127.0.0.1, real base.sdb files; message boxes answered through the notifier port
// or, where a box has to run its own event loop, as real message boxes.
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextCursor>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>

#include "core/db/Backup.h"
#include "core/db/Dates.h"
#include "core/db/Options.h"
#include "core/db/QueryResult.h"
#include "screens/exchange/DayCopy.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/journal/JournalTexts.h"
#include "screens/journal/JournalWindow.h"
#include "screens/shell/Screens.h"
#include "screens/widgets/FolderChooser.h"
#include "screens/widgets/MessageBoxNotifier.h"
#include "screens/widgets/QtText.h"
#include "support/DamagedDatabase.h"
#include "support/FixedClock.h"
#include "support/FtpTestServer.h"
#include "support/ModalAnswer.h"
#include "support/TestSupport.h"

using namespace velmorant;
using namespace velmorant::test;
namespace fs = std::filesystem;

namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

bool setOptions(const Options& options) {
    if (!Query("delete from MY_OPTIONS")) return false;
    for (const auto& [name, value] : options) {
        if (!Query("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('" + name + "', '" + value +
                   "')")) {
            return false;
        }
    }
    return true;
}

Options ftpOptions(std::uint16_t port, bool automatic) {
    return {{"UseFTP", "1"},
            {"FTPAddress", "127.0.0.1"},
            {"FTPPort", std::to_string(port)},
            {"FTPAuto", automatic ? "1" : "0"}};
}

// An answer of the office that stores FETCHED = "YES".
const std::string kScript =
    "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n"
    "<EXEC \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('Fetched', 'yes')\">\r\n";

QStringList logLines(ExchangeScreen* screen) {
    return screen->log()->toPlainText().split(QLatin1Char('\n'));
}

// The texts of the log entries without their time stamps.
QStringList logTexts(ExchangeScreen* screen) {
    QStringList texts;
    static const QRegularExpression entry(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d (.*)$"));
    for (const QString& line : logLines(screen)) {
        const auto m = entry.match(line);
        if (m.hasMatch()) texts << m.captured(1);
    }
    return texts;
}

// Whether the server logged a line (after its session number) that starts with `prefix`.
bool serverLogged(const FtpTestServer& server, const std::string& prefix) {
    for (const auto& line : server.log()) {
        if (line.compare(line.find(' ') + 1, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

// Runs `step` from the event loop every 20 ms until it returns true; it also runs inside the
// nested loops of a transfer or a message box, where a test's own code cannot.
class Watcher {
public:
    explicit Watcher(std::function<bool()> step) {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this, step = std::move(step)] {
            // Stopped while the step runs: it may run a nested loop of its own.
            m_timer.stop();
            if (!step()) m_timer.start();
        });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

}  // namespace

class ExchangeScreenTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_program = std::make_unique<TempProgramFolder>();
        m_notifier = std::make_unique<RecordingNotifier>();
    }
    void cleanup() {
        delete m_screen.data();
        m_notifier.reset();
        m_program.reset();
    }

    void buildsTheScreenHidden() {
        m_screen = new ExchangeScreen(m_clock);
        QVERIFY(!m_screen->isVisible());
        QCOMPARE(m_screen->windowTitle(), QStringLiteral("Обмен с сервером"));
        MenuBar* bar = m_screen->menuBar();
        QCOMPARE(bar->commands().size(), 3);
        QCOMPARE(bar->commands()[0]->text(), QStringLiteral(" Обмен... "));
        QCOMPARE(bar->commands()[1]->text(), QStringLiteral(" Прервать "));
        QVERIFY(!bar->commands()[1]->isVisible());  // only while a transfer runs
        QCOMPARE(bar->commands()[2]->text(), QStringLiteral(" Закрыть "));
        QStringList items;
        for (QAction* a : bar->menuOf(bar->commands()[0])->actions()) {
            items << (a->isSeparator() ? QStringLiteral("-") : a->text());
        }
        QCOMPARE(items,
                 (QStringList{"FTP - отправить", "FTP - получить", "-", "Выгрузить", "Загрузить"}));
        QCOMPARE(m_screen->progressBar()->height(), 16);
        QCOMPARE(m_screen->startTimer()->interval(), 200);
        QVERIFY(!m_screen->startTimer()->isActive());
    }

    void logEntriesAreTimeStampedLines() {
        m_screen = new ExchangeScreen(m_clock);
        m_screen->AddLogLine("Начата выгрузка...");
        m_screen->AddLogLine("Выгрузка завершена.\r\n/data/exchange/PDATo1C.xml");
        m_screen->AddLogLine("  (Username=anonimous; Password=***)");
        const QStringList lines = logLines(m_screen);
        QCOMPARE(lines.size(), 4);
        const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d $"));
        QVERIFY(stamp.match(lines[0].left(9)).hasMatch());
        QCOMPARE(lines[0].left(9), QStringLiteral("10:20:30 "));  // the screen's clock
        QCOMPARE(lines[0].mid(9), QStringLiteral("Начата выгрузка..."));
        QCOMPARE(lines[1].mid(9), QStringLiteral("Выгрузка завершена."));
        QCOMPARE(lines[2], QStringLiteral("/data/exchange/PDATo1C.xml"));
        QCOMPARE(lines[3].mid(9), QStringLiteral("  (Username=anonimous; Password=***)"));
        QVERIFY(stamp.match(lines[3].left(9)).hasMatch());
    }

    // However long the log grows, its newest entry is shown whole at the bottom.
    void logKeepsTheNewestEntryInView() {
        m_screen = new ExchangeScreen(m_clock);
        m_screen->resize(240, 200);
        m_screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_screen));
        auto* log = m_screen->findChild<QPlainTextEdit*>(QStringLiteral("log"));
        QVERIFY(log);
        for (int i = 0; i < 60; ++i) {
            m_screen->AddLogLine("Шаг " + std::to_string(i) +
                                 ": файл передан полностью, без ошибок.");
        }
        QTextCursor end(log->document());
        end.movePosition(QTextCursor::End);
        QTextCursor start = end;
        start.movePosition(QTextCursor::StartOfBlock);
        QVERIFY(log->cursorRect(start).top() >= 0);
        QVERIFY(log->cursorRect(end).bottom() <= log->viewport()->height());
        QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
    }

    // Every show reloads the settings: the FTP commands follow UseFTP, greyed ones say why in
    // their tooltips and the empty log, a missing server is reported, the start timer runs
    // only with FTPAuto.
    void showingReloadsTheSettings() {
        const struct {
            Options options;
            bool ftpEnabled;
            bool timer;
            QStringList boxes;
        } cases[] = {
            {{}, false, false, {}},
            {ftpOptions(21, false), true, false, {}},
            {ftpOptions(21, true), true, true, {}},
            {{{"useftp", " 1 "}, {"ftpaddress", "host"}, {"FTPAuto", "true"}}, true, false, {}},
            {{{"UseFTP", "1"}, {"FTPAuto", "1"}}, false, true, {"Не указан FTP-сервер."}},
            {{{"UseFTP", "0"}, {"FTPAddress", "127.0.0.1"}, {"FTPAuto", "1"}}, false, false, {}},
        };
        for (const auto& c : cases) {
            QVERIFY(setOptions(c.options));
            m_notifier->clear();
            m_screen = new ExchangeScreen(m_clock);
            m_screen->show();
            QCOMPARE(m_screen->sendCommand()->isEnabled(), c.ftpEnabled);
            QCOMPARE(m_screen->fetchCommand()->isEnabled(), c.ftpEnabled);
            const QString why = c.ftpEnabled ? QString() : ToQString(exchange_text::kFtpNotSet);
            QCOMPARE(m_screen->sendCommand()->toolTip(),
                     c.ftpEnabled ? m_screen->sendCommand()->text() : why);
            QCOMPARE(m_screen->fetchCommand()->toolTip(),
                     c.ftpEnabled ? m_screen->fetchCommand()->text() : why);
            QCOMPARE(m_screen->findChild<QPlainTextEdit*>(QStringLiteral("log"))->placeholderText(),
                     why);
            QCOMPARE(m_screen->startTimer()->isActive(), c.timer);
            QStringList boxes;
            for (const auto& t : m_notifier->texts()) boxes << ToQString(t);
            QCOMPARE(boxes, c.boxes);
            m_screen->startTimer()->stop();
            delete m_screen.data();
        }
    }

    // "FTP - отправить" by hand: upload, the question, on Yes the download and the import;
    // the screen stays open with its log.
    void manualSendAsksBeforeFetching() {
        for (const bool yes : {true, false}) {
            FtpTestServer server;
            writeFile(server.root() / "ToPDA.sqd", kScript);
            QVERIFY(setOptions(ftpOptions(server.port(), false)));
            QVERIFY(Query("delete from MY_OPTIONS where OPT_NAME='Fetched'"));
            m_notifier->clear();
            m_notifier->queueAnswer(yes ? MessageAnswer::Yes : MessageAnswer::No);
            m_screen = new ExchangeScreen(m_clock);
            m_screen->show();
            m_screen->sendCommand()->trigger();

            QCOMPARE(m_notifier->shown().size(), size_t(1));
            QCOMPARE(ToQString(m_notifier->shown()[0].text),
                     QStringLiteral("Загрузить данные с сервера?"));
            QCOMPARE(m_notifier->shown()[0].icon, MessageIcon::Question);
            QCOMPARE(m_notifier->shown()[0].buttons, MessageButtons::YesNo);
            QVERIFY(fs::exists(server.root() / "PDATo1C.xml"));
            QCOMPARE(GetOption("Fetched", ""), std::string(yes ? "YES" : ""));
            QCOMPARE(logTexts(m_screen).last(), yes ? QStringLiteral("Загрузка завершена.")
                                                    : QStringLiteral("Отправка завершена."));
            QVERIFY(m_screen && m_screen->isVisible());
            QVERIFY(!m_screen->busy());
            delete m_screen.data();
        }
    }

    void manualFetchImportsAndHidesTheProgressBar() {
        FtpTestServer server;
        writeFile(server.root() / "ToPDA.sqd", kScript);
        QVERIFY(setOptions(ftpOptions(server.port(), false)));
        m_screen = new ExchangeScreen(m_clock);
        m_screen->show();
        m_screen->fetchCommand()->trigger();
        QCOMPARE(GetOption("Fetched", ""), std::string("YES"));
        QVERIFY(m_screen->progressBar()->isHidden());
        QVERIFY(m_notifier->shown().empty());
        QCOMPARE(logTexts(m_screen).last(), QStringLiteral("Загрузка завершена."));
        QVERIFY(m_screen->isVisible());
    }

    // With FTPAuto the exchange starts by itself after the start delay; success is reported
    // with the last log line and closes the screen, whether or not the agent fetched.
    void automaticSuccessReportsAndCloses() {
        for (const bool yes : {true, false}) {
            FtpTestServer server;
            writeFile(server.root() / "ToPDA.sqd", kScript);
            QVERIFY(setOptions(ftpOptions(server.port(), true)));
            m_notifier->clear();
            m_notifier->queueAnswer(yes ? MessageAnswer::Yes : MessageAnswer::No);
            m_screen = new ExchangeScreen(m_clock);
            m_screen->show();
            QVERIFY(m_screen->startTimer()->isActive());
            QCOMPARE(server.sessions(), 0);  // nothing before the timer fires
            QTRY_VERIFY_WITH_TIMEOUT(m_screen.isNull(), 20000);

            const auto& shown = m_notifier->shown();
            QCOMPARE(shown.size(), size_t(2));
            QCOMPARE(ToQString(shown[0].text), QStringLiteral("Загрузить данные с сервера?"));
            QCOMPARE(ToQString(shown[1].text),
                     yes ? QStringLiteral("Успешно!\r\nЗагрузка завершена.")
                         : QStringLiteral("Успешно!\r\nОтправка завершена."));
            QCOMPARE(shown[1].icon, MessageIcon::Information);
            QCOMPARE(shown[1].buttons, MessageButtons::Ok);
            QCOMPARE(GetOption("Fetched", ""), std::string(yes ? "YES" : ""));
            QVERIFY(Query("delete from MY_OPTIONS where OPT_NAME='Fetched'"));
        }
    }

    // A failed automatic exchange quotes the last log line; Retry runs the whole exchange
    // again after the start delay, Cancel closes the screen.
    void automaticFailureOffersRetryAndCancel() {
        const std::uint16_t port = UnusedLocalPort();
        QVERIFY(setOptions(ftpOptions(port, true)));
        m_notifier->queueAnswer(MessageAnswer::Retry);
        m_notifier->queueAnswer(MessageAnswer::Cancel);
        m_screen = new ExchangeScreen(m_clock);
        m_screen->show();
        QTRY_COMPARE_WITH_TIMEOUT(m_notifier->shown().size(), size_t(1), 20000);
        const QString failure = QStringLiteral(
            "Произошла ошибка!\r\nПоследнее сообщение: \r\nНе удалось "
            "соединиться с сервером.");
        QCOMPARE(ToQString(m_notifier->shown()[0].text), failure);
        QCOMPARE(m_notifier->shown()[0].icon, MessageIcon::Question);
        QCOMPARE(m_notifier->shown()[0].buttons, MessageButtons::RetryCancel);
        QVERIFY(m_screen);
        QVERIFY(m_screen->startTimer()->isActive());  // Retry: the next run is scheduled

        QTRY_VERIFY_WITH_TIMEOUT(m_screen.isNull(), 20000);
        QCOMPARE(m_notifier->shown().size(), size_t(2));
        QCOMPARE(ToQString(m_notifier->shown()[1].text), failure);
    }

    void automaticModeWithoutServerFailsWithAnEmptyLine() {
        QVERIFY(setOptions({{"UseFTP", "1"}, {"FTPAuto", "1"}}));
        m_notifier->queueAnswer(MessageAnswer::Cancel);
        m_screen = new ExchangeScreen(m_clock);
        m_screen->show();
        QTRY_VERIFY_WITH_TIMEOUT(m_screen.isNull(), 20000);
        QStringList boxes;
        for (const auto& t : m_notifier->texts()) boxes << ToQString(t);
        QCOMPARE(boxes, (QStringList{"Не указан FTP-сервер.",
                                     "Произошла ошибка!\r\nПоследнее сообщение: \r\n"}));
    }

    // While the question waits in its own event loop, " Закрыть ", closing the window and a
    // second exchange are all refused; once the exchange is over " Закрыть " closes.
    void busyScreenRefusesCloseAndSecondExchange() {
        FtpTestServer server;
        QVERIFY(setOptions(ftpOptions(server.port(), false)));
        MessageBoxNotifier boxes;
        Notifier* previous = setNotifier(&boxes);
        m_screen = new ExchangeScreen(m_clock);
        m_screen->show();

        bool answered = false;
        bool openWhileBusy = false;
        bool closeRefused = false;
        whenModalOpens<QMessageBox>([&](QMessageBox* box) {
            answered = box->text() == QStringLiteral("Загрузить данные с сервера?");
            QVERIFY(m_screen->busy());
            m_screen->closeCommand()->trigger();
            closeRefused = !m_screen->close();
            m_screen->sendCommand()->trigger();  // a second exchange
            m_screen->fetchCommand()->trigger();
            openWhileBusy = m_screen && m_screen->isVisible();
            box->button(QMessageBox::No)->click();
        });
        m_screen->sendCommand()->trigger();
        setNotifier(previous);

        QVERIFY(answered);
        QVERIFY(closeRefused);
        QVERIFY(openWhileBusy);
        server.waitUntilIdle();
        QCOMPARE(server.sessions(), 1);
        QVERIFY(!m_screen->busy());
        m_screen->closeCommand()->trigger();
        QTRY_VERIFY(m_screen.isNull());
    }

    // The journal's "Обмен с центр. БД" opens the screen over itself, shown and loaded.
    void journalOpensTheScreen() {
        FtpTestServer server;
        QVERIFY(setOptions(ftpOptions(server.port(), false)));
        JournalWindow journal(ProgramScreens(m_clock), m_clock);
        journal.setGeometry(30, 40, 240, 320);
        QAction* command =
            journal.menuBar()->findCommand(QString::fromUtf8(journal_text::kMenuExchange));
        QVERIFY(command);
        command->trigger();
        m_screen = qobject_cast<ExchangeScreen*>(journal.lastExchangeScreen());
        QVERIFY(m_screen);
        QVERIFY(m_screen->isVisible());
        QCOMPARE(m_screen->parentWidget(), &journal);
        QCOMPARE(m_screen->geometry(), journal.geometry());  // over the journal, not at 0,0
        QVERIFY(m_screen->sendCommand()->isEnabled());
        m_screen->closeCommand()->trigger();
        QTRY_VERIFY(m_screen.isNull());
        QVERIFY(journal.lastExchangeScreen() == nullptr);
    }

    // "Выгрузить" asks for the folder, starting in the documents folder, and exports there.
    void exportAsksForTheFolder() {
        TempDir target;
        QString title;
        QString start;
        m_screen = new ExchangeScreen(m_clock);
        m_screen->show();
        whenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
            title = dialog->windowTitle();
            start = dialog->directory().absolutePath();
            dialog->setDirectory(QString::fromStdString(target.str()));
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as "Choose" does
        });
        m_screen->exportCommand()->trigger();
        QCOMPARE(title, QStringLiteral("Выберите папку"));
        QCOMPARE(start, SpecialFolderPath(SpecialFolder::Documents));
        QVERIFY(fs::exists(target / "PDATo1C.xml"));
        QCOMPARE(logTexts(m_screen).first(), QStringLiteral("Начата выгрузка..."));

        // A cancelled choice does nothing.
        whenModalOpens<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        QCOMPARE(m_screen->ChooseFolder(), std::string());
    }

    // While a download waits for a stalled server the screen lives: the log already shows
    // each step, the bar the bytes so far, " Прервать " is offered and " Закрыть " refused. A
    // tap on " Прервать " stops the transfer at once: "Прервано.", yesterday's answer kept,
    // nothing imported, the command gone again.
    void abortStopsAStalledDownload() {
        FtpTestServer::Options options;
        options.stall = "data";
        options.stallAfter = 50000;
        FtpTestServer server(options);
        const std::string remote = kScript + "// " + std::string(200000, 'x');
        writeFile(server.root() / "ToPDA.sqd", remote);
        const fs::path answer = m_program->path() / "exchange" / "ToPDA.sqd";
        fs::create_directories(answer.parent_path());
        const std::string old = "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n";
        writeFile(answer, old);
        QVERIFY(setOptions(ftpOptions(server.port(), false)));
        m_screen = new ExchangeScreen(m_clock);
        m_screen->show();
        QVERIFY(!m_screen->abortCommand()->isVisible());

        QStringList logWhileStalled;
        bool abortShown = false;
        bool closeRefused = false;
        int barValue = -1;
        int barMaximum = -1;
        Watcher watcher([&] {
            if (!serverLogged(server, "STALL ") || m_screen->progressBar()->value() <= 0) {
                return false;
            }
            logWhileStalled = logTexts(m_screen);
            abortShown = m_screen->abortCommand()->isVisible();
            barValue = m_screen->progressBar()->value();
            barMaximum = m_screen->progressBar()->maximum();
            m_screen->closeCommand()->trigger();
            closeRefused = m_screen && m_screen->isVisible();
            QTest::mouseClick(m_screen->menuBar()->buttonOf(m_screen->abortCommand()),
                              Qt::LeftButton);
            return true;
        });
        m_screen->fetchCommand()->trigger();  // returns once the transfer has ended

        QVERIFY(abortShown);
        QVERIFY(closeRefused);
        QVERIFY(logWhileStalled.size() >= 2);
        QCOMPARE(logWhileStalled.mid(logWhileStalled.size() - 2),
                 (QStringList{"Соединение установлено.", "Загрузка  файла."}));
        QCOMPARE(barMaximum, int(remote.size()));
        QVERIFY(barValue > 0 && barValue <= 50000);
        QCOMPARE(logTexts(m_screen).last(), QStringLiteral("Прервано."));
        QVERIFY(!m_screen->abortCommand()->isVisible());
        QVERIFY(!m_screen->busy());
        QCOMPARE(readFile(answer), old);
        QVERIFY(!fs::exists(m_program->path() / "exchange" / "ToPDA.sqd.part"));
        QCOMPARE(GetOption("Fetched", ""), std::string());
        QVERIFY(m_notifier->shown().empty());
    }

    // An answer that never ends (a recursive query without a bound) runs while the screen
    // lives: its timers fire, " Прервать " is offered and " Закрыть " refused. A tap on
    // " Прервать " stops it: "Прервано.", the statements committed before it kept, the open
    // batch and everything after it gone, no box.
    void abortStopsAnEndlessImport() {
        TempDir answer;
        writeFile(
            answer / "ToPDA.sqd",
            "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n"
            "<EXEC \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('Before', '1')\">\r\n"
            "<EXEC \"pragma foreign_keys\">\r\n"  // commits what came before
            "<EXEC \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('Batch', '1')\">\r\n"
            "<EXEC \"with recursive N(V) as (select 1 union all select V + 1 from N) "
            "select count(*) from N\">\r\n"
            "<EXEC \"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('After', '1')\">\r\n");
        m_screen = new ExchangeScreen(m_clock);
        m_screen->show();
        whenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
            dialog->setDirectory(QString::fromStdString(answer.str()));
            static_cast<QDialog*>(dialog)->accept();
        });
        int ticksWhileRunning = 0;
        bool abortShown = false;
        bool closeRefused = false;
        QElapsedTimer sinceAbort;
        Watcher watcher([&] {
            if (!logTexts(m_screen).contains(QStringLiteral("Начата загрузка..."))) return false;
            if (++ticksWhileRunning < 5) return false;  // the screen keeps answering
            abortShown = m_screen->abortCommand()->isVisible();
            m_screen->closeCommand()->trigger();
            closeRefused = m_screen && m_screen->isVisible();
            sinceAbort.start();
            QTest::mouseClick(m_screen->menuBar()->buttonOf(m_screen->abortCommand()),
                              Qt::LeftButton);
            return true;
        });
        m_screen->importCommand()->trigger();  // returns once the import has ended
        qInfo("stopped %lld ms after the tap", static_cast<long long>(sinceAbort.elapsed()));

        QCOMPARE(ticksWhileRunning, 5);
        QVERIFY(abortShown);
        QVERIFY(closeRefused);
        QCOMPARE(logTexts(m_screen).last(), QStringLiteral("Прервано."));
        QVERIFY(!m_screen->abortCommand()->isVisible());
        QVERIFY(!m_screen->busy());
        QCOMPARE(GetOption("Before", ""), std::string("1"));
        QCOMPARE(GetOption("Batch", ""), std::string());
        QCOMPARE(GetOption("After", ""), std::string());
        QCOMPARE(GetOption("LLD_Def", ""), std::string());
        QVERIFY(m_notifier->shown().empty());
    }

    // An answer that accepts orders owes the day's copy: the import ends without it, and the
    // copy follows on the event loop under the screen's parent (the journal, which outlives the
    // screen), checked before it takes the day's place. A second answer while it runs leaves a
    // copy of both; a database whose copy fails its check keeps the earlier copy and says so.
    void anImportsDaysCopyFollowsOnTheLoop() {
        enum class Kind { Accepted, SecondAnswerWhileCopying, Damaged };
        for (const Kind kind : {Kind::Accepted, Kind::SecondAnswerWhileCopying, Kind::Damaged}) {
            qInfo("case %d", static_cast<int>(kind));
            cleanup();
            init();
            const std::string db = DatabasePath();
            const DateTime today = m_clock.Today();
            const std::string copy = BackupFolderFor(db) + "base-" + DateToIso(today) + ".sdb";
            const auto stateInCopy = [&](const std::string& guid) {
                return test::Count(copy,
                                   "select DOC_STATE from DOC_HEADS where GUID='" + guid + "'");
            };
            // Some thousand pages of an order's notes, so the copy takes several steps.
            QVERIFY(Query("create table F (A)"));
            QVERIFY(
                Query("with recursive N(V) as (select 1 union all select V + 1 from N "
                      "where V < 2000) insert into F select randomblob(2000) from N"));
            QVERIFY(Query("insert into DOC_HEADS (GUID, DOC_STATE) values ('D1', 1)"));
            QVERIFY(Query("insert into DOC_HEADS (GUID, DOC_STATE) values ('D2', 1)"));
            QVERIFY(BackupDatabase(db, today));
            if (kind == Kind::Damaged) QVERIFY(test::DamagePage(db, "F", test::Pages::MiddleLeaf));
            TempDir answer;
            const auto accept = [&](const std::string& guid) {
                writeFile(answer / "ToPDA.sqd",
                          "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n"
                          "<EXEC \"update DOC_HEADS set DOC_STATE=2 where GUID='" +
                              guid + "'\">\r\n");
                whenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
                    dialog->setDirectory(QString::fromStdString(answer.str()));
                    static_cast<QDialog*>(dialog)->accept();
                });
                m_screen->importCommand()->trigger();  // returns once the import has ended
                return logTexts(m_screen).contains(QStringLiteral("Загрузка завершена."));
            };
            QWidget journal;
            m_screen = new ExchangeScreen(m_clock, &journal);
            QVERIFY(accept("D1"));
            QVERIFY(!HasBackupOf(db, today));  // owed, not made by the import
            QCOMPARE(stateInCopy("D1"), std::string("1"));
            if (kind == Kind::SecondAnswerWhileCopying) {
                // Once the copy has begun writing beside the day's copy.
                QTRY_VERIFY(std::distance(fs::directory_iterator(BackupFolderFor(db)),
                                          fs::directory_iterator()) > 2);
                QVERIFY(accept("D2"));
            }
            if (kind == Kind::Damaged) {
                QTRY_COMPARE(m_notifier->texts(),
                             std::vector<std::string>{"База данных повреждена."});
                QCOMPARE(stateInCopy("D1"), std::string("1"));
                QVERIFY(!HasBackupOf(db, today));
                continue;
            }
            QTRY_VERIFY(HasBackupOf(db, today));
            QCOMPARE(stateInCopy("D1"), std::string("2"));
            QCOMPARE(stateInCopy("D2"),
                     std::string(kind == Kind::SecondAnswerWhileCopying ? "2" : "1"));
            QTRY_VERIFY(journal.findChildren<DayCopy*>().isEmpty());  // it has ended
            QVERIFY(m_notifier->shown().empty());
            QCOMPARE(std::distance(fs::directory_iterator(BackupFolderFor(db)),
                                   fs::directory_iterator()),
                     1);
        }
    }

    // In automatic mode a stopped upload ends the exchange as a failure does: no question
    // about fetching, the report quotes "Прервано.", Cancel closes the screen.
    void abortInAutomaticModeIsReported() {
        FtpTestServer::Options options;
        options.stall = "pasv";
        FtpTestServer server(options);
        QVERIFY(setOptions(ftpOptions(server.port(), true)));
        m_notifier->queueAnswer(MessageAnswer::Cancel);
        Watcher watcher([&] {
            if (!m_screen || !m_screen->abortCommand()->isVisible() ||
                !serverLogged(server, "STOR ")) {
                return false;
            }
            QTest::mouseClick(m_screen->menuBar()->buttonOf(m_screen->abortCommand()),
                              Qt::LeftButton);
            return true;
        });
        m_screen = new ExchangeScreen(m_clock);
        m_screen->show();
        QTRY_VERIFY_WITH_TIMEOUT(m_screen.isNull(), 20000);
        QStringList boxes;
        for (const auto& t : m_notifier->texts()) boxes << ToQString(t);
        QCOMPARE(boxes, QStringList{"Произошла ошибка!\r\nПоследнее сообщение: \r\nПрервано."});
    }

    // A modal dialog opened on top while a download runs (the agent opens the settings from
    // the journal) does not hold the transfer up: every byte arrives while it is open.
    void transferGoesOnUnderAModalDialog() {
        FtpTestServer::Options options;
        options.throttle = 128 * 1024;  // 600 kB take a few seconds
        options.dataBuffer = 64 * 1024;
        FtpTestServer server(options);
        const std::string remote = kScript + "// " + std::string(600000, 'x');
        writeFile(server.root() / "ToPDA.sqd", remote);
        QVERIFY(setOptions(ftpOptions(server.port(), false)));
        m_screen = new ExchangeScreen(m_clock);
        m_screen->show();

        bool opened = false;
        bool arrivedWhileOpen = false;
        Watcher opener([&] {
            if (!serverLogged(server, "RETR ")) return false;
            opened = true;
            QDialog dialog(m_screen);
            QTimer poll;
            poll.setInterval(20);
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (m_screen->progressBar()->value() != int(remote.size())) return;
                arrivedWhileOpen = true;
                dialog.reject();
            });
            QTimer::singleShot(20000, &dialog, &QDialog::reject);
            poll.start();
            dialog.exec();
            return true;
        });
        m_screen->fetchCommand()->trigger();
        QVERIFY(opened);
        QVERIFY(arrivedWhileOpen);
        QCOMPARE(GetOption("Fetched", ""), std::string("YES"));
        QCOMPARE(logTexts(m_screen).last(), QStringLiteral("Загрузка завершена."));
    }

private:
    FixedClock m_clock;
    std::unique_ptr<TempProgramFolder> m_program;
    std::unique_ptr<RecordingNotifier> m_notifier;
    QPointer<ExchangeScreen> m_screen;
};

QTEST_MAIN(ExchangeScreenTest)
#include "ExchangeScreenTest.moc"
