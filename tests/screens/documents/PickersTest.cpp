// The client picker and the goods picker driven through their real controls offscreen, on a
// real base.sdb.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "screens/documents/ClientPicker.h"
#include "screens/documents/GoodsPicker.h"
#include "screens/documents/QuantityDialog.h"
#include "screens/widgets/EmptyHint.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/TwoLineDelegate.h"
#include "support/DocumentsSeed.h"
#include "support/ModalAnswer.h"
#include "support/Taps.h"
#include "support/TestSupport.h"

using namespace velmorant;
using test::AnswerKeypad;
using test::Column;

namespace {

QString Current(QTreeWidget* list) {
    QTreeWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item->text(0) : QString();
}

// Selects the folder named `name` in the open drop-down's tree.
void SelectFolder(TGoodsPicker& p, const QString& name) {
    const QList<QTreeWidgetItem*> found =
        p.folderTree()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) qFatal("no folder %s", qPrintable(name));
    p.folderTree()->setCurrentItem(found.first());
}

// The rows of the search or earlier-orders list: "name | second line | quantity".
QStringList Found(TGoodsPicker& p) {
    QStringList rows;
    const QAbstractItemModel* m = p.foundList()->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        rows << m->index(r, 0).data().toString() + " | " +
                    m->index(r, 0).data(TwoLineDelegate::kSecondLineRole).toString() + " | " +
                    m->index(r, 1).data().toString();
    }
    return rows;
}

// Milk in two folders, spelt in two cases, and goods that do not have the letters.
void SeedMilk() {
    test::ExecOrFail(
        "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE) "
        "values ('G-MILK', 20, 1, 0, 0, 'Молоко', 'm1', 60),"
        "('G-MILK2', 21, 2, 0, 0, 'МОЛОКО', 'm2', 65),"
        "('F-MILK', 22, 2, 1, 0, 'Молочное', 'm0', 0),"  // a folder: never found
        "('G-CHOC', 23, 3, 0, 0, 'Шоколад', 'm3', 90)");
}

// Earlier documents of the clients, the newest last.
void SeedEarlierOrders() {
    test::ExecOrFail(
        "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME) values "
        "('D-JAN', '2026-01-10', 2, '2026-01-09', 'C-IVANOV', 'Иванов И.И.'),"
        "('D-FEB', '2026-02-05', 1, '2026-02-01', 'C-IVANOV', 'Иванов И.И.'),"
        "('D-OTHER', '2026-03-01', 1, '2026-03-01', 'C-ROMASHKA', 'ООО Ромашка'),"
        "('D-NOW', '2026-03-02', 1, '2026-03-02', 'C-IVANOV', 'Иванов И.И.');"
        "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values "
        "('D-JAN', 0, 'G-KVASS', 'Квас', 2, 30), ('D-JAN', 1, 'G-RICE', 'Рис', 1, 75),"
        "('D-FEB', 0, 'G-WATER', 'Вода', 3, 20), ('D-FEB', 1, 'G-KVASS', 'Квас', 5, 30),"
        "('D-FEB', 2, 'G-GONE', 'Морс', 1, 40),"
        "('D-OTHER', 0, 'G-JUICE', 'Сок', 7, 55), ('D-NOW', 0, 'G-JUICE', 'Сок', 9, 55)");
}

}  // namespace

class PickersTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void clientsInUnameOrderWithTheCurrentOneSelected();
    void typingFindsTheFirstMatchingClient_data();
    void typingFindsTheFirstMatchingClient();
    void choosingAClient_data();
    void choosingAClient();
    void pickClientCancelledEmptiesTheSelection();

    void goodsPickerOpensTheFirstFolder_data();
    void goodsPickerOpensTheFirstFolder();
    void dropDownOpensOtherFolders();
    void quantitiesTypedOnTheKeypadMakeTheResult();
    void captionsComeFromTheOptions();
    void emptyCatalogueShowsNothing();
    void deepFolderChainOpensInTheDropDown();
    void typingFindsGoodsInEveryFolder();
    void searchByTheMenuCommand();
    void earlierOrdersOfTheClient();

private:
    std::unique_ptr<test::TempProgramFolder> m_folder;
    std::unique_ptr<test::RecordingNotifier> m_notifier;
};

