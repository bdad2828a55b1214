// The agent's typical day through the program's real windows, offscreen: the start-up of the
// program on a temporary program folder loaded with the demo directories, a new order written
// in the editor with both pickers and the keypad, "FTP - отправить" against the office
// simulator's FTP server on 127.0.0.1, the office's answer imported, and the journal, the
// editor and the next exchanges afterwards. Every message box is a real one, answered by
// clicking its button.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "OfficeServer.h"
#include "app/Startup.h"
#include "db/Dates.h"
#include "db/Options.h"
#include "db/QueryResult.h"
#include "documents/ClientPicker.h"
#include "documents/Document.h"
#include "documents/DocumentEditor.h"
#include "documents/GoodsPicker.h"
#include "documents/QuantityDialog.h"
#include "exchange/ExchangeScreenForm.h"
#include "journal/JournalTexts.h"
#include "journal/JournalWindow.h"
#include "support/FixedClock.h"
#include "support/ModalAnswer.h"
#include "support/TestSupport.h"
#include "ui/MenuBar.h"
#include "ui/MessageBoxNotifier.h"
#include "ui/QtDates.h"

using namespace velmorant;
using namespace velmorant::test;
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
QString u(const char* s) { return QString::fromUtf8(s); }

// The demo client chosen by typing the start of its name; quotes and "ё" travel to the
// office inside an XML attribute.
const QString kClientName = u("АО \"Кедр\", Вышний Волочёк");
const std::string kClientGuid = "CC2BB516-A34E-49C0-910A-688DFC945A70";
const QString kNote = u("Звонить <до 10> & \"срочно\"");
const QString kOfficeMessage = u("Хорошего дня!");

// ---- message boxes -------------------------------------------------------------------------

struct ShownBox {
    QString text;
    MessageIcon icon;
    MessageButtons buttons;
    QString caption;
};

// Shows the core's boxes as the program does (real QMessageBox over the journal) and clicks
// the answer set for the box's text; other boxes get OK, No or Cancel. Records every box.
class AnsweringBoxes : public Notifier {
public:
    AnsweringBoxes() { m_previous = setNotifier(this); }
    ~AnsweringBoxes() override { setNotifier(m_previous); }

    void answer(const QString& text, MessageAnswer a) { m_answers[text] = a; }
    const std::vector<ShownBox>& shown() const { return m_shown; }
    QStringList texts() const {
        QStringList out;
        for (const auto& b : m_shown) out << b.text;
        return out;
    }
    void clear() { m_shown.clear(); }

    MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override {
        const QString t = q(text);
        const auto found = m_answers.find(t);
        const MessageAnswer a = found != m_answers.end() ? found->second : fallback(buttons);
        const std::size_t index = m_shown.size();
        m_shown.push_back({t, icon, buttons, QString()});
        std::weak_ptr<std::vector<ShownBox>*> alive = m_alive;
        whenModalOpens<QMessageBox>(
            [alive, index, a, t](QMessageBox* box) {
                if (auto shown = alive.lock()) (**shown)[index].caption = box->windowTitle();
                QAbstractButton* button = box->button(standardButton(a));
                if (box->text() != t || !button) {
                    box->close();  // not the expected box: the test sees the wrong answer
                    return;
                }
                button->click();
            },
            30000);
        return m_real.show(text, icon, buttons);
    }

private:
    static MessageAnswer fallback(MessageButtons buttons) {
        switch (buttons) {
            case MessageButtons::Ok:
                return MessageAnswer::Ok;
            case MessageButtons::YesNo:
                return MessageAnswer::No;
            default:
                return MessageAnswer::Cancel;
        }
    }
    static QMessageBox::StandardButton standardButton(MessageAnswer a) {
        switch (a) {
            case MessageAnswer::Ok:
                return QMessageBox::Ok;
            case MessageAnswer::Yes:
                return QMessageBox::Yes;
            case MessageAnswer::No:
                return QMessageBox::No;
            case MessageAnswer::Cancel:
                return QMessageBox::Cancel;
            case MessageAnswer::Retry:
                return QMessageBox::Retry;
        }
        return QMessageBox::NoButton;
    }

