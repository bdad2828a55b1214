// The start of the program on a damaged, empty or missing base.sdb, the restore from a copy
// with the documents saved after it, and a restore killed at each of its steps.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/db/Backup.h"
#include "core/db/Database.h"
#include "core/db/Restore.h"
#include "core/db/StartCheck.h"
#include "support/DamagedDatabase.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

namespace fs = std::filesystem;

const DateTime kCopyDay = EncodeDate(2030, 3, 13);
const DateTime kNow = test::TestNow();  // the next day, 10:20:30
const char* const kQuestion = "База данных повреждена. Восстановить из копии от 13.03.2030?";

// A device's life up to the damage: 60 documents, the day's copy, then 4 new documents and
// one more line in a document the copy holds, and a catalogue of 3 000 goods.
struct Device {
    test::TempProgramFolder home;
    test::FixedClock clock{kCopyDay + 0.4};
    std::vector<std::string> inCopy, afterCopy;

    Device() {
        inCopy = test::SaveDocuments(60, 20, clock);
        std::string goods = "begin;";
        for (int i = 0; i < 3000; ++i) {
            goods += "insert into SPR_GOODS (GUID, ANAME, PRICE) values ('G-" + std::to_string(i) +
                     "', 'Товар из каталога номер " + std::to_string(i) + "', 12.5);";
        }
        test::execSql({goods + "commit;"});
        EXPECT_TRUE(BackupDatabase(home.dbPath(), kCopyDay));
        clock.set(kCopyDay + 0.7);
        afterCopy = test::SaveDocuments(4, 20, clock);
        TDocHead edited;
        EXPECT_TRUE(LoadDocument(edited, inCopy[7], clock));
        edited.Lines.push_back({"G-NEW", "Добавлено после копии", "1.00", 100, ""});
        edited.Modified = true;
        EXPECT_TRUE(SaveDocument(edited, clock));
    }
    std::string db() const { return home.dbPath(); }
    std::string folder() const { return home.str() + "/"; }
};

std::set<std::string> guidsIn(const std::string& path) {
    std::set<std::string> guids;
    TQueryResult q(path);
    if (!q.OpenReadOnly() || !q.Exec("select GUID from DOC_HEADS")) return guids;
    for (q.First(); !q.AtEnd(); q.Next()) guids.insert(q.Cell(0));
    return guids;
}

std::vector<std::string> leftovers(const test::TempDir& home) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(home.path())) {
        const std::string name = e.path().filename().string();
        if (name.find(".restor") != std::string::npos || name.find(".tmp") != std::string::npos)
            names.push_back(name);
    }
    return names;
}

struct DamageCase {
    const char* name;
    const char* table;  // nullptr: the file is emptied (""), or removed ("-")
    test::Pages pages;
    bool readable;    // the question carries no warning, the count is reported
    bool allNewBack;  // every document saved after the copy comes back
};

