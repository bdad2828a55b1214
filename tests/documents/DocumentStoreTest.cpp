#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/Dates.h"
#include "db/Guid.h"
#include "db/QueryResult.h"
#include "documents/Document.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Every row of a query as texts (what base.sdb holds, read back through the access layer).
Rows Select(const std::string& sql) {
    Rows rows;
    auto q = Query(sql);
    if (!q) {
        ADD_FAILURE() << "query failed: " << sql;
        return rows;
    }
    for (q->First(); !q->AtEnd(); q->Next()) {
        std::vector<std::string> row;
        for (int c = 0; c < q->ColumnCount(); ++c) row.push_back(q->Cell(c));
        rows.push_back(row);
    }
    return rows;
}

void Exec(const std::string& sql) { ASSERT_NE(Query(sql), nullptr) << sql; }

Rows StoredHeads() { return Select("select * from DOC_HEADS order by GUID"); }
Rows StoredLines() {
    return Select(
        "select DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE, typeof(G_WT) "
        "from DOC_ORDERS order by DOC_ID, ORDER_ID");
}

TDocLine Line(const std::string& guid, const std::string& name, const std::string& wt, int cents) {
    TDocLine l;
    l.G_GUID = guid;
    l.G_NAME = name;
    l.G_WT = wt;
    l.PriceCents = cents;
    return l;
}

class DocumentStore : public ::testing::Test {
  protected:
    test::TempProgramFolder folder;
    test::RecordingNotifier notes;

    TDocHead FilledNew() {
        TDocHead doc;
        NewDocument(doc);
        doc.CLI_GUID = "C1C1C1C1-0000-0000-0000-000000000001";
        doc.CLI_NAME = "ООО Ромашка";
        doc.STR_PRIM = "до обеда";
        doc.DOC_DATE = EncodeDate(2027, 1, 15);
        doc.Lines = {Line("G-1", "Чай", "2.00", 150), Line("G-2", "Сахар", "1.50", 99)};
        doc.Modified = true;
        return doc;
    }

    std::string SavedGuid() {
        TDocHead doc = FilledNew();
        EXPECT_TRUE(SaveDocument(doc));
        return doc.GUID;
    }
};

TEST_F(DocumentStore, FirstSaveInsertsHeaderAndLaterSavesUpdateIt) {
    TDocHead doc = FilledNew();
    ASSERT_TRUE(SaveDocument(doc));
    EXPECT_TRUE(notes.shown().empty());
    EXPECT_EQ(doc.GUID.size(), 36u);
    EXPECT_EQ(doc.GUID.find_first_of("abcdef{}"), std::string::npos);
    EXPECT_FALSE(doc.Modified);
    EXPECT_EQ(doc.statusText, kDocStatusWritten);

    const std::string head =
        "select GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, EXP_DATE, REC_TIME, "
        "CLI_GUID, CLI_NAME, printf('%.2f', ORD_SUMM), printf('%.2f', ORD_WEIGHT), ORD_LINES, "
        "SKU_LINES, PRC_LINES, STR_BASIS, STR_PRIM, GPS_X, GPS_Y, GPS_Z, typeof(EXP_DATE) "
        "from DOC_HEADS";
    const Rows inserted{{doc.GUID,
                         "0",
                         "0",
                         "2027-01-15",
                         "б/н",
                         "1",
                         "",
                         DateToIso(Today()),
                         "C1C1C1C1-0000-0000-0000-000000000001",
                         "ООО Ромашка",
                         "0.00",
                         "3.50",
                         "2",
                         "0",
                         "0",
                         "",
                         "до обеда",
                         "0",
                         "0",
                         "0",
                         "null"}};
    EXPECT_EQ(Select(head), inserted);

    // The office numbered the document and marked it 0; the device's update keeps both.
    Exec("update DOC_HEADS set DOC_NUM='А-17', DOC_STATE=0, REC_TIME='2026-01-01'");
    const std::string guid = doc.GUID;
    doc.CLI_NAME = "ИП Иванов";
    doc.Lines.pop_back();
    doc.Modified = true;
    ASSERT_TRUE(SaveDocument(doc));
    EXPECT_EQ(doc.GUID, guid);
    EXPECT_EQ(Select("select GUID, DOC_NUM, DOC_STATE, REC_TIME, CLI_NAME, ORD_LINES, "
                     "printf('%.2f', ORD_WEIGHT) from DOC_HEADS"),
              (Rows{{guid, "А-17", "0", "2026-01-01", "ИП Иванов", "1", "2.00"}}));
    EXPECT_EQ(Select("select count(*) from DOC_ORDERS"), (Rows{{"1"}}));
}