    MessageBoxNotifier m_real;
    Notifier* m_previous = nullptr;
    std::map<QString, MessageAnswer> m_answers;
    std::vector<ShownBox> m_shown;
    std::shared_ptr<std::vector<ShownBox>*> m_alive =
        std::make_shared<std::vector<ShownBox>*>(&m_shown);
};

// ---- driving the controls ------------------------------------------------------------------

// Taps the top-level command `caption` of a menu bar.
bool Tap(MenuBar* bar, const QString& caption) {
    QAction* action = bar->findCommand(caption);
    QToolButton* button = action ? bar->buttonOf(action) : nullptr;
    if (!button || !button->isVisible() || !button->isEnabled()) {
        qWarning("no menu command '%s' to tap", qPrintable(caption));
        return false;
    }
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

// Opens the drop-up menu `top` with a tap and taps its entry `item`.
bool Choose(MenuBar* bar, const QString& top, const QString& item) {
    QAction* topAction = bar->findCommand(top);
    QMenu* menu = bar->menuOf(topAction);
    if (!menu || !Tap(bar, top)) return false;
    if (!QTest::qWaitFor([menu] { return menu->isVisible(); }, 5000)) {
        qWarning("menu '%s' did not open", qPrintable(top));
        return false;
    }
    for (QAction* a : menu->actions()) {
        if (a->text() == item && a->isEnabled()) {
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
            return true;
        }
    }
    qWarning("no entry '%s' in menu '%s'", qPrintable(item), qPrintable(top));
    menu->close();
    return false;
}

// Types text character by character, Cyrillic letters included.
void TypeText(QWidget* widget, const QString& text) {
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

bool TapRow(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    if (!item) return false;
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    return list->currentItem() == item;
}

QStringList Column(QTreeWidget* list, int column) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(column);
    return out;
}

// Opens the folder `name` through the picker's drop-down folder tree.
bool OpenFolder(TGoodsPicker* picker, const QString& name) {
    QTest::mouseClick(picker->folderBar(), Qt::LeftButton);
    if (!picker->dropDownOpen()) return false;
    const auto found = picker->folderTree()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) return false;
    picker->folderTree()->setCurrentItem(found.first());
    QTest::mouseClick(picker->findChild<QPushButton*>(QStringLiteral("dropDownOk")),
                      Qt::LeftButton);
    return picker->folderBar()->text().trimmed() == name;
}

// Types `keys` on the keypad that opens next and confirms with its OK button.
void AnswerKeypad(const QStringList& keys) {
    whenModalOpens<TQuantityDialog>([keys](TQuantityDialog* d) {
        for (const QString& k : keys) {
            QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("key") + k),
                              Qt::LeftButton);
        }
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    });
}

// The state picture of a journal row (the index in the journal's state images), -1 for none.
int StateIcon(const JournalWindow& journal, int row) {
    QTableWidgetItem* item = journal.documentList()->item(row, JournalWindow::kStateColumn);
    if (!item || item->icon().isNull()) return -1;
    const QImage shown =
        item->icon().pixmap(QSize(16, 12)).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int i = 0; i < journal.stateImages().count(); ++i) {
        if (shown == journal.stateImages().image(i).convertToFormat(QImage::Format_ARGB32))
            return i;
    }
    return -2;
}

