#include "core/documents/QuantityInput.h"

#include <cstdint>
#include <limits>

namespace velmorant {

bool ReadQuantity(const std::string& text, Money& value) {
    if (text.empty() || text.size() > 255) return false;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return false;  // nothing but blanks or a sign

    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / kMoneyScale;
    std::int64_t whole = 0;
    std::int64_t fraction = 0;  // in ten-thousandths
    std::int64_t fractionUnit = kMoneyScale / 10;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (point) return false;
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (!point) {
                whole = whole * 10 + (c - '0');
                if (whole > kLimit) return false;
            } else if (fractionUnit > 0) {
                fraction += (c - '0') * fractionUnit;
                fractionUnit /= 10;
            }
        } else {
            return false;
        }
    }
    const Money amount = whole * kMoneyScale + fraction;
    value = negative ? -amount : amount;
    return true;
}

QuantityCharResult FilterQuantityChar(const std::string& currentText, char typed) {
    const char c = typed == ',' ? '.' : typed;
    if (c == '\r') return {QuantityCharAction::Confirm, c};
    const bool control = static_cast<unsigned char>(c) < 32;
    const bool digit = c >= '0' && c <= '9';
    if (!control && !digit && c != '.') return {QuantityCharAction::Discard, c};
    const std::size_t point = currentText.find('.');
    if (point != std::string::npos) {
        if (c == '.') return {QuantityCharAction::Discard, c};
        if (digit && currentText.size() - point - 1 > 2) return {QuantityCharAction::Discard, c};
    }
    return {QuantityCharAction::Insert, c};
}

QuantityCharResult FilterQuantityChar(const std::string& currentText, std::size_t selectionStart,
                                      std::size_t selectionLength, char typed) {
    std::string after = currentText;
    if (selectionStart < after.size()) after.erase(selectionStart, selectionLength);
    return FilterQuantityChar(after, typed);
}

QuantityEntry::QuantityEntry(Money quantity, Money price) : m_quantity(quantity), m_price(price) {}

std::string QuantityEntry::QuantityText() const { return MoneyToText(m_quantity, 2, false); }

std::string QuantityEntry::PriceText() const {
    return std::string(quantity_texts::kPricePrefix) + MoneyToText(m_price, 2, false);
}

std::string QuantityEntry::SumText() const {
    return std::string(quantity_texts::kSumPrefix) +
           MoneyToText(MoneyMul(m_price, m_quantity), 2, false);
}

bool QuantityEntry::Recompute(const std::string& text) {
    if (!PriceShown()) return false;
    Money value = 0;
    const bool valid = ReadQuantity(text, value);
    m_quantity = valid ? value : 0;
    return valid;
}

bool QuantityEntry::Confirm(const std::string& text) {
    Money value = 0;
    const bool valid = ReadQuantity(text, value);
    m_quantity = valid ? value : 0;
    return valid;
}

QuantityLayout QuantityLayoutFor(int screenWidth, int screenHeight) {
    QuantityLayout l;
    l.portrait = screenWidth < screenHeight;
    const int w = l.portrait ? 61 : 34;
    l.keyWidth = w;
    l.window.width = l.portrait ? 200 : 310;
    l.window.height = l.portrait ? 250 : 145;
    l.window.x = (screenWidth - l.window.width) / 2;
    l.window.y = (screenHeight - l.window.height) / 2;
    l.edit = {8, 4, 184, 30};
    const int buttonsY = l.portrait ? 147 : 35;
    const int priceY = l.portrait ? 179 : 67;
    l.keypad = l.portrait ? Rect{7, 35, 184, 109} : Rect{196, 6, 3 * w + 2, 109};
    l.ok = {8, buttonsY, 91, 29};
    l.cancel = {103, buttonsY, 89, 29};
    l.priceLabel = {7, priceY, 184, 23};
    l.sumLabel = {7, priceY + 24, 184, 23};
    const int c0 = 1, c1 = w + 1, c2 = 2 * w + 1;
    constexpr int h = 22;
    l.keys = {{
        {"C", {c0, 0, w, h}},
        {"<--", {c1, 0, 2 * w, h}},
        {"7", {c0, 21, w, h}},
        {"8", {c1, 21, w, h}},
        {"9", {c2, 21, w, h}},
        {"4", {c0, 43, w, h}},
        {"5", {c1, 43, w, h}},
        {"6", {c2, 43, w, h}},
        {"1", {c0, 65, w, h}},
        {"2", {c1, 65, w, h}},
        {"3", {c2, 65, w, h}},
        {"0", {c0, 87, 2 * w, h}},
        {".", {c2, 87, w, h}},
    }};
    return l;
}

}  // namespace velmorant
