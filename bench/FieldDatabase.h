#pragma once

// The database of an agent after three years in the field, built the same on every run: 20 000
// clients, 102 000 catalogue rows (2 000 folders nested up to five levels and 100 000 goods),
// 50 000 documents saved day by day from 2024-01-01 to 2026-12-08 with 10 lines each
// (500 000 lines), the last 300 still waiting to be sent, one client with 500 documents, and
// 300 messages of the office. The tables are the program's own (PrepareDatabase), filled
// through prepared statements in one transaction, and carry the device's indexes.

#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "core/db/Database.h"
#include "core/db/Dates.h"
#include "core/db/Indexes.h"
#include "core/db/QueryResult.h"

namespace velmorant::bench {

struct FieldSize {
    int clients = 20000;
    int folders = 2000;
    int goods = 100000;
    int documents = 50000;
    int linesPerDocument = 10;
    int messages = 300;
    int waiting = 300;         // the newest documents, in state 1
    int heavyDocuments = 500;  // documents of the client "C00000000"
};

inline std::string FieldGuid(char kind, int n) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%c%07X-0000-4000-8000-%012X", kind, n,
                  static_cast<unsigned>(n) * 7919u);
    return buf;
}
inline std::string ClientGuid(int n) { return FieldGuid('C', n); }
inline std::string GoodsGuid(int id) { return FieldGuid('G', id); }
inline std::string DocumentGuid(int n) { return FieldGuid('D', n); }

