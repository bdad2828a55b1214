// The start-up sequence in this process, and the real program started twice.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <filesystem>
#include <memory>

#include "core/db/Backup.h"
#include "core/db/Database.h"
#include "core/db/Dates.h"
#include "core/db/QueryResult.h"
#include "screens/journal/JournalWindow.h"
#include "screens/shell/SingleInstance.h"
#include "screens/shell/Startup.h"
#include "screens/widgets/MainWindow.h"
#include "support/Controls.h"
#include "support/FixedClock.h"
#include "support/TestSupport.h"

using namespace velmorant;

namespace {

QString uniqueName(const char* what) {
    return QStringLiteral("velmorant-test-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QLatin1String(what));
}

QString q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void unusableDatabaseEndsWithCodeOne();
    void firstRunCreatesTheDatabaseAndShowsAnEmptyJournal();
    void secondStartHandsOverToTheFirst();
    void realProgramStartedTwice();
    void guardNameIsTakenOnce();
    void damagedDatabaseIsRestoredBeforeTheJournalOpens();

private:
    test::FixedClock m_clock;
};

void StartupTest::unusableDatabaseEndsWithCodeOne() {
    test::TempDir folder;
    test::writeFile(folder / "data", "not a folder");
    test::RecordingNotifier boxes;
    StartedProgram started =
        StartProgram(QString::fromStdString(folder.str()), uniqueName("bad"), m_clock);
    QCOMPARE(started.exitCode, 1);
    QVERIFY(!started.runLoop);
    QVERIFY(!started.journal);
    QVERIFY(!boxes.shown().empty());
    QCOMPARE(boxes.shown().back().text, std::string("Ошибка при открытии БД."));
    QCOMPARE(boxes.shown().back().icon, MessageIcon::Error);
    QCOMPARE(boxes.shown().back().buttons, MessageButtons::Ok);
}

void StartupTest::firstRunCreatesTheDatabaseAndShowsAnEmptyJournal() {
    test::TempDir folder;
    test::RecordingNotifier boxes;
    StartedProgram started =
        StartProgram(QString::fromStdString(folder.str()), uniqueName("first"), m_clock);
    QVERIFY(started.runLoop);
    QCOMPARE(started.exitCode, 0);
    QVERIFY(std::filesystem::exists(folder / "data" / "base.sdb"));
    QVERIFY(std::filesystem::is_directory(folder / "exchange"));
    QVERIFY(started.journal && started.journal->isVisible());
    QCOMPARE(MainWindow(), static_cast<QWidget*>(started.journal.get()));
    QSignalSpy loaded(started.journal.get(), &JournalWindow::rowsLoaded);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 3000);
    QCOMPARE(test::RowCount(started.journal->documentList()), 0);
    QVERIFY(boxes.shown().empty());
}

void StartupTest::secondStartHandsOverToTheFirst() {
    test::TempDir folder;
    test::RecordingNotifier boxes;
    const QString name = uniqueName("twice");
    StartedProgram first = StartProgram(QString::fromStdString(folder.str()), name, m_clock);
    QVERIFY(first.runLoop);
    QSignalSpy raised(first.guard.get(), &SingleInstance::raiseRequested);

    StartedProgram second = StartProgram(QString::fromStdString(folder.str()), name, m_clock);
    QCOMPARE(second.exitCode, 0);
    QVERIFY(!second.runLoop);
    QVERIFY(!second.journal);
    QVERIFY(boxes.shown().empty());
    QTRY_COMPARE(raised.count(), 1);
    QVERIFY(first.journal->isVisible());
}

void StartupTest::realProgramStartedTwice() {
    test::TempDir firstFolder;
    test::TempDir secondFolder;
    test::TempDir runtime;
    for (const auto* folder : {&firstFolder, &secondFolder})
        std::filesystem::copy_file(VELMORANT_GUI_PATH, *folder / "velmorant");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", q(runtime.path()));

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(q(firstFolder / "velmorant"), {});
    QVERIFY(first.waitForStarted());
    // The first copy answers once it is up.
    const QString name = SingleInstance::defaultName(q(runtime.path()));
    QVERIFY(name != SingleInstance::defaultName());  // apart from a copy the user runs
    QTRY_COMPARE_WITH_TIMEOUT(SingleInstance::request(name, 500), QString("raised"), 15000);
    QVERIFY(std::filesystem::exists(firstFolder / "data" / "base.sdb"));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(q(secondFolder / "velmorant"), {});
    // A message box would keep it running: it must end by itself, at once and with 0.
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    // The newcomer prepared its own database (a new device here) once before it handed over.
    QVERIFY(std::filesystem::exists(secondFolder / "data" / "base.sdb"));

    first.terminate();
    QVERIFY(first.waitForFinished(10000));
}

