#pragma once

#include <string>

namespace velmorant {

// A date value: whole days since 30 December 1899, the time of day as the fraction.
// The day of a value is its whole part; 0 means no date. The current date and time come
// from a Clock (db/Clock.h).
using DateTime = double;

// The day number of a calendar date; 0 when the date is not valid (year 1..9999).
DateTime EncodeDate(int year, int month, int day);
bool IsValidDate(int year, int month, int day);
// Splits the day of `date` into year, month and day.
void DecodeDate(DateTime date, int& year, int& month, int& day);

// Splits the time of day of `date` into hours, minutes and seconds (rounded to the
// millisecond, never past 23:59:59).
void DecodeTime(DateTime date, int& hour, int& minute, int& second);

// The day of `date`: its whole part, the time of day dropped.
DateTime dayOf(DateTime date);
// The number of days of `month` (1..12) in `year`; 0 for any other month.
int daysInMonth(int year, int month);

// "yyyy-MM-dd" between single quotes, for SQL statements (a value between double quotes is
// read as a column when it names one).
std::string DateToSqlText(DateTime date);
// "yyyy-MM-dd" as stored in base.sdb.
std::string DateToIso(DateTime date);
// Reads "yyyy-MM-dd" (what base.sdb holds); `def` when it is not such a date.
DateTime IsoToDate(const std::string& text, DateTime def);
// "dd.MM.yyyy" and "HH:mm:ss", the fixed Russian forms.
std::string DateToText(DateTime date);
std::string TimeToText(DateTime date);

// A day number written as a number (1 January 1900 to 31 December 9999, time of day
// included), or day, month and year separated by one of "|\/-_,."; `def` otherwise.
DateTime ParseDate(const std::string& text, DateTime def);

// 1-3 -> 1, 4-6 -> 2, 7-9 -> 3, 10-12 -> 4, anything else -> 0.
int QuarterOfMonth(int month);

// kind 0: end of year, 1: end of quarter, 2: end of month, 3: the day itself.
DateTime PeriodEnd(DateTime date, int kind);

}  // namespace velmorant
