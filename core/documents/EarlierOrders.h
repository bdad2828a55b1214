#pragma once

#include <string>
#include <vector>

#include "core/db/Dates.h"
#include "core/db/Money.h"

namespace velmorant {

// One goods item that a client ordered before, as its latest order holds it.
struct EarlierGoods {
    std::string G_GUID;
    std::string G_NAME;  // the name the order line was stored with
    Money quantity = 0;  // the quantity of the latest order that had the item
    DateTime date = 0;   // that order's DOC_DATE; 0 when it could not be read
};

// The goods of every document of client `clientGuid` except the document `exceptGuid` (the
// one being edited; empty for a new document), one entry per goods item, the most recently
// ordered first: by DOC_DATE, then by the day the document was written (REC_TIME), then by
// the order in which documents were stored. Lines with a quantity of zero do not count as
// orders. Documents in every state count. An empty client gives nothing; a failed query
// gives nothing after the library's message.
std::vector<EarlierGoods> ReadEarlierGoods(const std::string& clientGuid,
                                           const std::string& exceptGuid);

}  // namespace velmorant
