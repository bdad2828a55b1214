#include "screens/journal/PeriodDialog.h"

#include <QAction>
#include <QButtonGroup>
#include <QScreen>
#include <QSignalBlocker>

#include <algorithm>

#include "core/db/Clock.h"
#include "screens/journal/PeriodTexts.h"
#include "screens/widgets/MainWindow.h"
#include "screens/widgets/QtDates.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/TouchTargets.h"
#include "screens/widgets/Translations.h"
#include "screens/widgets/ViewHelpers.h"

namespace velmorant {

namespace {

constexpr int kFirstYear = 1980;
constexpr int kLastYear = 3000;

DateTime firstOf(int year, int month) { return EncodeDate(year, month, 1); }
DateTime lastOf(int year, int month) { return EncodeDate(year, month, daysInMonth(year, month)); }

}  // namespace

QString TPeriodDialog::yearText(int year) {
    return QString::number(year) + ToQString(period_text::kYearSuffix);
}

QString TPeriodDialog::quarterText(int quarter, int year) {
    const QString numeral = quarter >= 1 && quarter <= 4
                                ? ToQString(period_text::kQuarterNumerals[quarter - 1])
                                : QString();
    return numeral + ToQString(period_text::kQuarterWord) + QString::number(year) +
           ToQString(period_text::kYearSuffix);
}

QString TPeriodDialog::monthText(int month, int year) {
    const QString name = month >= 1 && month <= 12 ? ToQString(period_text::kMonthNames[month - 1])
                                                   : ToQString(period_text::kUnknownMonth);
    return name + QLatin1Char(' ') + QString::number(year) + ToQString(period_text::kYearSuffix);
}

TPeriodDialog::TPeriodDialog(DateTime start, DateTime end, const Clock& clock, QWidget* parent)
    : Dialog(parent) {
    setObjectName(QStringLiteral("periodDialog"));
    setWindowTitle(ToQString(period_text::kCaption));
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(240, 240, 240));
    setPalette(grey);
    setAutoFillBackground(true);
    QWidget* area = body();
    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    auto radio = [&](const char* text, const char* name, int x, int y, int width, int height) {
        auto* r = new QRadioButton(ToQString(text), area);
        named(r, name);
        const QSize hint = r->sizeHint();
        r->setGeometry(x, y, width > 0 ? width : hint.width(), height > 0 ? height : hint.height());
        return r;
    };
    auto button = [&](const char* text, const char* name, int x, int y, int width) {
        auto* b = new QPushButton(ToQString(text), area);
        named(b, name);
        b->setAutoDefault(false);
        b->setGeometry(x, y, width, 22);
        return b;
    };
    auto readOnly = [&](const char* name, int x, int y, Qt::Alignment alignment) {
        auto* e = new QLineEdit(area);
        named(e, name);
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);  // out of the tab order
        e->setAlignment(alignment | Qt::AlignVCenter);
        e->setGeometry(x, y, 106, 22);
        // "III квартал 2008 г." has to fit the 106 pixels of the row.
        QFont narrow = e->font();
        narrow.setPointSizeF(7);
        e->setFont(narrow);
        e->setTextMargins(0, 0, 0, 0);
        return e;
    };
    auto picker = [&](const char* name, int x, int y) {
        auto* p = new QDateEdit(area);
        named(p, name);
        p->setCalendarPopup(true);
        p->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        p->setDateRange(QDate(1900, 1, 1), QDate(9999, 12, 31));
        UseProgramLocale(p);
        const QSize hint = p->sizeHint();
        p->setGeometry(x, y, hint.width(), hint.height());
        return p;
    };
    auto check = [&](const char* text, const char* name, int x, int y) {
        auto* c = new QCheckBox(ToQString(text), area);
        named(c, name);
        c->setGeometry(x, y, 152, c->sizeHint().height());
        return c;
    };

    m_yearRadio = radio(period_text::kYear, "yearRadio", 8, 8, 0, 0);
    m_yearPrev = button(period_text::kPrevious, "yearPrevious", 80, 8, 24);
    m_yearText = readOnly("yearText", 103, 8, Qt::AlignRight);
    m_yearNext = button(period_text::kNext, "yearNext", 208, 8, 25);
    m_quarterRadio = radio(period_text::kQuarter, "quarterRadio", 8, 33, 0, 0);
    m_quarterPrev = button(period_text::kPrevious, "quarterPrevious", 80, 33, 24);
    m_quarterText = readOnly("quarterText", 103, 33, Qt::AlignHCenter);
    m_quarterNext = button(period_text::kNext, "quarterNext", 208, 33, 25);
    m_monthRadio = radio(period_text::kMonth, "monthRadio", 8, 58, 0, 0);
    m_monthPrev = button(period_text::kPrevious, "monthPrevious", 80, 58, 24);
    m_monthText = readOnly("monthText", 103, 58, Qt::AlignHCenter);
    m_monthNext = button(period_text::kNext, "monthNext", 207, 58, 25);
    m_dayRadio = radio(period_text::kDay, "dayRadio", 8, 82, 0, 24);
    m_dayPicker = picker("dayPicker", 80, 82);
    m_fromYearStart = check(period_text::kFromYearStart, "fromYearStart", 80, 112);
    m_fromQuarterStart = check(period_text::kFromQuarterStart, "fromQuarterStart", 80, 130);
    m_fromMonthStart = check(period_text::kFromMonthStart, "fromMonthStart", 80, 148);
    m_intervalRadio = radio(period_text::kInterval, "intervalRadio", 8, 169, 88, 0);
    m_fromLabel = new QLabel(ToQString(period_text::kFrom), area);
    m_fromLabel->setGeometry(28, 193, 15, 24);
    m_intervalFrom = picker("intervalFrom", 48, 193);
    m_toLabel = new QLabel(ToQString(period_text::kTo), area);
    m_toLabel->setGeometry(28, 225, 16, 24);
    m_intervalTo = picker("intervalTo", 48, 225);
    m_allRadio = radio(period_text::kAll, "allRadio", 8, 252, 225, 0);
    area->setMinimumSize(241, m_allRadio->geometry().bottom() + 8);
    // On a phone the rows grow to a finger's size, as wide as the screen allows.
    if (const double fy = TouchScale(area, 22); fy > 1.0) {
        const QScreen* s = area->screen();
        const double room = s ? double(s->availableGeometry().width()) / 241 : fy;
        ScaleChildren(area, std::min(fy, room), fy);
    }

    auto* group = new QButtonGroup(this);
    for (QRadioButton* r :
         {m_yearRadio, m_quarterRadio, m_monthRadio, m_dayRadio, m_intervalRadio, m_allRadio})
        group->addButton(r);
    TabToCheckedButton(group);

    // A radio button: enabled states first, then the mode's own step, then recompute.
    for (QRadioButton* r :
         {m_yearRadio, m_quarterRadio, m_monthRadio, m_dayRadio, m_intervalRadio, m_allRadio}) {
        connect(r, &QRadioButton::clicked, this, [this, r] {
            applyEnabledStates();
            if (r == m_quarterRadio) m_month = m_quarter * 3;
            if (r == m_dayRadio) m_start = m_end;
            recompute();
        });
    }
    for (QCheckBox* c : {m_fromYearStart, m_fromQuarterStart, m_fromMonthStart}) {
        connect(c, &QCheckBox::clicked, this, [this] {
            recompute();
            applyEnabledStates();
        });
    }
    connect(m_yearPrev, &QPushButton::clicked, this, [this] { stepYear(-1); });
    connect(m_yearNext, &QPushButton::clicked, this, [this] { stepYear(+1); });
    connect(m_quarterPrev, &QPushButton::clicked, this, [this] { stepQuarter(-1); });
    connect(m_quarterNext, &QPushButton::clicked, this, [this] { stepQuarter(+1); });
    connect(m_monthPrev, &QPushButton::clicked, this, [this] { stepMonth(-1); });
    connect(m_monthNext, &QPushButton::clicked, this, [this] { stepMonth(+1); });
    connect(m_dayPicker, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        m_end = FromQDate(d);
        recompute();
    });
    connect(m_intervalFrom, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        m_start = FromQDate(d);
        recompute();
    });
    connect(m_intervalTo, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        m_end = FromQDate(d);
        recompute();
    });

    QAction* ok = menuBar()->addCommand(ToQString(period_text::kOk));
    QAction* cancel = menuBar()->addCommand(ToQString(period_text::kCancel));
    connect(ok, &QAction::triggered, this, [this] {
        m_confirmed = true;
        CloseDialog(this, true);
    });
    connect(cancel, &QAction::triggered, this, [this] {
        m_confirmed = false;
        CloseDialog(this, false);
    });
    setDefaultCommand(ok);
    setCancelCommand(cancel);

    initialise(start, end, clock.Today());
    adjustSize();
}

