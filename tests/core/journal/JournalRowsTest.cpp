// The journal's rows read from a real base.sdb, and read again after one document changed.
#include "core/journal/JournalRows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/db/Dates.h"
#include "core/db/QueryResult.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

std::vector<std::string> texts(const std::vector<TJournalRow>& rows) {
    std::vector<std::string> out;
    for (const TJournalRow& r : rows) {
        out.push_back(std::to_string(r.rowId) + "|" + r.GUID + "|" + r.DOC_DATE + "|" +
                      std::to_string(r.state) + "|" + r.CLI_NAME + "|" + r.ORD_WEIGHT + "|" +
                      r.ORD_SUMM);
    }
    return out;
}

std::string head(const std::string& guid, const std::string& recTime, const std::string& client) {
    return "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_NAME, ORD_WEIGHT, "
           "ORD_SUMM) values ('" +
           guid + "', '" + recTime + "', 1, '" + recTime + "', '" + client + "', 2, 10)";
}

// After one document was saved or deleted, reading only its rows gives what a full read
// gives, in the same order, for a day, a longer period and all documents.
TEST(JournalRows, OneDocumentReadAgainMatchesAFullRead) {
    struct Case {
        const char* name;
        std::vector<std::string> change;
        std::string guid;
    };
    const std::vector<Case> cases = {
        {"a new document", {head("N", "2024-05-10", "new")}, "N"},
        {"a new document outside the period", {head("N", "2023-01-01", "old")}, "N"},
        {"an edited document",
         {"update DOC_HEADS set CLI_NAME='x', ORD_WEIGHT=7 where GUID='B'"},
         "B"},
        {"a deleted document", {"delete from DOC_HEADS where GUID='B'"}, "B"},
        {"a deleted document stored twice", {"delete from DOC_HEADS where GUID='D'"}, "D"},
        {"a key whose stored form has blanks", {"delete from DOC_HEADS where GUID='P'"}, "P"},
        {"a document saved again in between others",
         {"delete from DOC_HEADS where GUID='A'", head("A", "2024-05-10", "again")},
         "A"},
        {"nothing changed", {}, "C"},
    };
    const std::vector<std::pair<DateTime, DateTime>> periods = {
        {0, 0},
        {IsoToDate("2024-05-10", 0), IsoToDate("2024-05-10", 0)},
        {IsoToDate("2024-05-01", 0), IsoToDate("2024-05-31", 0)},
    };
    RecordingNotifier notes;
    TempProgramFolder home;
    for (const Case& c : cases) {
        for (const auto& [start, end] : periods) {
            SCOPED_TRACE(std::string(c.name) + ", period from " + std::to_string(start));
            // Stored out of date order, with a duplicate and a padded key.
            execSql({"begin", "delete from DOC_HEADS", head("A", "2024-05-10", "a"),
                     head("B", "2024-05-20", "b"), head("D", "2024-05-10", "d1"),
                     head("C", "2024-04-30", "c"), head(" P ", "2024-05-10", "padded"),
                     head("D", "2024-05-10", "d2"), "commit"});
            TQueryResult q(home.dbPath());
            ASSERT_TRUE(q.Open());
            std::vector<TJournalRow> rows;
            ASSERT_TRUE(ReadJournalRows(q, start, end, rows));
            execSql(c.change);
            ASSERT_TRUE(ReloadJournalDocument(q, start, end, c.guid, rows));
            std::vector<TJournalRow> full;
            ASSERT_TRUE(ReadJournalRows(q, start, end, full));
            EXPECT_EQ(texts(rows), texts(full));
            EXPECT_TRUE(notes.shown().empty());
        }
    }
}

// The documents come in the order in which they were stored, whatever the indexes.
TEST(JournalRows, StoredOrderWithTheDayIndex) {
    RecordingNotifier notes;
    TempProgramFolder home;
    execSql({head("late", "2024-05-31", "1"), head("early", "2024-05-01", "2"),
             head("middle", "2024-05-15", "3")});
    TQueryResult q(home.dbPath());
    ASSERT_TRUE(q.Open());
    std::vector<TJournalRow> rows;
    ASSERT_TRUE(ReadJournalRows(q, IsoToDate("2024-05-01", 0), IsoToDate("2024-05-31", 0), rows));
    std::vector<std::string> guids;
    for (const TJournalRow& r : rows) guids.push_back(r.GUID);
    EXPECT_EQ(guids, (std::vector<std::string>{"late", "early", "middle"}));
    // The same statement without its order walks the index on REC_TIME.
    EXPECT_EQ(joinedRows("select GUID from DOC_HEADS where REC_TIME between '2024-05-01' and "
                         "'2024-05-31'"),
              (std::vector<std::string>{"early", "middle", "late"}));
}

}  // namespace
}  // namespace velmorant::test
