#include "core/documents/Document.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/db/Clock.h"
#include "core/db/Guid.h"
#include "core/db/Money.h"
#include "core/db/Notifier.h"
#include "core/db/Options.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/documents/DocumentSql.h"

namespace velmorant {

namespace {

bool ReadUseSums() { return GetOption("UseSUMS", "") == "1"; }

// The stored shipment date: "yyyy-MM-dd" as saving writes it, else any form the date parser
// reads; `today` when neither gives a valid date.
DateTime StoredDate(const std::string& text, DateTime today) {
    DateTime d = IsoToDate(text, 0);
    if (d <= 0) d = ParseDate(text, 0);
    if (d <= 0) return today;
    return static_cast<DateTime>(static_cast<std::int64_t>(d));  // whole days only
}

bool ReadHeader(TDocHead& doc, DateTime today) {
    auto q = Query(
        "select GUID, DOC_DATE, DOC_STATE, EXP_DATE, REC_TIME, CLI_GUID, CLI_NAME, STR_PRIM "
        "from DOC_HEADS where (GUID=" +
        SqlQuoted(doc.GUID) + ") order by rowid");
    if (!q || q->RowCount() == 0) {
        notifier().message(kDocHeaderNotRead);
        return false;
    }
    q->First();
    doc.DOC_STATE = DocStateFromText(q->Value("DOC_STATE", ""));
    doc.statusText = DocStateText(doc.DOC_STATE);
    doc.DOC_DATE = StoredDate(Trim(q->Value("DOC_DATE", "")), today);
    doc.CLI_GUID = Trim(q->Value("CLI_GUID", ""));
    doc.CLI_NAME = Trim(q->Value("CLI_NAME", ""));
    doc.STR_PRIM = Trim(q->Value("STR_PRIM", ""));
    return true;
}

bool ReadLines(TDocHead& doc) {
    auto q = Query(
        "select DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE from DOC_ORDERS where (DOC_ID=" +
        SqlQuoted(doc.GUID) + ") order by ORDER_ID, rowid");
    if (!q) return false;
    for (q->First(); !q->AtEnd(); q->Next()) {
        TDocLine line;
        line.G_GUID = Trim(q->Value("G_GUID", ""));
        line.G_NAME = Trim(q->Value("G_NAME", ""));
        const Money quantity = TextToMoney(q->Value("G_WT", ""), 0);
        line.G_WT = MoneyToText(quantity, 2, false);
        const Money price = TextToMoney(q->Value("PRICE", ""), 0);
        line.PriceCents = MoneyToCents(price);
        if (doc.UseSums) line.Sum = MoneyToText(MoneyMul(price, quantity), 2, false);
        doc.Lines.push_back(std::move(line));
    }
    return true;
}

}  // namespace

std::string DocStateText(std::int32_t state) {
    switch (state) {
        case 0:
        case 1:
            return kDocStatusWritten;
        case 2:
            return kDocStatusSent;
        default:
            return "[" + IntToText(state) + kDocStatusUnknownTail;
    }
}

std::int32_t DocStateFromText(const std::string& text) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kNotInteger = std::int64_t{kMin} - 1;
    const std::int64_t whole = TextToInt(text, kNotInteger);
    if (whole != kNotInteger) return ClampToInt32(whole);
    const double real = TextToFloat(text, std::numeric_limits<double>::quiet_NaN());
    if (std::isnan(real)) return 0;
    return static_cast<std::int32_t>(std::clamp(std::ceil(real), double{kMin}, double{kMax}));
}

void NewDocument(TDocHead& doc, const Clock& clock) {
    doc.GUID.clear();
    doc.CLI_GUID.clear();
    doc.DOC_STATE = 0;
    doc.Modified = false;
    doc.statusText = kDocStatusNew;
    doc.DOC_DATE = clock.Today();
    doc.CLI_NAME.clear();
    doc.STR_PRIM.clear();
    doc.Lines.clear();
    doc.UseSums = ReadUseSums();
}

bool NamesNoDocument(const std::string& guid) {
    const std::string trimmed = Trim(guid);
    return trimmed.empty() || trimmed == kNullGuid;
}

bool LoadDocument(TDocHead& doc, const std::string& guid, const Clock& clock) {
    doc.GUID = guid;
    if (NamesNoDocument(guid)) return true;

    doc.UseSums = ReadUseSums();
    doc.Lines.clear();

    // The lines are read even when the header is missing, so the person sees what is there.
    const bool headerRead = ReadHeader(doc, clock.Today());
    const bool linesRead = ReadLines(doc);
    doc.Modified = false;
    return headerRead && linesRead;
}

bool DeleteDocument(const std::string& guid) {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) return false;
    const std::string key = SqlQuoted(guid);
    // One transaction only makes the four deletes fast and all-or-nothing against a crash;
    // a statement that fails does not stop the others, as callers expect.
    Transaction transaction(*q);
    const bool inTransaction = transaction.Begin();
    q->Exec("delete from DOC_HEADS where (GUID=" + key + ")");
    q->Exec("delete from DOC_ORDERS where (DOC_ID=" + key + ")");
    q->Exec("delete from DOC_SKUS where (DOC_ID=" + key + ")");
    q->Exec("delete from DOC_COMPETS where (DOC_ID=" + key + ")");
    // A failed commit leaves every row in place; that is the one failure worth reporting.
    return !inTransaction || transaction.Commit();
}

}  // namespace velmorant
