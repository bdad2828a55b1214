// Loading the goods picker's catalogue: 100 000 goods in 2 000 folders nested up to five
// levels, read from a real base.sdb. The reference is the bare SELECT of the same rows through
// the same access layer (TQueryResult) in the same run; the figure that matters is the ratio,
// best of 3 (goal: at most 1.5). Each load then runs once more in a child process of its
// own, whose peak memory is printed with it.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/db/Database.h"
#include "core/db/QueryResult.h"
#include "core/documents/Catalogue.h"

using namespace velmorant;

namespace {

constexpr int kFolders = 2000;
constexpr int kGoods = 100000;
constexpr int kMaxDepth = 5;
constexpr int kRounds = 3;

// The same catalogue on every run.
bench::Random g_random;
std::uint32_t NextRandom() { return g_random.next(); }

std::string Guid(int n) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-0000-4000-8000-%012X", n, n * 7919);
    return buf;
}

bool FillCatalogue(std::string& chosen) {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q || !q->Exec("begin; delete from SPR_GOODS")) return false;
    std::vector<int> depth(kFolders + 1, 0);
    std::string sql;
    int rowsInStatement = 0;
    auto add = [&](int id, int root, int folder, const std::string& name,
                   const std::string& price) {
        // UNAME is a scrambled key so that catalogue order differs from insertion order.
        char uname[16];
        std::snprintf(uname, sizeof uname, "%08X", NextRandom());
        sql += rowsInStatement == 0
                   ? "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, "
                     "UNAME, PRICE) values "
                   : ", ";
        sql += "('" + Guid(id) + "', " + std::to_string(id) + ", " + std::to_string(root) + ", " +
               std::to_string(folder) + ", 0, '" + name + "', '" + uname + "', " + price + ")";
        if (++rowsInStatement == 500) {
            if (!q->Exec(sql)) std::exit(1);
            sql.clear();
            rowsInStatement = 0;
        }
    };
    for (int id = 1; id <= kFolders; ++id) {
        int root = 0;
        if (id > 20) {
            // A parent among the earlier folders that is not yet at the deepest level.
            do {
                root = 1 + static_cast<int>(NextRandom() % static_cast<std::uint32_t>(id - 1));
            } while (depth[static_cast<std::size_t>(root)] >= kMaxDepth);
        }
        depth[static_cast<std::size_t>(id)] = root ? depth[static_cast<std::size_t>(root)] + 1 : 1;
        add(id, root, 1, "Папка " + std::to_string(id), "0");
    }
    for (int n = 0; n < kGoods; ++n) {
        const int id = kFolders + 1 + n;
        const int root = 1 + static_cast<int>(NextRandom() % kFolders);
        const std::string price =
            std::to_string(NextRandom() % 10000) + "." + std::to_string(NextRandom() % 100);
        add(id, root, 0, "Товар номер " + std::to_string(n), price);
        if (n % 2000 == 0) chosen += Guid(id) + "\t" + std::to_string(1 + n % 7) + "\r\n";
    }
    if (rowsInStatement > 0 && !q->Exec(sql)) return false;
    return q->Exec("commit");
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main() {
    char dirTemplate[] = "/tmp/velmorant-catalogue-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    const std::string folder = std::string(dirTemplate) + "/";
    SetProgramFolder(folder);
    if (!PrepareDatabase()) return 1;

    std::string chosen;
    const auto fillStart = std::chrono::steady_clock::now();
    if (!FillCatalogue(chosen)) return 1;
    std::printf("catalogue: %d folders (up to %d levels), %d goods; filled in %.2f s\n", kFolders,
                kMaxDepth, kGoods, Seconds(std::chrono::steady_clock::now() - fillStart));

    const auto chosenLines =
        static_cast<std::size_t>(std::count(chosen.begin(), chosen.end(), '\n'));
    auto select = [] {
        std::unique_ptr<TQueryResult> q = Query(Catalogue::kSelect);
        return q && q->RowCount() == kFolders + kGoods;
    };
    auto catalogue = [&] {
        Catalogue c;
        return c.Load(chosen) && c.Records().size() == kFolders + kGoods &&
               c.Folders().size() == kFolders && c.ResultLines().size() == chosenLines;
    };
    // Times in this process, best of 3, as the picker loads them in a running program.
    double selectTime = 1e9;
    double loadTime = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        if (!select()) return 1;
        auto t1 = std::chrono::steady_clock::now();
        if (!catalogue()) {
            std::printf("the catalogue load failed or gave unexpected sizes\n");
            return 1;
        }
        auto t2 = std::chrono::steady_clock::now();
        selectTime = std::min(selectTime, Seconds(t1 - t0));
        loadTime = std::min(loadTime, Seconds(t2 - t1));
    }
    // Peak memory: each once more in a child forked from this process, whose high-water mark
    // is its own (with what this process held at the fork).
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const bench::ChildRun selectChild = bench::runInChild(select);
    const bench::ChildRun loadChild = bench::runInChild(catalogue);
    if (!selectChild.ok || !loadChild.ok) return 1;

    std::printf("bare SELECT through TQueryResult: %.1f ms, peak %.1f MiB (best of %d)\n",
                selectTime * 1000, selectChild.peakMiB, kRounds);
    std::printf("catalogue load, links, %zu chosen, tree: %.1f ms, peak %.1f MiB (best of %d)\n",
                chosenLines, loadTime * 1000, loadChild.peakMiB, kRounds);
    std::printf("(peaks of a child forked from this process, which held %.1f MiB then)\n",
                static_cast<double>(before.ru_maxrss) / 1024);
    std::printf("ratio catalogue/select: %.2f (goal <= 1.5)\n", loadTime / selectTime);
    std::printf("RESULT catalogue-load-vs-select %.2f 1.5 peak %.1f MiB (select %.1f MiB)\n",
                loadTime / selectTime, loadChild.peakMiB, selectChild.peakMiB);

    std::error_code ec;
    std::filesystem::remove_all(dirTemplate, ec);
    return 0;
}
