// The period dialog driven through its real controls offscreen.
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "core/db/Dates.h"
#include "screens/journal/PeriodDialog.h"
#include "screens/widgets/QtDates.h"
#include "support/FixedClock.h"
#include "support/ModalAnswer.h"

using namespace velmorant;
using Mode = TPeriodDialog::Mode;

Q_DECLARE_METATYPE(TPeriodDialog::Mode)

namespace {

DateTime d(int year, int month, int day) { return EncodeDate(year, month, day); }

template <class T>
T* child(QWidget* dialog, const char* name) {
    T* w = dialog->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no control %s", name);
    return w;
}

void click(QWidget* dialog, const char* name) {
    QWidget* w = child<QWidget>(dialog, name);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
}

QString checks(QWidget* dialog) {
    QString s;
    if (child<QCheckBox>(dialog, "fromYearStart")->isChecked()) s += QLatin1Char('Y');
    if (child<QCheckBox>(dialog, "fromQuarterStart")->isChecked()) s += QLatin1Char('Q');
    if (child<QCheckBox>(dialog, "fromMonthStart")->isChecked()) s += QLatin1Char('M');
    return s;
}

QString text(QWidget* dialog, const char* name) { return child<QLineEdit>(dialog, name)->text(); }

}  // namespace

class PeriodDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initialModeDescribesThePeriod_data();
    void initialModeDescribesThePeriod();
    void noPeriodMeansAllDocuments();
    void enabledStatesFollowTheMode_data();
    void enabledStatesFollowTheMode();
    void steppingMonthsAndQuarters_data();
    void steppingMonthsAndQuarters();
    void steppingStopsAtTheYearLimits();
    void dayPickedFromMonthStart();
    void intervalKeepsTheLastPeriod();
    void intervalPickersSetThePeriod();
    void runReturnsTheChosenPeriod_data();
    void runReturnsTheChosenPeriod();
    void textsOfTheRows();

private:
    test::FixedClock m_clock;
};

void PeriodDialogTest::initialModeDescribesThePeriod_data() {
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("checks");
    QTest::newRow("whole year") << d(2008, 1, 1) << d(2008, 12, 31) << Mode::Year << "";
    QTest::newRow("second quarter") << d(2008, 4, 1) << d(2008, 6, 30) << Mode::Quarter << "";
    QTest::newRow("fourth quarter") << d(2008, 10, 1) << d(2008, 12, 31) << Mode::Quarter << "";
    QTest::newRow("first quarter from year start")
        << d(2008, 1, 1) << d(2008, 3, 31) << Mode::Quarter << "Y";
    QTest::newRow("leap February") << d(2008, 2, 1) << d(2008, 2, 29) << Mode::Month << "";
    QTest::newRow("January") << d(2008, 1, 1) << d(2008, 1, 31) << Mode::Month << "";
    QTest::newRow("one day") << d(2008, 3, 15) << d(2008, 3, 15) << Mode::Day << "";
    QTest::newRow("New Year's day") << d(2008, 1, 1) << d(2008, 1, 1) << Mode::Day << "";
    QTest::newRow("day from month start") << d(2008, 3, 1) << d(2008, 3, 17) << Mode::Day << "M";
    QTest::newRow("day from quarter start") << d(2008, 7, 1) << d(2008, 8, 31) << Mode::Day << "Q";
    QTest::newRow("day from year start") << d(2008, 1, 1) << d(2008, 5, 15) << Mode::Day << "Y";
    QTest::newRow("free interval") << d(2008, 3, 2) << d(2008, 3, 17) << Mode::Interval << "";
    QTest::newRow("across New Year") << d(2007, 12, 30) << d(2008, 1, 2) << Mode::Interval << "";
    QTest::newRow("time of day dropped")
        << d(2008, 4, 1) + 0.75 << d(2008, 6, 30) + 0.2 << Mode::Quarter << "";
}

