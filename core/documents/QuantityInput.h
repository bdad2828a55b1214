#pragma once

#include <array>
#include <string>

#include "core/db/Money.h"

namespace velmorant {

// Texts of the quantity keypad ("Oк" is a Latin O followed by a Cyrillic к).
namespace quantity_texts {
inline constexpr const char* kCaption = "Количество";
inline constexpr const char* kOk = "Oк";
inline constexpr const char* kCancel = "Отмена";
inline constexpr const char* kPriceAtCreation = "Цена:";
inline constexpr const char* kSumAtCreation = "Сумма:";
inline constexpr const char* kPricePrefix = "Цена  ";
inline constexpr const char* kSumPrefix = "Сумма ";
inline constexpr const char* kClear = "C";
inline constexpr const char* kBackspace = "<--";
}  // namespace quantity_texts

// Reads the keypad's text as a decimal number: leading blanks and tabs skipped, then an
// optional sign and digits with at most one "."; a lone "." reads 0. Empty text, any other
// character, more than 255 characters or an amount beyond the money range is not a number.
// Decimals beyond the fourth are dropped.
bool ReadQuantity(const std::string& text, Money& value);

// What the keypad's edit box does with one character on its way in.
enum class QuantityCharAction {
    Insert,   // let `ch` (maybe changed from the typed one) into the edit box
    Discard,  // refuse it silently
    Confirm,  // Enter: press the confirm button
};
struct QuantityCharResult {
    QuantityCharAction action;
    char ch;
};

// The input filter, given the edit box's whole current text. A comma becomes a point; control
// characters, the point and digits pass, everything else is refused. When the text already
// holds a point, a further point is refused, and so is a digit once there are more than two
// characters after the first point (at most three decimals), wherever the caret stands.
QuantityCharResult FilterQuantityChar(const std::string& currentText, char typed);

// The same for an edit box with `selectionLength` characters selected from `selectionStart`:
// a typed character replaces the selection, so the text is judged without it (a fully
// selected "0.00" takes a point).
QuantityCharResult FilterQuantityChar(const std::string& currentText, std::size_t selectionStart,
                                      std::size_t selectionLength, char typed);

// The numbers behind the keypad: the price given by the caller (negative: no price known, the
// price and sum lines are hidden) and the quantity that is returned.
class QuantityEntry {
public:
    QuantityEntry(Money quantity, Money price);

    bool PriceShown() const { return m_price >= 0; }
    Money Quantity() const { return m_quantity; }
    Money Price() const { return m_price; }

    // What the edit box, the price line and the sum line show when the keypad opens.
    std::string QuantityText() const;
    std::string PriceText() const;
    std::string SumText() const;  // for the current quantity

    // After every change of the edit box: with a price shown, reads `text` into the quantity
    // (0 when it is not a number) and returns true when the sum line is to be rewritten with
    // SumText(); an invalid text leaves the sum line as it was.
    bool Recompute(const std::string& text);

    // Confirm: reads `text` into the quantity; true when it is a number.
    bool Confirm(const std::string& text);

private:
    Money m_quantity;
    Money m_price;
};

// Where the keypad's controls stand, in pixels, for a screen of the given size: portrait
// (width less than height) or landscape.
struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};
struct KeypadKey {
    const char* text;  // "0".."9", ".", "C" or "<--"
    Rect rect;         // inside the keypad panel
};
struct QuantityLayout {
    bool portrait = true;
    int keyWidth = 61;
    Rect window;  // centred on the screen
    Rect edit, keypad, ok, cancel, priceLabel, sumLabel;
    std::array<KeypadKey, 13> keys;
};
QuantityLayout QuantityLayoutFor(int screenWidth, int screenHeight);

}  // namespace velmorant
