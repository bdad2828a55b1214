#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/db/Backup.h"
#include "core/db/Clock.h"
#include "core/db/Database.h"
#include "core/db/QueryResult.h"
#include "core/db/StartCheck.h"
#include "support/DamagedDatabase.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

namespace fs = std::filesystem;

const DateTime kDay1 = EncodeDate(2026, 3, 2);

// Adds `count` documents of three lines each to the database at `path`.
void addDocuments(const std::string& path, int count, int firstId = 1) {
    auto q = TQueryResult::Create(path, true);
    ASSERT_TRUE(q);
    std::string sql = "begin;";
    for (int i = firstId; i < firstId + count; ++i) {
        const std::string id = std::to_string(i);
        sql += "insert into DOC_HEADS (GUID, ID, DOC_NUM, CLI_NAME, STR_PRIM) values ('g" + id +
               "', " + id + ", " + id + ", 'Клиент номер " + id + "', '" + std::string(200, 'x') +
               "');";
        for (int line = 0; line < 3; ++line) {
            sql += "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_NAME, PRICE) values (" + id + ", " +
                   std::to_string(line) + ", 'Товар с длинным названием', 12.5);";
        }
    }
    ASSERT_TRUE(q->Exec(sql + "commit;"));
}

int documentCount(const std::string& path) {
    auto q = TQueryResult::Create(path, true);
    if (!q || !q->Exec("select count(*) as N from DOC_HEADS")) return -1;
    return std::stoi(q->Value("N", "-1"));
}

// Overwrites the middle third of the file with a pattern: interior and leaf pages of the
// document tables are ruined.
void damage(const std::string& path) {
    const auto size = fs::file_size(path);
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(size / 3));
    const std::string junk(size / 3, '\x5a');
    f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
}

std::string copyOf(const test::TempProgramFolder& home, DateTime day) {
    return (home / "data" / "backup" / ("base-" + DateToIso(day) + ".sdb")).string();
}

TEST(Backup, DailyCopyOnceADayAndAfterEveryImport) {
    test::TempProgramFolder home;
    const std::string db = home.dbPath();
    struct Step {
        DateTime day;
        bool import;         // false: a start of the program
        int addBefore;       // documents added before the step
        int expectedInCopy;  // documents in that day's copy afterwards
        size_t copies;
    };
    const Step steps[] = {
        {kDay1, false, 5, 5, 1},       // first start of the day: a copy
        {kDay1, false, 2, 5, 1},       // second start the same day: the copy stays
        {kDay1, true, 3, 10, 1},       // an import replaces the day's copy
        {kDay1 + 1, false, 1, 11, 2},  // the next day starts with its own copy
        {kDay1 + 1, true, 0, 11, 2},
    };
    int next = 1;
    for (const auto& s : steps) {
        addDocuments(db, s.addBefore, next);
        next += s.addBefore;
        std::string error;
        const bool ok = s.import ? BackupDatabase(db, s.day, &error)
                                 : BackupDatabaseOnce(db, s.day + 0.4, &error);
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(documentCount(copyOf(home, s.day)), s.expectedInCopy) << DateToIso(s.day);
        EXPECT_EQ(ListBackups(BackupFolderFor(db)).size(), s.copies);
    }
    EXPECT_EQ(documentCount(copyOf(home, kDay1)), 10);
    EXPECT_TRUE(CheckDatabaseFile(copyOf(home, kDay1 + 1)));
}

TEST(Backup, SevenNewestKeptOthersFilesLeftAlone) {
    test::TempProgramFolder home;
    const std::string folder = BackupFolderFor(home.dbPath());
    fs::create_directories(folder);
    test::writeFile(fs::path(folder) / "notes.txt", "support staff's file");
    // Days out of order: the newest by date are kept, not the last written.
    for (int d : {9, 0, 3, 1, 8, 2, 7, 4, 6, 5}) {
        ASSERT_TRUE(BackupDatabase(home.dbPath(), kDay1 + d));
    }
    const auto list = ListBackups(folder);
    ASSERT_EQ(list.size(), 7u);
    for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i].day, kDay1 + 9 - i);
    EXPECT_TRUE(fs::exists(fs::path(folder) / "notes.txt"));
    EXPECT_FALSE(fs::exists(copyOf(home, kDay1 + 2)));
}

