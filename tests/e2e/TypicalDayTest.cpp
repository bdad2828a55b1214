// The agent's typical day through the program's real windows, offscreen: the start-up of the
// program on a temporary program folder loaded with the demo directories, a new order written
// in the editor with both pickers and the keypad, "FTP - отправить" against the office
// simulator's FTP server on 127.0.0.1, the office's answer imported, and the journal, the
// editor and the next exchanges afterwards. Every message box is a real one, answered by
// clicking its button. The days are in FirstDay.cpp and LaterDay.cpp.
#include <QTest>

#include "TypicalDay.h"

using namespace velmorant::test;

class TypicalDayTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void typicalDay_data();
    void typicalDay();
};

void TypicalDayTest::initTestCase() {
    const CommandResult r = runCommand(std::string(kPython) + " -c 'import pyftpdlib'");
    if (r.exitCode != 0) QFAIL("/usr/bin/python3 lacks pyftpdlib: run tools/install-deps.sh test");
}

void TypicalDayTest::typicalDay_data() {
    QTest::addColumn<bool>("zip");
    QTest::addColumn<QString>("ftpPath");
    QTest::addColumn<bool>("automatic");  // FTPAuto: the screen exchanges and closes by itself
    QTest::addColumn<QString>("login");   // FTPAuth with this login; empty: anonymous
    QTest::newRow("plain XML, server root") << false << QString() << false << QString();
    QTest::newRow("ZIP archives, agent folder")
        << true << QStringLiteral("agent7") << false << QString();
    QTest::newRow("automatic, own login")
        << true << QStringLiteral("agent7") << true << QStringLiteral("agent7");
}

void TypicalDayTest::typicalDay() {
    QFETCH(bool, zip);
    QFETCH(QString, ftpPath);
    QFETCH(bool, automatic);
    QFETCH(QString, login);
    TypicalDay day;
    day.zip = zip;
    day.path = ftpPath.toStdString();
    day.automatic = automatic;
    day.login = login;

    StartDay(day);
    if (QTest::currentTestFailed()) return;
    FirstDay(day);
    if (QTest::currentTestFailed()) return;
    LaterDay(day);
}

QTEST_MAIN(TypicalDayTest)
#include "TypicalDayTest.moc"
