#include "core/db/Money.h"

#include <gtest/gtest.h>

#include <limits>

namespace velmorant {
namespace {

TEST(Money, TextToInt) {
    const std::int64_t def = 4242;
    struct Case {
        const char* text;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"12", 12},
        {" -7 ", -7},
        {"+3", 3},
        {"12,5", def},
        {"12.5", def},
        {"", def},
        {"abc", def},
        {"1 2", def},
        {"0x10", def},
        {"007", 7},
        {"-", def},
        {"99999999999999999999", def},
        // One sign at most.
        {"+-1", def},
        {"-+1", def},
        {"++1", def},
        {"--1", def},
        {"+", def},
        {"+ 1", def},
        {"-1", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(TextToInt(c.text, def), c.expected) << c.text;
}

TEST(Money, TextToMoney) {
    const Money def = -1;
    struct Case {
        const char* text;
        Money expected;
    };
    const Case cases[] = {
        {" 12,5 ", 125000},
        {"12.5", 125000},
        {"0.29", 2900},
        {"1,234,5", def},
        {"1.234,5", def},
        {"-3", -30000},
        {".5", 5000},
        {"5.", 50000},
        {"0.12345", 1234},
        {"", def},
        {"x", def},
        {"1e2", 1000000},
        {"nan", def},
        {"inf", def},
        {"-0.0001", -1},
        {"100000000000000000", def},
        // Exponents shift the decimal point, digit by digit: no double rounds 0.57 down.
        {"0.57e0", 5700},
        {"57e-2", 5700},
        {"0.0057E2", 5700},
        {"1.15e1", 115000},
        {"0,57e0", 5700},
        {"5e-5", 0},
        {"-5e-5", 0},
        {"1.23456e2", 1234560},
        {"0e999", 0},
        {"1e-999999999999", 0},
        {"1e+999999999999", def},
        {"9.223372036854775807e14", 9223372036854775807LL},
        {"-9.223372036854775808e14", std::numeric_limits<Money>::min()},
        {"9.223372036854775808e14", def},
        {"1e15", def},
        {"+-1", def},
        {"1e", def},
        {"e5", def},
        {"1.2.3", def},
    };
    for (const auto& c : cases) EXPECT_EQ(TextToMoney(c.text, def), c.expected) << c.text;
}

TEST(Money, ParseMoneyTellsOutcomesApartAndRoundsHalfToEven) {
    struct Case {
        const char* text;
        MoneyRounding rounding;
        MoneyParse outcome;
        Money value;
    };
    const auto T = MoneyRounding::Truncate;
    const auto E = MoneyRounding::HalfToEven;
    const Case cases[] = {
        {"0.00005", E, MoneyParse::Ok, 0},
        {"0.00015", E, MoneyParse::Ok, 2},
        {"0.00025", E, MoneyParse::Ok, 2},
        {"0.000251", E, MoneyParse::Ok, 3},
        {"-0.00015", E, MoneyParse::Ok, -2},
        {"0.00015", T, MoneyParse::Ok, 1},
        {"0.000049999", E, MoneyParse::Ok, 0},
        {"0.0000500001", E, MoneyParse::Ok, 1},
        {"0.57", E, MoneyParse::Ok, 5700},
        {"5e-5", E, MoneyParse::Ok, 0},
        {"15e-5", E, MoneyParse::Ok, 2},
        {"922337203685477.58075", E, MoneyParse::OutOfRange, 0},
        {"922337203685477.58074", E, MoneyParse::Ok, 9223372036854775807LL},
        {"abc", E, MoneyParse::NotANumber, 0},
        {"", T, MoneyParse::NotANumber, 0},
        {"1e16", T, MoneyParse::OutOfRange, 0},
    };
    for (const auto& c : cases) {
        Money value = 0;
        EXPECT_EQ(ParseMoney(c.text, c.rounding, value), c.outcome) << c.text;
        if (c.outcome == MoneyParse::Ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(Money, TextToFloat) {
    EXPECT_DOUBLE_EQ(TextToFloat(" 2,5 ", -1), 2.5);
    EXPECT_DOUBLE_EQ(TextToFloat("39522", -1), 39522);
    EXPECT_DOUBLE_EQ(TextToFloat("1,2,3", -1), -1);
    EXPECT_DOUBLE_EQ(TextToFloat("15.03.2008", -1), -1);
    EXPECT_DOUBLE_EQ(TextToFloat("inf", -1), -1);
    EXPECT_DOUBLE_EQ(TextToFloat("", -1), -1);
}

TEST(Money, MoneyToTextRoundsDigitByDigit) {
    struct Case {
        Money value;
        int decimals;
        bool blank;
        const char* expected;
    };
    const Case cases[] = {
        {0, 2, true, ""},
        {0, 2, false, "0.00"},
        {125000, 2, false, "12.50"},
        {30000, 1, false, "3.0"},
        {4125, 2, false, "0.41"},
        {45, 2, false, "0.01"},
        {49, 2, false, "0.01"},
        {29950, 2, false, "3.00"},
        {308500, 2, false, "30.85"},
        {-29950, 2, false, "-3.00"},
        {-4125, 2, false, "-0.41"},
        {99995, 3, false, "10.000"},
        {12345, 4, false, "1.2345"},
        {15000, 0, false, "2"},
        {14999, 0, false, "2"},
        {14449, 0, false, "2"},
        {14349, 0, false, "1"},
        {2900, 2, false, "0.29"},
        {25000, 2, false, "2.50"},
        {-1, 2, false, "0.00"},
        {std::numeric_limits<Money>::min(), 2, false, "-922337203685477.58"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MoneyToText(c.value, c.decimals, c.blank), c.expected)
            << c.value << "/" << c.decimals;
    }
}

TEST(Money, ProductTruncatesTowardZero) {
    EXPECT_EQ(MoneyMul(25000, 123400), 308500);  // 2.5 x 12.34 = 30.85
    EXPECT_EQ(MoneyMul(3333, 3333), 1110);       // 0.3333 x 0.3333 = 0.11108889
    EXPECT_EQ(MoneyMul(-3333, 3333), -1110);
    EXPECT_EQ(MoneyMul(10000LL * 1000000000, 10000LL * 1000), 10000LL * 1000000000000);
}

TEST(Money, CentsCutTowardZeroAndHeldInRange) {
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    struct Case {
        Money value;
        std::int32_t cents;
    };
    const Case cases[] = {
        {459900, 4599},  // 45.99
        {2999, 29},      // 0.2999: cut, not rounded
        {-2999, -29},    // toward zero on the negative side too
        {99, 0},
        {0, 0},
        {Money{kMax} * 100 + 99, kMax},
        {Money{kMax} * 100 + 100, kMax},
        {std::numeric_limits<Money>::max(), kMax},
        {Money{kMin} * 100 - 100, kMin},
        {std::numeric_limits<Money>::min(), kMin},
    };
    for (const auto& c : cases) EXPECT_EQ(MoneyToCents(c.value), c.cents) << c.value;
    for (std::int32_t cents : {0, 1, -1, 4599, kMax, kMin}) {
        EXPECT_EQ(MoneyToCents(CentsToMoney(cents)), cents) << cents;
    }
    EXPECT_EQ(CentsToMoney(4599), 459900);
    EXPECT_EQ(ClampToInt32(std::int64_t{kMax} + 1), kMax);
    EXPECT_EQ(ClampToInt32(std::int64_t{kMin} - 1), kMin);
    EXPECT_EQ(ClampToInt32(-7), -7);
}

TEST(Money, IntToText) {
    EXPECT_EQ(IntToText(0), "0");
    EXPECT_EQ(IntToText(-42), "-42");
}

}  // namespace
}  // namespace velmorant
