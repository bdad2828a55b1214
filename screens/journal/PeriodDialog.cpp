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

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QRadioButton* radio(QWidget* area, const char* text, const char* name, QRect at) {
    auto* r = named(new QRadioButton(ToQString(text), area), name);
    const QSize hint = r->sizeHint();
    r->setGeometry(at.x(), at.y(), at.width() > 0 ? at.width() : hint.width(),
                   at.height() > 0 ? at.height() : hint.height());
    return r;
}

QPushButton* button(QWidget* area, const char* text, const char* name, int x, int y, int width) {
    auto* b = named(new QPushButton(ToQString(text), area), name);
    b->setAutoDefault(false);
    b->setGeometry(x, y, width, 22);
    return b;
}

QLineEdit* readOnly(QWidget* area, const char* name, int x, int y, Qt::Alignment alignment) {
    auto* e = named(new QLineEdit(area), name);
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
}

QDateEdit* picker(QWidget* area, const char* name, int x, int y) {
    auto* p = named(new QDateEdit(area), name);
    p->setCalendarPopup(true);
    p->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    p->setDateRange(QDate(1900, 1, 1), QDate(9999, 12, 31));
    UseProgramLocale(p);
    const QSize hint = p->sizeHint();
    p->setGeometry(x, y, hint.width(), hint.height());
    return p;
}

QCheckBox* check(QWidget* area, const char* text, const char* name, int x, int y) {
    auto* c = named(new QCheckBox(ToQString(text), area), name);
    c->setGeometry(x, y, 152, c->sizeHint().height());
    return c;
}

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
    createLayout();
    connectLayout();
    initialise(start, end, clock.Today());
    adjustSize();
}

void TPeriodDialog::createLayout() {
    using namespace period_text;
    QWidget* area = body();
    m_yearRadio = radio(area, kYear, "yearRadio", QRect(8, 8, 0, 0));
    m_yearPrev = button(area, kPrevious, "yearPrevious", 80, 8, 24);
    m_yearText = readOnly(area, "yearText", 103, 8, Qt::AlignRight);
    m_yearNext = button(area, kNext, "yearNext", 208, 8, 25);
    m_quarterRadio = radio(area, kQuarter, "quarterRadio", QRect(8, 33, 0, 0));
    m_quarterPrev = button(area, kPrevious, "quarterPrevious", 80, 33, 24);
    m_quarterText = readOnly(area, "quarterText", 103, 33, Qt::AlignHCenter);
    m_quarterNext = button(area, kNext, "quarterNext", 208, 33, 25);
    m_monthRadio = radio(area, kMonth, "monthRadio", QRect(8, 58, 0, 0));
    m_monthPrev = button(area, kPrevious, "monthPrevious", 80, 58, 24);
    m_monthText = readOnly(area, "monthText", 103, 58, Qt::AlignHCenter);
    m_monthNext = button(area, kNext, "monthNext", 207, 58, 25);
    m_dayRadio = radio(area, kDay, "dayRadio", QRect(8, 82, 0, 24));
    m_dayPicker = picker(area, "dayPicker", 80, 82);
    m_fromYearStart = check(area, kFromYearStart, "fromYearStart", 80, 112);
    m_fromQuarterStart = check(area, kFromQuarterStart, "fromQuarterStart", 80, 130);
    m_fromMonthStart = check(area, kFromMonthStart, "fromMonthStart", 80, 148);
    m_intervalRadio = radio(area, kInterval, "intervalRadio", QRect(8, 169, 88, 0));
    m_fromLabel = new QLabel(ToQString(kFrom), area);
    m_fromLabel->setGeometry(28, 193, 15, 24);
    m_intervalFrom = picker(area, "intervalFrom", 48, 193);
    m_toLabel = new QLabel(ToQString(kTo), area);
    m_toLabel->setGeometry(28, 225, 16, 24);
    m_intervalTo = picker(area, "intervalTo", 48, 225);
    m_allRadio = radio(area, kAll, "allRadio", QRect(8, 252, 225, 0));
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
}

void TPeriodDialog::connectLayout() {
    // A radio button: enabled states first, then the mode's own step, then recompute.
    for (QRadioButton* r :
         {m_yearRadio, m_quarterRadio, m_monthRadio, m_dayRadio, m_intervalRadio, m_allRadio}) {
        connect(r, &QRadioButton::clicked, this, [this, r] {
            applyEnabledStates();
            if (r == m_quarterRadio) m_period.month = m_period.quarter * 3;
            if (r == m_dayRadio) m_period.start = m_period.end;
            recompute();
        });
    }
    for (QCheckBox* c : {m_fromYearStart, m_fromQuarterStart, m_fromMonthStart}) {
        connect(c, &QCheckBox::clicked, this, [this] {
            recompute();
            applyEnabledStates();
        });
    }
    auto step = [this](QPushButton* b, bool (*stepper)(PeriodChoice&, int), int delta) {
        connect(b, &QPushButton::clicked, this, [this, stepper, delta] {
            if (stepper(m_period, delta)) recompute();
        });
    };
    step(m_yearPrev, &StepPeriodYear, -1);
    step(m_yearNext, &StepPeriodYear, +1);
    step(m_quarterPrev, &StepPeriodQuarter, -1);
    step(m_quarterNext, &StepPeriodQuarter, +1);
    step(m_monthPrev, &StepPeriodMonth, -1);
    step(m_monthNext, &StepPeriodMonth, +1);
    auto pick = [this](QDateEdit* p, DateTime PeriodChoice::*day) {
        connect(p, &QDateEdit::dateChanged, this, [this, day](const QDate& d) {
            m_period.*day = FromQDate(d);
            recompute();
        });
    };
    pick(m_dayPicker, &PeriodChoice::end);
    pick(m_intervalFrom, &PeriodChoice::start);
    pick(m_intervalTo, &PeriodChoice::end);
    connectCommands();
}

void TPeriodDialog::connectCommands() {
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
    m_period = DescribePeriod(start, end, today);
    if (m_period.mode != Mode::All) {
        // The day picker shows the last day from the start, also when "День" is chosen (the
        // display leaves the picker of the chosen day alone).
        setPicker(m_intervalFrom, m_period.start);
        setPicker(m_intervalTo, m_period.end);
        setPicker(m_dayPicker, m_period.end);
    }
    m_fromYearStart->setChecked(m_period.fromYearStart);
    m_fromQuarterStart->setChecked(m_period.fromQuarterStart);
    m_fromMonthStart->setChecked(m_period.fromMonthStart);
    chooseMode(m_period.mode);
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

void TPeriodDialog::recompute() {
    m_period.mode = mode();
    m_period.fromYearStart = m_fromYearStart->isChecked();
    m_period.fromQuarterStart = m_fromQuarterStart->isChecked();
    m_period.fromMonthStart = m_fromMonthStart->isChecked();
    ApplyPeriod(m_period);
    m_yearText->setText(yearText(m_period.year));
    m_quarterText->setText(quarterText(m_period.quarter, m_period.year));
    m_monthText->setText(monthText(m_period.month, m_period.year));
    if (!m_dayRadio->isChecked()) setPicker(m_dayPicker, m_period.end);
    if (!m_intervalRadio->isChecked()) {
        setPicker(m_intervalFrom, m_period.start);
        setPicker(m_intervalTo, m_period.end);
    }
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