void PickersTest::init() {
    m_folder = std::make_unique<test::TempProgramFolder>();
    m_notifier = std::make_unique<test::RecordingNotifier>();
    test::SeedClients();
    test::SeedGoods();
}

void PickersTest::cleanup() {
    m_notifier.reset();
    m_folder.reset();
}

void PickersTest::clientsInUnameOrderWithTheCurrentOneSelected() {
    ClientPicker p;
    p.fill("SPR_CLIENTS", "  C-IVANOV ");
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    QCOMPARE(Column(p.list(), 0),
             (QStringList{"ИП Запретов", "Иванов И.И.", "ООО Ромашка"}));  // no group
    QCOMPARE(Current(p.list()), QString("Иванов И.И."));
    QCOMPARE(p.windowTitle(), QString("Справочник"));
    // Only the name column is seen; GUID and the spare column are hidden.
    QCOMPARE(p.list()->columnWidth(1), 0);
    QCOMPARE(p.list()->columnWidth(2), 0);
    QCOMPARE(p.list()->columnWidth(0), p.list()->viewport()->width() - 50);
    auto* button = p.findChild<QToolButton*>(QStringLiteral("searchButton"));
    QVERIFY(!button->isEnabled());
    QVERIFY(!button->icon().isNull());
}

void PickersTest::typingFindsTheFirstMatchingClient_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("selected");
    QTest::newRow("first letter") << "и"
                                  << "ИП Запретов";
    QTest::newRow("two letters, any case") << "иВ"
                                           << "Иванов И.И.";
    QTest::newRow("with a blank") << "ооо р"
                                  << "ООО Ромашка";
    QTest::newRow("no match keeps the last one") << "ооо рx"
                                                 << "ООО Ромашка";
    QTest::newRow("a word in the middle") << "ромаш"
                                          << "ООО Ромашка";
    QTest::newRow("initials, any case") << "и.и"
                                        << "Иванов И.И.";
    QTest::newRow("a beginning wins over the middle") << "о"
                                                      << "ООО Ромашка";
}

void PickersTest::typingFindsTheFirstMatchingClient() {
    QFETCH(QString, typed);
    QFETCH(QString, selected);
    ClientPicker p;
    p.fill("SPR_CLIENTS", "");
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    QCOMPARE(Current(p.list()), QString());
    test::TypeText(p.searchField(), typed);
    QCOMPARE(Current(p.list()), selected);
}

void PickersTest::choosingAClient_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("doubleTap");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QString>("guid");
    QTest::addColumn<QString>("info");
    QTest::newRow("menu") << 2 << false << true << "C-ROMASHKA"
                          << "ул. Садовая, 1|тел. 22-33-44";
    QTest::newRow("double tap") << 1 << true << true << "C-IVANOV"
                                << "рынок, место 7";
    QTest::newRow("forbidden by menu") << 0 << false << false << ""
                                       << "";
    QTest::newRow("forbidden by double tap") << 0 << true << false << ""
                                             << "";
}

void PickersTest::choosingAClient() {
    QFETCH(int, row);
    QFETCH(bool, doubleTap);
    QFETCH(bool, chosen);
    QFETCH(QString, guid);
    QFETCH(QString, info);
    ClientPicker p;
    p.fill("SPR_CLIENTS", "");
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    test::TapRow(p.list(), row, doubleTap);
    if (!doubleTap) test::TapMenu(p.menuBar(), "[ Выбрать ]");
    QCOMPARE(p.isVisible(), !chosen);
    if (chosen) {
        QCOMPARE(p.result(), int(Dialog::Confirmed));
        QCOMPARE(QString::fromStdString(p.selectedGuid()), guid);
        QCOMPARE(QString::fromStdString(p.selectedName()), p.list()->topLevelItem(row)->text(0));
        QCOMPARE(QString::fromStdString(p.selectedInfo()), info);
        QVERIFY(m_notifier->shown().empty());
    } else {
        QCOMPARE(m_notifier->shown().size(), size_t(1));
        QCOMPARE(m_notifier->shown()[0].text,
                 std::string("На выбранного клиента отгрузка запрещена!"));
        QCOMPARE(m_notifier->shown()[0].icon, MessageIcon::Warning);
        QCOMPARE(p.selectedGuid(), std::string());
    }
}

