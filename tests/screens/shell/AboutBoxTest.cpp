// The About box: its texts, colours and command, opened from the journal's menu.
#include <QTest>

#include "screens/journal/JournalWindow.h"
#include "screens/shell/AboutBox.h"
#include "screens/shell/Screens.h"
#include "support/FixedClock.h"
#include "support/ModalAnswer.h"
#include "support/TestSupport.h"

using namespace velmorant;

class AboutBoxTest : public QObject {
    Q_OBJECT
private slots:
    void linesAndColours();
    void showsTheDatabasesPath();
    void openedFromTheJournalAndClosed_data();
    void openedFromTheJournalAndClosed();
};

void AboutBoxTest::linesAndColours() {
    AboutBox box;
    QCOMPARE(box.windowTitle(), QString::fromUtf8("О программе"));
    QCOMPARE(qRound(box.windowOpacity() * 255), 128);
    struct Line {
        const char* text;  // nullptr: any non-empty text of our own
        QColor colour;     // invalid: the default text colour
    };
    const Line expected[] = {{"Velmorant  v 1.0", QColor(0, 0, 160)},
                             {"Разработано", QColor(0, 0, 160)},
                             {"на бесплатном компиляторе:", QColor()},
                             {nullptr, QColor()},
                             {"Автор:", QColor(0, 0, 64)},
                             {nullptr, QColor(0, 0, 64)},
                             {nullptr, QColor(0, 0, 160)}};
    QCOMPARE(box.lines().size(), 7);
    for (int i = 0; i < 7; ++i) {
        QLabel* label = box.lines().at(i);
        if (expected[i].text)
            QCOMPARE(label->text(), QString::fromUtf8(expected[i].text));
        else
            QVERIFY(!label->text().trimmed().isEmpty());
        QVERIFY(label->font().bold());
        QVERIFY(label->alignment() & Qt::AlignHCenter);
        const QColor colour = label->palette().color(QPalette::WindowText);
        QCOMPARE(colour, expected[i].colour.isValid() ? expected[i].colour
                                                      : box.palette().color(QPalette::WindowText));
    }
    // The credits name what the program is really built with.
    for (const char* tool : {"GCC", "Qt 6", "SQLite", "zlib", "libcurl", "libuuid"})
        QVERIFY2(box.lines().at(3)->text().contains(QLatin1String(tool)), tool);
    QCOMPARE(box.lines().at(5)->text(), QString("Velmorant team"));
    const auto commands = box.menuBar()->commands();
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands.at(0)->text(), QString(" "));
    QVERIFY(!commands.at(0)->isEnabled());
    QCOMPARE(commands.at(1)->text(), QString::fromUtf8("[ Закрыть ]"));
}

void AboutBoxTest::showsTheDatabasesPath() {
    test::TempProgramFolder folder;
    AboutBox box;
    box.resize(300, 250);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QLabel* label = box.databasePathLabel();
    QVERIFY(label && label->isVisible());
    QString shown = label->text();
    shown.remove(QChar(0x200B));  // the places where the path may wrap
    QCOMPARE(shown, QString::fromUtf8("База данных:\n") + QString::fromStdString(folder.dbPath()));
    QCOMPARE(label->toolTip(), QString::fromStdString(folder.dbPath()));
    // The whole path fits the box, wrapped between folders if need be.
    QVERIFY(label->geometry().bottom() < label->parentWidget()->height());
    QVERIFY(label->sizeHint().width() <= label->width());
}

void AboutBoxTest::openedFromTheJournalAndClosed_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("[ Закрыть ]") << "close command";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("window closed") << "window";
}

void AboutBoxTest::openedFromTheJournalAndClosed() {
    QFETCH(QString, how);
    test::TempProgramFolder folder;
    test::RecordingNotifier boxes;
    const test::FixedClock clock;
    JournalWindow journal(ProgramScreens(clock), clock);
    journal.loadTimer()->stop();
    journal.show();
    int result = -1;
    QWidget* parent = nullptr;
    test::whenModalOpens<AboutBox>([&](AboutBox* box) {
        parent = box->parentWidget();
        connect(box, &QDialog::finished, [&](int r) { result = r; });
        if (how == "close command")
            QTest::mouseClick(box->menuBar()->buttonOf(box->menuBar()->commands().at(1)),
                              Qt::LeftButton);
        else if (how == "escape")
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    });
    journal.menuBar()->findCommand(QString::fromUtf8("О программе"))->trigger();
    QCOMPARE(parent, static_cast<QWidget*>(&journal));
    QCOMPARE(result, 2);
    QVERIFY(journal.findChildren<AboutBox*>().isEmpty());  // destroyed after closing
    QVERIFY(boxes.shown().empty());
}

QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
