// The settings dialog "Настройки" on real widgets (offscreen) over a real base.sdb.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <memory>

#include "core/db/QueryResult.h"
#include "core/exchange/AppOptions.h"
#include "screens/exchange/SettingsDialog.h"
#include "support/ModalAnswer.h"
#include "support/TestSupport.h"

using namespace velmorant;
using namespace velmorant::test;

class SettingsDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TempProgramFolder> m_program;
    std::unique_ptr<RecordingNotifier> m_notes;

    static void setOptions(const std::vector<std::pair<std::string, std::string>>& options) {
        std::vector<std::string> sql = {"delete from MY_OPTIONS"};
        for (const auto& [name, value] : options) {
            sql.push_back("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('" + name + "', '" +
                          value + "')");
        }
        execSql(sql);
    }
    template <class T>
    static T* child(QWidget* dialog, const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    // A tap on the box itself (a check box takes taps on its box and caption only).
    static void tap(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    static std::vector<std::string> optionsTable() {
        return joinedRows(
            "select OPT_NAME, OPT_VAL, OPT_DESCR is null from MY_OPTIONS order by rowid");
    }

private slots:
    void init() {
        m_program = std::make_unique<TempProgramFolder>();
        m_notes = std::make_unique<RecordingNotifier>();
    }
    void cleanup() {
        m_notes.reset();
        m_program.reset();
    }

    void showsStoredOptionsInTheirControls() {
        setOptions({{" useftp ", "1"},
                    {"FTPAddress", " ftp.example.org "},
                    {"FTPPort", "2121"},
                    {"ftppath", "in"},
                    {"FTPLogin", "agent"},
                    {"FTPPassword", "secret"},
                    {"AgentName", " Иванов "},
                    {"ftpsecure", "1"},
                    {"Prim", "Примечание"}});
        SettingsDialog dialog;
        QVERIFY(dialog.load());
        dialog.resize(240, 300);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        QCOMPARE(dialog.windowTitle(), QStringLiteral("Настройки"));
        auto* pages = child<QTabWidget>(&dialog, "pages");
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(pages->tabText(0), QStringLiteral("Связь"));
        QCOMPARE(pages->tabText(1), QStringLiteral("Настройки"));
        QVERIFY(child<QCheckBox>(&dialog, "useFtp")->isChecked());
        QVERIFY(!child<QCheckBox>(&dialog, "ftpAuth")->isChecked());
        QCOMPARE(child<QLineEdit>(&dialog, "ftpAddress")->text(),
                 QStringLiteral("ftp.example.org"));
        QCOMPARE(child<QLineEdit>(&dialog, "ftpPort")->text(), QStringLiteral("2121"));
        QCOMPARE(child<QLineEdit>(&dialog, "ftpPath")->text(), QStringLiteral("in"));
        QCOMPARE(child<QLineEdit>(&dialog, "ftpPassword")->echoMode(), QLineEdit::Password);
        auto* secure = child<QCheckBox>(&dialog, "ftpSecure");
        QVERIFY(secure->isChecked());
        QCOMPARE(secure->text(), QStringLiteral(" Шифрование (TLS)"));
        auto* scroll = qobject_cast<QScrollArea*>(pages->widget(0));
        QVERIFY(scroll);
        QWidget* page = scroll->widget();
        QCOMPARE(secure->parentWidget(), page);
        // At 240x300 the page is taller than its tab: it scrolls, and no row is squeezed into
        // the next (the auto-exchange hint is given all the lines its text needs).
        QVERIFY(page->height() > scroll->viewport()->height());
        auto* hint = child<QLabel>(&dialog, "autoExchangeHint");
        QVERIFY(hint->height() >= hint->heightForWidth(hint->width()));
        int previousBottom = -1;
        for (QWidget* row : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!row->isVisible()) continue;
            QVERIFY2(row->y() > previousBottom, qPrintable(row->objectName()));
            previousBottom = row->geometry().bottom();
        }

        auto* list = child<QTableWidget>(&dialog, "options");
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->horizontalHeaderItem(0)->text(), QStringLiteral("Значение"));
        QCOMPARE(list->horizontalHeaderItem(1)->text(), QStringLiteral("Имя"));
        QCOMPARE(list->item(0, 0)->text(), QStringLiteral("Иванов"));
        QCOMPARE(list->item(0, 1)->text(), QStringLiteral("AgentName"));
        QCOMPARE(list->item(1, 1)->text(), QStringLiteral("Prim"));
        QVERIFY(list->item(0, 0)->flags() & Qt::ItemIsEditable);
        QVERIFY(!(list->item(0, 1)->flags() & Qt::ItemIsEditable));
        QCOMPARE(list->columnWidth(1), 80);
        QVERIFY(list->columnWidth(0) >= 10);

        // Shown, and again after a resize, the value column takes the rest of the list:
        // its width less a scroll bar, 2 pixels and the 80 of the name column.
        const auto expectedValueWidth = [list] {
            const int scrollBar =
                list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
            return list->width() - 2 * list->frameWidth() - scrollBar - 2 - 80;
        };
        pages->setCurrentIndex(1);
        QTRY_COMPARE(list->columnWidth(0), expectedValueWidth());
        QVERIFY(list->columnWidth(0) > 80);
        dialog.resize(320, 300);
        QTRY_COMPARE(list->columnWidth(0), expectedValueWidth());
    }

    void enablesFieldsByTheSwitches() {
        setOptions({});
        SettingsDialog dialog;
        dialog.load();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* useFtp = child<QCheckBox>(&dialog, "useFtp");
        auto* auth = child<QCheckBox>(&dialog, "ftpAuth");
        struct Step {
            QCheckBox* click;
            bool serverFields;
            bool loginFields;
        };
        const Step steps[] = {
            {nullptr, false, false}, {auth, false, false},  // disabled: the click does nothing
            {useFtp, true, false},   {auth, true, true},   {useFtp, false, false},
            {useFtp, true, true},    {auth, true, false},
        };
        for (const Step& step : steps) {
            if (step.click) tap(step.click);
            for (const char* name :
                 {"ftpAuto", "ftpAddress", "ftpPort", "ftpPath", "ftpSecure", "ftpAuth"}) {
                QCOMPARE(child<QWidget>(&dialog, name)->isEnabled(), step.serverFields);
            }
            for (const char* name : {"ftpLogin", "ftpPassword"}) {
                QCOMPARE(child<QWidget>(&dialog, name)->isEnabled(), step.loginFields);
            }
            auto* address = child<QWidget>(&dialog, "ftpAddress");
            QCOMPARE(address->parentWidget()->findChild<QLabel*>()->isEnabled(), step.serverFields);
        }
    }

    void okSavesTheKeysThenTheList() {
        setOptions(
            {{"useftp", "1"}, {"FTPAddress", "old"}, {"AgentName", "Agent"}, {"PDA_ID", "7"}});
        SettingsDialog dialog;
        dialog.load();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        auto* address = child<QLineEdit>(&dialog, "ftpAddress");
        address->clear();
        QTest::keyClicks(address, " host ");
        auto* port = child<QLineEdit>(&dialog, "ftpPort");
        QTest::keyClicks(port, "70a000");  // digits only
        QCOMPARE(port->text(), QStringLiteral("70000"));
        tap(child<QCheckBox>(&dialog, "ftpAuth"));
        QTest::keyClicks(child<QLineEdit>(&dialog, "ftpLogin"), "O'Neil");
        tap(child<QCheckBox>(&dialog, "useZip"));
        tap(child<QCheckBox>(&dialog, "ftpSecure"));

        // Edit the first value in place, as a tap on it would.
        auto* pages = child<QTabWidget>(&dialog, "pages");
        pages->setCurrentIndex(1);
        auto* list = child<QTableWidget>(&dialog, "options");
        list->setCurrentCell(0, 0);
        list->editItem(list->item(0, 0));
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(editor && editor != list);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, "Agent's");

        dialog.okCommand()->trigger();
        QCOMPARE(dialog.result(), int(Dialog::Confirmed));
        QVERIFY(m_notes->texts().empty());
        QCOMPARE(optionsTable(),
                 (std::vector<std::string>{"UseFTP|1|1", "FTPAuth|1|1", "UseZip|1|1",
                                           "FTPAddress|host|1", "FTPPort|70000|1", "FTPPath||1",
                                           "FTPLogin|O'Neil|1", "FTPPassword||1", "FTPAuto|0|1",
                                           "FTPSecure|1|1", "AgentName|Agent's|1", "PDA_ID|7|1"}));
        const TAppOptions used = LoadAppOptions();
        QCOMPARE(int(used.FTPPort), 4464);
        QVERIFY(used.FTPSecure);
    }

    // The office's key has a field of its own: shown from the stored option (not in the
    // list), saved after the exchange keys when typed, and no row at all once cleared.
    void answerKeyHasItsOwnField() {
        const std::string key = "fmrvcnj81oHMSPsF1y87hvUNl7h5Sg4WGAlqAOC9qAY=";
        struct Case {
            const char* name;
            std::string stored;  // empty: no row
            std::string typed;   // replaces the field's text
            std::vector<std::string> rowsAfter;
        };
        const std::vector<Case> cases = {
            {"typed in", "", key, {"AnswerKey|" + key + "|1", "AgentName|A|1"}},
            {"kept", key, key, {"AnswerKey|" + key + "|1", "AgentName|A|1"}},
            {"cleared", key, "", {"AgentName|A|1"}},
        };
        for (const auto& c : cases) {
            std::vector<std::pair<std::string, std::string>> options = {{"AgentName", "A"}};
            if (!c.stored.empty()) options.insert(options.begin(), {"answerkey", c.stored});
            setOptions(options);
            SettingsDialog dialog;
            QVERIFY(dialog.load());
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            auto* field = child<QLineEdit>(&dialog, "answerKey");
            QCOMPARE(field->text().toStdString(), c.stored);
            QCOMPARE(child<QTableWidget>(&dialog, "options")->rowCount(), 1);
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Delete);
            QTest::keyClicks(field, QString::fromStdString(c.typed));
            dialog.okCommand()->trigger();
            auto rows = optionsTable();
            rows.erase(rows.begin(), rows.begin() + 10);  // the ten exchange keys
            QCOMPARE(rows, c.rowsAfter);
            QCOMPARE(LoadAppOptions().AnswerKey, c.typed);
        }
    }

    void cancelWritesNothing() {
        setOptions({{"useftp", "1"}, {"AgentName", "Agent"}});
        const auto before = optionsTable();
        SettingsDialog dialog;
        dialog.load();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        tap(child<QCheckBox>(&dialog, "useFtp"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(Dialog::Cancelled));
        QCOMPARE(optionsTable(), before);
    }

    void aFailedSaveKeepsTheDialogAndTheOptions() {
        setOptions({{"Bad", "1"}, {"AgentName", "Agent"}});
        execSql(
            {"create trigger refuse before insert on MY_OPTIONS when new.OPT_NAME='Bad' "
             "begin select raise(abort, 'refused'); end"});
        const auto before = optionsTable();
        SettingsDialog dialog;
        dialog.load();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.okCommand()->trigger();
        QVERIFY(dialog.isVisible());
        QCOMPARE(m_notes->texts(),
                 (std::vector<std::string>{"refused", "Настройки не сохранены."}));
        QCOMPARE(optionsTable(), before);
    }

    void unreadableOptionsCannotBeSaved() {
        execSql({"drop table MY_OPTIONS"});
        SettingsDialog dialog;
        QVERIFY(!dialog.load());
        QVERIFY(!dialog.okCommand()->isEnabled());
    }

    void runsModallyAndReportsOk() {
        setOptions({{"UseZip", "0"}});
        whenModalOpens<SettingsDialog>([](SettingsDialog* d) {
            tap(d->findChild<QCheckBox*>(QStringLiteral("useZip")));
            QTest::keyClick(d, Qt::Key_Return);  // Enter is "[ OK ]"
        });
        QVERIFY(RunSettingsDialog(nullptr));
        QCOMPARE(joinedRows("select OPT_VAL from MY_OPTIONS where OPT_NAME='UseZip'"),
                 std::vector<std::string>{"1"});

        whenModalOpens<SettingsDialog>([](SettingsDialog* d) { d->cancelCommand()->trigger(); });
        QVERIFY(!RunSettingsDialog(nullptr));
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "SettingsDialogTest.moc"