void PickersTest::pickClientCancelledEmptiesTheSelection() {
    QWidget owner;
    std::string guid = "C-IVANOV", name = "Иванов И.И.", info = "x";
    QString preselected;
    test::whenModalOpens<ClientPicker>([&](ClientPicker* p) {
        preselected = Current(p->list());
        test::TapMenu(p->menuBar(), "[ Отмена ]");
    });
    QVERIFY(!PickClient(guid, name, info, &owner));
    QCOMPARE(preselected, QString("Иванов И.И."));
    QVERIFY(guid.empty() && name.empty() && info.empty());

    // Enter in the search field chooses the client found.
    test::whenModalOpens<ClientPicker>([](ClientPicker* p) {
        test::TypeText(p->searchField(), "оо");
        QTest::keyClick(p->searchField(), Qt::Key_Return);
    });
    QVERIFY(PickClient(guid, name, info, &owner));
    QCOMPARE(guid, std::string("C-ROMASHKA"));
    QCOMPARE(name, std::string("ООО Ромашка"));
}

void PickersTest::goodsPickerOpensTheFirstFolder_data() {
    QTest::addColumn<QString>("useSums");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QStringList>("quantities");
    QTest::addColumn<QStringList>("prices");
    QTest::addColumn<QStringList>("sums");
    QTest::newRow("without sums") << "0"
                                  << "G-WATER\t2\r\n"
                                  << QStringList{"Товар", "Кол-во"} << QStringList{"", "2.00"}
                                  << QStringList{} << QStringList{};
    QTest::newRow("with sums") << "1"
                               << "G-WATER\t2\r\nG-KVASS\t0,5\r\nG-WATER\t3\r\n"
                               << QStringList{"Товар", "Кол-во", "Цена", "Сумма"}
                               << QStringList{"0.50", "3.00"} << QStringList{"35.00", "20.50"}
                               << QStringList{"17.50", "61.50"};
}

void PickersTest::goodsPickerOpensTheFirstFolder() {
    QFETCH(QString, useSums);
    QFETCH(QString, preset);
    QFETCH(QStringList, header);
    QFETCH(QStringList, quantities);
    QFETCH(QStringList, prices);
    QFETCH(QStringList, sums);
    test::SetOption("UseSUMS", useSums.toStdString());
    TGoodsPicker p;
    p.Load(preset.toStdString());
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    QCOMPARE(p.folderBar()->text(), QString(" Напитки"));
    QStringList captions;
    for (int c = 0; c < p.goodsList()->columnCount(); ++c) {
        captions << p.goodsList()->headerItem()->text(c);
    }
    QCOMPARE(captions, header);
    QCOMPARE(Column(p.goodsList(), 0), (QStringList{"Квас", "Вода"}));  // UNAME order
    QCOMPARE(Column(p.goodsList(), 1), quantities);
    if (!prices.isEmpty()) {
        QCOMPARE(Column(p.goodsList(), 2), prices);
        QCOMPARE(Column(p.goodsList(), 3), sums);
    }
    QVERIFY(!p.dropDownOpen());
    QVERIFY(!p.findChild<QWidget*>(QStringLiteral("dropDownButtons"))->isVisible());
}

