// The quantity keypad driven through its real keys offscreen.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "screens/documents/QuantityDialog.h"
#include "support/ModalAnswer.h"

using namespace velmorant;

namespace {

constexpr Money kNoPriceValue = -kMoneyScale;

QPushButton* Key(TQuantityDialog& d, const QString& text) {
    auto* key = d.findChild<QPushButton*>(QStringLiteral("key") + text);
    if (!key) qFatal("no key %s", qPrintable(text));
    return key;
}

// Runs one step on an open keypad: "k:<key>" taps a keypad key, "t:<text>" types into the
// edit box, "ok", "cancel", "enter", "esc".
void Step(TQuantityDialog& d, const QString& step) {
    if (step.startsWith(QLatin1String("k:"))) {
        QTest::mouseClick(Key(d, step.mid(2)), Qt::LeftButton);
    } else if (step.startsWith(QLatin1String("t:"))) {
        QTest::keyClicks(d.edit(), step.mid(2));
    } else if (step == QLatin1String("ok")) {
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    } else if (step == QLatin1String("cancel")) {
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("cancelButton")),
                          Qt::LeftButton);
    } else if (step == QLatin1String("enter")) {
        QTest::keyClick(d.edit(), Qt::Key_Return);
    } else if (step == QLatin1String("esc")) {
        QTest::keyClick(d.edit(), Qt::Key_Escape);
    } else {
        qFatal("unknown step %s", qPrintable(step));
    }
}

QLabel* Label(TQuantityDialog& d, const char* name) {
    return d.findChild<QLabel*>(QString::fromLatin1(name));
}

}  // namespace

class QuantityDialogTest : public QObject {
    Q_OBJECT
private slots:
    void keysAndTyping_data();
    void keysAndTyping();
    void priceAndSumLines();
    void layoutFollowsTheScreen_data();
    void layoutFollowsTheScreen();
    void editQuantityReplacesOnlyOnConfirm();
};

void QuantityDialogTest::keysAndTyping_data() {
    QTest::addColumn<qint64>("start");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("result");  // 0: still open
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("quantity");

    QTest::newRow("0.00 selected, 5 replaces it")
        << qint64(0) << QStringList{"k:5", "ok"} << 1 << "5" << qint64(50000);
    QTest::newRow("0.00 selected, point key then 5 gives 0.5")
        << qint64(0) << QStringList{"k:.", "k:5", "ok"} << 1 << ".5" << qint64(5000);
    QTest::newRow("1.50 selected, typed comma then 25 gives 0.25")
        << qint64(15000) << QStringList{"t:,25", "enter"} << 1 << ".25" << qint64(2500);
    QTest::newRow("C then OK stays open")
        << qint64(30000) << QStringList{"k:C", "ok"} << 0 << "" << qint64(0);
    QTest::newRow("point alone gives 0")
        << qint64(30000) << QStringList{"k:C", "k:.", "ok"} << 1 << "." << qint64(0);
    QTest::newRow("comma becomes point")
        << qint64(0) << QStringList{"k:C", "t:1,5"} << 0 << "1.5" << qint64(0);
    QTest::newRow("fourth decimal refused")
        << qint64(0) << QStringList{"t:1.234", "k:5", "enter"} << 1 << "1.234" << qint64(12340);
    QTest::newRow("third decimal accepted")
        << qint64(0) << QStringList{"t:1.23", "k:4", "ok"} << 1 << "1.234" << qint64(12340);
    QTest::newRow("second point refused")
        << qint64(0) << QStringList{"t:1.2.3"} << 0 << "1.23" << qint64(0);
    QTest::newRow("letters and signs refused")
        << qint64(0) << QStringList{"t:a-1 b"} << 0 << "1" << qint64(0);
    QTest::newRow("backspace key")
        << qint64(0) << QStringList{"k:1", "k:2", "k:<--", "ok"} << 1 << "1" << qint64(10000);
    QTest::newRow("keys after clear")
        << qint64(125000) << QStringList{"k:C", "k:7", "k:0", "k:.", "k:2", "enter"} << 1 << "70.2"
        << qint64(702000);
    QTest::newRow("escape cancels")
        << qint64(20000) << QStringList{"t:7", "esc"} << 2 << "7" << qint64(-1);
    QTest::newRow("cancel button")
        << qint64(20000) << QStringList{"k:9", "cancel"} << 2 << "9" << qint64(-1);
}

void QuantityDialogTest::keysAndTyping() {
    QFETCH(qint64, start);
    QFETCH(QStringList, steps);
    QFETCH(int, result);
    QFETCH(QString, text);
    QFETCH(qint64, quantity);

    TQuantityDialog d(start, kNoPriceValue);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.edit()->selectedText(), d.edit()->text());  // the start text is selected
    for (const QString& step : steps) Step(d, step);
    QCOMPARE(d.edit()->text(), text);
    QCOMPARE(d.isVisible(), result == 0);
    QCOMPARE(d.result(), result);
    if (result == 1) QCOMPARE(d.quantity(), quantity);
}

