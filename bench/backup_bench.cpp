// The day's copy of a base.sdb with 50 000 documents of 10 order lines each. The reference
// is the sqlite3 shell's "PRAGMA quick_check" and ".backup" of the same file in the same run:
// BackupDatabase checks the file before it copies it (a damaged file is never copied). The
// figure that matters is the ratio (goal: at most 1.2). The start of the
// program makes its copy in steps on the event loop instead: printed are the whole of that
// copy and its longest step, the time the screen cannot answer.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/BenchSupport.h"
#include "core/db/Backup.h"
#include "core/db/Database.h"
#include "core/db/Dates.h"
#include "core/db/QueryResult.h"

using namespace velmorant;

namespace {

constexpr int kDocuments = 50000;
constexpr int kLinesPerDocument = 10;
constexpr int kRounds = 5;

bool fill() {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) return false;
    const std::string n = std::to_string(kDocuments);
    const std::string lines = std::to_string(kLinesPerDocument);
    return q->Exec(
        "begin;"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
        n +
        ") insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, REC_TIME, "
        "CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, STR_PRIM) select "
        "printf('%08X-D000-4000-8000-%012X', i, i * 7919), i, 0, '2026-03-02', i, 0, "
        "'2026-03-02', printf('%08X-C000-4000-8000-%012X', i % 700, i % 700), "
        "'Клиент ' || (i % 700), i * 1.5, i * 0.25, " +
        lines +
        ", 'Примечание к заказу' from n;"
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
        n + "), l(j) as (select 1 union all select j + 1 from l where j < " + lines +
        ") insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE, SUMM) select "
        "i, j, printf('%08X-G000-4000-8000-%012X', j * 31 + i % 97, j), "
        "'Товар номер ' || (j * 31 + i % 97), 0.5, 12.25, 12.25 * j from n, l;"
        "commit;");
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path home =
        fs::temp_directory_path() / ("velmorant-backup-bench-" + std::to_string(::getpid()));
    fs::create_directories(home);
    SetProgramFolder(home.string());
    if (!PrepareDatabase() || !fill()) {
        std::fprintf(stderr, "could not fill the database\n");
        return 1;
    }
    const std::string db = DatabasePath();
    const std::string reference = (home / "x.sdb").string();
    // The same work as BackupDatabase: the check, then the copy.
    const std::string command =
        "sqlite3 '" + db + "' 'PRAGMA quick_check' \".backup '" + reference + "'\" > /dev/null";
    std::printf("backup of %d documents x %d lines, base.sdb %.1f MB\n", kDocuments,
                kLinesPerDocument, static_cast<double>(fs::file_size(db)) / 1e6);

    double best = 1e9, bestReference = 1e9, bestSteps = 1e9, longestStep = 0;
    int steps = 0;
    for (int round = 0; round < kRounds; ++round) {
        fs::remove(reference);
        auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "the sqlite3 shell failed\n");
            return 1;
        }
        bestReference = std::min(bestReference, bench::seconds(start));

        start = std::chrono::steady_clock::now();
        std::string error;
        if (!BackupDatabase(db, EncodeDate(2026, 3, 2), &error)) {
            std::fprintf(stderr, "the copy failed: %s\n", error.c_str());
            return 1;
        }
        best = std::min(best, bench::seconds(start));

        fs::remove(BackupFolderFor(db) + "base-2026-03-03.sdb");
        start = std::chrono::steady_clock::now();
        BackupInSteps inSteps(db, EncodeDate(2026, 3, 3));
        int count = 0;
        double longest = 0;
        for (;;) {
            const auto stepStart = std::chrono::steady_clock::now();
            const auto state = inSteps.Step(256);
            longest = std::max(longest, bench::seconds(stepStart));
            ++count;
            if (state == BackupInSteps::State::Running) continue;
            if (state == BackupInSteps::State::Failed ||
                inSteps.Finish() != BackupInSteps::State::Done) {
                std::fprintf(stderr, "the copy in steps failed: %s\n", inSteps.error().c_str());
                return 1;
            }
            break;
        }
        if (bench::seconds(start) < bestSteps) {
            bestSteps = bench::seconds(start);
            longestStep = longest;
            steps = count;
        }
    }
    const bool same =
        fs::file_size(reference) == fs::file_size(BackupFolderFor(db) + "base-2026-03-02.sdb");
    fs::remove_all(home);
    if (!same) {
        std::fprintf(stderr, "the copy and the shell's differ in size\n");
        return 1;
    }
    std::printf("  BackupDatabase:         %.3f s wall\n", best);
    std::printf("  sqlite3 shell check and .backup: %.3f s wall\n", bestReference);
    std::printf("  in steps of 256 pages:  %.3f s wall, %d steps, the longest %.1f ms\n", bestSteps,
                steps, longestStep * 1000);
    std::printf("ratio: %.2f wall (goal: at most 1.2; best of %d rounds)\n", best / bestReference,
                kRounds);
    std::printf("RESULT backup-vs-sqlite3-backup %.2f 1.2\n", best / bestReference);
    std::printf("RESULT backup-in-steps-vs-sqlite3-backup %.2f 1.2\n", bestSteps / bestReference);
    return 0;
}
