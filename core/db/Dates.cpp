#include "core/db/Dates.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/db/Money.h"
#include "core/db/Text.h"

namespace velmorant {

namespace {

using std::chrono::day;
using std::chrono::days;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;
using std::chrono::year_month_day_last;

// Day 0 of the date values.
constexpr sys_days kEpoch = sys_days{year{1899} / 12 / 30};

year_month_day toYmd(DateTime date) {
    return year_month_day{kEpoch + days{static_cast<long long>(dayOf(date))}};
}

std::string twoDigits(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02u", v % 100);
    return buf;
}

}  // namespace

bool IsValidDate(int y, int m, int d) {
    if (y < 1 || y > 9999) return false;
    return year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}}
               .ok() &&
           m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

DateTime EncodeDate(int y, int m, int d) {
    if (!IsValidDate(y, m, d)) return 0;
    const sys_days sd{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}};
    return static_cast<DateTime>((sd - kEpoch).count());
}

void DecodeDate(DateTime date, int& y, int& m, int& d) {
    const year_month_day ymd = toYmd(date);
    y = static_cast<int>(ymd.year());
    m = static_cast<int>(static_cast<unsigned>(ymd.month()));
    d = static_cast<int>(static_cast<unsigned>(ymd.day()));
}

DateTime dayOf(DateTime date) { return std::trunc(date); }

int daysInMonth(int y, int m) {
    if (m < 1 || m > 12) return 0;
    return static_cast<int>(static_cast<unsigned>(year_month_day_last{
        year{y}, std::chrono::month_day_last{
                     month{static_cast<unsigned>(m)}}}.day()));
}

std::string DateToIso(DateTime date) {
    int y, m, d;
    DecodeDate(date, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

std::string DateToSqlText(DateTime date) { return SqlQuoted(DateToIso(date)); }

DateTime IsoToDate(const std::string& text, DateTime def) {
    const std::string t = Trim(text);
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (t.size() != 10 || std::sscanf(t.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 ||
        t[4] != '-' || t[7] != '-') {
        return def;
    }
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (t[i] < '0' || t[i] > '9') return def;
    }
    return IsValidDate(y, m, d) ? EncodeDate(y, m, d) : def;
}

std::string DateToText(DateTime date) {
    int y, m, d;
    DecodeDate(date, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
    return buf;
}

void DecodeTime(DateTime date, int& hour, int& minute, int& second) {
    const double fraction = std::fabs(date - std::trunc(date));
    long long ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000LL) ms = 86400000LL - 1;
    const auto secs = static_cast<int>(ms / 1000);
    hour = secs / 3600;
    minute = secs / 60 % 60;
    second = secs % 60;
}

std::string TimeToText(DateTime date) {
    int h, m, s;
    DecodeTime(date, h, m, s);
    return twoDigits(static_cast<unsigned>(h)) + ":" + twoDigits(static_cast<unsigned>(m)) + ":" +
           twoDigits(static_cast<unsigned>(s));
}

DateTime ParseDate(const std::string& text, DateTime def) {
    // A day number must name a day from 1 January 1900 to 31 December 9999 (nothing that is
    // not finite): beyond those the text forms of a date have no room for it.
    static const DateTime kFirstDay = EncodeDate(1900, 1, 1);
    static const DateTime kLastDay = EncodeDate(9999, 12, 31);
    const double number = TextToFloat(text, 0);
    if (number > 0) {
        if (!std::isfinite(number) || number < kFirstDay || number >= kLastDay + 1) return def;
        return number;
    }
    std::string t = Trim(text);
    for (char& c : t) {
        if (c == '|' || c == '\\' || c == '/' || c == '-' || c == '_' || c == ',') c = '.';
    }
    const auto d = TextToInt(CutToken(t, '.'), 0);
    const auto m = TextToInt(CutToken(t, '.'), 0);
    const auto y = TextToInt(CutToken(t, '.'), 0);
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return def;
    if (!IsValidDate(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d))) return def;
    return EncodeDate(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
}

int QuarterOfMonth(int m) {
    if (m < 1 || m > 12) return 0;
    return (m - 1) / 3 + 1;
}

DateTime PeriodEnd(DateTime date, int kind) {
    int y, m, d;
    DecodeDate(date, y, m, d);
    switch (kind) {
        case 0:
            return EncodeDate(y, 12, 31);
        case 1: {
            const int mm = QuarterOfMonth(m) * 3;
            return EncodeDate(y, mm, daysInMonth(y, mm));
        }
        case 2:
            return EncodeDate(y, m, daysInMonth(y, m));
        case 3:
            return dayOf(date);
        default:
            return date;
    }
}

}  // namespace velmorant