void QuantityDialogTest::priceAndSumLines() {
    const struct {
        Money price;
        bool shown;
        const char* priceText;
        const char* sumText;
    } cases[] = {
        {kNoPriceValue, false, "", ""},
        {-1, false, "", ""},  // any negative price
        {0, true, "Цена  0.00", "Сумма 0.00"},
        {123400, true, "Цена  12.34", "Сумма 0.00"},
    };
    for (const auto& c : cases) {
        TQuantityDialog d(0, c.price);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(Label(d, "priceLabel")->isVisible(), c.shown);
        QCOMPARE(Label(d, "sumLabel")->isVisible(), c.shown);
        if (!c.shown) continue;
        QCOMPARE(Label(d, "priceLabel")->text(), QString::fromUtf8(c.priceText));
        QCOMPARE(Label(d, "sumLabel")->text(), QString::fromUtf8(c.sumText));
    }

    // The sum follows every key; an empty text keeps the last sum shown.
    TQuantityDialog d(0, 123400);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    Step(d, "k:2");
    QCOMPARE(Label(d, "sumLabel")->text(), QString::fromUtf8("Сумма 24.68"));
    Step(d, "t:,5");
    QCOMPARE(Label(d, "sumLabel")->text(), QString::fromUtf8("Сумма 30.85"));
    Step(d, "k:C");
    QCOMPARE(Label(d, "sumLabel")->text(), QString::fromUtf8("Сумма 30.85"));
}

void QuantityDialogTest::layoutFollowsTheScreen_data() {
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QRect>("keypad");
    QTest::addColumn<int>("keyWidth");
    QTest::addColumn<int>("buttonsY");
    QTest::newRow("portrait") << QSize(240, 320) << QSize(200, 250) << QRect(7, 35, 184, 109) << 61
                              << 147;
    QTest::newRow("landscape") << QSize(320, 240) << QSize(310, 145) << QRect(196, 6, 104, 109)
                               << 34 << 35;
}

void QuantityDialogTest::layoutFollowsTheScreen() {
    QFETCH(QSize, screen);
    QFETCH(QSize, window);
    QFETCH(QRect, keypad);
    QFETCH(int, keyWidth);
    QFETCH(int, buttonsY);

    TQuantityDialog d(0, 100000);
    d.setScreenSize(screen);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.size(), window);
    QCOMPARE(d.findChild<QWidget*>(QStringLiteral("keypad"))->geometry(), keypad);
    QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("okButton"))->y(), buttonsY);
    QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("cancelButton"))->y(), buttonsY);
    const struct {
        const char* key;
        int column;  // 0, 1, 2
        int y;
        int span;
    } keys[] = {{"C", 0, 0, 1},  {"<--", 1, 0, 2}, {"7", 0, 21, 1}, {"9", 2, 21, 1},
                {"5", 1, 43, 1}, {"3", 2, 65, 1},  {"0", 0, 87, 2}, {".", 2, 87, 1}};
    for (const auto& k : keys) {
        const QRect r = Key(d, QString::fromLatin1(k.key))->geometry();
        QCOMPARE(r, QRect(1 + k.column * keyWidth, k.y, k.span * keyWidth, 22));
    }
    // The keypad lies right of the edit box in landscape and below it in portrait.
    const QRect edit = d.edit()->geometry();
    if (screen.width() < screen.height()) {
        QVERIFY(keypad.top() > edit.bottom());
    } else {
        QVERIFY(keypad.left() > edit.right());
    }
}

void QuantityDialogTest::editQuantityReplacesOnlyOnConfirm() {
    QWidget owner;
    const struct {
        const char* name;
        QStringList steps;
        bool confirmed;
        Money after;
    } cases[] = {
        {"confirmed", {"k:4", "ok"}, true, 40000},
        {"cancelled", {"k:4", "cancel"}, false, 15000},
        {"invalid then cancelled", {"k:C", "ok", "esc"}, false, 15000},
    };
    for (const auto& c : cases) {
        Money quantity = 15000;
        bool sawPriceLines = true;
        test::whenModalOpens<TQuantityDialog>([&](TQuantityDialog* d) {
            sawPriceLines = d->findChild<QLabel*>(QStringLiteral("priceLabel"))->isVisible();
            for (const QString& step : c.steps) Step(*d, step);
        });
        QCOMPARE(EditQuantity(quantity, kNoPriceValue, &owner), c.confirmed);
        QCOMPARE(quantity, c.after);
        QVERIFY2(!sawPriceLines, c.name);
    }
}

QTEST_MAIN(QuantityDialogTest)
#include "QuantityDialogTest.moc"
