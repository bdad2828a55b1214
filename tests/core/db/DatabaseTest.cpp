#include "core/db/Database.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/db/Indexes.h"
#include "core/db/QueryResult.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

namespace fs = std::filesystem;

// Column lists of the nine tables, as the office's scripts expect them.
const std::map<std::string, std::string> kExpectedColumns = {
    {"SPR_CLIENTS", "GUID,ID,ROOTID,IS_FOLDER,IS_DELETED,ANAME,UNAME,INFO,GPS_X,GPS_Y,GPS_Z"},
    {"SPR_GOODS", "GUID,ID,ROOTID,IS_FOLDER,IS_DELETED,ANAME,UNAME,PRICE"},
    {"SPR_COMPETITORS", "GUID,ID,IS_DELETED,ANAME,UNAME"},
    {"DOC_HEADS",
     "GUID,ID,IS_DELETED,DOC_DATE,DOC_NUM,DOC_STATE,EXP_DATE,REC_TIME,CLI_GUID,CLI_NAME,ORD_SUMM,"
     "ORD_WEIGHT,ORD_LINES,SKU_LINES,PRC_LINES,STR_BASIS,STR_PRIM,GPS_X,GPS_Y,GPS_Z"},
    {"DOC_ORDERS", "DOC_ID,ORDER_ID,G_GUID,G_NAME,G_WT,PRICE,SUMM"},
    {"DOC_SKUS", "DOC_ID,ORDER_ID,G_GUID,G_NAME,G_CNT"},
    {"DOC_COMPETS", "DOC_ID,ORDER_ID,CLI_GUID,CLI_NAME,G_GUID,G_NAME,PRICE"},
    {"MY_MESSAGES", "GUID,M_DATE,M_TYPE,S_TITLE,S_BODY,IS_NEW"},
    {"MY_OPTIONS", "OPT_NAME,OPT_VAL,OPT_DESCR"},
};

std::map<std::string, std::string> actualColumns(const std::string& path) {
    auto q = TQueryResult::Create(path, true);
    q->Exec(
        "select m.name as T, group_concat(p.name, ',') as C from sqlite_master m join "
        "pragma_table_info(m.name) p where m.type = 'table' group by m.name");
    std::map<std::string, std::string> result;
    for (q->First(); !q->AtEnd(); q->Next()) result[q->Value("T", "")] = q->Value("C", "");
    return result;
}

TEST(PrepareDatabase, FirstRunCreatesTheFolderAndAllNineTablesSilently) {
    test::RecordingNotifier notes;
    test::TempDir home;
    SetProgramFolder(home.str());
    ASSERT_TRUE(PrepareDatabase());
    EXPECT_TRUE(fs::is_directory(home / "data"));
    EXPECT_EQ(DatabasePath(), (home / "data" / "base.sdb").string());
    EXPECT_EQ(actualColumns(DatabasePath()), kExpectedColumns);
    EXPECT_TRUE(notes.shown().empty());
    // A second preparation finds every table and changes nothing.
    ASSERT_TRUE(PrepareDatabase());
    EXPECT_TRUE(notes.shown().empty());
    EXPECT_EQ(actualColumns(DatabasePath()), kExpectedColumns);
}

TEST(PrepareDatabase, DroppedTableIsRecreatedAfterTheLibraryMessage) {
    test::RecordingNotifier notes;
    test::TempProgramFolder home;
    ASSERT_TRUE(Query("drop table MY_MESSAGES"));
    ASSERT_TRUE(PrepareDatabase());
    EXPECT_EQ(notes.texts(), std::vector<std::string>{"no such table: MY_MESSAGES"});
    ASSERT_TRUE(PrepareDatabase());
    EXPECT_EQ(notes.texts().size(), 1u);
    EXPECT_EQ(actualColumns(DatabasePath()), kExpectedColumns);
}

TEST(PrepareDatabase, TableWithExtraColumnsIsKept) {
    test::RecordingNotifier notes;
    test::TempProgramFolder home;
    ASSERT_TRUE(Query("drop table MY_OPTIONS"));
    ASSERT_TRUE(Query("create table MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR, EXTRA)"));
    ASSERT_TRUE(PrepareDatabase());
    EXPECT_TRUE(notes.shown().empty());
    EXPECT_EQ(actualColumns(DatabasePath())["MY_OPTIONS"], "OPT_NAME,OPT_VAL,OPT_DESCR,EXTRA");
}

// The names of the device's indexes that the file holds; and the tables' creating statements,
// which the indexes must leave as they were.
std::vector<std::string> deviceIndexes() {
    return test::joinedRows(
        "select name from sqlite_master where type = 'index' and name glob 'MY_IX_*' order by 1");
}
std::vector<std::string> tableStatements() {
    return test::joinedRows("select sql from sqlite_master where type = 'table' order by name");
}