QStringList LogTexts(ExchangeScreenForm* screen) {
    static const QRegularExpression entry(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d (.*)$"));
    QStringList texts;
    for (const QString& line : screen->log()->toPlainText().split(QLatin1Char('\n'))) {
        const auto m = entry.match(line);
        if (m.hasMatch()) texts << m.captured(1);
    }
    return texts;
}

// ---- the database --------------------------------------------------------------------------

bool Exec(const std::string& sql) {
    auto r = TQueryResult::Create(DatabasePath(), true);
    return r && r->Exec(sql);
}

bool SetOption(const std::string& name, const std::string& value) {
    return Exec("delete from MY_OPTIONS where OPT_NAME='" + name +
                "'; insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('" + name + "', '" + value +
                "')");
}

std::string Value(const std::string& sql, const std::string& column) {
    auto r = Query(sql);
    if (!r || r->RowCount() == 0) return "<none>";
    r->First();
    return r->Value(column, "");
}

int Count(const std::string& table, const std::string& where = "1=1") {
    return std::stoi(Value("select count(*) as N from " + table + " where " + where, "N"));
}

// ---- the office side -----------------------------------------------------------------------

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// The export file the office received, read by the office simulator's strict XML reader.
std::optional<QJsonObject> ReadReceived(const fs::path& file, QString* error) {
    const CommandResult r = runCommand(std::string(kPython) + " " + Quote(OfficeSimulator()) +
                                       " read --json " + Quote(file.string()));
    if (r.exitCode != 0) {
        *error = q("the office could not read " + file.string() + ": " + r.err);
        return std::nullopt;
    }
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(r.out));
    if (!json.isObject()) {
        *error = q("not JSON: " + r.out);
        return std::nullopt;
    }
    return json.object();
}

