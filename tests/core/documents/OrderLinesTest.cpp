#include "core/documents/OrderLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmorant {
namespace {

TDocLine Line(std::string guid, std::string wt, std::int32_t cents = 0) {
    TDocLine l;
    l.G_GUID = std::move(guid);
    l.G_WT = std::move(wt);
    l.PriceCents = cents;
    return l;
}

TEST(OrderLines, PresetSkipsZeroQuantities) {
    const std::vector<TDocLine> lines = {Line("A", "2.00"), Line("B", ""), Line("C", "0.00"),
                                         Line("D", "abc"), Line("E", "0.50")};
    EXPECT_EQ(PickerPreset(lines), "A\t2.00\r\nE\t0.50\r\n");
    EXPECT_EQ(PickerPreset({}), "");
}

TEST(OrderLines, QuantityEntryWritesQuantityAndSum) {
    const struct {
        Money quantity;
        bool useSums;
        const char* wt;
        const char* sum;
    } cases[] = {
        {25000, true, "2.50", "30.85"},  // 2.5 x 12.34
        {0, true, "", ""},               // zero blanks both cells
        {25000, false, "2.50", "old"},   // without sums the sum is left alone
        {1234, true, "0.12", "1.52"},    // 0.1234 x 12.34 = 1.5227...: the sum uses 0.1234
    };
    for (const auto& tc : cases) {
        TDocLine l = Line("G", "1.00", 1234);
        l.Sum = "old";
        SetLineQuantity(l, tc.quantity, tc.useSums);
        EXPECT_EQ(l.G_WT, tc.wt);
        EXPECT_EQ(l.Sum, tc.sum);
    }
    EXPECT_EQ(LinePrice(Line("G", "1", 29), true), 2900);
    EXPECT_EQ(LinePrice(Line("G", "1", 29), false), kNoPrice);
    EXPECT_EQ(LineQuantity(Line("G", "12.50")), 125000);
    EXPECT_EQ(LineQuantity(Line("G", "")), 0);
}

TEST(OrderLines, PickerResultBecomesTheLines) {
    const std::vector<std::string> result = {
        "G1\t2.00\tМолоко\t45.99\t91.98",
        "  G2 \t 1.00 \t Хлеб \t 0.295 \t 0.29  ",
        "no tab here",
        "G3\t3.00",
        "G4\t1.00\tName\t1.00\t1.00\textra\tfields",
    };
    const std::vector<TDocLine> withSums = LinesFromPicker(result, true);
    ASSERT_EQ(withSums.size(), 4u);
    EXPECT_EQ(withSums[0].G_GUID, "G1");
    EXPECT_EQ(withSums[0].G_WT, "2.00");
    EXPECT_EQ(withSums[0].G_NAME, "Молоко");
    EXPECT_EQ(withSums[0].PriceCents, 4599);
    EXPECT_EQ(withSums[0].Sum, "91.98");
    EXPECT_EQ(withSums[1].G_GUID, "G2");
    EXPECT_EQ(withSums[1].G_NAME, "Хлеб");
    EXPECT_EQ(withSums[1].PriceCents, 29);  // cut toward zero
    EXPECT_EQ(withSums[1].Sum, "0.29");
    EXPECT_EQ(withSums[2].G_NAME, "");
    EXPECT_EQ(withSums[2].PriceCents, 0);
    EXPECT_EQ(withSums[2].Sum, "");
    EXPECT_EQ(withSums[3].Sum, "1.00\textra\tfields");  // the fifth field keeps the rest

    const std::vector<TDocLine> without = LinesFromPicker(result, false);
    ASSERT_EQ(without.size(), 4u);
    EXPECT_EQ(without[0].Sum, "");
    EXPECT_EQ(without[0].PriceCents, 4599);
}

TEST(OrderLines, ClientInfoBarsBecomeLineBreaks) {
    EXPECT_EQ(ClientInfoForDisplay("  ул. Ленина, 5|тел. 123  "), "ул. Ленина, 5\nтел. 123");
    EXPECT_EQ(ClientInfoForDisplay("||"), "\n\n");
    EXPECT_EQ(ClientInfoForDisplay(""), "");
}

}  // namespace
}  // namespace velmorant