namespace field_detail {
class Insert {
public:
    Insert(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Insert() { sqlite3_finalize(m_stmt); }
    Insert& text(int i, const std::string& v) {
        sqlite3_bind_text(m_stmt, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Insert& integer(int i, long long v) {
        sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Insert& real(int i, double v) {
        sqlite3_bind_double(m_stmt, i, v);
        return *this;
    }
    bool run() {
        const bool ok = sqlite3_step(m_stmt) == SQLITE_DONE;
        sqlite3_reset(m_stmt);
        return ok;
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};
}  // namespace field_detail

// Builds the database in `home`/data/base.sdb (the folder is emptied first) and leaves the
// program folder and the database path set to it. False on any failure.
inline bool BuildFieldDatabase(const std::string& home, const FieldSize& size = FieldSize()) {
    using field_detail::Insert;
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    SetProgramFolder(home);
    if (!PrepareDatabase()) return false;
    // The rows first, the indexes after: building an index once is faster than keeping it.
    {
        auto q = TQueryResult::Create(DatabasePath(), true);
        if (!q) return false;
        for (const DeviceIndex& index : kDeviceIndexes)
            q->ExecSilently(std::string("drop index ") + index.name);
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(DatabasePath().c_str(), &db) != SQLITE_OK) return false;
    Random random;
    bool ok = sqlite3_exec(db, "begin", nullptr, nullptr, nullptr) == SQLITE_OK;
    {
        Insert client(db,
                      "insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
                      "UNAME, INFO) values (?, ?, 0, 0, 0, ?, ?, ?)");
        for (int n = 0; ok && n < size.clients; ++n) {
            const std::string name = "Клиент " + std::to_string(random.next() % 1000000);
            ok = client.text(1, ClientGuid(n))
                     .integer(2, n + 1)
                     .text(3, name)
                     .text(4, name)
                     .text(5, "ул. Полевая, " + std::to_string(n % 300))
                     .run();
        }
        Insert goods(db,
                     "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
                     "UNAME, PRICE) values (?, ?, ?, ?, 0, ?, ?, ?)");
        std::vector<int> depth(static_cast<std::size_t>(size.folders) + 1, 0);
        for (int id = 1; ok && id <= size.folders; ++id) {
            int root = 0;
            if (id > 20) {
                do {
                    root = 1 + static_cast<int>(random.next() % static_cast<unsigned>(id - 1));
                } while (depth[static_cast<std::size_t>(root)] >= 5);
            }
            depth[static_cast<std::size_t>(id)] =
                root ? depth[static_cast<std::size_t>(root)] + 1 : 1;
            char uname[16];
            std::snprintf(uname, sizeof uname, "%08X", random.next());
            ok = goods.text(1, GoodsGuid(id))
                     .integer(2, id)
                     .integer(3, root)
                     .integer(4, 1)
                     .text(5, "Папка " + std::to_string(id))
                     .text(6, uname)
                     .integer(7, 0)
                     .run();
        }
        for (int n = 0; ok && n < size.goods; ++n) {
            const int id = size.folders + 1 + n;
            char uname[16];
            std::snprintf(uname, sizeof uname, "%08X", random.next());
            ok = goods.text(1, GoodsGuid(id))
                     .integer(2, id)
                     .integer(3, 1 + static_cast<int>(random.next() % size.folders))
                     .integer(4, 0)
                     .text(5, "Товар " + std::to_string(id) + " " + uname)
                     .text(6, uname)
                     .real(7, static_cast<double>(random.next() % 100000) / 100)
                     .run();
        }
        Insert head(db,
                    "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
                    "EXP_DATE, REC_TIME, CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, "
                    "SKU_LINES, PRC_LINES, STR_BASIS, STR_PRIM, GPS_X, GPS_Y, GPS_Z) values (?, 0, "
                    "0, ?, 'б/н', ?, '', ?, ?, ?, ?, ?, ?, 0, 0, '', ?, 0, 0, 0)");
        Insert line(db,
                    "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values "
                    "(?, ?, ?, ?, ?, ?)");
        const DateTime first = EncodeDate(2024, 1, 1);
        const DateTime last = EncodeDate(2026, 12, 8);
        const int heavyEvery = size.documents / size.heavyDocuments;
        for (int d = 0; ok && d < size.documents; ++d) {
            const DateTime day = first + static_cast<int>((last - first) * d / size.documents);
            const std::string date = DateToIso(day);
            const int buyer =
                d % heavyEvery == 0 ? 0 : 1 + static_cast<int>(random.next() % (size.clients - 1));
            const std::string guid = DocumentGuid(d);
            long long weight = 0;
            for (int l = 1; ok && l <= size.linesPerDocument; ++l) {
                const int id = size.folders + 1 + static_cast<int>(random.next() % size.goods);
                const int count = 1 + static_cast<int>(random.next() % 20);
                weight += count;
                ok = line.text(1, guid)
                         .integer(2, l)
                         .text(3, GoodsGuid(id))
                         .text(4, "Товар " + std::to_string(id))
                         .integer(5, count)
                         .real(6, 12.5)
                         .run();
            }
            ok = ok && head.text(1, guid)
                           .text(2, date)
                           .integer(3, d >= size.documents - size.waiting ? 1 : 2)
                           .text(4, date)
                           .text(5, ClientGuid(buyer))
                           .text(6, "Клиент " + std::to_string(buyer))
                           .real(7, static_cast<double>(weight) * 12.5)
                           .integer(8, weight)
                           .integer(9, size.linesPerDocument)
                           .text(10, "")
                           .run();
        }
        Insert message(db,
                       "insert into MY_MESSAGES (GUID, M_DATE, M_TYPE, S_TITLE, S_BODY, IS_NEW) "
                       "values (?, ?, 0, ?, ?, ?)");
        for (int m = 0; ok && m < size.messages; ++m) {
            ok = message.text(1, FieldGuid('M', m))
                     .text(2, DateToIso(last - m))
                     .text(3, "Сообщение " + std::to_string(m))
                     .text(4, "Текст сообщения офиса номер " + std::to_string(m))
                     .integer(5, m < 5 ? 1 : 0)
                     .run();
        }
    }
    ok = ok && sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!ok) return false;
    auto q = TQueryResult::Create(DatabasePath(), true);
    return q && EnsureDeviceIndexes(*q) == static_cast<int>(kDeviceIndexes.size());
}

}  // namespace velmorant::bench
