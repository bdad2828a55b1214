#include "db/Money.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "db/Text.h"

namespace velmorant {

namespace {

// Trim and turn the first "," into ".", as every number reader does.
std::string prepareNumber(const std::string& text) {
    std::string t = Trim(text);
    const auto comma = t.find(',');
    if (comma != std::string::npos) t[comma] = '.';
    return t;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Accepts [+-]digits[.digits][(e|E)[+-]digits] with at least one digit in the mantissa.
bool isDecimalNumber(const std::string& t, bool allowExponent) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digits = 0;
    while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (allowExponent && i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        size_t expDigits = 0;
        while (i < t.size() && isDigit(t[i])) ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    return i == t.size();
}

}  // namespace

Money MoneyMul(Money a, Money b) {
    const __int128 product = static_cast<__int128>(a) * b / kMoneyScale;  // truncates toward 0
    if (product > std::numeric_limits<Money>::max()) return std::numeric_limits<Money>::max();
    if (product < std::numeric_limits<Money>::min()) return std::numeric_limits<Money>::min();
    return static_cast<Money>(product);
}

std::int64_t TextToInt(const std::string& text, std::int64_t def) {
    std::string t = prepareNumber(text);
    const char* begin = t.data();
    const char* end = t.data() + t.size();
    if (begin != end && *begin == '+') ++begin;
    if (begin == end) return def;
    std::int64_t value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end) return def;
    return value;
}

Money TextToMoney(const std::string& text, Money def) {
    const std::string t = prepareNumber(text);
    if (!isDecimalNumber(t, true)) return def;
    if (t.find_first_of("eE") != std::string::npos) {
        const double v = TextToFloat(t, 0);
        const double scaled = std::trunc(v * kMoneyScale);
        if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) return def;
        return static_cast<Money>(scaled);
    }
    size_t i = 0;
    bool negative = false;
    if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
    __int128 value = 0;
    for (; i < t.size() && t[i] != '.'; ++i) {
        value = value * 10 + (t[i] - '0');
        if (value > std::numeric_limits<Money>::max() / kMoneyScale + 1) return def;
    }
    value *= kMoneyScale;
    if (i < t.size()) ++i;  // the point
    // Four decimals are kept; further digits are dropped.
    Money unit = kMoneyScale / 10;
    for (; i < t.size() && unit > 0; ++i, unit /= 10) value += (t[i] - '0') * unit;
    if (negative) value = -value;
    if (value > std::numeric_limits<Money>::max() || value < std::numeric_limits<Money>::min())
        return def;
    return static_cast<Money>(value);
}

double TextToFloat(const std::string& text, double def) {
    const std::string t = prepareNumber(text);
    if (!isDecimalNumber(t, true)) return def;
    const char* begin = t.data();
    if (*begin == '+') ++begin;
    double value = 0;
    auto [ptr, ec] = std::from_chars(begin, t.data() + t.size(), value);
    if (ec != std::errc() || ptr != t.data() + t.size() || !std::isfinite(value)) return def;
    return value;
}

std::string IntToText(std::int64_t value) { return std::to_string(value); }

std::string MoneyToText(Money value, int decimals, bool blankIfZero) {
    if (value == 0 && blankIfZero) return {};
    if (decimals < 0) decimals = 0;
    if (decimals > 4) decimals = 4;
    const bool negative = value < 0;
    // The magnitude as an unsigned number, so that the smallest value does not overflow.
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                                  : static_cast<unsigned long long>(value);
    unsigned long long whole = magnitude / kMoneyScale;
    unsigned fraction = static_cast<unsigned>(magnitude % kMoneyScale);  // four digits

    // Drop the decimals digit by digit from the last: a digit that with the carry reaches 5
    // or more carries 1 to the digit above it.
    unsigned carry = 0;
    for (int position = 4; position > decimals; --position) {
        const unsigned digit = fraction % 10;
        fraction /= 10;
        carry = digit + carry >= 5 ? 1 : 0;
    }
    unsigned long long scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    unsigned long long kept = whole * scale + fraction + carry;
    whole = kept / scale;
    const unsigned long long keptFraction = kept % scale;

    std::string text = (negative && kept != 0 ? "-" : "") + std::to_string(whole);
    if (decimals > 0) {
        std::string digits = std::to_string(keptFraction);
        text += "." + std::string(static_cast<size_t>(decimals) - digits.size(), '0') + digits;
    }
    return text;
}

}  // namespace velmorant