void PeriodDialogTest::initialModeDescribesThePeriod() {
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(Mode, mode);
    QFETCH(QString, checks);
    TPeriodDialog dialog(start, end, m_clock);
    QCOMPARE(dialog.mode(), mode);
    QCOMPARE(::checks(&dialog), checks);
    // Recomputing from the chosen mode gives back exactly the period passed in.
    QCOMPARE(dialog.start(), std::trunc(start));
    QCOMPARE(dialog.end(), std::trunc(end));
    QCOMPARE(child<QDateEdit>(&dialog, "intervalFrom")->date(), ToQDate(start));
    QCOMPARE(child<QDateEdit>(&dialog, "intervalTo")->date(), ToQDate(end));
    // The day picker shows the last day in every mode, "День" included.
    QCOMPARE(child<QDateEdit>(&dialog, "dayPicker")->date(), ToQDate(end));
    int radios = 0;
    for (auto* r : dialog.findChildren<QRadioButton*>()) radios += r->isChecked() ? 1 : 0;
    QCOMPARE(radios, 1);
}

void PeriodDialogTest::noPeriodMeansAllDocuments() {
    TPeriodDialog dialog(0, 0, m_clock);
    QCOMPARE(dialog.mode(), Mode::All);
    const QDate today = ToQDate(m_clock.Today());
    QCOMPARE(text(&dialog, "yearText"), TPeriodDialog::yearText(today.year()));
    QCOMPARE(text(&dialog, "monthText"), TPeriodDialog::monthText(today.month(), today.year()));
    QCOMPARE(text(&dialog, "quarterText"),
             TPeriodDialog::quarterText((today.month() + 2) / 3, today.year()));
    for (const char* name : {"yearPrevious", "yearNext", "quarterPrevious", "quarterNext",
                             "monthPrevious", "monthNext", "dayPicker", "intervalFrom",
                             "intervalTo", "fromYearStart", "fromQuarterStart", "fromMonthStart"})
        QVERIFY2(!child<QWidget>(&dialog, name)->isEnabled(), name);
    QCOMPARE(child<QDateEdit>(&dialog, "dayPicker")->date(), today);
}

void PeriodDialogTest::enabledStatesFollowTheMode_data() {
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("checkFirst");  // a check box to tick before (may be empty)
    QTest::addColumn<QStringList>("enabled");
    const QStringList boxes = {"fromYearStart", "fromQuarterStart", "fromMonthStart"};
    QTest::newRow("year") << "yearRadio"
                          << "" << QStringList{"yearPrevious", "yearNext", "yearText"};
    QTest::newRow("quarter") << "quarterRadio"
                             << ""
                             << QStringList{"quarterPrevious", "quarterNext", "quarterText",
                                            "fromYearStart"};
    QTest::newRow("month") << "monthRadio"
                           << ""
                           << QStringList{"monthPrevious", "monthNext", "monthText",
                                          "fromYearStart", "fromQuarterStart"};
    QTest::newRow("day") << "dayRadio"
                         << "" << (QStringList{"dayPicker"} + boxes);
    QTest::newRow("day from year start")
        << "dayRadio"
        << "fromYearStart" << QStringList{"dayPicker", "fromYearStart"};
    QTest::newRow("day from quarter start")
        << "dayRadio"
        << "fromQuarterStart" << QStringList{"dayPicker", "fromYearStart", "fromQuarterStart"};
    QTest::newRow("interval") << "intervalRadio"
                              << "" << QStringList{"intervalFrom", "intervalTo"};
    QTest::newRow("all") << "allRadio"
                         << "" << QStringList{};
}

