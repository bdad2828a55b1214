#include "core/documents/RepeatOrder.h"

#include <unordered_map>

#include "core/db/Money.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/documents/Catalogue.h"
#include "core/documents/DocumentSql.h"
#include "core/documents/OrderLines.h"

namespace velmorant {

namespace {

struct CatalogueGoods {
    std::string GUID;
    std::string ANAME;
    Money PRICE = 0;
};

// The goods items of `guids` as the catalogue holds them now: for each GUID the first goods
// item in catalogue order, as the goods picker matches them. Folders and rows with an ID
// below 1 (which the picker never loads) do not count.
std::unordered_map<std::string, CatalogueGoods> CurrentGoods(
    const std::vector<std::string>& guids) {
    std::unordered_map<std::string, CatalogueGoods> found;
    if (guids.empty()) return found;
    std::string marks;
    SqlValues values;
    for (const std::string& g : guids) {
        marks += marks.empty() ? "?" : ", ?";
        values.emplace_back(Trim(g));
    }
    std::unique_ptr<TQueryResult> q =
        Query("select ID, GUID, ANAME, PRICE, IS_FOLDER from SPR_GOODS where (trim(GUID) in (" +
                  marks + ")) order by UNAME, rowid",
              values);
    if (!q) return found;
    const int cId = q->ColumnIndex("ID");
    const int cGuid = q->ColumnIndex("GUID");
    const int cName = q->ColumnIndex("ANAME");
    const int cPrice = q->ColumnIndex("PRICE");
    const int cFolder = q->ColumnIndex("IS_FOLDER");
    for (q->First(); !q->AtEnd(); q->Next()) {
        if (ReadLeadingInt(q->Cell(cId)) < 1 || ReadLeadingInt(q->Cell(cFolder)) != 0) continue;
        CatalogueGoods g{Trim(q->Cell(cGuid)), Trim(q->Cell(cName)),
                         TextToMoney(q->Cell(cPrice), 0)};
        found.emplace(g.GUID, std::move(g));  // the first in catalogue order stays
    }
    return found;
}

}  // namespace

bool BuildRepeatOrder(const std::string& sourceGuid, const Clock& clock, RepeatOrder& order) {
    TDocHead source;
    if (Trim(sourceGuid).empty() || !LoadDocument(source, sourceGuid, clock)) return false;

    RepeatOrder made;
    NewDocument(made.doc, clock);
    made.doc.CLI_GUID = source.CLI_GUID;
    made.doc.CLI_NAME = source.CLI_NAME;
    if (!Trim(source.CLI_GUID).empty()) {
        std::unique_ptr<TQueryResult> q = Query(
            "select ANAME, IS_DELETED, INFO from SPR_CLIENTS where (IS_FOLDER=0) and (GUID=?) "
            "order by rowid",
            {Trim(source.CLI_GUID)});
        if (q && q->RowCount() > 0) {
            q->First();
            if (Trim(q->Value("IS_DELETED", "")) == "1") {
                notifier().message(kClientForbidden, MessageIcon::Warning);
                return false;
            }
            const std::string name = Trim(q->Value("ANAME", ""));
            if (!name.empty()) made.doc.CLI_NAME = name;
            made.clientInfo = Trim(q->Value("INFO", ""));
        }
    }

    std::vector<std::string> guids;
    for (const TDocLine& line : source.Lines) {
        if (LineQuantity(line) != 0) guids.push_back(Trim(line.G_GUID));
    }
    const auto current = CurrentGoods(guids);
    // The lines go through the same form as the goods picker's result, so that a repeated
    // order holds exactly what a "Подбор" confirmed at this moment would give.
    std::vector<std::string> picked;
    for (const TDocLine& line : source.Lines) {
        const Money quantity = LineQuantity(line);
        if (quantity == 0) continue;
        auto it = current.find(Trim(line.G_GUID));
        if (it == current.end()) {
            made.missing.push_back(line.G_NAME.empty() ? Trim(line.G_GUID) : line.G_NAME);
            continue;
        }
        const CatalogueGoods& g = it->second;
        picked.push_back(g.GUID + '\t' + MoneyToText(quantity, 2, false) + '\t' + g.ANAME + '\t' +
                         MoneyToText(g.PRICE, 2, false) + '\t' +
                         MoneyToText(MoneyMul(quantity, g.PRICE), 2, false));
    }
    made.doc.Lines = LinesFromPicker(picked, made.doc.UseSums);
    made.doc.Modified = true;
    order = std::move(made);
    return true;
}

std::string MissingGoodsMessage(const std::vector<std::string>& names) {
    std::string text = kRepeatMissingGoods;
    for (const std::string& n : names) text += "\r\n" + n;
    return text;
}

}  // namespace velmorant