void PickersTest::dropDownOpensOtherFolders() {
    TGoodsPicker p;
    p.resize(240, 300);
    p.Load("");
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));

    QTest::mouseClick(p.folderBar(), Qt::LeftButton);
    QVERIFY(p.dropDownOpen());
    QVERIFY(p.findChild<QWidget*>(QStringLiteral("dropDownButtons"))->isVisible());
    QTRY_VERIFY(p.folderTree()->hasFocus());
    // The whole tree is expanded; the current folder is selected; the panel fits its rows.
    QTreeWidgetItem* drinks = p.folderTree()->topLevelItem(0);
    QVERIFY(drinks->isExpanded());
    QCOMPARE(drinks->child(0)->text(0), QString("Соки"));
    QCOMPARE(p.folderTree()->currentItem(), drinks);
    QCOMPARE(p.dropDown()->x(), p.folderBar()->mapTo(&p, QPoint(0, 0)).x() + 2);
    QVERIFY(p.dropDown()->height() >= 40);
    QVERIFY(p.dropDown()->height() <= p.height() - p.dropDown()->y());

    // "OK" opens the selected folder and closes the drop-down.
    SelectFolder(p, "Бакалея");
    QTest::mouseClick(p.findChild<QPushButton*>(QStringLiteral("dropDownOk")), Qt::LeftButton);
    QVERIFY(!p.dropDownOpen());
    QCOMPARE(p.folderBar()->text(), QString(" Бакалея"));
    QCOMPARE(Column(p.goodsList(), 0), QStringList{"Рис"});

    // Enter in the tree opens a sub-folder: only its own goods are listed.
    QTest::mouseClick(p.folderBar(), Qt::LeftButton);
    QCOMPARE(p.folderTree()->currentItem()->text(0), QString("Бакалея"));
    SelectFolder(p, "Соки");
    QTest::keyClick(p.folderTree(), Qt::Key_Return);
    QCOMPARE(Column(p.goodsList(), 0), QStringList{"Сок"});
    QVERIFY(p.isVisible());

    // Escape and "X" close the drop-down only; the open folder stays.
    for (const char* how : {"esc", "x"}) {
        QTest::mouseClick(p.folderBar(), Qt::LeftButton);
        SelectFolder(p, "Напитки");
        if (QByteArray(how) == "esc") {
            QTest::keyClick(p.folderTree(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(p.findChild<QPushButton*>(QStringLiteral("dropDownClose")),
                              Qt::LeftButton);
        }
        QVERIFY(!p.dropDownOpen());
        QVERIFY(p.isVisible());
        QCOMPARE(p.folderBar()->text(), QString(" Соки"));
    }

    // A double tap on a folder opens it.
    QTest::mouseClick(p.folderBar(), Qt::LeftButton);
    SelectFolder(p, "Напитки");
    const QPoint at = p.folderTree()->visualItemRect(p.folderTree()->currentItem()).center();
    QTest::mouseClick(p.folderTree()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(p.folderTree()->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(Column(p.goodsList(), 0), (QStringList{"Квас", "Вода"}));
}

void PickersTest::quantitiesTypedOnTheKeypadMakeTheResult() {
    test::SetOption("UseSUMS", "1");
    TGoodsPicker p;
    p.Load("G-KVASS\t2\r\nG-JUICE\t1\r\nG-GONE\t5\r\n");
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));

    // The open folder's first row is chosen: " ВВОД " at once opens the keypad for it (Квас,
    // chosen before); cancelled, nothing changes.
    QCOMPARE(p.goodsList()->currentItem(), p.goodsList()->topLevelItem(0));
    QVERIFY(p.goodsList()->currentItem()->isSelected());
    test::whenModalOpens<TQuantityDialog>(
        [](TQuantityDialog* d) { QTest::keyClick(d->edit(), Qt::Key_Escape); });
    test::TapMenu(p.menuBar(), " ВВОД ");
    QCOMPARE(p.goodsList()->topLevelItem(0)->text(1), QString("2.00"));
    QVERIFY(QApplication::activeModalWidget() == &p);

    // Вода: 3 by the menu, with the price shown on the keypad.
    bool priceShown = false;
    test::TapRow(p.goodsList(), 1);
    AnswerKeypad({"3"}, &priceShown);
    test::TapMenu(p.menuBar(), " ВВОД ");
    QVERIFY(priceShown);
    QCOMPARE(p.goodsList()->topLevelItem(1)->text(1), QString("3.00"));
    QCOMPARE(p.goodsList()->topLevelItem(1)->text(3), QString("61.50"));

    // Квас: 0 by a double tap; its cells go blank and it leaves the result.
    AnswerKeypad({"0"});
    test::TapRow(p.goodsList(), 0, true);
    QCOMPARE(p.goodsList()->topLevelItem(0)->text(1), QString());
    QCOMPARE(p.goodsList()->topLevelItem(0)->text(3), QString());

    // Enter in the list opens the keypad too; cancelling it changes nothing.
    test::whenModalOpens<TQuantityDialog>([](TQuantityDialog* d) {
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("key9")), Qt::LeftButton);
        QTest::keyClick(d->edit(), Qt::Key_Escape);
    });
    QTest::keyClick(p.goodsList(), Qt::Key_Return);
    QCOMPARE(p.goodsList()->topLevelItem(1)->text(1), QString("3.00"));
    QVERIFY(p.isVisible());

    test::TapMenu(p.menuBar(), " [ Ок ] ");
    QCOMPARE(p.result(), int(Dialog::Confirmed));
    // Catalogue order; Сок was chosen before and is kept although its folder was never open;
    // the unknown GUID is gone.
    const std::vector<std::string> expected = {"G-WATER\t3.00\tВода\t20.50\t61.50",
                                               "G-JUICE\t1.00\tСок\t55.00\t55.00"};
    QCOMPARE(p.Result(), expected);
    p.ReleaseCatalogue();
    QVERIFY(p.catalogue().Records().empty());
}

