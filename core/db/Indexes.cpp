#include "core/db/Indexes.h"

#include <string>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"

namespace velmorant {

int EnsureDeviceIndexes(TQueryResult& q) {
    // The names of the indexes that exist, so that a call that finds them all runs one query.
    std::string existing = ",";
    q.ExecRowsSilently("select name from sqlite_master where type='index'",
                       [&](const ResultRow& row) {
                           existing.append(row.Value(0));
                           existing += ',';
                       });
    int created = 0;
    for (const DeviceIndex& index : kDeviceIndexes) {
        if (existing.find(std::string(",") + index.name + ",") != std::string::npos) continue;
        const std::string sql = std::string("create index if not exists ") + index.name + " on " +
                                index.table + " (" + index.column + ")";
        if (q.ExecSilently(sql) == 0) ++created;
    }
    return created;
}

bool MayChangeTables(std::string_view sql) {
    return AsciiUpper(sql).find("TABLE") != std::string::npos;
}

}  // namespace velmorant
