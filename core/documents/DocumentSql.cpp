#include "core/documents/DocumentSql.h"

#include "core/db/Dates.h"
#include "core/db/Text.h"

namespace velmorant::docsql {

namespace {

bool IsPlainDecimal(std::string_view t) {
    std::size_t i = 0;
    if (i < t.size() && t[i] == '-') ++i;
    std::size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    if (digits == 0) return false;
    if (i == t.size()) return true;
    if (t[i] != '.') return false;
    ++i;
    std::size_t decimals = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++decimals;
    return decimals > 0 && i == t.size();
}

std::string Money2(Money v) { return MoneyToText(v, 2, false); }

}  // namespace

std::string PrepareNote(std::string_view note) {
    const std::string trimmed = Trim(note);
    std::string out;
    out.reserve(trimmed.size());
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        const char c = trimmed[i];
        if (c == '\r' && i + 1 < trimmed.size() && trimmed[i + 1] == '\n') {
            out += ' ';
            ++i;
        } else if (c == '\r' || c == '\n' || c == '\b' || c == '\t') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

bool TotalTerm(const std::string& text, Money& term) {
    term = 0;
    switch (ParseMoney(text, MoneyRounding::HalfToEven, term)) {
        case MoneyParse::Ok:
            return true;
        case MoneyParse::NotANumber:
            term = 0;  // not a number counts nothing
            return true;
        case MoneyParse::OutOfRange:
            break;
    }
    return false;
}

std::string QuantityLiteral(const std::string& text) {
    const std::string t = Trim(text);
    if (IsPlainDecimal(t)) return t;
    return Money2(TextToMoney(t, 0));
}

bool ComputeTotals(const TDocHead& doc, Totals& totals) {
    totals = Totals{};
    for (const TDocLine& line : doc.Lines) {
        Money quantity = 0;
        Money sum = 0;
        if (!TotalTerm(line.G_WT, quantity) || !TotalTerm(line.Sum, sum) ||
            __builtin_add_overflow(totals.quantity, quantity, &totals.quantity) ||
            __builtin_add_overflow(totals.sum, sum, &totals.sum)) {
            return false;
        }
    }
    totals.lines = doc.Lines.size();
    return true;
}

std::string InsertHead(const TDocHead& doc, const Totals& totals, DateTime recTime) {
    return "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
           "REC_TIME, CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, SKU_LINES, "
           "PRC_LINES, STR_BASIS, STR_PRIM, GPS_X, GPS_Y, GPS_Z) values (" +
           SqlQuoted(doc.GUID) + ", 0, 0, " + DateToSqlText(doc.DOC_DATE) + ", \"б/н\", 1, " +
           DateToSqlText(recTime) + ", " + SqlQuoted(Trim(doc.CLI_GUID)) + ", " +
           SqlQuoted(Trim(doc.CLI_NAME)) + ", " + Money2(totals.sum) + ", " +
           Money2(totals.quantity) + ", " + std::to_string(totals.lines) + ", 0, 0, \"\", " +
           SqlQuoted(Trim(PrepareNote(doc.STR_PRIM))) + ", 0, 0, 0)";
}

std::string UpdateHead(const TDocHead& doc, const Totals& totals) {
    return "update DOC_HEADS set DOC_DATE=" + DateToSqlText(doc.DOC_DATE) +
           ", CLI_GUID=" + SqlQuoted(Trim(doc.CLI_GUID)) +
           ", CLI_NAME=" + SqlQuoted(Trim(doc.CLI_NAME)) + ", ORD_SUMM=" + Money2(totals.sum) +
           ", ORD_WEIGHT=" + Money2(totals.quantity) +
           ", ORD_LINES=" + std::to_string(totals.lines) +
           ", SKU_LINES=0, PRC_LINES=0, STR_PRIM=" + SqlQuoted(Trim(PrepareNote(doc.STR_PRIM))) +
           " where (GUID=" + SqlQuoted(doc.GUID) + ")";
}

std::string SelectStoredState(const std::string& guid) {
    return "select DOC_STATE from DOC_HEADS where (GUID=" + SqlQuoted(guid) + ") order by rowid";
}

std::string DeleteLines(const std::string& guid) {
    return "delete from DOC_ORDERS where (DOC_ID=" + SqlQuoted(guid) + ")";
}

std::string InsertLine(const std::string& guid, std::size_t orderId, const TDocLine& line) {
    return "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values (" +
           SqlQuoted(guid) + ", " + std::to_string(orderId) + ", " + SqlQuoted(Trim(line.G_GUID)) +
           ", " + SqlQuoted(Trim(line.G_NAME)) + ", " + QuantityLiteral(line.G_WT) + ", " +
           Money2(CentsToMoney(line.PriceCents)) + ")";
}

}  // namespace velmorant::docsql