TPeriodDialog::Mode TPeriodDialog::mode() const {
    if (m_yearRadio->isChecked()) return Mode::Year;
    if (m_quarterRadio->isChecked()) return Mode::Quarter;
    if (m_monthRadio->isChecked()) return Mode::Month;
    if (m_dayRadio->isChecked()) return Mode::Day;
    if (m_intervalRadio->isChecked()) return Mode::Interval;
    return Mode::All;
}

void TPeriodDialog::chooseMode(Mode mode) {
    QRadioButton* r = m_allRadio;
    switch (mode) {
        case Mode::Year:
            r = m_yearRadio;
            break;
        case Mode::Quarter:
            r = m_quarterRadio;
            break;
        case Mode::Month:
            r = m_monthRadio;
            break;
        case Mode::Day:
            r = m_dayRadio;
            break;
        case Mode::Interval:
            r = m_intervalRadio;
            break;
        case Mode::All:
            break;
    }
    r->setChecked(true);
}

void TPeriodDialog::setPicker(QDateEdit* picker, DateTime date) {
    const QSignalBlocker block(picker);
    const QDate d = ToQDate(date);
    if (d.isValid()) picker->setDate(d);
}

void TPeriodDialog::initialise(DateTime start, DateTime end, DateTime today) {
    m_start = dayOf(start);
    m_end = dayOf(end);
    if (m_start == 0) {
        m_start = m_end = today;
        // With no mode checked yet recompute only refreshes the numbers, texts and pickers.
        recompute();
        chooseMode(Mode::All);
        applyEnabledStates();
        return;
    }
    setPicker(m_intervalFrom, m_start);
    setPicker(m_intervalTo, m_end);
    // The day picker shows the last day from the start, also when "День" is chosen below
    // (recompute leaves the picker of the chosen day alone).
    setPicker(m_dayPicker, m_end);
    int y1, m1, d1, y2, m2, d2;
    DecodeDate(m_start, y1, m1, d1);
    DecodeDate(m_end, y2, m2, d2);
    m_year = y2;
    m_month = m2;
    m_quarter = QuarterOfMonth(m2);
    if (y1 != y2) {
        chooseMode(Mode::Interval);
        applyEnabledStates();
        recompute();
        return;
    }
    const bool sameDay = m_start == m_end;
    const bool sameMonth = m1 == m2;
    const bool sameQuarter = QuarterOfMonth(m1) == QuarterOfMonth(m2);
    const bool startsYear = m1 == 1 && d1 == 1 && !sameDay;
    const bool startsQuarter = sameQuarter && (m1 == 4 || m1 == 7 || m1 == 10) && d1 == 1;
    const bool startsMonth = sameMonth && d1 == 1 && !startsQuarter && !startsYear;
    const bool endsYear = d2 == 31 && m2 == 12;
    const bool endsQuarter = sameQuarter && m_end == PeriodEnd(m_end, 1);
    const bool endsMonth = sameMonth && m_end == PeriodEnd(m_end, 2);

    m_fromYearStart->setChecked(false);
    m_fromQuarterStart->setChecked(false);
    m_fromMonthStart->setChecked(false);
    if (endsYear && startsYear) {
        chooseMode(Mode::Year);
    } else if (endsQuarter && (startsQuarter || startsYear)) {
        chooseMode(Mode::Quarter);
        m_fromYearStart->setChecked(startsYear && !startsQuarter);
    } else if (endsMonth && (startsMonth || startsYear || startsQuarter)) {
        chooseMode(Mode::Month);
        m_fromYearStart->setChecked(startsYear && !sameMonth);
        m_fromQuarterStart->setChecked(startsQuarter && !startsYear && !sameMonth);
    } else if (sameDay || startsYear || startsQuarter || startsMonth) {
        chooseMode(Mode::Day);
        m_fromYearStart->setChecked(startsYear && !sameDay);
        m_fromQuarterStart->setChecked(startsQuarter && !startsYear && !sameDay);
        m_fromMonthStart->setChecked(startsMonth && !startsQuarter && !startsYear && !sameDay);
    } else {
        chooseMode(Mode::Interval);
    }
    applyEnabledStates();
    recompute();
}

