#pragma once

#include <array>
#include <string_view>

namespace velmorant {

class TQueryResult;

// One index of the device's own: plain, never UNIQUE (the tables carry no constraints and the
// office may send duplicates), on a column that the program's statements or the office's
// usual answers filter, join or sort on. The tables' creating statements stay as they are;
// the indexes are added beside them.
struct DeviceIndex {
    const char* name;
    const char* table;
    const char* column;  // a column, or an expression of one
};

inline constexpr std::array<DeviceIndex, 15> kDeviceIndexes{{
    {"MY_IX_CLIENTS_GUID", "SPR_CLIENTS", "GUID"},
    {"MY_IX_CLIENTS_UNAME", "SPR_CLIENTS", "UNAME"},
    {"MY_IX_GOODS_GUID", "SPR_GOODS", "GUID"},
    // The repeated order finds its goods by the GUID without the blanks around it.
    {"MY_IX_GOODS_TRIM_GUID", "SPR_GOODS", "trim(GUID)"},
    {"MY_IX_GOODS_ROOTID", "SPR_GOODS", "ROOTID"},
    {"MY_IX_GOODS_UNAME", "SPR_GOODS", "UNAME"},
    {"MY_IX_COMPETITORS_GUID", "SPR_COMPETITORS", "GUID"},
    {"MY_IX_HEADS_GUID", "DOC_HEADS", "GUID"},
    {"MY_IX_HEADS_CLI_GUID", "DOC_HEADS", "CLI_GUID"},
    {"MY_IX_HEADS_DOC_STATE", "DOC_HEADS", "DOC_STATE"},
    {"MY_IX_HEADS_REC_TIME", "DOC_HEADS", "REC_TIME"},
    {"MY_IX_ORDERS_DOC_ID", "DOC_ORDERS", "DOC_ID"},
    {"MY_IX_SKUS_DOC_ID", "DOC_SKUS", "DOC_ID"},
    {"MY_IX_COMPETS_DOC_ID", "DOC_COMPETS", "DOC_ID"},
    {"MY_IX_MESSAGES_GUID", "MY_MESSAGES", "GUID"},
}};

// Creates every index of kDeviceIndexes that is missing, on `q`'s connection. Silent: an index
// whose table is missing, or was made again by the office without that column, is left out
// (the next call tries again). Cheap when they all exist. Returns how many it created.
int EnsureDeviceIndexes(TQueryResult& q);

// Whether an SQL text may have dropped or made a table (and with it the device's indexes on
// it): it names TABLE, in any letter case. A false alarm costs one EnsureDeviceIndexes.
bool MayChangeTables(std::string_view sql);

}  // namespace velmorant