void PickersTest::captionsComeFromTheOptions() {
    test::SetOption("MultiSelFormText", "Мой подбор");
    test::SetOption("Nomenkl", "Номенклатура");
    test::SetOption("Count", "Шт");
    TGoodsPicker p;
    p.Load("");
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    QCOMPARE(p.windowTitle(), QString(" Мой подбор"));
    QCOMPARE(p.goodsList()->headerItem()->text(0), QString("Номенклатура"));
    QCOMPARE(p.goodsList()->headerItem()->text(1), QString("Шт"));
    test::TapMenu(p.menuBar(), " [X] Отмена");
    QCOMPARE(p.result(), int(Dialog::Cancelled));
    QVERIFY(p.Result().empty());
}

void PickersTest::emptyCatalogueShowsNothing() {
    test::ExecOrFail("delete from SPR_GOODS");
    TGoodsPicker p;
    p.Load("G-KVASS\t2\r\n");
    p.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p));
    // The folder bar says where the goods come from.
    QCOMPARE(p.folderBar()->text(), ToQString(kDirectoriesEmpty));
    QCOMPARE(p.goodsList()->topLevelItemCount(), 0);
    QTest::mouseClick(p.folderBar(), Qt::LeftButton);
    QTest::mouseClick(p.findChild<QPushButton*>(QStringLiteral("dropDownOk")), Qt::LeftButton);
    QCOMPARE(p.goodsList()->topLevelItemCount(), 0);
    test::TapMenu(p.menuBar(), " [ Ок ] ");
    QVERIFY(p.Result().empty());
}

void PickersTest::deepFolderChainOpensInTheDropDown() {
    // 100 000 folders, each inside the one before: far deeper than the call stack allows for
    // a walk that recurses once per level.
    constexpr int kDepth = 100000;
    test::ExecOrFail("delete from SPR_GOODS");
    test::ExecOrFail(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
        std::to_string(kDepth) +
        ") insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE) "
        "select 'F-' || i, 1000 + i, case when i = 1 then 0 else 999 + i end, 1, 0, "
        "'Папка ' || i, printf('%06d', i), 0 from n");
    {
        TGoodsPicker p;
        p.resize(240, 300);
        p.Load("");
        p.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p));
        QCOMPARE(p.folderBar()->text(), QString(" Папка 1"));
        QTest::mouseClick(p.folderBar(), Qt::LeftButton);
        QVERIFY(p.dropDownOpen());
        // The whole chain is in the tree; the first thousand levels are open (deeper, Qt's own
        // recursive row layout would overflow the stack in its turn).
        QTreeWidgetItem* item = p.folderTree()->topLevelItem(0);
        int depth = 1;
        while (item->childCount() > 0) {
            QCOMPARE(item->isExpanded(), depth <= 1000);
            item = item->child(0);
            ++depth;
        }
        QCOMPARE(depth, kDepth);
        QCOMPARE(item->text(0), QString("Папка %1").arg(kDepth));
        QTest::keyClick(p.folderTree(), Qt::Key_Escape);
        QVERIFY(!p.dropDownOpen());
    }  // the picker and its tree are freed here
}