void PeriodDialogTest::enabledStatesFollowTheMode() {
    QFETCH(QString, radio);
    QFETCH(QString, checkFirst);
    QFETCH(QStringList, enabled);
    TPeriodDialog dialog(d(2008, 3, 15), d(2008, 3, 15), m_clock);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    click(&dialog, radio.toLatin1().constData());
    if (!checkFirst.isEmpty()) click(&dialog, checkFirst.toLatin1().constData());
    const QStringList all = {
        "yearPrevious", "yearNext",      "yearText",      "quarterPrevious",  "quarterNext",
        "quarterText",  "monthPrevious", "monthNext",     "monthText",        "dayPicker",
        "intervalFrom", "intervalTo",    "fromYearStart", "fromQuarterStart", "fromMonthStart"};
    for (const QString& name : all) {
        QCOMPARE(QString(name + (child<QWidget>(&dialog, name.toLatin1().constData())->isEnabled()
                                     ? " on"
                                     : " off")),
                 QString(name + (enabled.contains(name) ? " on" : " off")));
    }
}

void PeriodDialogTest::steppingMonthsAndQuarters_data() {
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("textName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("newStart");
    QTest::addColumn<double>("newEnd");
    QTest::newRow("next month after December")
        << d(2008, 12, 1) << d(2008, 12, 31) << "monthRadio"
        << "monthNext"
        << "monthText" << QString::fromUtf8("Январь 2009 г.") << d(2009, 1, 1) << d(2009, 1, 31);
    QTest::newRow("previous quarter before the first")
        << d(2008, 2, 15) << d(2008, 2, 15) << "quarterRadio"
        << "quarterPrevious"
        << "quarterText" << QString::fromUtf8("IV квартал 2007 г.") << d(2007, 10, 1)
        << d(2007, 12, 31);
    QTest::newRow("previous quarter keeps the year start")
        << d(2008, 1, 1) << d(2008, 3, 31) << "quarterRadio"
        << "quarterPrevious"
        << "quarterText" << QString::fromUtf8("IV квартал 2007 г.") << d(2007, 1, 1)
        << d(2007, 12, 31);
    QTest::newRow("previous month into leap February")
        << d(2008, 3, 1) << d(2008, 3, 31) << "monthRadio"
        << "monthPrevious"
        << "monthText" << QString::fromUtf8("Февраль 2008 г.") << d(2008, 2, 1) << d(2008, 2, 29);
    QTest::newRow("next month into plain February")
        << d(2009, 1, 1) << d(2009, 1, 31) << "monthRadio"
        << "monthNext"
        << "monthText" << QString::fromUtf8("Февраль 2009 г.") << d(2009, 2, 1) << d(2009, 2, 28);
    QTest::newRow("next quarter after the fourth")
        << d(2008, 10, 1) << d(2008, 12, 31) << "quarterRadio"
        << "quarterNext"
        << "quarterText" << QString::fromUtf8("I квартал 2009 г.") << d(2009, 1, 1)
        << d(2009, 3, 31);
    QTest::newRow("previous year")
        << d(2008, 1, 1) << d(2008, 12, 31) << "yearRadio"
        << "yearPrevious"
        << "yearText" << QString::fromUtf8("2007 г.") << d(2007, 1, 1) << d(2007, 12, 31);
    QTest::newRow("switch a day to its quarter")
        << d(2008, 5, 20) << d(2008, 5, 20) << "quarterRadio"
        << ""
        << "quarterText" << QString::fromUtf8("II квартал 2008 г.") << d(2008, 4, 1)
        << d(2008, 6, 30);
    QTest::newRow("switch a day to its month")
        << d(2008, 5, 20) << d(2008, 5, 20) << "monthRadio"
        << ""
        << "monthText" << QString::fromUtf8("Май 2008 г.") << d(2008, 5, 1) << d(2008, 5, 31);
    QTest::newRow("switch a day to its year")
        << d(2008, 5, 20) << d(2008, 5, 20) << "yearRadio"
        << ""
        << "yearText" << QString::fromUtf8("2008 г.") << d(2008, 1, 1) << d(2008, 12, 31);
    QTest::newRow("switch a month to its last day")
        << d(2008, 2, 1) << d(2008, 2, 29) << "dayRadio"
        << ""
        << "monthText" << QString::fromUtf8("Февраль 2008 г.") << d(2008, 2, 29) << d(2008, 2, 29);
}

void PeriodDialogTest::steppingMonthsAndQuarters() {
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(QString, radio);
    QFETCH(QString, button);
    QFETCH(QString, textName);
    QFETCH(QString, text);
    QFETCH(double, newStart);
    QFETCH(double, newEnd);
    TPeriodDialog dialog(start, end, m_clock);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    click(&dialog, radio.toLatin1().constData());
    if (!button.isEmpty()) click(&dialog, button.toLatin1().constData());
    QCOMPARE(::text(&dialog, textName.toLatin1().constData()), text);
    QCOMPARE(dialog.start(), newStart);
    QCOMPARE(dialog.end(), newEnd);
}

void PeriodDialogTest::steppingStopsAtTheYearLimits() {
    struct Case {
        DateTime start, end;
        const char* button;
        DateTime expectStart, expectEnd;
    };
    const Case cases[] = {
        {d(1980, 1, 1), d(1980, 12, 31), "yearPrevious", d(1980, 1, 1), d(1980, 12, 31)},
        {d(3000, 1, 1), d(3000, 12, 31), "yearNext", d(3000, 1, 1), d(3000, 12, 31)},
        {d(1980, 1, 1), d(1980, 1, 31), "monthPrevious", d(1980, 1, 1), d(1980, 1, 31)},
        {d(3000, 12, 1), d(3000, 12, 31), "monthNext", d(3000, 12, 1), d(3000, 12, 31)},
        {d(1980, 1, 1), d(1980, 3, 31), "quarterPrevious", d(1980, 1, 1), d(1980, 3, 31)},
        {d(3000, 10, 1), d(3000, 12, 31), "quarterNext", d(3000, 10, 1), d(3000, 12, 31)},
        {d(1981, 1, 1), d(1981, 12, 31), "yearPrevious", d(1980, 1, 1), d(1980, 12, 31)},
    };
    for (const Case& c : cases) {
        TPeriodDialog dialog(c.start, c.end, m_clock);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        click(&dialog, c.button);
        QCOMPARE(dialog.start(), c.expectStart);
        QCOMPARE(dialog.end(), c.expectEnd);
    }
}

void PeriodDialogTest::dayPickedFromMonthStart() {
    TPeriodDialog dialog(d(2008, 3, 15), d(2008, 3, 15), m_clock);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.mode(), Mode::Day);
    click(&dialog, "fromMonthStart");
    QCOMPARE(dialog.start(), d(2008, 3, 1));
    child<QDateEdit>(&dialog, "dayPicker")->setDate(QDate(2008, 4, 10));
    QCOMPARE(dialog.start(), d(2008, 4, 1));
    QCOMPARE(dialog.end(), d(2008, 4, 10));
    QCOMPARE(text(&dialog, "monthText"), QString::fromUtf8("Апрель 2008 г."));
}

