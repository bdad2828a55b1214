#include "core/db/Database.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>

#include "core/db/DataFolder.h"
#include "core/db/Indexes.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"

namespace velmorant {

namespace {

std::string& programFolderStorage() {
    static std::string folder = ExecutableFolder();
    return folder;
}

struct TableDefinition {
    const char* name;
    const char* createStatement;
};

// The nine tables, in the order they are probed and created. The statements are a contract
// with the office's import scripts: columns without types, no keys, no indexes.
constexpr std::array<TableDefinition, 9> kTables{{
    {"SPR_CLIENTS",
     "create table SPR_CLIENTS (GUID, ID , ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, INFO, "
     "GPS_X, GPS_Y, GPS_Z)"},
    {"SPR_GOODS",
     "create table SPR_GOODS  (GUID, ID , ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE)"},
    {"SPR_COMPETITORS", "create table SPR_COMPETITORS (GUID, ID, IS_DELETED, ANAME, UNAME)"},
    {"DOC_HEADS",
     "create table DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, EXP_DATE, "
     "REC_TIME, CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, SKU_LINES, PRC_LINES, "
     "STR_BASIS, STR_PRIM, GPS_X, GPS_Y, GPS_Z)"},
    {"DOC_ORDERS", "create table DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE, SUMM)"},
    {"DOC_SKUS", "create table DOC_SKUS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_CNT)"},
    {"DOC_COMPETS",
     "create table DOC_COMPETS (DOC_ID, ORDER_ID, CLI_GUID, CLI_NAME, G_GUID, G_NAME, PRICE)"},
    {"MY_MESSAGES", "create table MY_MESSAGES (GUID, M_DATE, M_TYPE, S_TITLE, S_BODY, IS_NEW)"},
    {"MY_OPTIONS", "create table MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR)"},
}};

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// An earlier version of the import switched the file to write-ahead logging for the length of
// a run, and a run that was killed left it so for good. The program works with the rollback
// journal: leaving the log folds its content back into the file. Silent, since a file that
// another program holds open stays in the log and works as well until the next start.
// Runs first on the preparation's connection, whose rows nothing else reads.
void returnToRollbackJournal(TQueryResult& q) {
    if (q.ExecSilently("PRAGMA journal_mode") != 0) return;
    q.First();
    if (AsciiUpper(q.Cell(0)) == "WAL") q.ExecSilently("PRAGMA journal_mode=DELETE");
}

}  // namespace

std::string ProgramFolder() { return programFolderStorage(); }

void SetProgramFolder(const std::string& folder) {
    std::string f = folder;
    if (f.empty() || f.back() != '/') f += '/';
    programFolderStorage() = f;
}

bool PrepareDatabase() {
    const std::string folder = ProgramFolder() + "data";
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        // A failure shows up as the open failing below.
        ::mkdir(folder.c_str(), 0777);
    }
    const std::string path = folder + "/base.sdb";
    SetDatabasePath(path);
    const bool isNew = !isRegularFile(path);

    auto q = TQueryResult::Create(path, true);
    if (!q) return false;
    if (!isNew) returnToRollbackJournal(*q);
    bool result = true;
    for (const auto& table : kTables) {
        if (!result) break;
        const bool exists =
            !isNew && q->Exec(std::string("select * from ") + table.name + " limit 1");
        if (!exists) result = q->Exec(table.createStatement);
    }
    // A file made before the device kept indexes gets them here, once; later starts find them.
    if (result) EnsureDeviceIndexes(*q);
    return result;
}

}  // namespace velmorant