TEST(RestoreAtStart, BringsBackWhatTheDamagedFileStillHolds) {
    const DamageCase cases[] = {
        {"catalogue page", "SPR_GOODS", test::Pages::MiddleLeaf, true, true},
        {"last page of the lines", "DOC_ORDERS", test::Pages::LastLeaf, true, false},
        {"root of the headers", "DOC_HEADS", test::Pages::Root, false, false},
        {"zero-length file", "", test::Pages::Root, false, false},
        {"missing file", "-", test::Pages::Root, false, false},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        Device device;
        const std::string table = c.table;
        if (table == "") {
            fs::resize_file(device.db(), 0);
        } else if (table == "-") {
            fs::remove(device.db());
        } else {
            ASSERT_TRUE(test::DamagePage(device.db(), table, c.pages));
        }
        EXPECT_EQ(ClassifyDatabase(device.db()), DatabaseState::Damaged);

        test::RecordingNotifier n;
        n.queueAnswer(MessageAnswer::Yes);
        EXPECT_EQ(CheckDatabaseAtStart(device.folder(), kNow, fs::file_time_type::clock::now()),
                  StartOutcome::Restored);
        ASSERT_GE(n.texts().size(), 1u);
        const std::string question = n.texts()[0];
        EXPECT_EQ(question.rfind(kQuestion, 0), 0u) << question;
        EXPECT_EQ(question.find("будут потеряны.") != std::string::npos, !c.readable) << question;

        EXPECT_TRUE(CheckDatabaseFile(device.db()));
        EXPECT_EQ(test::BrokenDocumentCount(device.db()), 0);
        const auto held = guidsIn(device.db());
        for (const auto& g : device.inCopy) EXPECT_TRUE(held.count(g)) << g;
        int back = 0;
        for (const auto& g : device.afterCopy) back += static_cast<int>(held.count(g));
        if (c.allNewBack) {
            EXPECT_EQ(back, 4);
        }
        if (!c.readable) {
            EXPECT_EQ(back, 0);
        }
        if (c.readable) {
            // The edited document counts among those brought back when its lines were read.
            ASSERT_EQ(n.texts().size(), 2u);
            const std::string report = n.texts()[1];
            int broughtBack = -1, unreadable = -1;
            ASSERT_EQ(std::sscanf(report.c_str(),
                                  "Восстановлено документов: %d. Не удалось прочитать: %d.",
                                  &broughtBack, &unreadable),
                      2)
                << report;
            EXPECT_EQ(broughtBack + unreadable, 5) << report;
            EXPECT_GE(broughtBack, back);
            if (!c.allNewBack) {
                EXPECT_GE(unreadable, 1) << report;
            }
            if (c.allNewBack) {
                EXPECT_EQ(
                    test::Count(device.db(), "select ORD_LINES from DOC_HEADS where GUID = '" +
                                                 device.inCopy[7] + "'"),
                    "21");
            }
        } else {
            EXPECT_EQ(n.texts().size(), 1u);
            EXPECT_EQ(test::DocumentCount(device.db()), 60);
        }
        EXPECT_EQ(leftovers(device.home), std::vector<std::string>{});
        EXPECT_EQ(ListDamagedFiles(device.db()).size(), table == "-" ? 0u : 1u);
        // The next start finds a healthy file and asks nothing.
        n.clear();
        EXPECT_EQ(CheckDatabaseAtStart(device.folder(), kNow, fs::file_time_type::clock::now()),
                  StartOutcome::Healthy);
        EXPECT_TRUE(n.texts().empty());
    }
}

TEST(RestoreAtStart, EmptyOrMissingFileIsANewDeviceOnlyWithoutAnyCopy) {
    struct Case {
        const char* name;
        bool empty;         // else missing
        const char* trace;  // a file that shows a database was here; nullptr: none
        DatabaseState state;
    } cases[] = {
        {"missing, nothing", false, nullptr, DatabaseState::NewDevice},
        {"empty, nothing", true, nullptr, DatabaseState::NewDevice},
        {"missing, a damaged file", false, "data/base.sdb.damaged-20300101-101010",
         DatabaseState::Damaged},
        {"empty, a restore's copy", true, "data/base.sdb.restoring", DatabaseState::Damaged},
        {"missing, a copy", false, "data/backup/base-2030-03-13.sdb", DatabaseState::Damaged},
        {"a file that is not a copy", false, "data/backup/notes.txt", DatabaseState::NewDevice},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir home;
        fs::create_directories(home / "data" / "backup");
        if (c.empty) test::writeFile(home / "data" / "base.sdb", "");
        if (c.trace) test::writeFile(home / c.trace, "x");
        EXPECT_EQ(ClassifyDatabase((home / "data" / "base.sdb").string()), c.state);
    }
}

