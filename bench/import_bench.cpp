// Running an import script of 100 000 data rows into SPR_GOODS: one statement per row, each
// committed on its own. The reference is the sqlite3 shell executing the same 100 000
// expanded INSERT statements inside one transaction on an equally prepared database, in the
// same run. The figure that matters is the ratio (goal: at most 3.0).

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/BenchSupport.h"
#include "db/Database.h"
#include "db/QueryResult.h"
#include "db/Text.h"
#include "exchange/ExchangeScreen.h"
#include "exchange/Import.h"

using namespace velmorant;

namespace {

constexpr int kRows = 100000;
constexpr int kRounds = 3;

using bench::QuietScreen;

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

using bench::childrenCpu;
using bench::ownCpu;
using bench::seconds;

bool prepare(const std::filesystem::path& home) {
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    SetProgramFolder(home.string() + "/");
    return PrepareDatabase();
}

}  // namespace

int main() {
    const auto root = std::filesystem::temp_directory_path() / "velmorant-import-bench";
    const auto folder = root / "in";
    std::filesystem::create_directories(folder);

    // The script (Windows-1251, CR LF) and the same statements expanded for the shell.
    std::string script =
        "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n<REPEAT \"" + std::string(kTemplate) + "\">\r\n";
    std::string reference = "begin;\n";
    for (int n = 0; n < kRows; ++n) {
        const Row r = rowOf(n);
        script += r.guid + "\t" + r.id + "\t" + r.root + "\t" + r.name + "\t" + r.price + "\r\n";
        reference +=
            "INSERT INTO SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
            "UNAME, PRICE) VALUES ('" +
            r.guid + "', " + r.id + ", " + r.root + ", 0, 0, '" + r.name + "', '" +
            AsciiUpper(r.name) + "', " + r.price + ");\n";
    }
    reference += "commit;\n";
    script += "</REPEAT>\r\n";
    std::ofstream(folder / "ToPDA.sqd", std::ios::binary) << Utf8ToCp1251(script);
    std::ofstream(root / "reference.sql", std::ios::binary) << reference;

    double best = 1e9;
    double bestReference = 1e9;
    double bestCpu = 1e9;
    double bestReferenceCpu = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        if (!prepare(root / "shell")) return 1;
        const std::string command = "sqlite3 '" + DatabasePath() + "' < '" +
                                    (root / "reference.sql").string() + "' > /dev/null";
        double cpu = childrenCpu();
        auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "the sqlite3 shell failed\n");
            return 1;
        }
        bestReference = std::min(bestReference, seconds(start));
        bestReferenceCpu = std::min(bestReferenceCpu, childrenCpu() - cpu);

        if (!prepare(root / "program")) return 1;
        QuietScreen screen;
        cpu = ownCpu();
        start = std::chrono::steady_clock::now();
        const bool completed = ImportScript(screen, folder.string());
        best = std::min(best, seconds(start));
        bestCpu = std::min(bestCpu, ownCpu() - cpu);
        auto check = Query("select count(*) as N from SPR_GOODS");
        if (!completed || !check ||
            (check->First(), check->Value("N", "")) != std::to_string(kRows)) {
            std::fprintf(stderr, "the import did not complete: %s\n", screen.last.c_str());
            return 1;
        }
    }
    std::filesystem::remove_all(root);

    std::printf("import of %d data rows into SPR_GOODS\n", kRows);
    std::printf(
        "  script, one commit per statement:                 %.3f s wall, %.3f s processor\n", best,
        bestCpu);
    std::printf(
        "  sqlite3 shell, same INSERTs in one transaction:   %.3f s wall, %.3f s processor\n",
        bestReference, bestReferenceCpu);
    std::printf("ratio: %.2f wall, %.2f processor (goal: at most 3.0; best of %d rounds)\n",
                best / bestReference, bestCpu / bestReferenceCpu, kRounds);
    std::printf("RESULT import-vs-sqlite3-insert %.2f 3.0\n", best / bestReference);
    return 0;
}
