#pragma once

#include <QDate>

#include "core/db/Dates.h"

namespace velmorant {

// Date values (days since 30 December 1899) and QDate, for date pickers. The time of day is
// dropped; a value of 0 or less, or a null QDate, has no date (null QDate / 0).
inline QDate ToQDate(DateTime date) {
    if (!(date > 0)) return QDate();
    return QDate(1899, 12, 30).addDays(static_cast<qint64>(dayOf(date)));
}
inline DateTime FromQDate(const QDate& date) {
    if (!date.isValid()) return 0;
    return static_cast<DateTime>(QDate(1899, 12, 30).daysTo(date));
}

}  // namespace velmorant
