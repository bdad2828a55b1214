// The office's messages in MY_MESSAGES: as the office simulator sends them through a real
// import, as the journal counts and lists them, and as opening one marks it read.
#include "core/journal/OfficeMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/db/Dates.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

void Exec(const std::string& sql) { ASSERT_NE(Query(sql), nullptr) << sql; }

TEST(MessageDate, TheFormsTheOfficeMayWrite) {
    const DateTime day = EncodeDate(2026, 12, 7);
    const double hhmm = (8 * 3600 + 30 * 60) / 86400.0;
    struct Case {
        const char* stored;
        DateTime date;
        const char* shown;
    };
    const Case cases[] = {
        {"2026-12-07", day, "07.12.2026"},
        {"2026-12-07 08:30", day + hhmm, "07.12.2026 08:30"},
        {"2026-12-07T08:30:15", day + hhmm + 15 / 86400.0, "07.12.2026 08:30"},
        {" 07.12.2026 08:30:00 ", day + hhmm, "07.12.2026 08:30"},
        {"2026-12-07 00:00", day, "07.12.2026 00:00"},
        {"46363", 46363, "07.12.2026"},  // a day number
        {"46363.5", 46363.5, "07.12.2026 12:00"},
        {"2026-13-07", 0, "2026-13-07"},  // no such month: shown as it stands
        {"2026-12-07 25:00", 0, "2026-12-07 25:00"},
        {"вчера", 0, "вчера"},
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        OfficeMessage m;
        m.M_DATE = Trim(c.stored);
        m.date = ReadMessageDate(c.stored);
        EXPECT_NEAR(m.date, c.date, 1e-6) << c.stored;
        EXPECT_EQ(MessageDateText(m), c.shown) << c.stored;
    }
    EXPECT_EQ(MessageBodyText("  Первая строка.|Вторая строка.  "),
              "Первая строка.\nВторая строка.");
}

class OfficeMessages : public ::testing::Test {
protected:
    test::TempProgramFolder folder;
    test::RecordingNotifier notes;
};

TEST_F(OfficeMessages, NewestFirstUnreadCountedAndMarkedRead) {
    Exec(
        "insert into MY_MESSAGES (GUID, M_DATE, M_TYPE, S_TITLE, S_BODY, IS_NEW) values "
        "('M1', '2026-12-01 09:00:00', 0, 'Цены', 'Новые цены.', 1),"
        "('M2', '2026-12-07 08:30:00', 0, 'План', 'План недели.', '1'),"
        "('M3', 'когда-то', 0, 'Без даты', '', 1),"
        "('M4', '2026-12-07 08:30:00', 0, 'Вдогонку', '', 0),"  // same time, stored later
        "('M5', '2026-12-03', 0, 'Старое', '', NULL)");
    std::vector<std::string> order;
    for (const OfficeMessage& m : ReadOfficeMessages()) order.push_back(m.GUID);
    EXPECT_EQ(order, (std::vector<std::string>{"M4", "M2", "M5", "M1", "M3"}));
    EXPECT_EQ(CountUnreadMessages(), 3);

    const std::vector<OfficeMessage> before = ReadOfficeMessages();
    ASSERT_TRUE(before[1].unread);
    ASSERT_TRUE(MarkMessageRead(before[1].rowId));
    auto q = Query("select GUID, IS_NEW from MY_MESSAGES where IS_NEW=0 order by GUID");
    ASSERT_TRUE(q);
    std::vector<std::string> read;
    for (q->First(); !q->AtEnd(); q->Next()) read.push_back(q->Cell(0));
    EXPECT_EQ(read, (std::vector<std::string>{"M2", "M4"}));
    EXPECT_EQ(CountUnreadMessages(), 2);
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(OfficeMessages, CountingIsSilentWhenTheTableIsGone) {
    Exec("drop table MY_MESSAGES");
    EXPECT_EQ(CountUnreadMessages(), 0);
    EXPECT_TRUE(notes.shown().empty());  // the journal asks on every load
    EXPECT_TRUE(ReadOfficeMessages().empty());
    EXPECT_EQ(notes.texts(), std::vector<std::string>{"no such table: MY_MESSAGES"});
}

TEST_F(OfficeMessages, TheOfficeSimulatorSendsThemOnceEach) {
    test::TempDir office;
    test::writeFile(office / "inbox.csv",
                    "guid,date,title,body\n"
                    "A-1,2026-12-01 09:00:00,Цены,\"Новые цены.\nС понедельника.\"\n"
                    "A-2,2026-12-07 08:30:00,\"План \"\"Неделя\"\"\",\"Всё в силе, O'Neil.\"\n");
    const std::string simulator = std::string(VELMORANT_SOURCE_DIR) + "/tools/office_simulator.py";
    const std::string script = "/usr/bin/python3 '" + simulator + "' script --inbox '" +
                               (office / "inbox.csv").string() + "' --out '" +
                               (office / "answer").string() + "'";
    const std::string import = std::string("'") + VELMORANT_CLI_PATH + "' --home '" + folder.str() +
                               "' import '" + (office / "answer").string() + "' </dev/null";
    for (int round = 0; round < 2; ++round) {
        const test::CommandResult made = test::runCommand(script);
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const test::CommandResult imported = test::runCommand(import);
        ASSERT_EQ(imported.exitCode, 0) << imported.err << imported.out;
        const std::vector<OfficeMessage> messages = ReadOfficeMessages();
        ASSERT_EQ(messages.size(), 2u) << "round " << round;
        EXPECT_EQ(messages[0].GUID, "A-2");
        EXPECT_EQ(messages[0].S_TITLE, "План \"Неделя\"");
        EXPECT_EQ(messages[0].S_BODY, "Всё в силе, O'Neil.");
        EXPECT_EQ(messages[1].S_TITLE, "Цены");
        EXPECT_EQ(MessageBodyText(messages[1].S_BODY), "Новые цены.\nС понедельника.");
        EXPECT_EQ(MessageDateText(messages[1]), "01.12.2026 09:00");
        if (round == 0) {
            EXPECT_EQ(CountUnreadMessages(), 2);
            ASSERT_TRUE(MarkMessageRead(messages[1].rowId));
        } else {
            // Sent again, a message keeps the row the device has, read as it was.
            EXPECT_EQ(CountUnreadMessages(), 1);
            EXPECT_FALSE(messages[1].unread);
        }
    }
}

}  // namespace
}  // namespace velmorant