QString TodayIso(const Clock& clock) { return q(DateToIso(clock.Today())); }

}  // namespace

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
    const std::string path = ftpPath.toStdString();
    const std::string password = "s3cr;et Пароль";

    // A program folder whose database holds the demo directories, loaded as the office's
    // answer would load them.
    TempProgramFolder program;
    TempDir work;
    const std::string src = VELMORANT_SOURCE_DIR;
    {
        const CommandResult script = runCommand(
            std::string(kPython) + " " + Quote(OfficeSimulator()) + " script --clients " +
            Quote(src + "/examples/clients.csv") + " --goods " +
            Quote(src + "/examples/goods.csv") + " --out " + Quote((work / "demo").string()));
        QVERIFY2(script.exitCode == 0, script.err.c_str());
        const CommandResult import =
            runCommand(std::string(VELMORANT_CLI_PATH) + " --home " + Quote(program.str()) +
                       " import " + Quote((work / "demo").string()));
        QVERIFY2(import.exitCode == 0, (import.out + import.err).c_str());
    }
    QCOMPARE(Count("SPR_CLIENTS"), 50);
    QCOMPARE(Count("SPR_GOODS"), 500);
    // The day starts with no load recorded yet, so that the one of this day can be told.
    QVERIFY(Exec("delete from MY_OPTIONS where OPT_NAME='LLD_Def'"));

    const fs::path officeRoot = work / "office";
    const fs::path officeFolder = path.empty() ? officeRoot : officeRoot / path;
    std::vector<std::string> serverArgs;
    if (!path.empty()) serverArgs = {"--path", path};
    if (!login.isEmpty()) {
        for (const std::string& a :
             {std::string("--user"), login.toStdString(), std::string("--password"), password})
            serverArgs.push_back(a);
    }
    // The first answer of the office refreshes both directories and takes the documents.
    std::vector<std::string> firstArgs = serverArgs;
    for (const std::string& a : {std::string("--clients"), src + "/examples/clients.csv",
                                 std::string("--goods"), src + "/examples/goods.csv"}) {
        firstArgs.push_back(a);
    }
    auto office = std::make_unique<OfficeServer>(officeRoot, firstArgs);
    QVERIFY2(office->error().empty(), office->error().c_str());

    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"UseSUMS", "1"},
             {"UseFTP", "1"},
             {"FTPAddress", "127.0.0.1"},
             {"FTPPort", std::to_string(office->port())},
             {"FTPPath", path},
             {"FTPAuto", automatic ? "1" : "0"},
             {"FTPAuth", login.isEmpty() ? "0" : "1"},
             {"FTPLogin", login.toStdString()},
             {"FTPPassword", password},
             {"UseZip", zip ? "1" : "0"}}) {
        QVERIFY(SetOption(name, value));
    }

    // The program starts as it does on the device: the journal, empty, loads after a second.
    // Its clock stands still, so that a run across midnight sees one day throughout.
    AnsweringBoxes boxes;
    static int run = 0;
    const QString instance =
        QStringLiteral("velmorant-e2e-%1-%2").arg(QCoreApplication::applicationPid()).arg(++run);
    const FixedClock clock;
    StartedProgram started = StartProgram(q(program.str()), instance, clock);
    QVERIFY(started.runLoop);
    JournalWindow* journal = started.journal.get();
    QSignalSpy loads(journal, &JournalWindow::rowsLoaded);
    QTRY_COMPARE_WITH_TIMEOUT(loads.count(), 1, 5000);
    QCOMPARE(journal->documentList()->rowCount(), 0);
    MenuBar* journalBar = journal->menuBar();
    const QString more = u(journal_text::kMenuMore);

    // 1. " Новый ": the editor on a new document dated today.
    QVERIFY(Tap(journalBar, u(journal_text::kMenuNew)));
    QPointer<TDocumentEditor> editor = qobject_cast<TDocumentEditor*>(journal->lastEditor());
    QVERIFY(editor);
    QTRY_VERIFY(editor->isVisible());
    QCOMPARE(editor->datePicker()->date(), ToQDate(clock.Today()));
    QCOMPARE(editor->statusLabel()->text(), u(kDocStatusNew));
    // Shipment tomorrow: the document still belongs to the day it was written.
    const QDate shipment = ToQDate(clock.Today()).addDays(1);
    editor->datePicker()->setFocus();
    editor->datePicker()->setDate(shipment);

    // 2. The client, found by typing the start of its name in any letter case.
    QString current;
    whenModalOpens<TClientPicker>([&current](TClientPicker* picker) {
        TypeText(picker->searchField(), u("ао \"ке"));
        if (QTreeWidgetItem* item = picker->list()->currentItem()) current = item->text(0);
        Tap(picker->menuBar(), u("[ Выбрать ]"));
        if (picker->isVisible()) Tap(picker->menuBar(), u("[ Отмена ]"));
    });
    QTest::mouseClick(editor->findChild<QToolButton*>(QStringLiteral("clientButton")),
                      Qt::LeftButton);
    QCOMPARE(current, kClientName);
    QCOMPARE(editor->clientField()->text(), kClientName);
    QCOMPARE(editor->document().CLI_GUID, kClientGuid);
    editor->noteField()->setFocus();
    TypeText(editor->noteField(), kNote);

    // Goods in two folders, quantities typed on the keypad.
    QTabBar* tabs = editor->tabs()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(TDocumentEditor::kLinesTab).center());
    QCOMPARE(editor->tabs()->currentIndex(), int(TDocumentEditor::kLinesTab));
    QStringList picked;
    bool pickerOk = false;
    whenModalOpens<TGoodsPicker>([&picked, &pickerOk](TGoodsPicker* p) {
        const QString enter = u(" ВВОД ");
        if (!OpenFolder(p, u("Крупы")) || !TapRow(p->goodsList(), 0)) return;
        picked << p->goodsList()->topLevelItem(0)->text(0);
        AnswerKeypad({"3"});
        Tap(p->menuBar(), enter);
        if (!OpenFolder(p, u("Молоко")) || !TapRow(p->goodsList(), 1)) return;
        picked << p->goodsList()->topLevelItem(1)->text(0);
        AnswerKeypad({"1", "2", ".", "5"});
        Tap(p->menuBar(), enter);
        pickerOk = Tap(p->menuBar(), u(" [ Ок ] "));
    });
    QVERIFY(Tap(editor->menuBar(), u("Подбор")));
    QVERIFY(pickerOk);
    QCOMPARE(picked.size(), 2);
    QCOMPARE(Column(editor->linesList(), 1), picked);
    QCOMPARE(Column(editor->linesList(), 2), (QStringList{"3.00", "12.50"}));
    double total = 0;
    for (const QString& sum : Column(editor->linesList(), 3)) total += sum.toDouble();
    QVERIFY(total > 0);

    // "Ок" writes the document and closes the editor; the journal shows it in state 1.
    QVERIFY(Tap(editor->menuBar(), u("Ок")));
    QTRY_VERIFY(editor.isNull());
    QCOMPARE(loads.count(), 2);
    QCOMPARE(journal->rowGuids().size(), std::size_t(1));
    const std::string guid = journal->rowGuids()[0];
    QCOMPARE(guid.size(), std::size_t(36));
    QTableWidget* list = journal->documentList();
    QCOMPARE(list->item(0, JournalWindow::kClientColumn)->text(), kClientName);
    QCOMPARE(list->item(0, JournalWindow::kDateColumn)->text(),
             shipment.toString(QStringLiteral("dd.MM")));
    QCOMPARE(list->item(0, JournalWindow::kWeightColumn)->text(), QStringLiteral("15.5"));
    QCOMPARE(list->item(0, JournalWindow::kSumColumn)->text(), QString::number(total, 'f', 2));
    QCOMPARE(StateIcon(*journal, 0), 1);
    const std::string doc = "GUID='" + guid + "'";
    QCOMPARE(Value("select DOC_STATE from DOC_HEADS where " + doc, "DOC_STATE"), std::string("1"));
    QCOMPARE(Value("select REC_TIME from DOC_HEADS where " + doc, "REC_TIME"),
             TodayIso(clock).toStdString());
    QCOMPARE(Count("DOC_ORDERS", "DOC_ID='" + guid + "'"), 2);
    QVERIFY(boxes.shown().empty());

    // The agent opens the document again and leaves it open while the exchange runs.
    journal->documentList()->selectRow(0);
    QVERIFY(Tap(journalBar, u(journal_text::kMenuEdit)));
    QPointer<TDocumentEditor> held = qobject_cast<TDocumentEditor*>(journal->lastEditor());
    QVERIFY(held);
    QTRY_VERIFY(held->isVisible());
    QCOMPARE(held->statusLabel()->text(), u(kDocStatusWritten));

    // A directory entry spoiled on the device: the office's answer puts it right again.
    const std::string other = "GUID='912F6DC0-0114-4592-9A26-6CDF6E053CF3'";
    const std::string otherName = Value("select ANAME from SPR_CLIENTS where " + other, "ANAME");
    QVERIFY(Exec("update SPR_CLIENTS set ANAME='spoilt' where " + other));

    // 3. The exchange screen from the journal's menu: "FTP - отправить" exports and uploads
    // (with FTPAuto the screen starts by itself); 4. the question is answered Yes: the
    // office's answer is downloaded and imported. By hand the screen stays open with its log
    // until " Закрыть "; automatically it reports success and closes.
    boxes.answer(u(exchange_text::kFetchQuestion), MessageAnswer::Yes);
    const QString success = u(exchange_text::kSuccess) + u("Загрузка завершена.");
    auto exchangeFromJournal = [&] {
        QVERIFY(Choose(journalBar, more, u(journal_text::kMenuExchange)));
        QPointer<ExchangeScreenForm> screen =
            qobject_cast<ExchangeScreenForm*>(journal->lastExchangeScreen());
        QVERIFY(screen);
        if (automatic) {
            QTRY_VERIFY_WITH_TIMEOUT(screen.isNull(), 60000);
            QVERIFY(!boxes.texts().isEmpty());
            QCOMPARE(boxes.texts().last(), success);
            return;
        }
        QTRY_VERIFY(screen->isVisible());
        QVERIFY(screen->sendCommand()->isEnabled());
        QVERIFY(Choose(screen->menuBar(), u(exchange_text::kMenuExchange),
                       u(exchange_text::kMenuSend)));
        QTRY_VERIFY_WITH_TIMEOUT(!screen->busy() && !LogTexts(screen).isEmpty() &&
                                     LogTexts(screen).last() == u("Загрузка завершена."),
                                 60000);
        QVERIFY(screen->isVisible());
        QVERIFY(Tap(screen->menuBar(), u(exchange_text::kMenuClose)));
        QTRY_VERIFY(screen.isNull());
    };
    exchangeFromJournal();
    if (QTest::currentTestFailed()) return;
    QStringList expected = {u(exchange_text::kFetchQuestion)};
    if (automatic) expected << success;
    QCOMPARE(boxes.texts(), expected);
    QCOMPARE(boxes.shown()[0].icon, MessageIcon::Question);
    QCOMPARE(boxes.shown()[0].buttons, MessageButtons::YesNo);
    QCOMPARE(boxes.shown()[0].caption, u(journal_text::kCaption));
    if (!login.isEmpty()) {
        QVERIFY2(q(office->output()).contains(u("USER '%1' logged in").arg(login)),
                 office->output().c_str());
    }

    // The office received the document, in a file its strict XML reader accepts.
    const fs::path sent = officeFolder / (zip ? "PDATo1C.zip" : "PDATo1C.xml");
    QVERIFY2(fs::exists(sent), office->output().c_str());
    QCOMPARE(readFile(sent).substr(0, 2) == "PK", zip);
    QString error;
    std::optional<QJsonObject> received = ReadReceived(sent, &error);
    QVERIFY2(received, qPrintable(error));
    QCOMPARE((*received)["attributes"].toObject()["LastLoadDate"].toString().trimmed(), QString());
    QJsonArray docs = (*received)["documents"].toArray();
    QCOMPARE(docs.size(), 1);
    const QJsonObject sentDoc = docs[0].toObject();
    QCOMPARE(sentDoc["ID"].toString(), q(guid));
    QCOMPARE(sentDoc["CLIENT"].toString(), q(kClientGuid));
    QCOMPARE(sentDoc["CLIENTNAME"].toString(), kClientName);
    QCOMPARE(sentDoc["PRIM"].toString(), kNote);
    QCOMPARE(sentDoc["DOCDATE"].toString(), shipment.toString(QStringLiteral("yyyy-MM-dd")));
    QCOMPARE(sentDoc["DATEREC"].toString(), TodayIso(clock));
    QCOMPARE(sentDoc["LINES"].toString(), QStringLiteral("2"));
    const QJsonArray rows = sentDoc["rows"].toArray();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].toObject()["NNAME"].toString(), picked[0]);
    QCOMPARE(rows[0].toObject()["NCOUNT"].toString().toDouble(), 3.0);
    QCOMPARE(rows[1].toObject()["NNAME"].toString(), picked[1]);
    QCOMPARE(rows[1].toObject()["NCOUNT"].toString().toDouble(), 12.5);

    // The answer came through the local exchange folder and did its work: the document is
    // taken (state 2), the directories are refreshed, the time of the load is kept.
    const fs::path exchange = program.path() / "exchange";
    QVERIFY(fs::exists(exchange / "ToPDA.sqd"));
    QCOMPARE(fs::exists(exchange / "ToPDA.zip"), zip);
    QCOMPARE(Value("select DOC_STATE from DOC_HEADS where " + doc, "DOC_STATE"), std::string("2"));
    QCOMPARE(Value("select ANAME from SPR_CLIENTS where " + other, "ANAME"), otherName);
    QCOMPARE(Count("SPR_GOODS"), 500);
    const std::string lastLoad = GetOption("LLD_Def", "");
    QVERIFY2(q(lastLoad).startsWith(q(DateToText(clock.Today()))), lastLoad.c_str());

    // 5. "Обновить": the journal shows the document in state 2.
    int before = loads.count();
    QVERIFY(Choose(journalBar, more, u(journal_text::kMenuRefresh)));
    QCOMPARE(loads.count(), before + 1);
    QCOMPARE(journal->rowGuids(), std::vector<std::string>{guid});
    QCOMPARE(StateIcon(*journal, 0), 2);

    // The editor held open during the exchange may no longer save the document...
    boxes.clear();
    held->noteField()->setFocus();
    TypeText(held->noteField(), u(" later"));
    QVERIFY(Tap(held->menuBar(), u("Записать")));
    QCOMPARE(boxes.texts(), QStringList{u(kDocSaveRefused)});
    QCOMPARE(boxes.shown()[0].icon, MessageIcon::Warning);
    QCOMPARE(held->statusLabel()->text(), u(kDocStatusSent));
    QCOMPARE(q(Value("select STR_PRIM from DOC_HEADS where " + doc, "STR_PRIM")), kNote);
    // ... and closing it drops the change when the agent says so.
    boxes.answer(u("Документ изменен. Сохранить?"), MessageAnswer::No);
    QVERIFY(Tap(held->menuBar(), u(" X ")));
    QTRY_VERIFY(held.isNull());
    QCOMPARE(boxes.texts().size(), 2);

    // Opened afresh, the taken document is refused as well, and closes without a question.
    boxes.clear();
    journal->documentList()->selectRow(0);
    QVERIFY(Tap(journalBar, u(journal_text::kMenuEdit)));
    editor = qobject_cast<TDocumentEditor*>(journal->lastEditor());
    QVERIFY(editor);
    QTRY_VERIFY(editor->isVisible());
    QCOMPARE(editor->statusLabel()->text(), u(kDocStatusSent));
    QCOMPARE(editor->clientField()->text(), kClientName);
    QVERIFY(Tap(editor->menuBar(), u("Записать")));
    QCOMPARE(boxes.texts(), QStringList{u(kDocSaveRefused)});
    QVERIFY(Tap(editor->menuBar(), u(" X ")));
    QTRY_VERIFY(editor.isNull());
    QCOMPARE(boxes.texts().size(), 1);
    QCOMPARE(Value("select DOC_STATE from DOC_HEADS where " + doc, "DOC_STATE"), std::string("2"));
    QCOMPARE(Count("DOC_ORDERS", "DOC_ID='" + guid + "'"), 2);

    // A later day at the office: its answer orders the documents taken before tomorrow
    // deleted and carries a message. The next export tells the office when this device
    // last loaded.
    office->stop();
    const std::string tomorrow = DateToText(clock.Today() + 1);
    std::vector<std::string> laterArgs = serverArgs;
    for (const std::string& a : {std::string("--delete-old"), tomorrow, std::string("--message"),
                                 kOfficeMessage.toStdString()}) {
        laterArgs.push_back(a);
    }
    office = std::make_unique<OfficeServer>(officeRoot, laterArgs);
    QVERIFY2(office->error().empty(), office->error().c_str());
    QVERIFY(SetOption("FTPPort", std::to_string(office->port())));
    fs::remove(sent);

    boxes.clear();
    exchangeFromJournal();
    if (QTest::currentTestFailed()) return;
    expected = QStringList{
        u(exchange_text::kFetchQuestion),
        u("Поступила команда удалить старые документы до ") + q(tomorrow) +
            u(".\r\nУдалено документов 1"),
        u("Сообщение из офиса: [1 / 1]\r\n") + kOfficeMessage,
    };
    if (automatic) expected << success;
    QCOMPARE(boxes.texts(), expected);
    QCOMPARE(boxes.shown()[1].icon, MessageIcon::Information);

    QVERIFY2(fs::exists(sent), office->output().c_str());
    received = ReadReceived(sent, &error);
    QVERIFY2(received, qPrintable(error));
    QCOMPARE((*received)["attributes"].toObject()["LastLoadDate"].toString(), q(lastLoad));
    QCOMPARE((*received)["documents"].toArray().size(), 0);

    QCOMPARE(Count("DOC_HEADS"), 0);
    QCOMPARE(Count("DOC_ORDERS"), 0);
    before = loads.count();
    QVERIFY(Choose(journalBar, more, u(journal_text::kMenuRefresh)));
    QCOMPARE(loads.count(), before + 1);
    QCOMPARE(journal->documentList()->rowCount(), 0);
    QCOMPARE(boxes.texts(), expected);  // nothing else was shown
}

QTEST_MAIN(TypicalDayTest)
#include "TypicalDayTest.moc"