TEST_F(DocumentStore, DocumentWithoutClientIsNotWritten) {
    const struct {
        const char* guid;
        const char* name;
    } cases[] = {{"", "ООО Ромашка"}, {"C-1", ""}, {"  ", "ООО"}, {"C-1", " \t "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.guid) + "|" + c.name);
        notes.clear();
        TDocHead doc = FilledNew();
        doc.CLI_GUID = c.guid;
        doc.CLI_NAME = c.name;
        EXPECT_FALSE(SaveDocument(doc));
        ASSERT_EQ(notes.shown().size(), 1u);
        EXPECT_EQ(notes.shown()[0].text, "Не заполнено поле \"Клиент\".");
        EXPECT_EQ(notes.shown()[0].icon, MessageIcon::Warning);
        EXPECT_TRUE(doc.GUID.empty());
        EXPECT_TRUE(doc.Modified);
    }
    EXPECT_TRUE(StoredHeads().empty());
    EXPECT_TRUE(StoredLines().empty());
}

TEST_F(DocumentStore, StatesAboveOneAreRefusedWithNothingChanged) {
    const struct {
        int state;
        bool saved;
        const char* status;
    } cases[] = {{2, false, "документ передан в БД"},
                 {3, false, "[3] статус не опознан*"},
                 {-1, true, "[-1] статус не опознан*"},
                 {0, true, "документ записан"},
                 {1, true, "документ записан"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        const std::string guid = SavedGuid();
        Exec("update DOC_HEADS set DOC_STATE=" + std::to_string(c.state) + " where GUID='" + guid +
             "'");
        const Rows heads = StoredHeads();
        const Rows lines = StoredLines();

        // Loaded in that state, and loaded earlier while the office moved it on meanwhile.
        for (bool movedMeanwhile : {false, true}) {
            SCOPED_TRACE(movedMeanwhile);
            TDocHead doc;
            NewDocument(doc);
            if (movedMeanwhile) Exec("update DOC_HEADS set DOC_STATE=1 where GUID='" + guid + "'");
            ASSERT_TRUE(LoadDocument(doc, guid));
            if (movedMeanwhile) {
                Exec("update DOC_HEADS set DOC_STATE=" + std::to_string(c.state) + " where GUID='" +
                     guid + "'");
            } else {
                EXPECT_EQ(doc.statusText, c.status);
            }
            doc.CLI_NAME = "Другой клиент";
            doc.Lines.clear();
            doc.Modified = true;
            notes.clear();
            EXPECT_EQ(SaveDocument(doc), c.saved);
            if (c.saved) {
                EXPECT_TRUE(notes.shown().empty());
                EXPECT_EQ(Select("select DOC_STATE from DOC_HEADS where GUID='" + guid + "'"),
                          (Rows{{std::to_string(c.state)}}));
                continue;
            }
            ASSERT_EQ(notes.shown().size(), 1u);
            EXPECT_EQ(notes.shown()[0].text,
                      "Изменение запрещено.\r\nДокумент выгружен в центр. БД.");
            EXPECT_TRUE(doc.Modified);
            EXPECT_EQ(doc.DOC_STATE, c.state);
            EXPECT_EQ(StoredHeads(), heads);
            EXPECT_EQ(StoredLines(), lines);
        }
        ASSERT_TRUE(DeleteDocument(guid));
    }
}

TEST_F(DocumentStore, LinesKeepTheirOrderAndNumbersCloseUpAfterADrop) {
    TDocHead doc = FilledNew();
    doc.Lines = {Line("G-3", "Третий", "3.00", 300), Line("G-1", "Первый", "1.00", 100),
                 Line("G-2", "Второй", "2.00", 200)};
    ASSERT_TRUE(SaveDocument(doc));

    TDocHead reopened;
    NewDocument(reopened);
    ASSERT_TRUE(LoadDocument(reopened, doc.GUID));
    ASSERT_EQ(reopened.Lines.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(reopened.Lines[i].G_GUID, doc.Lines[i].G_GUID);
        EXPECT_EQ(reopened.Lines[i].G_NAME, doc.Lines[i].G_NAME);
        EXPECT_EQ(reopened.Lines[i].G_WT, doc.Lines[i].G_WT);
        EXPECT_EQ(reopened.Lines[i].PriceCents, doc.Lines[i].PriceCents);
    }

    reopened.Lines.erase(reopened.Lines.begin());
    ASSERT_TRUE(SaveDocument(reopened));
    EXPECT_EQ(Select("select ORDER_ID, G_GUID from DOC_ORDERS order by ORDER_ID"),
              (Rows{{"0", "G-1"}, {"1", "G-2"}}));
    EXPECT_EQ(Select("select ORD_LINES from DOC_HEADS"), (Rows{{"2"}}));
}

TEST_F(DocumentStore, QuotesAndLineBreaksInTextsSurvive) {
    const struct {
        std::string note;
        std::string stored;
    } notesCases[] = {
        {"O'Neil's \"best\"", "O'Neil's \"best\""},
        {"  первая\r\nвторая\rтретья\nчетвёртая  ", "первая вторая третья четвёртая"},
        {"a\tb\bc\r\n\r\nd", "a b c  d"},
        {"'); drop table DOC_HEADS; --", "'); drop table DOC_HEADS; --"},
    };
    for (const auto& c : notesCases) {
        SCOPED_TRACE(c.note);
        TDocHead doc = FilledNew();
        doc.CLI_NAME = "Д'Артаньян и \"сыновья\"";
        doc.STR_PRIM = c.note;
        doc.Lines = {Line("G-'1", "Сыр \"Мааздам\" 'люкс'", "1.00", 100)};
        ASSERT_TRUE(SaveDocument(doc));
        // The second save goes through the update statement.
        doc.Modified = true;
        ASSERT_TRUE(SaveDocument(doc));

        TDocHead back;
        NewDocument(back);
        ASSERT_TRUE(LoadDocument(back, doc.GUID));
        EXPECT_EQ(back.CLI_NAME, doc.CLI_NAME);
        EXPECT_EQ(back.STR_PRIM, c.stored);
        ASSERT_EQ(back.Lines.size(), 1u);
        EXPECT_EQ(back.Lines[0].G_GUID, "G-'1");
        EXPECT_EQ(back.Lines[0].G_NAME, "Сыр \"Мааздам\" 'люкс'");
        ASSERT_TRUE(DeleteDocument(doc.GUID));
    }
    EXPECT_TRUE(notes.shown().empty());
}

// Lines stored by the office (or an earlier save) are read into the shown forms and written
// back in the stored forms.
TEST_F(DocumentStore, NumbersRoundTripThroughTheStoredForms) {
    const struct {
        const char* storedWt;
        const char* storedPrice;
        bool useSums;
        const char* shownWt;
        int cents;
        const char* sum;
        const char* writtenWt;
        const char* writtenPrice;
    } cases[] = {
        {"2.5", "12.34", true, "2.50", 1234, "30.85", "2.5", "12.34"},
        {"1", "0.29", false, "1.00", 29, "", "1.0", "0.29"},
        // The shown sum comes from the stored price; the cents are cut.
        {"3", "0.299", true, "3.00", 29, "0.90", "3.0", "0.29"},
        {"'1,5'", "'7,10'", true, "1.50", 710, "10.65", "1.5", "7.1"},
        {"0", "-1.5", true, "0.00", -150, "0.00", "0.0", "-1.5"},
        {"'abc'", "NULL", true, "0.00", 0, "0.00", "0.0", "0.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.storedWt) + " x " + c.storedPrice);
        Exec("delete from MY_OPTIONS");
        if (c.useSums) Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseSUMS', '1')");
        const std::string guid = SavedGuid();
        Exec("delete from DOC_ORDERS");
        Exec("insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values ('" +
             guid + "', 0, 'G', 'Товар', " + c.storedWt + ", " + c.storedPrice + ")");

        TDocHead doc;
        NewDocument(doc);
        ASSERT_TRUE(LoadDocument(doc, guid));
        EXPECT_EQ(doc.UseSums, c.useSums);
        ASSERT_EQ(doc.Lines.size(), 1u);
        EXPECT_EQ(doc.Lines[0].G_WT, c.shownWt);
        EXPECT_EQ(doc.Lines[0].PriceCents, c.cents);
        EXPECT_EQ(doc.Lines[0].Sum, c.sum);

        ASSERT_TRUE(SaveDocument(doc));
        EXPECT_EQ(Select("select G_WT, PRICE from DOC_ORDERS"),
                  (Rows{{c.writtenWt, c.writtenPrice}}));
        EXPECT_EQ(Select("select printf('%.2f', ORD_SUMM), printf('%.2f', ORD_WEIGHT) "
                         "from DOC_HEADS"),
                  (Rows{{c.useSums ? c.sum : "0.00", c.shownWt}}));
        ASSERT_TRUE(DeleteDocument(guid));
    }
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(DocumentStore, TotalsCountEveryLineAndAnEmptyQuantityIsStoredAsZero) {
    TDocHead doc = FilledNew();
    doc.Lines = {Line("G-1", "Чай", "2.50", 1234), Line("G-2", "Кофе", "", 500),
                 Line("G-3", "Соль", " 1,25 ", 10)};
    doc.Lines[0].Sum = "30.85";
    doc.Lines[2].Sum = "0.12";
    ASSERT_TRUE(SaveDocument(doc));
    EXPECT_EQ(Select("select printf('%.2f', ORD_SUMM), printf('%.2f', ORD_WEIGHT), ORD_LINES "
                     "from DOC_HEADS"),
              (Rows{{"30.97", "3.75", "3"}}));
    EXPECT_EQ(Select("select ORDER_ID, G_WT, typeof(G_WT) from DOC_ORDERS order by ORDER_ID"),
              (Rows{{"0", "2.5", "real"}, {"1", "0.0", "real"}, {"2", "1.25", "real"}}));

    // Read back, the empty quantity shows as 0.00 and the line is still there.
    TDocHead back;
    NewDocument(back);
    ASSERT_TRUE(LoadDocument(back, doc.GUID));
    ASSERT_EQ(back.Lines.size(), 3u);
    EXPECT_EQ(back.Lines[1].G_WT, "0.00");
}

TEST_F(DocumentStore, AFailingStatementLeavesTheStoredDocumentAsItWas) {
    const std::string guid = SavedGuid();
    const struct {
        const char* trigger;
        const char* failingStatementStart;
    } cases[] = {
        {"before update on DOC_HEADS", "update DOC_HEADS set DOC_DATE=\"2027-01-15\", "},
        {"before delete on DOC_ORDERS", "delete from DOC_ORDERS where (DOC_ID=\""},
        {"before insert on DOC_ORDERS when NEW.ORDER_ID = 1",
         "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values ('"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.trigger);
        Exec(std::string("create trigger FAIL_SAVE ") + c.trigger +
             " begin select raise(abort, 'отказ'); end");
        const Rows heads = StoredHeads();
        const Rows lines = StoredLines();

        TDocHead doc;
        NewDocument(doc);
        ASSERT_TRUE(LoadDocument(doc, guid));
        doc.CLI_NAME = "Новое имя";
        doc.Lines.push_back(Line("G-9", "Новый", "5.00", 500));
        doc.Modified = true;
        notes.clear();
        EXPECT_FALSE(SaveDocument(doc));
        EXPECT_TRUE(doc.Modified);
        EXPECT_EQ(doc.GUID, guid);
        EXPECT_EQ(StoredHeads(), heads);
        EXPECT_EQ(StoredLines(), lines);
        // The library's text first, then the rejected statement itself.
        ASSERT_EQ(notes.shown().size(), 2u);
        EXPECT_NE(notes.shown()[0].text.find("отказ"), std::string::npos);
        EXPECT_EQ(notes.shown()[1].text.rfind(c.failingStatementStart, 0), 0u)
            << notes.shown()[1].text;
        Exec("drop trigger FAIL_SAVE");

        // With the cause gone the same document saves.
        EXPECT_TRUE(SaveDocument(doc));
        EXPECT_EQ(Select("select CLI_NAME from DOC_HEADS"), (Rows{{"Новое имя"}}));
        Exec("update DOC_HEADS set CLI_NAME='ООО Ромашка'");
        Exec("delete from DOC_ORDERS where ORDER_ID > 1");
    }
}

TEST_F(DocumentStore, AFailedFirstInsertLeavesTheDocumentNew) {
    // A line insert fails: the header insert before it must be undone as well.
    for (const char* trigger : {"before insert on DOC_HEADS", "before insert on DOC_ORDERS"}) {
        SCOPED_TRACE(trigger);
        Exec(std::string("create trigger FAIL_SAVE ") + trigger +
             " begin select raise(abort, 'отказ'); end");
        TDocHead doc = FilledNew();
        doc.STR_PRIM = "O'Neil";
        notes.clear();
        EXPECT_FALSE(SaveDocument(doc));
        EXPECT_TRUE(doc.GUID.empty());
        EXPECT_TRUE(doc.Modified);
        EXPECT_EQ(doc.statusText, kDocStatusNew);
        EXPECT_TRUE(StoredHeads().empty());
        EXPECT_TRUE(StoredLines().empty());
        ASSERT_EQ(notes.shown().size(), 2u);
        const std::string& shown = notes.shown()[1].text;
        if (std::string(trigger).find("DOC_HEADS") != std::string::npos) {
            // The whole header statement, with the GUID the failed attempt had taken.
            const std::string prefix =
                "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
                "REC_TIME, CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, SKU_LINES, "
                "PRC_LINES, STR_BASIS, STR_PRIM, GPS_X, GPS_Y, GPS_Z) values (\"";
            ASSERT_EQ(shown.rfind(prefix, 0), 0u) << shown;
            const std::string tried = shown.substr(prefix.size(), 36);
            EXPECT_EQ(shown, prefix + tried + "\", 0, 0, \"2027-01-15\", \"б/н\", 1, " +
                                 DateToSqlText(Today()) +
                                 ", 'C1C1C1C1-0000-0000-0000-000000000001', 'ООО Ромашка', "
                                 "0.00, 3.50, 2, 0, 0, \"\", 'O''Neil', 0, 0, 0)");
        }
        Exec("drop trigger FAIL_SAVE");

        ASSERT_TRUE(SaveDocument(doc));
        EXPECT_EQ(Select("select count(*), GUID from DOC_HEADS"), (Rows{{"1", doc.GUID}}));
        EXPECT_EQ(Select("select count(*) from DOC_ORDERS"), (Rows{{"2"}}));
        ASSERT_TRUE(DeleteDocument(doc.GUID));
    }
}

TEST_F(DocumentStore, DeleteRemovesTheRowsOfAllFourTablesAndOnlyThose) {
    const std::string gone = SavedGuid();
    const std::string kept = SavedGuid();
    for (const std::string& g : {gone, kept}) {
        Exec("insert into DOC_SKUS (DOC_ID, ORDER_ID, G_GUID) values ('" + g + "', 0, 'S')");
        Exec("insert into DOC_COMPETS (DOC_ID, ORDER_ID, CLI_GUID) values ('" + g + "', 0, 'K')");
    }
    const std::string counts =
        "select (select count(*) from DOC_HEADS), (select count(*) from DOC_ORDERS), "
        "(select count(*) from DOC_SKUS), (select count(*) from DOC_COMPETS)";
    ASSERT_EQ(Select(counts), (Rows{{"2", "4", "2", "2"}}));

    EXPECT_TRUE(DeleteDocument(gone));
    EXPECT_EQ(Select(counts), (Rows{{"1", "2", "1", "1"}}));
    EXPECT_EQ(Select("select GUID from DOC_HEADS"), (Rows{{kept}}));
    EXPECT_EQ(Select("select distinct DOC_ID from DOC_ORDERS union "
                     "select DOC_ID from DOC_SKUS union select DOC_ID from DOC_COMPETS"),
              (Rows{{kept}}));

    // Unknown GUIDs and the null GUID succeed and change nothing.
    EXPECT_TRUE(DeleteDocument(gone));
    EXPECT_TRUE(DeleteDocument(kNullGuid));
    EXPECT_EQ(Select(counts), (Rows{{"1", "2", "1", "1"}}));
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(DocumentStore, LoadReadsTheStoredDateAndReportsAMissingHeader) {
    const std::string guid = SavedGuid();
    const struct {
        const char* stored;
        TDate expected;
    } dates[] = {{"'2026-12-06'", EncodeDate(2026, 12, 6)},
                 {"'06.12.2026'", EncodeDate(2026, 12, 6)},
                 {"46000", 46000},
                 {"'31.02.2026'", Today()},
                 {"NULL", Today()}};
    for (const auto& d : dates) {
        SCOPED_TRACE(d.stored);
        Exec(std::string("update DOC_HEADS set DOC_DATE=") + d.stored);
        TDocHead doc;
        NewDocument(doc);
        doc.DOC_DATE = EncodeDate(2000, 1, 1);
        ASSERT_TRUE(LoadDocument(doc, guid));
        EXPECT_EQ(doc.DOC_DATE, d.expected);
        EXPECT_FALSE(doc.Modified);
    }
    EXPECT_TRUE(notes.shown().empty());

    // The header is gone but the lines are there: the message, and the lines still come.
    Exec("delete from DOC_HEADS");
    TDocHead doc;
    NewDocument(doc);
    doc.Modified = true;
    EXPECT_FALSE(LoadDocument(doc, guid));
    EXPECT_EQ(notes.texts(), (std::vector<std::string>{"Не удалось прочитать заголовок."}));
    EXPECT_EQ(doc.Lines.size(), 2u);
    EXPECT_FALSE(doc.Modified);

    // Saving it would leave lines without a header: refused, nothing written.
    doc.CLI_GUID = "C";
    doc.CLI_NAME = "Клиент";
    doc.Modified = true;
    notes.clear();
    EXPECT_FALSE(SaveDocument(doc));
    EXPECT_EQ(notes.texts(), (std::vector<std::string>{"Не удалось прочитать заголовок."}));
    EXPECT_TRUE(StoredHeads().empty());
    EXPECT_EQ(StoredLines().size(), 2u);
}

TEST_F(DocumentStore, NewAndLoadCallTheEditorsHooks) {
    const std::string guid = SavedGuid();
    int headerTab = 0;
    int sumColumn = 0;
    TDocHead doc;
    doc.selectHeaderTab = [&] { ++headerTab; };
    doc.ensureSumColumn = [&] { ++sumColumn; };

    NewDocument(doc);
    EXPECT_EQ(headerTab, 1);
    EXPECT_EQ(doc.statusText, kDocStatusNew);
    EXPECT_EQ(doc.DOC_DATE, Today());
    ASSERT_TRUE(LoadDocument(doc, guid));
    EXPECT_EQ(sumColumn, 0);

    Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('usesums', ' 1 ')");
    ASSERT_TRUE(LoadDocument(doc, guid));
    EXPECT_EQ(sumColumn, 1);
    EXPECT_TRUE(doc.UseSums);

    // Nothing to read for an empty or null GUID: no query, no hook, no message.
    for (const std::string g : {"", "   ", kNullGuid}) {
        doc.Lines = {Line("X", "x", "1.00", 1)};
        EXPECT_TRUE(LoadDocument(doc, g));
        EXPECT_EQ(doc.GUID, g);
        EXPECT_EQ(doc.Lines.size(), 1u);
    }
    EXPECT_EQ(sumColumn, 1);
    EXPECT_EQ(headerTab, 1);
    EXPECT_TRUE(notes.shown().empty());
}

}  // namespace
}  // namespace velmorant
