// Exporting 5 000 documents in state 1 with 10 order lines each into PDATo1C.xml. The
// reference is the sqlite3 shell selecting the same rows (the headers and their lines) from
// the same base.sdb in the same run. The figure that matters is the ratio (goal: at most 2.0).

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/BenchSupport.h"
#include "db/Database.h"
#include "db/QueryResult.h"
#include "exchange/ExchangeScreen.h"
#include "exchange/Export.h"

using namespace velmorant;

namespace {

constexpr int kDocuments = 5000;
constexpr int kLinesPerDocument = 10;
constexpr int kRounds = 7;

using bench::QuietScreen;

std::string guidOf(const char* kind, int n) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%s-4000-8000-%012X", n, kind, n * 7919);
    return buf;
}

bool fill() {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q || !q->Exec("begin")) return false;
    for (int d = 0; d < kDocuments; ++d) {
        const std::string doc = guidOf("D0C0", d);
        std::string sql =
            "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, REC_TIME, "
            "CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, STR_PRIM) values ('" +
            doc + "', 0, 0, \"2026-12-07\", \"б/н\", " + (d % 10 == 9 ? "2" : "1") +
            ", \"2026-12-06\", '" + guidOf("C1E0", d % 300) + "', 'Клиент \"" +
            std::to_string(d % 300) + "\" & сыновья', 1234.50, 42.00, 10, 'Позвонить до " +
            std::to_string(d % 24) + ":00');";
        for (int l = 0; l < kLinesPerDocument; ++l) {
            sql +=
                "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
                "values ('" +
                doc + "', " + std::to_string(l) + ", '" + guidOf("600D", (d * 7 + l) % 20000) +
                "', 'Товар номер " + std::to_string(l) + " <упаковка>', " + std::to_string(l + 1) +
                ".50, 12.30);";
        }
        if (!q->Exec(sql)) return false;
    }
    return q->Exec("commit");
}

using bench::childrenCpu;
using bench::ownCpu;
using bench::seconds;

}  // namespace

int main() {
    const auto root = std::filesystem::temp_directory_path() / "velmorant-export-bench";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    SetProgramFolder(root.string() + "/");
    if (!PrepareDatabase() || !fill()) return 1;

    const std::string reference =
        "sqlite3 '" + DatabasePath() +
        "' \"select GUID, DOC_DATE, REC_TIME, CLI_GUID, CLI_NAME, ORD_LINES, STR_PRIM from "
        "DOC_HEADS where (DOC_STATE=1); select DOC_ID, G_GUID, G_NAME, G_WT from DOC_ORDERS "
        "where DOC_ID in (select GUID from DOC_HEADS where (DOC_STATE=1));\" > /dev/null";
    const std::string folder = (root / "out").string();
    double best = 1e9;
    double bestReference = 1e9;
    double bestCpu = 1e9;
    double bestReferenceCpu = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        double cpu = childrenCpu();
        auto start = std::chrono::steady_clock::now();
        if (std::system(reference.c_str()) != 0) {
            std::fprintf(stderr, "the sqlite3 shell failed\n");
            return 1;
        }
        bestReference = std::min(bestReference, seconds(start));
        bestReferenceCpu = std::min(bestReferenceCpu, childrenCpu() - cpu);

        QuietScreen screen;
        cpu = ownCpu();
        start = std::chrono::steady_clock::now();
        if (!ExportDocuments(screen, folder)) return 1;
        best = std::min(best, seconds(start));
        bestCpu = std::min(bestCpu, ownCpu() - cpu);
    }
    const auto size = std::filesystem::file_size(folder + "/PDATo1C.xml");
    std::filesystem::remove_all(root);

    std::printf("export of %d documents (%d in state 1), %d lines each, %ju bytes written\n",
                kDocuments, kDocuments - kDocuments / 10, kLinesPerDocument,
                static_cast<std::uintmax_t>(size));
    std::printf("  export:                                %.3f s wall, %.3f s processor\n", best,
                bestCpu);
    std::printf("  sqlite3 shell selecting the same rows: %.3f s wall, %.3f s processor\n",
                bestReference, bestReferenceCpu);
    std::printf("ratio: %.2f wall, %.2f processor (goal: at most 2.0; best of %d rounds)\n",
                best / bestReference, bestCpu / bestReferenceCpu, kRounds);
    std::printf("RESULT export-vs-sqlite3-select %.2f 2.0\n", best / bestReference);
    return 0;
}
