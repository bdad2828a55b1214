#pragma once

#include <string>
#include <vector>

#include "core/documents/Document.h"

namespace velmorant {

inline constexpr const char* kClientForbidden = "На выбранного клиента отгрузка запрещена!";
inline constexpr const char* kRepeatMissingGoods =
    "Этих товаров больше нет в справочнике, в заявку они не вошли:";

// A new order made from an earlier one, ready for the editor.
struct RepeatOrder {
    // A new document, as " Новый " makes it (no GUID, dated today, "новый документ"), for the
    // earlier document's client, with its goods and quantities at the prices and names the
    // catalogue holds now. Modified is set: nothing is stored until the agent saves, and
    // closing without saving asks first.
    TDocHead doc;
    std::string clientInfo;            // the client's INFO as the directory holds it now
    std::vector<std::string> missing;  // names of the goods left out, in the earlier order
};

// Builds `order` from the stored document `sourceGuid`. Lines with a quantity of zero are
// not repeated; goods that the catalogue no longer has (or has only as a folder) are left
// out and named in `missing`. The client keeps the GUID of the earlier document and takes
// the name the directory holds now (the stored name when the directory no longer has it).
// The note is not repeated: it belonged to that delivery. Returns false, leaving `order`
// untouched, when the earlier document could not be read (the messages have been shown) or
// when shipment to its client is forbidden now (kClientForbidden with the warning icon).
// "Today" is the clock's.
bool BuildRepeatOrder(const std::string& sourceGuid, const Clock& clock, RepeatOrder& order);

// The one message that names the goods left out: kRepeatMissingGoods and a name per line.
std::string MissingGoodsMessage(const std::vector<std::string>& names);

}  // namespace velmorant
