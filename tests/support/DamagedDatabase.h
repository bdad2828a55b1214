#pragma once

// Real databases with real damage: documents saved through the document store, and pages of
// one table overwritten where SQLite's own page map (the dbstat table) says they lie.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/db/QueryResult.h"
#include "core/documents/Document.h"
#include "support/FixedClock.h"

namespace velmorant::test {

// Saves `count` new documents of `lines` lines each into the global database; their GUIDs.
inline std::vector<std::string> SaveDocuments(int count, int lines, const Clock& clock) {
    std::vector<std::string> guids;
    for (int n = 0; n < count; ++n) {
        TDocHead doc;
        NewDocument(doc, clock);
        doc.CLI_GUID = "C-" + std::to_string(n);
        doc.CLI_NAME = "Клиент " + std::to_string(n);
        for (int i = 0; i < lines; ++i) {
            doc.Lines.push_back({"G-" + std::to_string(i),
                                 "Товар с длинным названием номер " + std::to_string(i), "2.50",
                                 1234, ""});
        }
        doc.Modified = true;
        if (!SaveDocument(doc, clock)) return {};
        guids.push_back(doc.GUID);
    }
    return guids;
}

// Which pages of a table to ruin.
enum class Pages { Root, LastLeaf, MiddleLeaf };

// Overwrites one page of `table` in the database at `path` with a pattern. False when the
// table has no such page.
inline bool DamagePage(const std::string& path, const std::string& table, Pages which) {
    long page = 0, pageSize = 0;
    {
        TQueryResult q(path);
        if (!q.Open()) return false;
        const std::string kind = which == Pages::Root ? "internal" : "leaf";
        if (!q.Exec("select pageno from dbstat where name = '" + table + "' and pagetype = '" +
                    kind + "' order by path") ||
            q.RowCount() == 0) {
            if (which != Pages::Root) return false;
            // A table of one page: its root is its only leaf.
            q.Exec("select pageno from dbstat where name = '" + table + "'");
            if (q.RowCount() == 0) return false;
        }
        const int row = which == Pages::Root       ? 0
                        : which == Pages::LastLeaf ? q.RowCount() - 1
                                                   : q.RowCount() / 2;
        q.GoTo(row);
        page = std::stol(q.Cell(0));
        TQueryResult size(path);
        if (!size.Open() || !size.Exec("pragma page_size")) return false;
        pageSize = std::stol(size.Cell(0));
    }
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((page - 1) * pageSize);
    const std::string junk(static_cast<size_t>(pageSize), '\x5a');
    f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    return static_cast<bool>(f);
}

// Documents and whole ones among them: a header whose lines are all there, numbered from 0.
inline std::string Count(const std::string& path, const std::string& sql) {
    TQueryResult q(path);
    if (!q.OpenReadOnly() || !q.Exec(sql)) return "<failed>";
    q.First();
    return q.Cell(0);
}
inline int DocumentCount(const std::string& path) {
    const std::string n = Count(path, "select count(*) from DOC_HEADS");
    return n == "<failed>" ? -1 : std::stoi(n);
}
inline int BrokenDocumentCount(const std::string& path) {
    const std::string n = Count(
        path,
        "select count(*) from DOC_HEADS h where ORD_LINES <> (select count(*) from DOC_ORDERS o "
        "where o.DOC_ID = h.GUID) or ORD_LINES <> (select coalesce(max(ORDER_ID), -1) + 1 from "
        "DOC_ORDERS o where o.DOC_ID = h.GUID)");
    return n == "<failed>" ? -1 : std::stoi(n);
}

}  // namespace velmorant::test