void PeriodDialogTest::intervalKeepsTheLastPeriod() {
    TPeriodDialog dialog(d(2008, 4, 1), d(2008, 6, 30), m_clock);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    click(&dialog, "quarterNext");
    click(&dialog, "intervalRadio");
    QCOMPARE(dialog.mode(), Mode::Interval);
    QCOMPARE(dialog.start(), d(2008, 7, 1));
    QCOMPARE(dialog.end(), d(2008, 9, 30));
    QCOMPARE(child<QDateEdit>(&dialog, "intervalFrom")->date(), QDate(2008, 7, 1));
    QCOMPARE(child<QDateEdit>(&dialog, "intervalTo")->date(), QDate(2008, 9, 30));
}

void PeriodDialogTest::intervalPickersSetThePeriod() {
    TPeriodDialog dialog(d(2008, 3, 2), d(2008, 3, 17), m_clock);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    child<QDateEdit>(&dialog, "intervalTo")->setDate(QDate(2008, 5, 9));
    child<QDateEdit>(&dialog, "intervalFrom")->setDate(QDate(2008, 6, 1));
    // A first day after the last is taken as chosen.
    QCOMPARE(dialog.start(), d(2008, 6, 1));
    QCOMPARE(dialog.end(), d(2008, 5, 9));
    QCOMPARE(child<QDateEdit>(&dialog, "dayPicker")->date(), QDate(2008, 5, 9));
    QCOMPARE(text(&dialog, "monthText"), QString::fromUtf8("Май 2008 г."));
}

