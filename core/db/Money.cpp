#include "core/db/Money.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/db/Text.h"

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

std::int32_t ClampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int32_t MoneyToCents(Money value) { return ClampToInt32(value / (kMoneyScale / 100)); }

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
    // One sign only: from_chars takes the "-" of "+-1" as the number's own.
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-') return def;
    }
    if (begin == end) return def;
    std::int64_t value = 0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end) return def;
    return value;
}

MoneyParse ParseMoney(const std::string& text, MoneyRounding rounding, Money& value) {
    const std::string t = prepareNumber(text);
    if (!isDecimalNumber(t, true)) return MoneyParse::NotANumber;
    // The number is its digits times a power of ten: the digits of the mantissa without the
    // point, leading zeros dropped, and the exponent less the count of decimals.
    size_t i = 0;
    bool negative = false;
    if (t[i] == '+' || t[i] == '-') negative = t[i++] == '-';
    std::string digits;
    long long exponent = 0;
    bool inDecimals = false;
    for (; i < t.size() && t[i] != 'e' && t[i] != 'E'; ++i) {
        if (t[i] == '.') {
            inDecimals = true;
            continue;
        }
        if (inDecimals) --exponent;
        if (digits.empty() && t[i] == '0') continue;
        digits += t[i];
    }
    if (i < t.size()) {
        ++i;
        bool negativeExponent = false;
        if (t[i] == '+' || t[i] == '-') negativeExponent = t[i++] == '-';
        long long written = 0;
        // Beyond a million the value is out of range or zero whatever the digits are.
        for (; i < t.size(); ++i) written = std::min(written * 10 + (t[i] - '0'), 1000000LL);
        exponent += negativeExponent ? -written : written;
    }
    if (digits.empty()) {
        value = 0;
        return MoneyParse::Ok;
    }
    // Scaled to ten-thousandths: digits x 10^shift.
    const long long shift = exponent + 4;
    const auto count = static_cast<long long>(digits.size());
    // Digits kept: all of them when shift >= 0, else the ones above the unit.
    const long long kept = shift >= 0 ? count : std::max(0LL, count + shift);
    // Values that need more than 19 digits do not fit (the largest has 19).
    if (kept + std::max(0LL, shift) > 19) return MoneyParse::OutOfRange;
    unsigned __int128 magnitude = 0;
    for (long long k = 0; k < kept; ++k) magnitude = magnitude * 10 + (digits[k] - '0');
    for (long long k = 0; k < shift; ++k) magnitude *= 10;
    if (rounding == MoneyRounding::HalfToEven && kept < count) {
        // The dropped part against one half of the last kept unit. When the dropped digits
        // start below the first digit (count + shift < 0), they are less than a half.
        const long long firstDropped = count + shift;
        if (firstDropped >= 0) {
            const char d = digits[static_cast<size_t>(firstDropped)];
            const bool restZero = digits.find_first_not_of('0', static_cast<size_t>(firstDropped) +
                                                                    1) == std::string::npos;
            if (d > '5' || (d == '5' && (!restZero || magnitude % 2 == 1))) ++magnitude;
        }
    }
    const unsigned __int128 limit =
        static_cast<unsigned __int128>(std::numeric_limits<Money>::max()) + (negative ? 1 : 0);
    if (magnitude > limit) return MoneyParse::OutOfRange;
    value = negative ? static_cast<Money>(-static_cast<__int128>(magnitude))
                     : static_cast<Money>(magnitude);
    return MoneyParse::Ok;
}

Money TextToMoney(const std::string& text, Money def) {
    Money value = 0;
    return ParseMoney(text, MoneyRounding::Truncate, value) == MoneyParse::Ok ? value : def;
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
