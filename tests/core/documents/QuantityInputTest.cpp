#include "core/documents/QuantityInput.h"

#include <gtest/gtest.h>

#include <string>

namespace velmorant {
namespace {

TEST(QuantityInput, ReadsDecimalNumbers) {
    const struct {
        std::string text;
        bool valid;
        Money value;
    } cases[] = {
        {"5", true, 50000},
        {"1.5", true, 15000},
        {".", true, 0},
        {"0.00", true, 0},
        {" \t12.345", true, 123450},
        {"-2.5", true, -25000},
        {"+3", true, 30000},
        {"1.23456", true, 12345},  // beyond four decimals dropped
        {"", false, 0},
        {"   ", false, 0},
        {"-", false, 0},
        {"1.2.3", false, 0},
        {"1,5", false, 0},  // the filter turns commas into points before they get here
        {"12 ", false, 0},
        {"abc", false, 0},
        {std::string(256, '1'), false, 0},
        {"99999999999999999999", false, 0},  // beyond the money range
    };
    for (const auto& tc : cases) {
        Money v = -1;
        EXPECT_EQ(ReadQuantity(tc.text, v), tc.valid) << tc.text;
        if (tc.valid) {
            EXPECT_EQ(v, tc.value) << tc.text;
        }
    }
}

TEST(QuantityInput, FilterKeepsAtMostOnePointAndThreeDecimals) {
    using A = QuantityCharAction;
    const struct {
        const char* text;
        char typed;
        A action;
        char ch;
    } cases[] = {
        {"1", ',', A::Insert, '.'},     // a comma becomes a point
        {"1.5", ',', A::Discard, '.'},  // ... and counts as a second point
        {"1.234", '5', A::Discard, '5'},
        {"1.234", '\b', A::Insert, '\b'},  // backspace always passes
        {"12", '\r', A::Confirm, '\r'},
        {"", '\x7f', A::Discard, '\x7f'},
        {"", '\xd0', A::Discard, '\xd0'},  // first byte of a Cyrillic letter
    };
    for (const auto& tc : cases) {
        const QuantityCharResult r = FilterQuantityChar(tc.text, tc.typed);
        EXPECT_EQ(r.action, tc.action) << tc.text << " + " << int(tc.typed);
        EXPECT_EQ(r.ch, tc.ch) << tc.text << " + " << int(tc.typed);
    }
}

TEST(QuantityInput, FilterJudgesTheTextWithTheSelectionReplaced) {
    using A = QuantityCharAction;
    const struct {
        const char* text;
        std::size_t start, length;
        char typed;
        A action;
    } cases[] = {
        {"0.00", 0, 4, '.', A::Insert},    // all selected: the point replaces it
        {"0.00", 0, 0, '.', A::Discard},   // nothing selected: a second point
        {"1.5", 1, 1, ',', A::Insert},     // the selected point is replaced by another
        {"1.234", 2, 3, '5', A::Insert},   // the selected decimals make room
        {"1.234", 0, 1, '5', A::Discard},  // the decimals stay: a fourth is refused
        {"12", 7, 3, '.', A::Insert},      // a selection past the end changes nothing
    };
    for (const auto& tc : cases) {
        EXPECT_EQ(FilterQuantityChar(tc.text, tc.start, tc.length, tc.typed).action, tc.action)
            << tc.text << " [" << tc.start << "," << tc.length << "] + " << tc.typed;
    }
}

TEST(QuantityInput, EntryShowsPriceAndRecomputesTheSum) {
    QuantityEntry e(0, 12 * kMoneyScale + 3400);  // price 12.34
    EXPECT_TRUE(e.PriceShown());
    EXPECT_EQ(e.QuantityText(), "0.00");
    EXPECT_EQ(e.PriceText(), "Цена  12.34");
    EXPECT_EQ(e.SumText(), "Сумма 0.00");
    EXPECT_TRUE(e.Recompute("2.5"));
    EXPECT_EQ(e.SumText(), "Сумма 30.85");
    EXPECT_FALSE(e.Recompute(""));  // the sum line keeps 30.85; the quantity reads 0
    EXPECT_EQ(e.Quantity(), 0);
    EXPECT_FALSE(e.Confirm(""));
    EXPECT_TRUE(e.Confirm("."));
    EXPECT_EQ(e.Quantity(), 0);
    EXPECT_TRUE(e.Confirm("7.125"));
    EXPECT_EQ(e.Quantity(), 71250);

    QuantityEntry free(0, 0);  // a price of 0 is shown
    EXPECT_TRUE(free.PriceShown());
    EXPECT_EQ(free.PriceText(), "Цена  0.00");

    QuantityEntry hidden(15000, -kMoneyScale);
    EXPECT_FALSE(hidden.PriceShown());
    EXPECT_FALSE(hidden.Recompute("3"));
    EXPECT_EQ(hidden.Quantity(), 15000);  // nothing recomputed without a price
    EXPECT_EQ(hidden.QuantityText(), "1.50");
}

}  // namespace
}  // namespace velmorant