// Every file gets the indexes from its preparation: a new one, one made before the device
// kept indexes, one that lost some. Plain indexes only: the office may send duplicates.
TEST(PrepareDatabase, AddsTheDeviceIndexesThatAreMissing) {
    std::vector<std::string> all;
    for (const DeviceIndex& index : kDeviceIndexes) all.push_back(index.name);
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), 15u);

    struct Case {
        const char* name;
        std::vector<std::string> dropped;  // before the preparation
    };
    const std::vector<Case> cases = {
        {"a new file", {}},
        {"a file without any", {"*"}},
        {"a file that lost two", {"MY_IX_GOODS_GUID", "MY_IX_ORDERS_DOC_ID"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::RecordingNotifier notes;
        test::TempProgramFolder home;
        const std::vector<std::string> statements = tableStatements();
        for (const DeviceIndex& index : kDeviceIndexes) {
            const bool drop = !c.dropped.empty() &&
                              (c.dropped[0] == "*" || std::find(c.dropped.begin(), c.dropped.end(),
                                                                index.name) != c.dropped.end());
            if (drop) test::execSql({std::string("drop index ") + index.name});
        }
        // Duplicate keys stay possible.
        test::execSql({"insert into SPR_GOODS (GUID) values ('G')",
                       "insert into SPR_GOODS (GUID) values ('G')"});
        ASSERT_TRUE(PrepareDatabase());
        EXPECT_EQ(deviceIndexes(), all);
        EXPECT_EQ(test::joinedRows("select count(*) from sqlite_master where type = 'index' and "
                                   "sql like '%unique%'"),
                  std::vector<std::string>{"0"});
        EXPECT_EQ(tableStatements(), statements);
        EXPECT_TRUE(notes.shown().empty());
        // The program's and the office's lookups go through them.
        const std::vector<std::pair<std::string, std::string>> lookups = {
            {"update SPR_GOODS set PRICE = 1 where GUID = 'G'", "MY_IX_GOODS_GUID"},
            {"select ID from SPR_GOODS where trim(GUID) in ('G')", "MY_IX_GOODS_TRIM_GUID"},
            {"select GUID from DOC_HEADS where REC_TIME between '2024-01-01' and '2024-12-31'",
             "MY_IX_HEADS_REC_TIME"},
            {"delete from DOC_ORDERS where DOC_ID = 'D'", "MY_IX_ORDERS_DOC_ID"},
        };
        for (const auto& [sql, index] : lookups) {
            const std::vector<std::string> plan = test::joinedRows("explain query plan " + sql);
            EXPECT_NE(plan.at(0).find(index), std::string::npos) << sql;
        }
    }
}

// An earlier version left the file in write-ahead logging when an import was killed; the
// next start returns it to the rollback journal and keeps what the log held.
TEST(PrepareDatabase, ReturnsAFileLeftInTheLogToTheRollbackJournal) {
    test::RecordingNotifier notes;
    test::TempProgramFolder home;
    const pid_t child = fork();
    if (child == 0) {
        // Killed with the log unfolded: no checkpoint, no close.
        auto q = TQueryResult::Create(home.dbPath(), true);
        const bool ok =
            q && q->Exec("PRAGMA journal_mode=WAL") && q->Exec("PRAGMA wal_autocheckpoint=0") &&
            q->Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('K', 'in log')");
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(fs::exists(home.dbPath() + "-wal"));

    ASSERT_TRUE(PrepareDatabase());
    auto q = Query("PRAGMA journal_mode");
    ASSERT_TRUE(q);
    q->First();
    EXPECT_EQ(q->Cell(0), "delete");
    EXPECT_FALSE(fs::exists(home.dbPath() + "-wal"));
    auto row = Query("select OPT_VAL from MY_OPTIONS where OPT_NAME = 'K'");
    ASSERT_TRUE(row);
    row->First();
    EXPECT_EQ(row->Value("OPT_VAL", ""), "in log");
    EXPECT_TRUE(notes.shown().empty());
}

TEST(PrepareDatabase, FailurePaths) {
    struct Case {
        const char* what;
        void (*arrange)(const fs::path& home);
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"data is a file",
         [](const fs::path& home) { test::writeFile(home / "data", "not a folder"); },
         {"База данных не найдена."}},
        {"base.sdb is a folder",
         [](const fs::path& home) { fs::create_directories(home / "data" / "base.sdb"); },
         {"База данных не найдена."}},
        {"base.sdb is not a database",
         [](const fs::path& home) {
             fs::create_directories(home / "data");
             test::writeFile(home / "data" / "base.sdb", std::string(4096, 'x'));
         },
         {"file is not a database", "file is not a database"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::RecordingNotifier notes;
        test::TempDir home;
        c.arrange(home.path());
        SetProgramFolder(home.str());
        EXPECT_FALSE(PrepareDatabase());
        EXPECT_EQ(notes.texts(), c.messages);
    }
}

}  // namespace
}  // namespace velmorant