// A week of copies of a database that lost its content (a restore declined) does not push out
// the last full copy; once the database is fuller again, the old copy goes.
TEST(Backup, LastFullCopyOutlivesAWeekOfEmptyOnes) {
    test::TempProgramFolder home;
    addDocuments(home.dbPath(), 400);
    ASSERT_TRUE(BackupDatabase(home.dbPath(), kDay1));
    fs::remove(home.dbPath());
    ASSERT_TRUE(PrepareDatabase());
    for (int d = 1; d <= 10; ++d) ASSERT_TRUE(BackupDatabase(home.dbPath(), kDay1 + d));
    auto list = ListBackups(BackupFolderFor(home.dbPath()));
    ASSERT_EQ(list.size(), 8u);
    EXPECT_EQ(list[6].day, kDay1 + 4);
    EXPECT_EQ(list[7].day, kDay1);
    EXPECT_EQ(documentCount(copyOf(home, kDay1)), 400);

    addDocuments(home.dbPath(), 800);
    ASSERT_TRUE(BackupDatabase(home.dbPath(), kDay1 + 11));
    list = ListBackups(BackupFolderFor(home.dbPath()));
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[6].day, kDay1 + 5);
}

TEST(Backup, FailingCopyLeavesTheEarlierOne) {
    test::TempProgramFolder home;
    addDocuments(home.dbPath(), 4);
    ASSERT_TRUE(BackupDatabase(home.dbPath(), kDay1));
    const std::string before = test::readFile(copyOf(home, kDay1));
    addDocuments(home.dbPath(), 4, 5);

    // The temporary file cannot be written: a folder stands under its name.
    const std::string temporary = copyOf(home, kDay1) + ".tmp";
    fs::create_directories(temporary);
    test::writeFile(fs::path(temporary) / "x", "x");
    std::string error;
    EXPECT_FALSE(BackupDatabase(home.dbPath(), kDay1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(test::readFile(copyOf(home, kDay1)), before);
    EXPECT_EQ(documentCount(copyOf(home, kDay1)), 4);

    // No backup folder at all (a file in its place): fails, the database is untouched.
    test::TempProgramFolder other;
    test::writeFile(other / "data" / "backup", "not a folder");
    EXPECT_FALSE(BackupDatabase(other.dbPath(), kDay1));
    EXPECT_EQ(test::readFile(other / "data" / "backup"), "not a folder");
    EXPECT_TRUE(CheckDatabaseFile(other.dbPath()));
}

// The start's copy goes in steps; an import's copy of the same day may come between two of them.
TEST(Backup, CopyInStepsAndAnImportsCopyBetweenItsSteps) {
    test::TempProgramFolder home;
    addDocuments(home.dbPath(), 400);
    for (const bool importBetween : {false, true}) {
        SCOPED_TRACE(importBetween ? "an import's copy between the steps" : "alone");
        fs::remove_all(BackupFolderFor(home.dbPath()));
        BackupInSteps copy(home.dbPath(), kDay1);
        ASSERT_EQ(copy.Step(4), BackupInSteps::State::Running);
        if (importBetween) {
            addDocuments(home.dbPath(), 10, 401);
            ASSERT_TRUE(BackupDatabase(home.dbPath(), kDay1));
        }
        int steps = 1;
        BackupInSteps::State state;
        while ((state = copy.Step(4)) == BackupInSteps::State::Running) ++steps;
        ASSERT_EQ(state, BackupInSteps::State::Written) << copy.error();
        EXPECT_TRUE(CheckDatabaseFile(copy.WrittenPath()));
        ASSERT_EQ(copy.Finish(), BackupInSteps::State::Done) << copy.error();
        EXPECT_GT(steps, 10);
        // The copy is whole, and holds what the file held when it completed.
        EXPECT_TRUE(CheckDatabaseFile(copyOf(home, kDay1)));
        EXPECT_EQ(documentCount(copyOf(home, kDay1)), documentCount(home.dbPath()));
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(BackupFolderFor(home.dbPath())))
            left.push_back(e.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"base-" + DateToIso(kDay1) + ".sdb"});
    }
}