void PickersTest::typingFindsGoodsInEveryFolder() {
    test::SetOption("UseSUMS", "1");
    SeedMilk();
    TGoodsPicker p;
    p.resize(240, 300);
    p.Load("G-WATER\t2\r\n");
    p.show();
    QVERIFY(QTest::qWaitForWindowActive(&p));
    QCOMPARE(Column(p.goodsList(), 0), (QStringList{"Квас", "Вода", "Молоко"}));
    test::TapRow(p.goodsList(), 1);  // Вода selected: the folder view is to come back so
    p.goodsList()->setFocus();
    QVERIFY(!p.findChild<QWidget*>(QStringLiteral("searchPanel"))->isVisible());

    // Letters typed in the goods list open the search field and go into it.
    test::TypeText(p.goodsList(), "м");
    QTRY_VERIFY(p.searchField()->hasFocus());
    QVERIFY(p.searchField()->isVisible());
    test::TypeText(p.searchField(), "ол");
    QCOMPARE(p.searchField()->text(), QString("мол"));
    QCOMPARE(p.view(), TGoodsPicker::View::Search);
    QCOMPARE(Found(p), (QStringList{"Молоко | Напитки | ", "МОЛОКО | Бакалея | "}));
    QCOMPARE(p.folderBar()->text(), QString(" Найдено: 2"));
    QVERIFY(p.foundList()->isVisible() && !p.goodsList()->isVisible());

    // Enter in the field types the quantity of the selected result (the first); the arrow
    // keys move to the next one.
    AnswerKeypad({"4"});
    QTest::keyClick(p.searchField(), Qt::Key_Return);
    QTest::keyClick(p.searchField(), Qt::Key_Down);
    AnswerKeypad({"1"});
    QTest::keyClick(p.searchField(), Qt::Key_Return);
    QCOMPARE(Found(p), (QStringList{"Молоко | Напитки | 4.00", "МОЛОКО | Бакалея | 1.00"}));
    QCOMPARE(p.foundList()->model()->index(0, 3).data().toString(), QString("240.00"));

    // Latin letters, any case; a text nothing has leaves an empty list.
    p.searchField()->setText("X");
    QCOMPARE(Found(p), QStringList{});
    QCOMPARE(p.folderBar()->text(), QString(" Найдено: 0"));

    // Clearing the field brings the folder view back as it was, with the new quantity.
    p.searchField()->clear();
    QCOMPARE(p.view(), TGoodsPicker::View::Folder);
    QCOMPARE(p.folderBar()->text(), QString(" Напитки"));
    QCOMPARE(Current(p.goodsList()), QString("Вода"));
    QCOMPARE(Column(p.goodsList(), 1), (QStringList{"", "2.00", "4.00"}));
    QVERIFY(p.searchField()->isVisible());

    // Escape closes the field, not the window; the result holds what the search picked.
    test::TypeText(p.searchField(), "ШОК");
    QCOMPARE(Found(p), QStringList{"Шоколад | Соки | "});
    QTest::keyClick(p.searchField(), Qt::Key_Escape);
    QVERIFY(p.isVisible());
    QVERIFY(!p.searchField()->isVisible());
    QCOMPARE(p.view(), TGoodsPicker::View::Folder);
    QCOMPARE(p.folderBar()->text(), QString(" Напитки"));
    test::TapMenu(p.menuBar(), " [ Ок ] ");
    const std::vector<std::string> expected = {"G-WATER\t2.00\tВода\t20.50\t41.00",
                                               "G-MILK\t4.00\tМолоко\t60.00\t240.00",
                                               "G-MILK2\t1.00\tМОЛОКО\t65.00\t65.00"};
    QCOMPARE(p.Result(), expected);
}