void TPeriodDialog::applyEnabledStates() {
    const bool year = m_yearRadio->isChecked();
    const bool quarter = m_quarterRadio->isChecked();
    const bool month = m_monthRadio->isChecked();
    const bool day = m_dayRadio->isChecked();
    const bool interval = m_intervalRadio->isChecked();
    const bool all = m_allRadio->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(m_yearPrev), static_cast<QWidget*>(m_yearNext),
                       static_cast<QWidget*>(m_yearText)})
        w->setEnabled(year);
    for (QWidget* w : {static_cast<QWidget*>(m_quarterPrev), static_cast<QWidget*>(m_quarterNext),
                       static_cast<QWidget*>(m_quarterText)})
        w->setEnabled(quarter);
    for (QWidget* w : {static_cast<QWidget*>(m_monthPrev), static_cast<QWidget*>(m_monthNext),
                       static_cast<QWidget*>(m_monthText)})
        w->setEnabled(month);
    m_dayPicker->setEnabled(day);
    m_intervalFrom->setEnabled(interval);
    m_intervalTo->setEnabled(interval);
    m_fromYearStart->setEnabled(!year && !interval && !all);
    m_fromQuarterStart->setEnabled(!quarter && m_fromYearStart->isEnabled() &&
                                   !m_fromYearStart->isChecked());
    m_fromMonthStart->setEnabled(!month && m_fromQuarterStart->isEnabled() &&
                                 !m_fromQuarterStart->isChecked());
}