// A mark of copies behind the database makes the next start's copy, in one go or in steps, and
// that copy removes it; a copy that is refused leaves it. A copy in steps that the mark comes
// between holds what the file held when it completed, and removes it too; a mark written after
// the copy's content was taken (between its writing and its taking place) stays.
TEST(Backup, CopiesBehindAreMadeAnewByTheNextCompleteCopy) {
    enum class Way { Once, InSteps, MarkedBetweenSteps, MarkedOnceWritten, Refused, RefusedCopy };
    for (const Way way : {Way::Once, Way::InSteps, Way::MarkedBetweenSteps, Way::MarkedOnceWritten,
                          Way::Refused, Way::RefusedCopy}) {
        SCOPED_TRACE(static_cast<int>(way));
        test::TempProgramFolder home;
        const std::string db = home.dbPath();
        addDocuments(db, 50);
        ASSERT_TRUE(BackupDatabase(db, kDay1));
        addDocuments(db, 5, 51);
        ASSERT_TRUE(MarkCopiesBehind(db));
        EXPECT_FALSE(HasBackupOf(db, kDay1));
        EXPECT_TRUE(HasAnyBackupOf(db, kDay1));
        int copied = 55;  // documents in the day's copy afterwards
        bool current = true;
        if (way == Way::Once) {
            ASSERT_TRUE(BackupDatabaseOnce(db, kDay1 + 0.5));
        } else if (way == Way::Refused) {
            damage(db);
            EXPECT_FALSE(BackupDatabaseOnce(db, kDay1 + 0.5));
            copied = 50;
            current = false;
        } else {
            BackupInSteps steps(db, kDay1);
            ASSERT_EQ(steps.Step(2), BackupInSteps::State::Running);
            if (way == Way::MarkedBetweenSteps) {
                addDocuments(db, 5, 56);
                ASSERT_TRUE(MarkCopiesBehind(db));
                copied = 60;
            }
            BackupInSteps::State state;
            while ((state = steps.Step(2)) == BackupInSteps::State::Running) {
            }
            ASSERT_EQ(state, BackupInSteps::State::Written) << steps.error();
            if (way == Way::MarkedOnceWritten) {
                addDocuments(db, 5, 56);
                ASSERT_TRUE(MarkCopiesBehind(db));
                current = false;
            }
            if (way == Way::RefusedCopy) {
                damage(steps.WrittenPath());  // the copy of a database that fails its check
                EXPECT_FALSE(steps.PutInPlace());
                EXPECT_EQ(steps.Finish(), BackupInSteps::State::Failed);
                EXPECT_EQ(steps.error(), kDatabaseDamaged);
                EXPECT_FALSE(fs::exists(steps.WrittenPath()));
                copied = 50;
                current = false;
            } else {
                ASSERT_EQ(steps.Finish(), BackupInSteps::State::Done) << steps.error();
            }
        }
        EXPECT_EQ(HasBackupOf(db, kDay1), current);
        EXPECT_EQ(documentCount(copyOf(home, kDay1)), copied);
    }
}

