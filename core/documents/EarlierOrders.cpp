#include "core/documents/EarlierOrders.h"

#include <algorithm>
#include <unordered_set>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/documents/DocumentSql.h"

namespace velmorant {

namespace {

// A stored DOC_DATE: "yyyy-MM-dd" as the device writes it, or any form the date parser
// reads; 0 when it is no date at all.
DateTime StoredDay(const std::string& text) {
    DateTime d = IsoToDate(text, 0);
    if (d <= 0) d = ParseDate(text, 0);
    return d > 0 ? static_cast<DateTime>(static_cast<long long>(d)) : 0;
}

}  // namespace

std::vector<EarlierGoods> ReadEarlierGoods(const std::string& clientGuid,
                                           const std::string& exceptGuid) {
    std::vector<EarlierGoods> goods;
    if (Trim(clientGuid).empty()) return goods;
    std::string sql =
        "select H.GUID, H.DOC_DATE, H.REC_TIME, O.G_GUID, O.G_NAME, O.G_WT from DOC_HEADS H, "
        "DOC_ORDERS O where (O.DOC_ID=H.GUID) and (H.CLI_GUID=?)";
    SqlValues values = {Trim(clientGuid)};
    if (!Trim(exceptGuid).empty()) {
        sql += " and (H.GUID<>?)";
        values.emplace_back(Trim(exceptGuid));
    }
    // Later-written documents first, and of two written the same day the one stored later;
    // the lines of one document in their own order.
    sql += " order by H.REC_TIME desc, H.rowid desc, O.ORDER_ID, O.rowid";
    std::unique_ptr<TQueryResult> q = Query(sql, values);
    if (!q) return goods;

    std::vector<EarlierGoods> lines;
    const int cDate = q->ColumnIndex("DOC_DATE");
    const int cGoods = q->ColumnIndex("G_GUID");
    const int cName = q->ColumnIndex("G_NAME");
    const int cWeight = q->ColumnIndex("G_WT");
    for (q->First(); !q->AtEnd(); q->Next()) {
        EarlierGoods g;
        g.G_GUID = Trim(q->Cell(cGoods));
        g.quantity = TextToMoney(q->Cell(cWeight), 0);
        if (g.G_GUID.empty() || g.quantity == 0) continue;
        g.G_NAME = Trim(q->Cell(cName));
        g.date = StoredDay(Trim(q->Cell(cDate)));
        lines.push_back(std::move(g));
    }
    // The order date comes first; the statement's order decides between equal dates.
    std::stable_sort(lines.begin(), lines.end(),
                     [](const EarlierGoods& a, const EarlierGoods& b) { return a.date > b.date; });
    std::unordered_set<std::string> seen;
    for (EarlierGoods& line : lines) {
        if (seen.insert(line.G_GUID).second) goods.push_back(std::move(line));
    }
    return goods;
}

}  // namespace velmorant
