#pragma once

#include <string>
#include <string_view>

#include "core/db/Money.h"
#include "core/documents/Document.h"

// The statements with which an order document is written, and the value forms inside them.
// Used by the document store only; the texts are a contract with stored data and the office.
namespace velmorant::docsql {

// Values go into these texts through SqlQuoted (core/db/Text.h); texts are trimmed first, the
// GUID of a document is not. GUIDs never go between double quotes: SQLite reads a
// double-quoted word that names a column as that column, so a stored GUID "GUID" or "DOC_ID"
// would match every row.

// The note as stored: trimmed; CR LF, CR, LF, backspace and TAB each become one blank.
// Quotes are not doubled here.
std::string PrepareNote(std::string_view note);

// A quantity or sum text as a fixed-point total term: read as a decimal number (0 when it is
// not one), times 10 000, rounded half to even. False when the number is beyond the range of
// a fixed-point value.
bool TotalTerm(const std::string& text, Money& term);

// G_WT as it goes into the statement: the trimmed text when it is a plain decimal number,
// otherwise its parsed value with two decimals. An empty quantity (set to zero in the
// editor) is written as 0.00, so the line keeps its place and ORD_LINES counts it.
std::string QuantityLiteral(const std::string& text);

struct Totals {
    Money sum = 0;
    Money quantity = 0;
    std::size_t lines = 0;
};
// The totals over the lines, in checked arithmetic: false when a term or a total would pass
// the range of a fixed-point value (a save must then be refused, never write a wrapped total).
bool ComputeTotals(const TDocHead& doc, Totals& totals);

std::string InsertHead(const TDocHead& doc, const Totals& totals, DateTime recTime);
std::string UpdateHead(const TDocHead& doc, const Totals& totals);
std::string SelectStoredState(const std::string& guid);
std::string DeleteLines(const std::string& guid);
std::string InsertLine(const std::string& guid, std::size_t orderId, const TDocLine& line);

}  // namespace velmorant::docsql