void PickersTest::searchByTheMenuCommand() {
    SeedMilk();
    TGoodsPicker p;
    p.resize(240, 300);
    p.Load("");
    p.show();
    QVERIFY(QTest::qWaitForWindowActive(&p));
    // Without a client there is nothing earlier to show.
    QVERIFY(!p.earlierAction()->isEnabled());
    test::TapMenuItem(p.menuBar(), "  ...  ", " Ранее ");
    QCOMPARE(p.view(), TGoodsPicker::View::Folder);

    test::TapMenuItem(p.menuBar(), "  ...  ", " Поиск ");
    QVERIFY(p.searchField()->isVisible());
    QVERIFY(p.searchAction()->isChecked());
    QTRY_VERIFY(p.searchField()->hasFocus());
    test::TypeText(p.searchField(), "мОлОкО");
    QCOMPARE(Found(p), (QStringList{"Молоко | Напитки | ", "МОЛОКО | Бакалея | "}));
    // A double tap picks there as in the tree.
    const QRect row = p.foundList()->visualRect(p.foundList()->model()->index(1, 0));
    QTest::mouseClick(p.foundList()->viewport(), Qt::LeftButton, {}, row.center());
    AnswerKeypad({"7"});
    QTest::mouseDClick(p.foundList()->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(Found(p).at(1), QString("МОЛОКО | Бакалея | 7.00"));

    // The command again closes the search; a folder from the drop-down does so as well.
    test::TapMenuItem(p.menuBar(), "  ...  ", " Поиск ");
    QVERIFY(!p.searchField()->isVisible());
    QCOMPARE(p.view(), TGoodsPicker::View::Folder);
    test::TapMenuItem(p.menuBar(), "  ...  ", " Поиск ");
    test::TypeText(p.searchField(), "мол");
    QCOMPARE(p.view(), TGoodsPicker::View::Search);
    QTest::mouseClick(p.folderBar(), Qt::LeftButton);
    SelectFolder(p, "Бакалея");
    QTest::mouseClick(p.findChild<QPushButton*>(QStringLiteral("dropDownOk")), Qt::LeftButton);
    QCOMPARE(p.view(), TGoodsPicker::View::Folder);
    QVERIFY(!p.searchField()->isVisible());
    QCOMPARE(Column(p.goodsList(), 0), (QStringList{"Рис", "МОЛОКО"}));
    QCOMPARE(Column(p.goodsList(), 1), (QStringList{"", "7.00"}));
}

void PickersTest::earlierOrdersOfTheClient() {
    SeedEarlierOrders();
    TGoodsPicker p;
    p.resize(240, 300);
    p.setClient("C-IVANOV", "D-NOW");  // the document being edited does not count
    p.Load("G-KVASS\t1\r\n");
    p.show();
    QVERIFY(QTest::qWaitForWindowActive(&p));
    QVERIFY(p.earlierAction()->isEnabled());

    test::TapMenuItem(p.menuBar(), "  ...  ", " Ранее ");
    QCOMPARE(p.view(), TGoodsPicker::View::Earlier);
    QVERIFY(p.earlierAction()->isChecked());
    QCOMPARE(p.folderBar()->text(), QString(" Ранее заказанные"));
    // Newest first, each with its last quantity and date; Морс is gone from the catalogue.
    QCOMPARE(Found(p), (QStringList{"Вода | 05.02.2026: 3.00 | ", "Квас | 05.02.2026: 5.00 | 1.00",
                                    "Рис | 10.01.2026: 1.00 | "}));
    // Picking works there as in the tree.
    test::whenModalOpens<TQuantityDialog>([](TQuantityDialog* d) {
        QCOMPARE(d->edit()->text(), QString("0.00"));
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("key3")), Qt::LeftButton);
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    });
    test::TapMenu(p.menuBar(), " ВВОД ");
    QCOMPARE(Found(p).at(0), QString("Вода | 05.02.2026: 3.00 | 3.00"));

    // The command again shows the folder again, with the quantity picked.
    test::TapMenuItem(p.menuBar(), "  ...  ", " Ранее ");
    QCOMPARE(p.view(), TGoodsPicker::View::Folder);
    QVERIFY(!p.earlierAction()->isChecked());
    QCOMPARE(Column(p.goodsList(), 1), (QStringList{"1.00", "3.00"}));

    // A letter typed there starts a search of the whole catalogue instead.
    test::TapMenuItem(p.menuBar(), "  ...  ", " Ранее ");
    test::TypeText(p.foundList(), "со");
    QCOMPARE(p.view(), TGoodsPicker::View::Search);
    QCOMPARE(Found(p), QStringList{"Сок | Соки | "});
    test::TapMenu(p.menuBar(), " [ Ок ] ");
    const std::vector<std::string> expected = {"G-KVASS\t1.00\tКвас\t35.00\t35.00",
                                               "G-WATER\t3.00\tВода\t20.50\t61.50"};
    QCOMPARE(p.Result(), expected);

    // A client who never ordered: said so, and the folder view stays.
    TGoodsPicker fresh;
    fresh.setClient("C-FORBIDDEN", "");
    fresh.Load("");
    fresh.show();
    QVERIFY(QTest::qWaitForWindowExposed(&fresh));
    test::TapMenuItem(fresh.menuBar(), "  ...  ", " Ранее ");
    QCOMPARE(fresh.view(), TGoodsPicker::View::Folder);
    QVERIFY(!fresh.earlierAction()->isChecked());
    QCOMPARE(m_notifier->texts(), std::vector<std::string>{"Клиент ранее ничего не заказывал."});
}

QTEST_MAIN(PickersTest)
#include "PickersTest.moc"