void StartupTest::guardNameIsTakenOnce() {
    const QString name = uniqueName("guard");
    QVERIFY(SingleInstance::defaultName().startsWith("Tarvosk_Agent-"));
    SingleInstance first(name);
    QVERIFY(!first.notifyRunningCopy(200));  // nobody listens yet
    int raises = 0;
    QVERIFY(first.listen([&] { ++raises; }));
    SingleInstance second(name);
    QVERIFY(!second.listen([] {}));  // a copy already holds the name
    QVERIFY(second.notifyRunningCopy(100));
    QTRY_COMPARE(raises, 1);
}

QTEST_MAIN(StartupTest)
namespace {

// Adds documents of `today`, ids first..first+count-1, to the prepared database.
void addTodaysDocuments(DateTime today, int first, int count) {
    std::string sql = "begin;";
    for (int i = first; i < first + count; ++i) {
        sql +=
            "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_STATE, CLI_NAME, REC_TIME, "
            "STR_PRIM) values ('g" +
            std::to_string(i) + "', " + std::to_string(i) + ", 0, 0, 'Клиент', " +
            DateToSqlText(today) + ", '" + std::string(300, 'p') + "');";
    }
    QVERIFY(Query(sql + "commit;"));
}

}  // namespace

// A damaged, emptied or missing base.sdb beside a good copy: the restore question is the first
// box, before anything probes the tables; after Yes the journal shows the copy's documents and
// the day's copy is made once they are shown.
void StartupTest::damagedDatabaseIsRestoredBeforeTheJournalOpens() {
    enum class Damage { MiddleThird, ZeroLength, Missing };
    const struct {
        const char* name;
        Damage damage;
    } cases[] = {{"middle third overwritten", Damage::MiddleThird},
                 {"zero-length file", Damage::ZeroLength},
                 {"missing file", Damage::Missing}};
    for (const auto& c : cases) {
        qInfo("%s", c.name);
        test::TempDir folder;
        SetProgramFolder(folder.str());
        QVERIFY(PrepareDatabase());
        const std::string db = DatabasePath();
        addTodaysDocuments(m_clock.Today(), 1, 300);
        QVERIFY(BackupDatabase(db, m_clock.Today() - 1));
        addTodaysDocuments(m_clock.Today(), 301, 200);
        if (c.damage == Damage::MiddleThird) {
            const auto size = std::filesystem::file_size(db);
            std::string bytes = test::readFile(db);
            bytes.replace(size / 3, size / 3, std::string(size / 3, '\x33'));
            test::writeFile(db, bytes);
        } else if (c.damage == Damage::ZeroLength) {
            std::filesystem::resize_file(db, 0);
        } else {
            std::filesystem::remove(db);
        }
        QVERIFY(!CheckDatabaseFile(db));

        test::RecordingNotifier boxes;
        boxes.queueAnswer(MessageAnswer::Yes);
        StartedProgram started = StartProgram(q(folder.path()), uniqueName("damaged"), m_clock);
        QVERIFY(started.runLoop);
        const std::vector<std::string> texts = boxes.texts();
        QVERIFY(!texts.empty());
        const std::string question = "База данных повреждена. Восстановить из копии от " +
                                     DateToText(m_clock.Today() - 1) + "?";
        QCOMPARE(texts[0].substr(0, question.size()), question);
        // At most the count of documents brought back follows: none of the library's texts.
        QVERIFY(texts.size() <= 2);
        if (texts.size() == 2) {
            QCOMPARE(texts[1],
                     std::string("Восстановлено документов: 0. Не удалось прочитать: 0."));
        }
        QVERIFY(CheckDatabaseFile(db));
        int aside = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder / "data")) {
            aside += e.path().filename().string().rfind("base.sdb.damaged-", 0) == 0;
        }
        QCOMPARE(aside, c.damage == Damage::Missing ? 0 : 1);
        QSignalSpy loaded(started.journal.get(), &JournalWindow::rowsLoaded);
        QCOMPARE(ListBackups(BackupFolderFor(db)).size(), size_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() >= 1, 3000);
        QCOMPARE(test::RowCount(started.journal->documentList()), 300);
        // The restored file becomes today's first copy, after the rows are shown.
        QTRY_COMPARE(ListBackups(BackupFolderFor(db)).size(), size_t(2));
        QCOMPARE(boxes.texts().size(), texts.size());
    }
}

#include "StartupTest.moc"