// The child restores and is killed by SIGKILL once `step` is complete; the next start finishes
// or undoes the restore, and in the end every document of the copy and every one saved after
// it is in a healthy base.sdb, with nothing of the restore left behind.
TEST(RestoreAtStart, KilledAtEachStepIsFinishedOrUndoneAtTheNextStart) {
    const struct {
        RestoreStep step;
        bool askedAgain;  // undone: the next start finds the damage and asks again
    } cases[] = {
        {RestoreStep::CopyWritten, true},   {RestoreStep::DocumentsBroughtBack, true},
        {RestoreStep::CopyComplete, false}, {RestoreStep::MovedAside, false},
        {RestoreStep::Done, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.step));
        Device device;
        ASSERT_TRUE(test::DamagePage(device.db(), "SPR_GOODS", test::Pages::MiddleLeaf));
        // Two earlier damaged files: with the new one, only the newest two stay.
        test::writeFile(device.db() + ".damaged-20300101-080000", "oldest");
        test::writeFile(device.db() + ".damaged-20300102-080000", "older");
        const BackupCopy copy = NewestGoodBackup(device.db());
        ASSERT_FALSE(copy.path.empty());

        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const RescuedDocuments rescued = ReadRescuableDocuments(device.db());
            RestoreOutcome outcome;
            std::string error;
            RestoreBackup(device.db(), copy.path, kNow, &rescued, outcome, error,
                          [&](RestoreStep s) {
                              if (s == c.step) ::raise(SIGKILL);
                          });
            ::_exit(3);  // the step never came
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

        test::RecordingNotifier n;
        n.queueAnswer(MessageAnswer::Yes);
        const StartOutcome outcome =
            CheckDatabaseAtStart(device.folder(), kNow + 0.01, fs::file_time_type::clock::now());
        EXPECT_EQ(outcome, c.askedAgain ? StartOutcome::Restored : StartOutcome::Healthy);
        EXPECT_EQ(!n.texts().empty() && n.texts()[0] == kQuestion, c.askedAgain);

        EXPECT_TRUE(CheckDatabaseFile(device.db()));
        EXPECT_EQ(test::BrokenDocumentCount(device.db()), 0);
        const auto held = guidsIn(device.db());
        EXPECT_EQ(held.size(), 64u);
        for (const auto& g : device.afterCopy) EXPECT_TRUE(held.count(g)) << g;
        EXPECT_EQ(test::Count(device.db(), "select ORD_LINES from DOC_HEADS where GUID = '" +
                                               device.inCopy[7] + "'"),
                  "21");
        EXPECT_EQ(leftovers(device.home), std::vector<std::string>{});
        const auto damaged = ListDamagedFiles(device.db());
        ASSERT_EQ(damaged.size(), 2u);
        EXPECT_EQ(fs::path(damaged[1]).filename(), "base.sdb.damaged-20300102-080000");
        EXPECT_FALSE(CheckDatabaseFile(damaged[0]));  // the file that was replaced, kept
    }
}

TEST(RestoreAtStart, StaleTemporaryFilesOfOurOwnGoOthersStay) {
    test::TempDir home;
    const struct {
        const char* path;
        bool ours;
    } files[] = {
        {"exchange/ToPDA.sqd.Ab3dE9.tmp", true},
        {"exchange/PDATo1C.xml.q1W2e3.tmp", true},
        {"exchange/ToPDA.zip.part", true},
        {"data/backup/base-2030-03-13.sdb.tmp", true},
        {"data/backup/base-2030-03-13.sdb.tmp-journal", true},
        {"data/backup/base-2030-03-13.sdb.Xy12Ab.tmp-journal", true},
        {"pack.tmp", true},
        {"00A1", true},
        {"exchange/ToPDA.sqd", false},
        {"exchange/notes.tmp", false},
        {"exchange/x.ab.tmp", false},
        {"data/backup/base-2030-03-13.sdb", false},
        {"00a1", false},
        {"readme.part", false},
    };
    for (const auto& f : files) {
        fs::create_directories((home / f.path).parent_path());
        test::writeFile(home / f.path, "x");
    }
    const auto started = fs::file_time_type::clock::now();
    // A file that a run still writes (changed after this one started) is left alone.
    test::writeFile(home / "exchange" / "busy.Zz9Zz9.tmp", "x");
    fs::last_write_time(home / "exchange" / "busy.Zz9Zz9.tmp", started + std::chrono::seconds(1));
    int ours = 0;
    for (const auto& f : files) ours += f.ours;
    EXPECT_EQ(RemoveStaleTemporaries(home.str(), started), ours);
    for (const auto& f : files) EXPECT_EQ(fs::exists(home / f.path), !f.ours) << f.path;
    EXPECT_TRUE(fs::exists(home / "exchange" / "busy.Zz9Zz9.tmp"));
}

}  // namespace
}  // namespace velmorant
