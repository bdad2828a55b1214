#pragma once

#include <string>
#include <vector>

#include "core/db/Money.h"
#include "core/documents/Document.h"

namespace velmorant {

// The editor's work on order lines that needs no window: what it hands the goods picker and
// the quantity keypad, and how it takes their answers back.

// The price handed to the keypad when no price is to be shown (-1.0).
inline constexpr Money kNoPrice = -kMoneyScale;

// The quantity of a line as a money value (its G_WT text; empty or unreadable reads 0).
Money LineQuantity(const TDocLine& line);
// The line's price for the keypad: PriceCents as money with sums on, kNoPrice otherwise.
Money LinePrice(const TDocLine& line, bool useSums);

// A confirmed keypad entry: G_WT takes the quantity with two decimals, empty for zero; with
// sums on, Sum takes quantity x price the same way.
void SetLineQuantity(TDocLine& line, Money quantity, bool useSums);

// The picker's preset: "G_GUID<TAB>G_WT<CR LF>" for every line whose quantity is not zero,
// in list order.
std::string PickerPreset(const std::vector<TDocLine>& lines);

// The lines made from the picker's result ("GUID<TAB>quantity<TAB>name<TAB>price<TAB>sum"):
// each trimmed, a line without a TAB skipped, at most five trimmed fields, missing fields
// empty. Sum is taken only with sums on.
std::vector<TDocLine> LinesFromPicker(const std::vector<std::string>& result, bool useSums);

// A client's INFO text as the editor shows it: trimmed, every "|" a line break ("\n").
std::string ClientInfoForDisplay(const std::string& info);

}  // namespace velmorant
