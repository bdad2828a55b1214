#include "documents/QuantityInput.h"

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
        {"1", ',', A::Insert, '.'},  // a comma becomes a point
        {"1.5", ',', A::Discard, '.'},
        {"1.5", '.', A::Discard, '.'},
        {"1.23", '4', A::Insert, '4'},
        {"1.234", '5', A::Discard, '5'},   // a fourth decimal is refused
        {"1.234", '\b', A::Insert, '\b'},  // backspace always passes
        {"0.00", '5', A::Insert, '5'},     // the selected start text gives way to a digit
        {"", '.', A::Insert, '.'},
        {"12", 'a', A::Discard, 'a'},
        {"12", '-', A::Discard, '-'},
        {"12", ' ', A::Discard, ' '},
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

TEST(QuantityInput, EntryShowsPriceAndRecomputesTheSum) {
    TQuantityEntry e(0, 12 * kMoneyScale + 3400);  // price 12.34
    EXPECT_TRUE(e.priceShown());
    EXPECT_EQ(e.quantityText(), "0.00");
    EXPECT_EQ(e.priceText(), "Цена  12.34");
    EXPECT_EQ(e.sumText(), "Сумма 0.00");
    EXPECT_TRUE(e.Recompute("2.5"));
    EXPECT_EQ(e.sumText(), "Сумма 30.85");
    EXPECT_FALSE(e.Recompute(""));  // the sum line keeps 30.85; the quantity reads 0
    EXPECT_EQ(e.quantity(), 0);
    EXPECT_FALSE(e.Confirm(""));
    EXPECT_TRUE(e.Confirm("."));
    EXPECT_EQ(e.quantity(), 0);
    EXPECT_TRUE(e.Confirm("7.125"));
    EXPECT_EQ(e.quantity(), 71250);

    TQuantityEntry free(0, 0);  // a price of 0 is shown
    EXPECT_TRUE(free.priceShown());
    EXPECT_EQ(free.priceText(), "Цена  0.00");

    TQuantityEntry hidden(15000, -kMoneyScale);
    EXPECT_FALSE(hidden.priceShown());
    EXPECT_FALSE(hidden.Recompute("3"));
    EXPECT_EQ(hidden.quantity(), 15000);  // nothing recomputed without a price
    EXPECT_EQ(hidden.quantityText(), "1.50");
}

TEST(QuantityInput, LayoutFollowsTheScreenOrientation) {
    const struct {
        int w, h;
        bool portrait;
        int key, winW, winH, keypadX, keypadY, buttonsY, priceY, sumY;
    } cases[] = {
        {240, 320, true, 61, 200, 250, 7, 35, 147, 179, 203},
        {320, 240, false, 34, 310, 145, 196, 6, 35, 67, 91},
        {400, 400, false, 34, 310, 145, 196, 6, 35, 67, 91},  // square counts as landscape
    };
    for (const auto& tc : cases) {
        const TQuantityLayout l = QuantityLayoutFor(tc.w, tc.h);
        EXPECT_EQ(l.portrait, tc.portrait);
        EXPECT_EQ(l.keyWidth, tc.key);
        EXPECT_EQ(l.window.width, tc.winW);
        EXPECT_EQ(l.window.height, tc.winH);
        EXPECT_EQ(l.window.x, (tc.w - tc.winW) / 2);
        EXPECT_EQ(l.window.y, (tc.h - tc.winH) / 2);
        EXPECT_EQ(l.keypad.x, tc.keypadX);
        EXPECT_EQ(l.keypad.y, tc.keypadY);
        EXPECT_EQ(l.ok.y, tc.buttonsY);
        EXPECT_EQ(l.cancel.y, tc.buttonsY);
        EXPECT_EQ(l.priceLabel.y, tc.priceY);
        EXPECT_EQ(l.sumLabel.y, tc.sumY);
        // Keys: "0" and "<--" are two wide, the rest one; three columns from x = 1.
        for (const TKeypadKey& k : l.keys) {
            const std::string t = k.text;
            const int width = (t == "0" || t == "<--") ? 2 * tc.key : tc.key;
            EXPECT_EQ(k.rect.width, width) << t;
            EXPECT_EQ(k.rect.height, 22) << t;
            EXPECT_TRUE(k.rect.x == 1 || k.rect.x == tc.key + 1 || k.rect.x == 2 * tc.key + 1) << t;
            EXPECT_LE(k.rect.x + k.rect.width, l.keypad.width) << t;
        }
        // The keypad sits right of the edit box in landscape, below it in portrait.
        if (tc.portrait) {
            EXPECT_GE(l.keypad.y, l.edit.y + l.edit.height);
        } else {
            EXPECT_GE(l.keypad.x, l.edit.x + l.edit.width);
            EXPECT_LE(l.keypad.x + l.keypad.width, l.window.width);
        }
    }
}

}  // namespace
}  // namespace velmorant