void PeriodDialogTest::runReturnsTheChosenPeriod_data() {
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<QString>("action");  // what the agent does before answering
    QTest::addColumn<QString>("answer");  // ok, enter, cancel, escape, close
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<double>("newStart");
    QTest::addColumn<double>("newEnd");
    QTest::newRow("all documents confirmed unchanged") << 0.0 << 0.0 << ""
                                                       << "ok" << true << 0.0 << 0.0;
    QTest::newRow("all documents chosen") << d(2008, 3, 15) << d(2008, 3, 15) << "allRadio"
                                          << "enter" << true << 0.0 << 0.0;
    QTest::newRow("year chosen") << d(2008, 3, 15) << d(2008, 3, 15) << "yearRadio"
                                 << "ok" << true << d(2008, 1, 1) << d(2008, 12, 31);
    QTest::newRow("cancelled") << d(2008, 3, 15) << d(2008, 3, 16) << "yearRadio"
                               << "cancel" << false << d(2008, 3, 15) << d(2008, 3, 16);
    QTest::newRow("escape") << d(2008, 3, 15) << d(2008, 3, 16) << "allRadio"
                            << "escape" << false << d(2008, 3, 15) << d(2008, 3, 16);
    QTest::newRow("window closed") << 0.0 << 0.0 << "yearRadio"
                                   << "close" << false << 0.0 << 0.0;
}

void PeriodDialogTest::runReturnsTheChosenPeriod() {
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(QString, action);
    QFETCH(QString, answer);
    QFETCH(bool, confirmed);
    QFETCH(double, newStart);
    QFETCH(double, newEnd);
    bool answered = false;
    test::whenModalOpens<TPeriodDialog>([&](TPeriodDialog* dialog) {
        answered = true;
        if (!action.isEmpty()) click(dialog, action.toLatin1().constData());
        if (answer == "ok") {
            QTest::mouseClick(dialog->menuBar()->buttonOf(dialog->menuBar()->commands().at(0)),
                              Qt::LeftButton);
        } else if (answer == "cancel") {
            QTest::mouseClick(dialog->menuBar()->buttonOf(dialog->menuBar()->commands().at(1)),
                              Qt::LeftButton);
        } else if (answer == "enter") {
            QTest::keyClick(dialog, Qt::Key_Return);
        } else if (answer == "escape") {
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else {
            dialog->close();
        }
    });
    DateTime s = start, e = end;
    QCOMPARE(RunPeriodDialog(s, e, m_clock), confirmed);
    QVERIFY(answered);
    QCOMPARE(s, newStart);
    QCOMPARE(e, newEnd);
}

void PeriodDialogTest::textsOfTheRows() {
    QCOMPARE(TPeriodDialog::yearText(2008), QString::fromUtf8("2008 г."));
    QCOMPARE(TPeriodDialog::quarterText(3, 2008), QString::fromUtf8("III квартал 2008 г."));
    QCOMPARE(TPeriodDialog::monthText(12, 2008), QString::fromUtf8("Декабрь 2008 г."));
    QCOMPARE(TPeriodDialog::monthText(13, 2008), QString::fromUtf8("??? 2008 г."));
    TPeriodDialog dialog(d(2008, 3, 15), d(2008, 3, 15), m_clock);
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Выбор периода"));
    QStringList captions;
    for (QAction* a : dialog.menuBar()->commands()) captions << a->text();
    QCOMPARE(captions, (QStringList{"[ OK ]", QString::fromUtf8("[ Отмена ]")}));
    for (const char* name : {"yearText", "quarterText", "monthText"})
        QCOMPARE(child<QLineEdit>(&dialog, name)->focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(PeriodDialogTest)
#include "PeriodDialogTest.moc"
