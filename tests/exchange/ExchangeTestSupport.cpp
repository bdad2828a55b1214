#include "ExchangeTestSupport.h"

#include <stdexcept>

namespace velmorant::test {

void execSql(const std::vector<std::string>& statements) {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) throw std::runtime_error("cannot open " + DatabasePath());
    for (const auto& sql : statements) {
        if (!q->Exec(sql)) throw std::runtime_error("statement failed: " + sql);
    }
}

std::vector<std::string> rowsOf(const std::string& sql) {
    std::vector<std::string> rows;
    auto q = Query(sql);
    if (!q) return {"<query failed>"};
    for (q->First(); !q->AtEnd(); q->Next()) {
        std::string row;
        for (int c = 0; c < q->ColumnCount(); ++c) {
            if (c > 0) row += '|';
            row += q->Cell(c);
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace velmorant::test
