// Importing a script of 200 000 data rows into SPR_GOODS with `velmorant-cli import`, as the
// device runs an office's answer. The reference is the sqlite3 shell executing the same
// 200 000 expanded INSERT statements inside one transaction on an equally prepared database,
// in the same run. The figure that matters is the wall-clock ratio, best of 3 (goal: at most
// 1.5). Both are separate processes, so each one's peak memory is its own. Then both run once
// more under callgrind on a tenth of the rows: instruction counts are the same on every run,
// however busy the machine.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/BenchSupport.h"
#include "core/db/Database.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"

using namespace velmorant;

namespace {

constexpr int kRows = 200000;
constexpr int kCallgrindRows = kRows / 10;
constexpr int kRounds = 3;

namespace fs = std::filesystem;
using bench::ChildRun;

const char* const kTemplate =
    "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE) "
    "values ('%1', %2, %3, 0, 0, '%4', '%UPPER(%4)', %5)";

struct Row {
    std::string guid, id, root, name, price;
};

Row rowOf(int n) {
    char guid[40];
    std::snprintf(guid, sizeof guid, "%08X-0000-4000-8000-%012X", n, n * 7919);
    char price[16];
    std::snprintf(price, sizeof price, "%d.%02d", n % 5000, n % 100);
    return {guid, std::to_string(n), std::to_string(n / 50), "Товар номер " + std::to_string(n),
            price};
}

// The script (Windows-1251, CR LF) in `folder`/ToPDA.sqd, and the same statements expanded
// for the shell, in one transaction, in `reference`.
void writeInputs(int rows, const fs::path& folder, const fs::path& reference) {
    fs::create_directories(folder);
    std::string script =
        "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n<REPEAT \"" + std::string(kTemplate) + "\">\r\n";
    std::string sql = "begin;\n";
    for (int n = 0; n < rows; ++n) {
        const Row r = rowOf(n);
        script += r.guid + "\t" + r.id + "\t" + r.root + "\t" + r.name + "\t" + r.price + "\r\n";
        sql +=
            "INSERT INTO SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
            "UNAME, PRICE) VALUES ('" +
            r.guid + "', " + r.id + ", " + r.root + ", 0, 0, '" + r.name + "', '" +
            AsciiUpper(r.name) + "', " + r.price + ");\n";
    }
    sql += "commit;\n";
    script += "</REPEAT>\r\n";
    std::ofstream(folder / "ToPDA.sqd", std::ios::binary) << Utf8ToCp1251(script);
    std::ofstream(reference, std::ios::binary) << sql;
}

// A program folder with a freshly prepared, empty base.sdb; returns the database path.
std::string prepare(const fs::path& home) {
    fs::remove_all(home);
    fs::create_directories(home);
    SetProgramFolder(home.string() + "/");
    return PrepareDatabase() ? DatabasePath() : std::string();
}

long long goodsIn(const std::string& path) {
    auto q = TQueryResult::Create(path, true);
    if (!q || !q->Exec("select count(*) as N from SPR_GOODS")) return -1;
    q->First();
    return std::atoll(q->Value("N", "-1").c_str());
}

std::vector<std::string> importCommand(const fs::path& home, const fs::path& folder) {
    return {VELMORANT_CLI_PATH, "--home", home.string(), "import", folder.string()};
}

}  // namespace

int main() {
    const auto root = fs::temp_directory_path() / "velmorant-import-bench";
    fs::remove_all(root);
    writeInputs(kRows, root / "in", root / "reference.sql");

    ChildRun best{true, 1e9, 1e9, 0};
    ChildRun bestReference{true, 1e9, 1e9, 0};
    for (int round = 0; round < kRounds; ++round) {
        const std::string shellDb = prepare(root / "shell");
        const ChildRun reference =
            bench::runProgram({"sqlite3", shellDb}, (root / "reference.sql").string());
        if (!reference.ok || goodsIn(shellDb) != kRows) {
            std::fprintf(stderr, "the sqlite3 shell failed\n");
            return 1;
        }
        const std::string programDb = prepare(root / "program");
        const ChildRun ours = bench::runProgram(importCommand(root / "program", root / "in"));
        if (!ours.ok || goodsIn(programDb) != kRows) {
            std::fprintf(stderr, "the import did not complete\n");
            return 1;
        }
        if (ours.wall < best.wall) best = ours;
        if (reference.wall < bestReference.wall) bestReference = reference;
    }

    writeInputs(kCallgrindRows, root / "small", root / "small.sql");
    const std::string shellDb = prepare(root / "shell");
    const long long referenceInstructions =
        bench::callgrindInstructions({"sqlite3", shellDb}, (root / "small.sql").string());
    prepare(root / "program");
    const long long instructions =
        bench::callgrindInstructions(importCommand(root / "program", root / "small"));
    fs::remove_all(root);

    std::printf("import of %d data rows into SPR_GOODS (best of %d)\n", kRows, kRounds);
    std::printf(
        "  velmorant-cli import:                          %.3f s wall, %.3f s processor, "
        "peak %.1f MiB\n",
        best.wall, best.cpu, best.peakMiB);
    std::printf(
        "  sqlite3 shell, same INSERTs in one transaction: %.3f s wall, %.3f s processor, "
        "peak %.1f MiB\n",
        bestReference.wall, bestReference.cpu, bestReference.peakMiB);
    std::printf("ratio: %.2f wall, %.2f processor (goal: at most 1.5)\n",
                best.wall / bestReference.wall, best.cpu / bestReference.cpu);
    std::printf("RESULT import-vs-sqlite3-insert %.2f 1.5 peak %.1f MiB (shell %.1f MiB)\n",
                best.wall / bestReference.wall, best.peakMiB, bestReference.peakMiB);
    if (instructions > 0 && referenceInstructions > 0) {
        std::printf("callgrind, %d rows: import %.1f M instructions, shell %.1f M (ratio %.2f)\n",
                    kCallgrindRows, static_cast<double>(instructions) / 1e6,
                    static_cast<double>(referenceInstructions) / 1e6,
                    static_cast<double>(instructions) / static_cast<double>(referenceInstructions));
        std::printf("RESULT import-instructions-vs-sqlite3 %.2f - %d rows: %.1f M vs %.1f M\n",
                    static_cast<double>(instructions) / static_cast<double>(referenceInstructions),
                    kCallgrindRows, static_cast<double>(instructions) / 1e6,
                    static_cast<double>(referenceInstructions) / 1e6);
    } else {
        std::printf("callgrind: not measured (valgrind missing or the run failed)\n");
    }
    return 0;
}
