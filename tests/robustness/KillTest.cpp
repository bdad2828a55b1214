// Kills the program with SIGKILL in the middle of its work and checks what it leaves: the
// database must pass its integrity check, and every document must be whole or absent.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "core/db/Database.h"
#include "core/db/QueryResult.h"
#include "core/db/StartCheck.h"
#include "core/db/Text.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

// Starts argv with stdout to `outPath`, lets it run for `ms` milliseconds and kills it.
// Returns true when it was still running (so the kill really cut it off).
bool runAndKill(const std::vector<std::string>& argv, const std::string& outPath, int ms) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        const int devNull = ::open("/dev/null", O_WRONLY);
        dup2(devNull, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const bool running = waitpid(pid, nullptr, WNOHANG) == 0;
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    return running;
}

std::string single(const std::string& sql, const std::string& column) {
    auto q = Query(sql);
    if (!q) return "<failed>";
    q->First();
    return q->Value(column, "<none>");
}

TEST(KillDuringWork, DocumentSavesAreWholeOrAbsent) {
    test::RecordingNotifier notes;
    int killedWhileRunning = 0;
    long totalSaves = 0;
    size_t reportedDocuments = 0;
    for (int delay : {30, 60, 90, 130, 170, 220, 280, 350, 430, 520}) {
        SCOPED_TRACE("killed after " + std::to_string(delay) + " ms");
        test::TempProgramFolder home;
        const std::string out = (home / "progress.txt").string();
        killedWhileRunning +=
            runAndKill({VELMORANT_KILL_WORKER_PATH, home.str()}, out, delay) ? 1 : 0;
        // Every save the worker reported: the document as it was last reported.
        std::map<std::string, int> reported;
        std::istringstream progress(test::readFile(out));
        std::string line;
        long saves = 0;
        while (std::getline(progress, line)) {
            if (progress.eof()) break;  // a line cut by the kill was never reported
            std::istringstream fields(line);
            std::string guid;
            int lines = -1;
            fields >> saves >> guid >> lines;
            ASSERT_TRUE(fields && lines > 0) << line;
            reported[guid] = lines;
        }
        totalSaves += saves;

        ASSERT_TRUE(PrepareDatabase());
        EXPECT_EQ(single("pragma integrity_check", "integrity_check"), "ok");
        // Every header has exactly the lines it counts, numbered from 0; no line lacks a header.
        EXPECT_EQ(single("select count(*) as N from DOC_HEADS h where ORD_LINES <> (select "
                         "count(*) from DOC_ORDERS o where o.DOC_ID = h.GUID)",
                         "N"),
                  "0");
        EXPECT_EQ(single("select count(*) as N from DOC_HEADS h where (select max(ORDER_ID) + 1 "
                         "from DOC_ORDERS o where o.DOC_ID = h.GUID) <> ORD_LINES",
                         "N"),
                  "0");
        EXPECT_EQ(single("select count(*) as N from DOC_ORDERS o where not exists (select 1 "
                         "from DOC_HEADS h where h.GUID = o.DOC_ID)",
                         "N"),
                  "0");
        // Each reported save is there with all its lines, or with the one line more of an
        // update that was saved but not yet reported when the kill came.
        for (const auto& [guid, lines] : reported) {
            const std::string held =
                single("select ORD_LINES from DOC_HEADS where GUID = '" + guid + "'", "ORD_LINES");
            const int extra = held == "<none>" ? -1 : std::stoi(held) - lines;
            EXPECT_TRUE(extra == 0 || extra == 1)
                << guid << " reported " << lines << ", held " << held;
        }
        reportedDocuments += reported.size();
    }
    std::printf(
        "[ figures  ] %d of 10 runs killed while saving; %ld saves completed in all, "
        "%zu documents checked\n",
        killedWhileRunning, totalSaves, reportedDocuments);
    EXPECT_GT(reportedDocuments, 10u);
    EXPECT_GE(killedWhileRunning, 8);
    EXPECT_TRUE(notes.shown().empty()) << notes.texts()[0];
}

TEST(KillDuringWork, ImportLeavesAnIntactDatabase) {
    test::RecordingNotifier notes;
    int killedWhileRunning = 0;
    for (int delay : {300, 500, 800, 1200}) {
        SCOPED_TRACE("killed after " + std::to_string(delay) + " ms");
        test::TempProgramFolder home;
        std::string script =
            "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n"
            "<REPEAT \"insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, "
            "ANAME, UNAME, PRICE) values ('%1', %2, 0, 0, '%3', '%3', %4)\">\r\n";
        for (int i = 1; i <= 200000; ++i) {
            script += "G" + std::to_string(i) + "\t" + std::to_string(i) + "\t" +
                      Utf8ToCp1251("Товар №") + std::to_string(i) + "\t12.50\r\n";
        }
        test::writeFile(home / "ToPDA.sqd", script);
        killedWhileRunning +=
            runAndKill({VELMORANT_CLI_PATH, "--home", home.str(), "import", home.str()},
                       (home / "log.txt").string(), delay)
                ? 1
                : 0;
        // The next start finds a journal to roll back, not a damaged file.
        EXPECT_EQ(ClassifyDatabase(home.dbPath()), DatabaseState::Healthy);
        ASSERT_TRUE(PrepareDatabase());
        EXPECT_EQ(single("pragma integrity_check", "integrity_check"), "ok");
        // The file stays with the rollback journal; nothing of a write-ahead log is left.
        EXPECT_EQ(single("pragma journal_mode", "journal_mode"), "delete");
        EXPECT_FALSE(std::filesystem::exists(DatabasePath() + "-wal"));
        // The rows that made it are whole and form an unbroken run from the first.
        const std::string count = single("select count(*) as N from SPR_GOODS", "N");
        EXPECT_EQ(single("select count(*) as N from SPR_GOODS where PRICE = 12.5 and ANAME = "
                         "'Товар №' || ID and GUID = 'G' || ID",
                         "N"),
                  count);
        EXPECT_EQ(single("select coalesce(max(ID), 0) as N from SPR_GOODS", "N"), count);
        std::printf("[ figures  ] killed after %d ms: %s rows imported\n", delay, count.c_str());
    }
    EXPECT_GE(killedWhileRunning, 3);
}

}  // namespace
}  // namespace velmorant
