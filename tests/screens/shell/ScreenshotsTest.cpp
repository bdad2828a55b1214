// Saves pictures of the journal, the period dialog, the About box, the exchange screen and
// the settings dialog as PNG files (into
// VELMORANT_SCREENSHOT_DIR, or the folder named by the environment variable of that name),
// from real windows filled with sample documents.
#include <QDir>
#include <QTest>

#include "core/db/Dates.h"
#include "core/db/QueryResult.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/exchange/SettingsDialog.h"
#include "screens/journal/JournalWindow.h"
#include "screens/journal/MessagesDialog.h"
#include "screens/journal/PeriodDialog.h"
#include "screens/shell/AboutBox.h"
#include "screens/widgets/ScreenFitter.h"
#include "support/Controls.h"
#include "support/FixedClock.h"
#include "support/TestSupport.h"

using namespace velmorant;

namespace {

QString outputFolder() {
    const QString fromEnv = qEnvironmentVariable("VELMORANT_SCREENSHOT_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(VELMORANT_SCREENSHOT_DIR) : fromEnv;
}

void save(QWidget* widget, const QString& name) {
    QVERIFY(QDir().mkpath(outputFolder()));
    const QImage image = widget->grab().toImage();
    QVERIFY(!image.isNull());
    // A picture with a single colour would mean nothing was drawn.
    QVERIFY(image.pixel(2, 2) != image.pixel(image.width() / 2, image.height() / 3) ||
            image.pixel(2, 2) != image.pixel(image.width() / 3, image.height() / 2));
    const QString path = outputFolder() + QLatin1Char('/') + name;
    QVERIFY(image.save(path, "PNG"));
    qInfo("saved %s", qPrintable(path));
}

}  // namespace

class ScreenshotsTest : public QObject {
    Q_OBJECT
private slots:
    void journal();
    void periodDialog();
    void aboutBox();
    void exchangeScreen();
    void settingsDialog();
    void messages();

private:
    // Noon of the day the pictures show.
    test::FixedClock m_clock{EncodeDate(2008, 3, 17) + 0.5};
};

void ScreenshotsTest::journal() {
    test::TempProgramFolder folder;
    test::RecordingNotifier boxes;
    Query("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseSUMS', '1')");
    const char* rows[] = {
        "('A1', '2008-03-15', '2', 'ООО «Ромашка»', '12.5', '1520.4', '2008-03-15')",
        "('A2', '2008-03-15', '1', 'ИП Лютиков', '3', '96', '2008-03-15')",
        "('A3', '2008-03-16', '3', 'Магазин №7', '40', '3100.25', '2008-03-16')",
        "('A4', '2008-03-17', '4', 'Гастроном', '1', '45.5', '2008-03-17')",
        "('A5', '2008-3-18', '0', 'Киоск у вокзала', '', '', '2008-03-17')",
    };
    for (const char* values : rows)
        QVERIFY(Query(std::string("insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, CLI_NAME, "
                                  "ORD_WEIGHT, ORD_SUMM, REC_TIME) values ") +
                      values));
    JournalWindow journal(JournalScreens(), m_clock);
    journal.loadTimer()->stop();
    ScreenFitter::install()->setHandheldOverride(0);
    ScreenFitter::install()->placeMainWindow(&journal);
    journal.show();
    QVERIFY(QTest::qWaitForWindowExposed(&journal));
    journal.setPeriod(0, 0);
    journal.loadRows(0, 0);
    QCOMPARE(test::RowCount(journal.documentList()), 5);
    journal.documentList()->selectRow(1);
    save(&journal, "journal.png");

    // The same journal in a desktop-sized window: the client's name takes the room.
    journal.resize(800, 600);
    QTRY_VERIFY(journal.documentList()->columnWidth(JournalWindow::kClientColumn) > 400);
    save(&journal, "journal-desktop.png");
}

void ScreenshotsTest::periodDialog() {
    TPeriodDialog dialog(EncodeDate(2008, 3, 1), EncodeDate(2008, 3, 17), m_clock);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    save(&dialog, "period-dialog.png");
}

void ScreenshotsTest::aboutBox() {
    // The box names the database in use; show the one an installed program has.
    SetDatabasePath("/home/agent/.local/share/velmorant/data/base.sdb");
    AboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    save(&box, "about-box.png");
}

void ScreenshotsTest::exchangeScreen() {
    test::TempProgramFolder folder;
    test::RecordingNotifier boxes;
    Query(
        "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseFTP', '1'), "
        "('FTPAddress', 'ftp.example.ru'), ('UseZip', '1')");
    auto* screen = new ExchangeScreen(m_clock);
    screen->resize(320, 480);
    screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(screen));
    QVERIFY(screen->sendCommand()->isEnabled());
    for (const char* line : {"Начата выгрузка...", "Упаковка...",
                             "Выгрузка завершена.\r\n/home/agent/exchange/PDATo1C.zip",
                             "Try connect to ftp.example.ru:21 as anonimous/******************",
                             "Соединение установлено.", "Отправка файла."})
        screen->AddLogLine(line);
    screen->progressBar()->setRange(0, 10);
    screen->progressBar()->setValue(7);
    save(screen, "exchange-screen.png");
    screen->close();
}

void ScreenshotsTest::settingsDialog() {
    test::TempProgramFolder folder;
    test::RecordingNotifier boxes;
    Query(
        "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseFTP', '1'), "
        "('FTPAddress', 'ftp.example.ru'), ('FTPPort', '21'), ('FTPPath', 'agents/07'), "
        "('FTPAuth', '1'), ('FTPLogin', 'agent07'), ('FTPPassword', 'secret'), "
        "('UseZip', '1'), ('AgentName', 'Петров'), ('UseSUMS', '1')");
    SettingsDialog dialog;
    dialog.resize(320, 480);
    QVERIFY(dialog.load());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    save(&dialog, "settings-dialog.png");
}

void ScreenshotsTest::messages() {
    test::TempProgramFolder folder;
    test::RecordingNotifier boxes;
    QVERIFY(Query(
        "insert into MY_MESSAGES (GUID, M_DATE, M_TYPE, S_TITLE, S_BODY, IS_NEW) values "
        "('M1', '2026-12-01 09:00:00', 0, 'Новые цены с 1 декабря', 'С 1 декабря действуют "
        "новые цены на молочные продукты и соки.|Справочник товаров обновлён.', 0),"
        "('M2', '2026-12-07 08:30:00', 0, 'План на неделю', 'На этой неделе просим предложить "
        "клиентам консервы «Северный».|Заявки на пятницу передавать до 15:00 четверга.', 1)"));
    MessagesDialog list;
    list.resize(240, 320);
    list.fill();
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    save(&list, "messages.png");
    MessageView view(list.messages().front());
    view.resize(240, 320);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    save(&view, "message.png");
}

QTEST_MAIN(ScreenshotsTest)
#include "ScreenshotsTest.moc"
