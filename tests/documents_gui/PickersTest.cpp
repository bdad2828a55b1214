// The client picker and the goods picker driven through their real controls offscreen, on a
// real base.sdb.
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "DocumentsSeed.h"
#include "documents/ClientPicker.h"
#include "documents/GoodsPicker.h"
#include "documents/QuantityDialog.h"
#include "support/ModalAnswer.h"
#include "support/TestSupport.h"

using namespace velmorant;
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

// Types `keys` on the keypad that opens next and confirms with "Oк".
void AnswerKeypad(QStringList keys, bool* priceShown = nullptr) {
    test::whenModalOpens<TQuantityDialog>([keys, priceShown](TQuantityDialog* d) {
        if (priceShown) *priceShown = d->priceShown();
        for (const QString& k : keys) {
            QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("key") + k),
                              Qt::LeftButton);
        }
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    });
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
    TClientPicker p;
    p.Fill("SPR_CLIENTS", "  C-IVANOV ");
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
}

void PickersTest::typingFindsTheFirstMatchingClient() {
    QFETCH(QString, typed);
    QFETCH(QString, selected);
    TClientPicker p;
    p.Fill("SPR_CLIENTS", "");
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
    TClientPicker p;
    p.Fill("SPR_CLIENTS", "");
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
    test::whenModalOpens<TClientPicker>([&](TClientPicker* p) {
        preselected = Current(p->list());
        test::TapMenu(p->menuBar(), "[ Отмена ]");
    });
    QVERIFY(!PickClient(guid, name, info, &owner));
    QCOMPARE(preselected, QString("Иванов И.И."));
    QVERIFY(guid.empty() && name.empty() && info.empty());

    // Enter in the search field chooses the client found.
    test::whenModalOpens<TClientPicker>([](TClientPicker* p) {
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

    // " ВВОД " without a selected row does nothing.
    test::TapMenu(p.menuBar(), " ВВОД ");
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
    QCOMPARE(p.folderBar()->text(), QString());
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

QTEST_MAIN(PickersTest)
#include "PickersTest.moc"