void TPeriodDialog::applyStartRule(bool withMonthStart) {
    if (m_fromYearStart->isChecked())
        m_start = firstOf(m_year, 1);
    else if (m_fromQuarterStart->isChecked())
        m_start = firstOf(m_year, m_quarter * 3 - 2);
    else if (withMonthStart && m_fromMonthStart->isChecked())
        m_start = firstOf(m_year, m_month);
}

void TPeriodDialog::recompute() {
    int day = 0;
    switch (mode()) {
        case Mode::Year:
            m_start = firstOf(m_year, 1);
            m_end = EncodeDate(m_year, 12, 31);
            break;
        case Mode::Quarter:
            m_start = firstOf(m_year, m_quarter * 3 - 2);
            m_month = m_quarter * 3;
            m_end = lastOf(m_year, m_month);
            if (m_fromYearStart->isChecked()) m_start = firstOf(m_year, 1);
            break;
        case Mode::Month:
            m_start = firstOf(m_year, m_month);
            m_end = lastOf(m_year, m_month);
            applyStartRule(false);
            break;
        case Mode::Day:
            m_start = m_end;
            DecodeDate(m_end, m_year, m_month, day);
            m_quarter = QuarterOfMonth(m_month);
            applyStartRule(true);
            break;
        case Mode::Interval:
        case Mode::All:
            break;
    }
    // An "all documents" dialog that has not been initialised yet has no mode: same rule.
    DecodeDate(m_end, m_year, m_month, day);
    m_quarter = QuarterOfMonth(m_month);
    m_yearText->setText(yearText(m_year));
    m_quarterText->setText(quarterText(m_quarter, m_year));
    m_monthText->setText(monthText(m_month, m_year));
    if (!m_dayRadio->isChecked()) setPicker(m_dayPicker, m_end);
    if (!m_intervalRadio->isChecked()) {
        setPicker(m_intervalFrom, m_start);
        setPicker(m_intervalTo, m_end);
    }
}

void TPeriodDialog::stepYear(int delta) {
    if (delta < 0 && m_year > kFirstYear) --m_year;
    if (delta > 0 && m_year < kLastYear) ++m_year;
    recompute();
}

void TPeriodDialog::stepQuarter(int delta) {
    if (delta > 0) {
        if (m_quarter >= 4) {
            if (m_year >= kLastYear) return;
            ++m_year;
            m_quarter = 1;
        } else {
            ++m_quarter;
        }
    } else {
        if (m_quarter <= 1) {
            if (m_year <= kFirstYear) return;
            --m_year;
            m_quarter = 4;
        } else {
            --m_quarter;
        }
    }
    m_month = m_quarter * 3;
    recompute();
}

void TPeriodDialog::stepMonth(int delta) {
    if (delta > 0) {
        if (m_month >= 12) {
            if (m_year >= kLastYear) return;
            ++m_year;
            m_month = 1;
        } else {
            ++m_month;
        }
    } else {
        if (m_month <= 1) {
            if (m_year <= kFirstYear) return;
            --m_year;
            m_month = 12;
        } else {
            --m_month;
        }
    }
    recompute();
}

bool RunPeriodDialog(DateTime& start, DateTime& end, const Clock& clock) {
    TPeriodDialog dialog(start, end, clock, MainWindow());
    const int result = dialog.exec();
    const bool confirmed = result == Dialog::Confirmed || dialog.confirmed();
    if (!confirmed) return false;
    if (dialog.mode() == TPeriodDialog::Mode::All) {
        start = end = 0;
    } else {
        start = dayOf(dialog.start());
        end = dayOf(dialog.end());
    }
    return true;
}

}  // namespace velmorant
