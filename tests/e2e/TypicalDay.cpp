#include "TypicalDay.h"

#include <QJsonDocument>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "core/db/Dates.h"
#include "core/db/QueryResult.h"
#include "screens/documents/GoodsPicker.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/journal/JournalTexts.h"
#include "screens/journal/JournalWindow.h"
#include "screens/widgets/MenuBar.h"
#include "support/Controls.h"
#include "support/ModalAnswer.h"

namespace fs = std::filesystem;

namespace velmorant::test {

QStringList AnsweringBoxes::texts() const {
    QStringList out;
    for (const auto& b : m_shown) out << b.text;
    return out;
}

MessageAnswer AnsweringBoxes::show(const std::string& text, MessageIcon icon,
                                   MessageButtons buttons) {
    const QString t = ToQString(text);
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

MessageAnswer AnsweringBoxes::fallback(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            return MessageAnswer::Ok;
        case MessageButtons::YesNo:
            return MessageAnswer::No;
        default:
            return MessageAnswer::Cancel;
    }
}
QMessageBox::StandardButton AnsweringBoxes::standardButton(MessageAnswer a) {
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

bool SelectRowByTap(QTreeWidget* list, int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    if (!item) return false;
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    return list->currentItem() == item;
}

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

int StateIcon(const JournalWindow& journal, int row) {
    const QIcon icon = test::CellIcon(journal.documentList(), row, JournalWindow::kStateColumn);
    if (icon.isNull()) return -1;
    const QImage shown =
        icon.pixmap(QSize(16, 12)).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int i = 0; i < journal.stateImages().count(); ++i) {
        if (shown == journal.stateImages().image(i).convertToFormat(QImage::Format_ARGB32))
            return i;
    }
    return -2;
}

QStringList LogTexts(ExchangeScreen* screen) {
    static const QRegularExpression entry(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d (.*)$"));
    QStringList texts;
    for (const QString& line : screen->log()->toPlainText().split(QLatin1Char('\n'))) {
        const auto m = entry.match(line);
        if (m.hasMatch()) texts << m.captured(1);
    }
    return texts;
}

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

int Count(const std::string& table, const std::string& where) {
    return std::stoi(Value("select count(*) as N from " + table + " where " + where, "N"));
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::optional<QJsonObject> ReadReceived(const fs::path& file, QString* error) {
    const CommandResult r = runCommand(std::string(kPython) + " " + Quote(OfficeSimulator()) +
                                       " read --json " + Quote(file.string()));
    if (r.exitCode != 0) {
        *error = ToQString("the office could not read " + file.string() + ": " + r.err);
        return std::nullopt;
    }
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(r.out));
    if (!json.isObject()) {
        *error = ToQString("not JSON: " + r.out);
        return std::nullopt;
    }
    return json.object();
}

QString TodayIso(const Clock& clock) { return ToQString(DateToIso(clock.Today())); }

void StartDay(TypicalDay& day) {
    // A program folder whose database holds the demo directories, loaded as the office's
    // answer would load them.
    const std::string& src = day.src;
    {
        const CommandResult script = runCommand(
            std::string(kPython) + " " + Quote(OfficeSimulator()) + " script --clients " +
            Quote(src + "/examples/clients.csv") + " --goods " +
            Quote(src + "/examples/goods.csv") + " --out " + Quote((day.work / "demo").string()));
        QVERIFY2(script.exitCode == 0, script.err.c_str());
        const CommandResult import =
            runCommand(std::string(VELMORANT_CLI_PATH) + " --home " + Quote(day.program.str()) +
                       " import " + Quote((day.work / "demo").string()));
        QVERIFY2(import.exitCode == 0, (import.out + import.err).c_str());
    }
    QCOMPARE(Count("SPR_CLIENTS"), 50);
    QCOMPARE(Count("SPR_GOODS"), 500);
    // The day starts with no load recorded yet, so that the one of this day can be told.
    QVERIFY(Exec("delete from MY_OPTIONS where OPT_NAME='LLD_Def'"));

    day.officeRoot = day.work / "office";
    day.officeFolder = day.path.empty() ? day.officeRoot : day.officeRoot / day.path;
    if (!day.path.empty()) day.serverArgs = {"--path", day.path};
    if (!day.login.isEmpty()) {
        for (const std::string& a : {std::string("--user"), day.login.toStdString(),
                                     std::string("--password"), day.password})
            day.serverArgs.push_back(a);
    }
    // The first answer of the office refreshes both directories and takes the documents.
    std::vector<std::string> firstArgs = day.serverArgs;
    for (const std::string& a : {std::string("--clients"), src + "/examples/clients.csv",
                                 std::string("--goods"), src + "/examples/goods.csv"}) {
        firstArgs.push_back(a);
    }
    day.office = std::make_unique<OfficeServer>(day.officeRoot, firstArgs);
    QVERIFY2(day.office->error().empty(), day.office->error().c_str());

    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"UseSUMS", "1"},
             {"UseFTP", "1"},
             {"FTPAddress", "127.0.0.1"},
             {"FTPPort", std::to_string(day.office->port())},
             {"FTPPath", day.path},
             {"FTPAuto", day.automatic ? "1" : "0"},
             {"FTPAuth", day.login.isEmpty() ? "0" : "1"},
             {"FTPLogin", day.login.toStdString()},
             {"FTPPassword", day.password},
             {"UseZip", day.zip ? "1" : "0"}}) {
        QVERIFY(SetOption(name, value));
    }

    // The program starts as it does on the device: the journal, empty, loads after a second.
    day.boxes = std::make_unique<AnsweringBoxes>();
    static int run = 0;
    const QString instance =
        QStringLiteral("velmorant-e2e-%1-%2").arg(QCoreApplication::applicationPid()).arg(++run);
    day.started = std::make_unique<StartedProgram>(
        StartProgram(ToQString(day.program.str()), instance, day.clock));
    QVERIFY(day.started->runLoop);
    day.journal = day.started->journal.get();
    day.loads = std::make_unique<QSignalSpy>(day.journal, &JournalWindow::rowsLoaded);
    QTRY_COMPARE_WITH_TIMEOUT(day.loads->count(), 1, 5000);
    QCOMPARE(test::RowCount(day.journal->documentList()), 0);
    day.journalBar = day.journal->menuBar();
    day.more = ToQString(journal_text::kMenuMore);
    day.success = ToQString(exchange_text::kSuccess) + ToQString("Загрузка завершена.");
}

