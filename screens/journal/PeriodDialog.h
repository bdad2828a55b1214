#pragma once

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/db/Dates.h"
#include "core/journal/Period.h"
#include "screens/widgets/Dialog.h"

namespace velmorant {

class Clock;

// The modal dialog "Выбор периода": a year, a quarter, a month, a day (optionally stretched
// back to the start of its year, quarter or month), a free interval, or all documents.
// Years step within 1980..3000. The dialog works on whole days.
class TPeriodDialog : public Dialog {
    Q_OBJECT
public:
    using Mode = PeriodMode;

    // Builds the dialog and chooses the mode that describes start..end (start 0: all
    // documents, shown on the clock's today: its year, quarter and month).
    TPeriodDialog(DateTime start, DateTime end, const Clock& clock, QWidget* parent = nullptr);

    Mode mode() const;
    DateTime start() const { return m_period.start; }
    DateTime end() const { return m_period.end; }
    int year() const { return m_period.year; }
    int quarter() const { return m_period.quarter; }
    int month() const { return m_period.month; }
    // Set by "[ OK ]", cleared by "[ Отмена ]".
    bool confirmed() const { return m_confirmed; }

    // The texts of the year, quarter and month rows for the given numbers.
    static QString yearText(int year);
    static QString quarterText(int quarter, int year);
    static QString monthText(int month, int year);

private:
    void createLayout();
    void connectLayout();
    void connectCommands();
    void initialise(DateTime start, DateTime end, DateTime today);
    void applyEnabledStates();
    // Takes the mode and ticks from the controls, works out the period and shows it.
    void recompute();
    void setPicker(QDateEdit* picker, DateTime date);
    void chooseMode(Mode mode);

    PeriodChoice m_period;
    bool m_confirmed = false;

    QRadioButton* m_yearRadio;
    QPushButton* m_yearPrev;
    QLineEdit* m_yearText;
    QPushButton* m_yearNext;
    QRadioButton* m_quarterRadio;
    QPushButton* m_quarterPrev;
    QLineEdit* m_quarterText;
    QPushButton* m_quarterNext;
    QRadioButton* m_monthRadio;
    QPushButton* m_monthPrev;
    QLineEdit* m_monthText;
    QPushButton* m_monthNext;
    QRadioButton* m_dayRadio;
    QDateEdit* m_dayPicker;
    QCheckBox* m_fromYearStart;
    QCheckBox* m_fromQuarterStart;
    QCheckBox* m_fromMonthStart;
    QRadioButton* m_intervalRadio;
    QLabel* m_fromLabel;
    QDateEdit* m_intervalFrom;
    QLabel* m_toLabel;
    QDateEdit* m_intervalTo;
    QRadioButton* m_allRadio;
};

// Runs the period dialog over the main window with the journal's period (start 0: all
// documents). Returns whether it was confirmed; then start and end hold the chosen whole
// days, or 0 and 0 for all documents. When cancelled they are left unchanged.
bool RunPeriodDialog(DateTime& start, DateTime& end, const Clock& clock);

}  // namespace velmorant
