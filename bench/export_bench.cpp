// Exporting 50 000 documents with 10 order lines each (45 000 of them in state 1) into
// PDATo1C.xml with `velmorant-cli export`, as the device does before a send. The reference is
// the sqlite3 shell selecting the same rows (the headers and their lines) from the same
// base.sdb into a file, in the same run. The figure that matters is the wall-clock ratio, best
// of 3 (goal: at most 1.5). Both are separate processes, so each one's peak memory is its own.
// Then both run once more under callgrind on a tenth of the documents: instruction counts are
// the same on every run, however busy the machine.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BenchSupport.h"
#include "core/db/Database.h"
#include "core/db/QueryResult.h"

using namespace velmorant;

namespace {

constexpr int kDocuments = 50000;
constexpr int kCallgrindDocuments = kDocuments / 10;
constexpr int kLinesPerDocument = 10;
constexpr int kRounds = 3;

namespace fs = std::filesystem;
using bench::ChildRun;

const char* const kReferenceSql =
    "select GUID, DOC_DATE, REC_TIME, CLI_GUID, CLI_NAME, ORD_LINES, STR_PRIM from DOC_HEADS "
    "where (DOC_STATE=1); select DOC_ID, G_GUID, G_NAME, G_WT from DOC_ORDERS where DOC_ID in "
    "(select GUID from DOC_HEADS where (DOC_STATE=1));";

std::string guidOf(const char* kind, int n) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%s-4000-8000-%012X", n, kind, n * 7919);
    return buf;
}

// A program folder whose base.sdb holds `documents` documents; every tenth is in state 2.
bool fill(const fs::path& home, int documents) {
    fs::remove_all(home);
    fs::create_directories(home);
    SetProgramFolder(home.string() + "/");
    if (!PrepareDatabase()) return false;
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q || !q->Exec("begin")) return false;
    for (int d = 0; d < documents; ++d) {
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

std::vector<std::string> exportCommand(const fs::path& home) {
    return {VELMORANT_CLI_PATH, "--home", home.string(), "export", (home / "out").string()};
}

}  // namespace

int main() {
    const auto root = fs::temp_directory_path() / "velmorant-export-bench";
    const fs::path home = root / "home";
    if (!fill(home, kDocuments)) return 1;
    const std::string db = DatabasePath();
    const std::string selected = (root / "selected.txt").string();

    ChildRun best{true, 1e9, 1e9, 0};
    ChildRun bestReference{true, 1e9, 1e9, 0};
    for (int round = 0; round < kRounds; ++round) {
        const ChildRun reference = bench::runProgram({"sqlite3", db, kReferenceSql}, "", selected);
        if (!reference.ok) {
            std::fprintf(stderr, "the sqlite3 shell failed\n");
            return 1;
        }
        const ChildRun ours = bench::runProgram(exportCommand(home));
        if (!ours.ok) {
            std::fprintf(stderr, "the export failed\n");
            return 1;
        }
        if (ours.wall < best.wall) best = ours;
        if (reference.wall < bestReference.wall) bestReference = reference;
    }
    const auto size = fs::file_size(home / "out" / "PDATo1C.xml");
    const auto selectedSize = fs::file_size(selected);

    const fs::path small = root / "small";
    if (!fill(small, kCallgrindDocuments)) return 1;
    const long long referenceInstructions =
        bench::callgrindInstructions({"sqlite3", DatabasePath(), kReferenceSql}, "", selected);
    const long long instructions = bench::callgrindInstructions(exportCommand(small));
    fs::remove_all(root);

    std::printf("export of %d documents (%d in state 1), %d lines each (best of %d)\n", kDocuments,
                kDocuments - kDocuments / 10, kLinesPerDocument, kRounds);
    std::printf(
        "  velmorant-cli export, %ju bytes:          %.3f s wall, %.3f s processor, "
        "peak %.1f MiB\n",
        static_cast<std::uintmax_t>(size), best.wall, best.cpu, best.peakMiB);
    std::printf(
        "  sqlite3 shell into a file, %ju bytes:     %.3f s wall, %.3f s processor, "
        "peak %.1f MiB\n",
        static_cast<std::uintmax_t>(selectedSize), bestReference.wall, bestReference.cpu,
        bestReference.peakMiB);
    std::printf("ratio: %.2f wall, %.2f processor (goal: at most 1.5)\n",
                best.wall / bestReference.wall, best.cpu / bestReference.cpu);
    std::printf("RESULT export-vs-sqlite3-select %.2f 1.5 peak %.1f MiB (shell %.1f MiB)\n",
                best.wall / bestReference.wall, best.peakMiB, bestReference.peakMiB);
    if (instructions > 0 && referenceInstructions > 0) {
        const double ratio =
            static_cast<double>(instructions) / static_cast<double>(referenceInstructions);
        std::printf(
            "callgrind, %d documents: export %.1f M instructions, shell %.1f M (ratio "
            "%.2f)\n",
            kCallgrindDocuments, static_cast<double>(instructions) / 1e6,
            static_cast<double>(referenceInstructions) / 1e6, ratio);
        std::printf("RESULT export-instructions-vs-sqlite3 %.2f - %d documents: %.1f M vs %.1f M\n",
                    ratio, kCallgrindDocuments, static_cast<double>(instructions) / 1e6,
                    static_cast<double>(referenceInstructions) / 1e6);
    } else {
        std::printf("callgrind: not measured (valgrind missing or the run failed)\n");
    }
    return 0;
}