void ExchangeFromJournal(TypicalDay& day) {
    AnsweringBoxes& boxes = *day.boxes;
    QVERIFY(Choose(day.journalBar, day.more, ToQString(journal_text::kMenuExchange)));
    QPointer<ExchangeScreen> screen =
        qobject_cast<ExchangeScreen*>(day.journal->lastExchangeScreen());
    QVERIFY(screen);
    if (day.automatic) {
        QTRY_VERIFY_WITH_TIMEOUT(screen.isNull(), 60000);
        QVERIFY(!boxes.texts().isEmpty());
        QCOMPARE(boxes.texts().last(), day.success);
        return;
    }
    QTRY_VERIFY(screen->isVisible());
    QVERIFY(screen->sendCommand()->isEnabled());
    QVERIFY(Choose(screen->menuBar(), ToQString(exchange_text::kMenuExchange),
                   ToQString(exchange_text::kMenuSend)));
    QTRY_VERIFY_WITH_TIMEOUT(!screen->busy() && !LogTexts(screen).isEmpty() &&
                                 LogTexts(screen).last() == ToQString("Загрузка завершена."),
                             60000);
    QVERIFY(screen->isVisible());
    QVERIFY(Tap(screen->menuBar(), ToQString(exchange_text::kMenuClose)));
    QTRY_VERIFY(screen.isNull());
}

}  // namespace velmorant::test
