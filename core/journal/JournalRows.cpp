#include "core/journal/JournalRows.h"

#include <algorithm>
#include <utility>

#include "core/db/Money.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/documents/Document.h"
#include "core/documents/DocumentSql.h"

namespace velmorant {

namespace {

const char* const kColumns =
    "select rowid, GUID, DOC_DATE, DOC_STATE, CLI_NAME, ORD_WEIGHT, ORD_SUMM from DOC_HEADS";

std::string periodCondition(DateTime start, DateTime end) {
    if (start == 0) return {};
    if (start == end) return "(REC_TIME=" + DateToSqlText(start) + ")";
    return "(REC_TIME BETWEEN " + DateToSqlText(start) + " and " + DateToSqlText(end) + ")";
}

// Columns by position, as kColumns names them.
TJournalRow rowOf(const ResultRow& row) {
    TJournalRow r;
    r.rowId = std::stoll(std::string(row.Value(0).empty() ? "0" : row.Value(0)));
    r.GUID = Trim(row.Value(1));
    r.paddedGuid = r.GUID.size() != row.Value(1).size();
    r.DOC_DATE = std::string(row.Value(2));
    r.state = DocStateFromText(std::string(row.Value(3)));
    r.CLI_NAME = Trim(row.Value(4));
    r.ORD_WEIGHT = std::string(row.Value(5));
    r.ORD_SUMM = std::string(row.Value(6));
    return r;
}

bool readInto(TQueryResult& q, const std::string& sql, std::vector<TJournalRow>& rows) {
    return q.ExecRows(sql, [&rows](const ResultRow& row) { rows.push_back(rowOf(row)); });
}

}  // namespace

std::string JournalRowsQuery(DateTime start, DateTime end) {
    const std::string condition = periodCondition(start, end);
    return std::string(kColumns) + (condition.empty() ? "" : " where " + condition) +
           " order by rowid";
}

bool ReadJournalRows(TQueryResult& q, DateTime start, DateTime end,
                     std::vector<TJournalRow>& rows) {
    rows.clear();
    return readInto(q, JournalRowsQuery(start, end), rows);
}

bool ReloadJournalDocument(TQueryResult& q, DateTime start, DateTime end, const std::string& guid,
                           std::vector<TJournalRow>& rows) {
    const std::string key = Trim(guid);
    const std::string condition = periodCondition(start, end);
    std::string sql = std::string(kColumns) + " where (GUID=" + SqlQuoted(key) + ")";
    if (!condition.empty()) sql += " and " + condition;
    sql += " order by rowid";
    std::vector<TJournalRow> fresh;
    if (!readInto(q, sql, fresh)) return false;
    std::vector<TJournalRow> merged;
    merged.reserve(rows.size() + fresh.size());
    auto next = fresh.begin();
    for (TJournalRow& r : rows) {
        while (next != fresh.end() && next->rowId < r.rowId) merged.push_back(std::move(*next++));
        // A GUID stored with blanks around it is another key to the statement: it stays.
        if (r.GUID != key || r.paddedGuid) merged.push_back(std::move(r));
    }
    while (next != fresh.end()) merged.push_back(std::move(*next++));
    rows = std::move(merged);
    return true;
}

std::string JournalDayMonth(std::string_view storedDate) {
    const std::string date = Trim(storedDate);
    if (date.size() < 10 || date[4] != '-' || date[7] != '-') return "???";
    return date.substr(8, 2) + "." + date.substr(5, 2);
}

std::string JournalWeight(const TJournalRow& row) {
    return MoneyToText(TextToMoney(Trim(row.ORD_WEIGHT), 0), 1, true);
}

std::string JournalSum(const TJournalRow& row) {
    return MoneyToText(TextToMoney(Trim(row.ORD_SUMM), 0), 2, true);
}

}  // namespace velmorant
