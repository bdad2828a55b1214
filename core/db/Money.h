#pragma once

#include <cstdint>
#include <string>

namespace velmorant {

// Prices, quantities and sums: the amount times 10 000 in a signed 64-bit integer.
using Money = std::int64_t;
inline constexpr Money kMoneyScale = 10000;

// (a * b) div 10 000, truncated toward zero, without intermediate overflow.
Money MoneyMul(Money a, Money b);

// Prices in hundredths, as the order lines keep them (TDocLine::PriceCents): the money value
// cut toward zero to whole hundredths, held at the ends of the 32-bit range; and back.
std::int32_t MoneyToCents(Money value);
constexpr Money CentsToMoney(std::int32_t cents) { return Money{cents} * (kMoneyScale / 100); }

// A 64-bit integer held at the ends of the 32-bit range.
std::int32_t ClampToInt32(std::int64_t value);

// Trim, first "," to ".", then a decimal integer; `def` on any error.
std::int64_t TextToInt(const std::string& text, std::int64_t def);
// Trim, first "," to ".", then a decimal number kept to four decimals; `def` on any error.
// Read digit by digit, never through a double: "0.57e0" is exactly 0.57.
Money TextToMoney(const std::string& text, Money def);

enum class MoneyParse { Ok, NotANumber, OutOfRange };
enum class MoneyRounding { Truncate, HalfToEven };
// The reading of TextToMoney with its outcome told apart: [+-]digits[.digits][(e|E)[+-]digits]
// after trimming and the first "," turned into "."; the digits beyond the fourth decimal are
// dropped or rounded half to even. `value` is set only on Ok.
MoneyParse ParseMoney(const std::string& text, MoneyRounding rounding, Money& value);
// Trim, first "," to ".", then a floating number; `def` on any error.
double TextToFloat(const std::string& text, double def);

std::string IntToText(std::int64_t value);
// Exactly `decimals` (0..4) digits after "."; empty text for 0 when blankIfZero.
// Dropped decimals are rounded half up on the magnitude, digit by digit from the last.
std::string MoneyToText(Money value, int decimals, bool blankIfZero);

}  // namespace velmorant
