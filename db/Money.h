#pragma once

#include <cstdint>
#include <string>

namespace velmorant {

// Prices, quantities and sums: the amount times 10 000 in a signed 64-bit integer.
using Money = std::int64_t;
inline constexpr Money kMoneyScale = 10000;

// (a * b) div 10 000, truncated toward zero, without intermediate overflow.
Money MoneyMul(Money a, Money b);

// Trim, first "," to ".", then a decimal integer; `def` on any error.
std::int64_t TextToInt(const std::string& text, std::int64_t def);
// Trim, first "," to ".", then a decimal number kept to four decimals; `def` on any error.
Money TextToMoney(const std::string& text, Money def);
// Trim, first "," to ".", then a floating number; `def` on any error.
double TextToFloat(const std::string& text, double def);

std::string IntToText(std::int64_t value);
// Exactly `decimals` (0..4) digits after "."; empty text for 0 when blankIfZero.
// Dropped decimals are rounded half up on the magnitude, digit by digit from the last.
std::string MoneyToText(Money value, int decimals, bool blankIfZero);

}  // namespace velmorant
