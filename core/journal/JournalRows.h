#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/db/Dates.h"

namespace velmorant {

class TQueryResult;

// One document as the journal lists it: the texts of its DOC_HEADS row, read once; what the
// columns show is made from them only when a row is drawn.
struct TJournalRow {
    std::int64_t rowId = 0;   // the row's number in DOC_HEADS: the journal's order
    std::string GUID;         // trimmed
    bool paddedGuid = false;  // the stored GUID had blanks or control characters around it
    std::string DOC_DATE;     // as stored
    std::int32_t state = 0;   // DOC_STATE read as an integer, 0 when it is not one
    std::string CLI_NAME;     // trimmed
    std::string ORD_WEIGHT;   // as stored
    std::string ORD_SUMM;     // as stored
};

// The documents whose REC_TIME lies in start..end (start 0: all of them; start equal to end:
// that day), in the order in which they were first stored.
std::string JournalRowsQuery(DateTime start, DateTime end);

// Runs JournalRowsQuery on `q` and puts its rows into `rows` (emptied first). False when the
// statement failed: the library's message has been shown and `rows` holds what came before.
bool ReadJournalRows(TQueryResult& q, DateTime start, DateTime end, std::vector<TJournalRow>& rows);

// After document `guid` was saved or deleted and nothing else changed: the rows of the period
// as ReadJournalRows would now read them, from `rows` and a query of that one document. False
// when the statement failed (shown; `rows` unchanged).
bool ReloadJournalDocument(TQueryResult& q, DateTime start, DateTime end, const std::string& guid,
                           std::vector<TJournalRow>& rows);

// The column texts: DOC_DATE as "dd.MM" ("???" unless it reads yyyy-MM-dd), the quantity with
// one decimal and the sum with two, both blank for zero.
std::string JournalDayMonth(std::string_view storedDate);
std::string JournalWeight(const TJournalRow& row);
std::string JournalSum(const TJournalRow& row);

}  // namespace velmorant