TEST(Backup, CheckFindsDamageAndMissingFiles) {
    test::TempProgramFolder home;
    addDocuments(home.dbPath(), 400);
    EXPECT_TRUE(CheckDatabaseFile(home.dbPath()));
    damage(home.dbPath());
    std::string error;
    EXPECT_FALSE(CheckDatabaseFile(home.dbPath(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(CheckDatabaseFile((home / "missing.sdb").string()));
    test::writeFile(home / "text.sdb", std::string(5000, 't'));
    EXPECT_FALSE(CheckDatabaseFile((home / "text.sdb").string()));
}

struct StartCase {
    const char* name;
    bool newestBackupDamaged;
    MessageAnswer answer;
};

class DamagedAtStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(DamagedAtStart, RestoresTheNewestGoodCopyOnlyWhenAsked) {
    const StartCase& c = GetParam();
    test::TempProgramFolder home;
    const std::string db = home.dbPath();
    addDocuments(db, 300);
    ASSERT_TRUE(BackupDatabase(db, kDay1));
    addDocuments(db, 100, 301);
    ASSERT_TRUE(BackupDatabase(db, kDay1 + 1));
    if (c.newestBackupDamaged) damage(copyOf(home, kDay1 + 1));
    addDocuments(db, 100, 401);
    damage(db);
    const std::string damagedBytes = test::readFile(db);

    test::RecordingNotifier n;
    n.queueAnswer(c.answer);
    const DateTime now = kDay1 + 2 + 0.5;  // 12:00:00
    EXPECT_TRUE(CheckAndBackUpAtStart(home.str(), now));
    const DateTime restoredDay = c.newestBackupDamaged ? kDay1 : kDay1 + 1;
    ASSERT_GE(n.shown().size(), 1u);
    const std::string question =
        "База данных повреждена. Восстановить из копии от " + DateToText(restoredDay) + "?";
    EXPECT_EQ(n.shown()[0].text.substr(0, question.size()), question);
    EXPECT_EQ(n.shown()[0].buttons, MessageButtons::YesNo);

    const std::string aside = db + ".damaged-" + DateToIso(kDay1 + 2).substr(0, 4) +
                              DateToIso(kDay1 + 2).substr(5, 2) +
                              DateToIso(kDay1 + 2).substr(8, 2) + "-120000";
    if (c.answer == MessageAnswer::Yes) {
        EXPECT_EQ(test::readFile(aside), damagedBytes);
        EXPECT_TRUE(CheckDatabaseFile(db));
        EXPECT_EQ(documentCount(db), c.newestBackupDamaged ? 300 : 400);
        // The restored database is the day's first copy.
        EXPECT_EQ(documentCount(copyOf(home, kDay1 + 2)), documentCount(db));
    } else {
        EXPECT_FALSE(fs::exists(aside));
        EXPECT_EQ(test::readFile(db), damagedBytes);
        // A damaged file never becomes a copy.
        EXPECT_FALSE(fs::exists(copyOf(home, kDay1 + 2)));
    }
}

INSTANTIATE_TEST_SUITE_P(Backup, DamagedAtStart,
                         ::testing::Values(StartCase{"Yes", false, MessageAnswer::Yes},
                                           StartCase{"YesNewestDamaged", true, MessageAnswer::Yes},
                                           StartCase{"No", false, MessageAnswer::No}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(Backup, DamagedWithoutAnyGoodCopySaysSoAndGoesOn) {
    test::TempProgramFolder home;
    addDocuments(home.dbPath(), 400);
    damage(home.dbPath());
    test::RecordingNotifier n;
    EXPECT_TRUE(CheckAndBackUpAtStart(home.str(), kDay1));
    ASSERT_EQ(n.texts().size(), 1u);
    EXPECT_EQ(n.shown()[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(ListBackups(BackupFolderFor(home.dbPath())).empty());
}

std::string cli(const test::TempDir& home, const std::string& args) {
    return std::string(VELMORANT_CLI_PATH) + " --home '" + home.str() + "' " + args;
}

// One damaged page of the order lines: the day's good copy stays whatever path would copy
// the file, and the person is told.
TEST(Backup, DamagedFileIsNeverCopiedByAnyPath) {
    enum class Path { StartOfDay, Import, CliBackup };
    const struct {
        const char* name;
        Path path;
    } cases[] = {{"start of the day", Path::StartOfDay},
                 {"after an import", Path::Import},
                 {"velmorant-cli backup", Path::CliBackup}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempProgramFolder home;
        addDocuments(home.dbPath(), 400);
        // The programs run here read the machine's clock.
        const DateTime today = SystemClock().Today();
        ASSERT_TRUE(BackupDatabase(home.dbPath(), today));
        const std::string goodCopy = test::readFile(copyOf(home, today));
        addDocuments(home.dbPath(), 50, 401);
        ASSERT_TRUE(test::DamagePage(home.dbPath(), "DOC_ORDERS", test::Pages::MiddleLeaf));
        // Today's copy made earlier: the start of the day would not copy again anyway.
        fs::rename(copyOf(home, today), copyOf(home, today - 1));

        std::string said;
        if (c.path == Path::StartOfDay) {
            test::RecordingNotifier n;  // answers No to the restore question
            EXPECT_TRUE(CheckAndBackUpAtStart(home.str(), today + 0.5));
            said = n.texts().empty() ? "" : n.texts()[0];
            EXPECT_EQ(said.rfind("База данных повреждена.", 0), 0u) << said;
        } else if (c.path == Path::Import) {
            test::writeFile(home / "ToPDA.sqd",
                            "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n<REPEAT \"insert into "
                            "SPR_CLIENTS (GUID, ANAME) values ('%1', '%2')\">\r\nC1\tone\r\n");
            const auto r = test::runCommand(cli(home, "import '" + home.str() + "'"));
            EXPECT_NE(r.err.find("База данных повреждена."), std::string::npos) << r.err;
        } else {
            const auto r = test::runCommand(cli(home, "backup"));
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find("База данных повреждена."), std::string::npos) << r.err;
            // The probe of the tables never ran: no message of the library's own.
            EXPECT_EQ(r.err.find("malformed"), std::string::npos) << r.err;
        }
        EXPECT_FALSE(fs::exists(copyOf(home, today)));
        EXPECT_EQ(test::readFile(copyOf(home, today - 1)), goodCopy);
        EXPECT_EQ(ListBackups(BackupFolderFor(home.dbPath())).size(), 1u);
    }
}

TEST(CliBackup, BackupAndRestoreWithExitCodes) {
    test::TempProgramFolder home;
    addDocuments(home.dbPath(), 300);
    auto r = test::runCommand(cli(home, "restore"));
    EXPECT_EQ(r.exitCode, 1) << r.err;  // nothing to restore from yet
    r = test::runCommand(cli(home, "backup"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The program run here reads the machine's clock.
    const std::string today = DateToIso(SystemClock().Today());
    EXPECT_EQ(r.out.rfind(today + " ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("base-" + today + ".sdb\n"), std::string::npos) << r.out;

    addDocuments(home.dbPath(), 50, 301);
    damage(home.dbPath());
    struct Case {
        const char* args;
        int exitCode;
    };
    for (const Case& c : {Case{"restore 1999-01-01", 1}, Case{"restore someday", 2},
                          Case{"restore a b", 2}, Case{"backup x", 2}}) {
        r = test::runCommand(cli(home, c.args));
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << r.err;
    }
    EXPECT_FALSE(CheckDatabaseFile(home.dbPath()));
    r = test::runCommand(cli(home, "restore " + today));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("moved aside " + home.dbPath() + ".damaged-"), std::string::npos) << r.out;
    EXPECT_EQ(documentCount(home.dbPath()), 300);
    size_t aside = 0;
    for (const auto& e : fs::directory_iterator(home / "data")) {
        aside += e.path().filename().string().rfind("base.sdb.damaged-", 0) == 0;
    }
    EXPECT_EQ(aside, 1u);
}

}  // namespace
}  // namespace velmorant
