#include "core/db/Dates.h"

#include <gtest/gtest.h>

namespace velmorant {
namespace {

TEST(Dates, DayNumbersCountFromTheEndOf1899) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(EncodeDate(2008, 3, 15), 39522);
    EXPECT_EQ(EncodeDate(2008, 2, 30), 0);
    int y, m, d;
    DecodeDate(39522.75, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20080315);
}

TEST(Dates, CalendarHelpers) {
    EXPECT_EQ(dayOf(39522.75), 39522);
    EXPECT_EQ(dayOf(39522), 39522);
    EXPECT_EQ(dayOf(0.4), 0);
    struct Case {
        int year;
        int month;
        int days;
    };
    const Case cases[] = {
        {2008, 1, 31}, {2008, 2, 29},  {2007, 2, 28}, {2100, 2, 28}, {2000, 2, 29},
        {2008, 4, 30}, {2008, 12, 31}, {2008, 0, 0},  {2008, 13, 0}, {2008, -1, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(daysInMonth(c.year, c.month), c.days) << c.year << "-" << c.month;
    }
}

TEST(Dates, TextForms) {
    const DateTime date = EncodeDate(2008, 3, 5) + 0.5 + 61.0 / 86400;
    EXPECT_EQ(DateToSqlText(date), "'2008-03-05'");
    EXPECT_EQ(DateToIso(date), "2008-03-05");
    EXPECT_EQ(DateToText(date), "05.03.2008");
    EXPECT_EQ(TimeToText(date), "12:01:01");
    EXPECT_EQ(TimeToText(EncodeDate(2008, 3, 5)), "00:00:00");
}

TEST(Dates, IsoToDate) {
    struct Case {
        const char* text;
        DateTime expected;
    };
    const Case cases[] = {
        {"2008-03-15", 39522}, {" 2008-03-15 ", 39522}, {"2008-02-30", -1},
        {"15.03.2008", -1},    {"2008-3-15", -1},       {"", -1},
        {"abcd-ef-gh", -1},    {"2008-03-15x", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(IsoToDate(c.text, -1), c.expected) << c.text;
}

TEST(Dates, ParseDateForms) {
    const DateTime def = -1;
    struct Case {
        const char* text;
        DateTime expected;
    };
    const Case cases[] = {
        {"15.03.2008", 39522},
        {"15/03/2008", 39522},
        {"15-03-2008", 39522},
        {"15|03|2008", 39522},
        {"15\\03\\2008", 39522},
        {"15_03_2008", 39522},
        {" 15.03.2008 ", 39522},
        {"2008-03-15", def},
        {"39522", 39522},
        {"39522.5", 39522.5},
        {"31.02.2008", def},
        {"29.02.2008", EncodeDate(2008, 2, 29)},
        {"29.02.2007", def},
        {"01.01.08", EncodeDate(8, 1, 1)},
        {"", def},
        {"garbage", def},
        {"0", def},
        {"-5", def},
        {"15.13.2008", def},
        {"00.03.2008", def},
        // Day numbers name days from 1 January 1900 (2) to 31 December 9999 (2958465).
        {"1", def},
        {"1.99", def},
        {"2", 2},
        {"2958465", 2958465},
        {"2958465.75", 2958465.75},
        {"2958466", def},
        {"1e300", def},
        {"1e400", def},
        {"1e5", 100000},
        {"inf", def},
        {"nan", def},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseDate(c.text, def), c.expected) << c.text;
}

TEST(Dates, QuarterOfMonth) {
    const int expected[] = {0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 0};
    for (int m = 0; m <= 13; ++m) EXPECT_EQ(QuarterOfMonth(m), expected[m]) << m;
    EXPECT_EQ(QuarterOfMonth(-3), 0);
}

TEST(Dates, PeriodEnd) {
    struct Case {
        DateTime date;
        int kind;
        DateTime expected;
    };
    const DateTime feb14 = EncodeDate(2008, 2, 14);
    const Case cases[] = {
        {feb14, 1, EncodeDate(2008, 3, 31)},
        {feb14, 2, EncodeDate(2008, 2, 29)},
        {feb14, 0, EncodeDate(2008, 12, 31)},
        {feb14 + 0.7, 3, feb14},
        {EncodeDate(2007, 2, 10), 2, EncodeDate(2007, 2, 28)},
        {EncodeDate(2100, 2, 10), 2, EncodeDate(2100, 2, 28)},
        {EncodeDate(2000, 2, 10), 2, EncodeDate(2000, 2, 29)},
        {EncodeDate(2008, 5, 1), 1, EncodeDate(2008, 6, 30)},
        {EncodeDate(2008, 11, 30), 1, EncodeDate(2008, 12, 31)},
        {EncodeDate(2008, 4, 3), 2, EncodeDate(2008, 4, 30)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PeriodEnd(c.date, c.kind), c.expected) << c.date << " kind " << c.kind;
    }
}

}  // namespace
}  // namespace velmorant
