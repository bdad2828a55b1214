// A later day at the office: its answer orders the documents taken before tomorrow deleted
// and carries a message; the next export tells the office when this device last loaded.
#include <QJsonArray>
#include <QTest>

#include "TypicalDay.h"
#include "core/db/Dates.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/journal/JournalTexts.h"
#include "screens/journal/JournalWindow.h"
#include "support/Controls.h"

namespace fs = std::filesystem;

namespace velmorant::test {

void LaterDay(TypicalDay& day) {
    AnsweringBoxes& boxes = *day.boxes;
    // A later day at the office: its answer orders the documents taken before tomorrow
    // deleted and carries a message. The next export tells the office when this device
    // last loaded.
    day.office->stop();
    const std::string tomorrow = DateToText(day.clock.Today() + 1);
    std::vector<std::string> laterArgs = day.serverArgs;
    for (const std::string& a : {std::string("--delete-old"), tomorrow, std::string("--message"),
                                 kOfficeMessage.toStdString()}) {
        laterArgs.push_back(a);
    }
    day.office = std::make_unique<OfficeServer>(day.officeRoot, laterArgs);
    QVERIFY2(day.office->error().empty(), day.office->error().c_str());
    QVERIFY(SetOption("FTPPort", std::to_string(day.office->port())));
    fs::remove(day.sent);

    boxes.clear();
    ExchangeFromJournal(day);
    if (QTest::currentTestFailed()) return;
    QStringList expected = QStringList{
        ToQString(exchange_text::kFetchQuestion),
        ToQString("Поступила команда удалить старые документы до ") + ToQString(tomorrow) +
            ToQString(".\r\nУдалено документов 1"),
        ToQString("Сообщение из офиса: [1 / 1]\r\n") + kOfficeMessage,
    };
    if (day.automatic) expected << day.success;
    QCOMPARE(boxes.texts(), expected);
    QCOMPARE(boxes.shown()[1].icon, MessageIcon::Information);

    QVERIFY2(fs::exists(day.sent), day.office->output().c_str());
    QString error;
    std::optional<QJsonObject> received = ReadReceived(day.sent, &error);
    QVERIFY2(received, qPrintable(error));
    QCOMPARE((*received)["attributes"].toObject()["LastLoadDate"].toString(),
             ToQString(day.lastLoad));
    QCOMPARE((*received)["documents"].toArray().size(), 0);

    QCOMPARE(Count("DOC_HEADS"), 0);
    QCOMPARE(Count("DOC_ORDERS"), 0);
    const int before = day.loads->count();
    QVERIFY(Choose(day.journalBar, day.more, ToQString(journal_text::kMenuRefresh)));
    QCOMPARE(day.loads->count(), before + 1);
    QCOMPARE(test::RowCount(day.journal->documentList()), 0);
    QCOMPARE(boxes.texts(), expected);  // nothing else was shown
}

}  // namespace velmorant::test
