#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/db/Dates.h"
#include "core/db/Guid.h"
#include "core/db/QueryResult.h"
#include "core/documents/Document.h"
#include "support/FixedClock.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

using test::Rows;

// The documents' clock: "today" stays one day however long the tests run.
const test::FixedClock kClock;

void Exec(const std::string& sql) { ASSERT_NE(Query(sql), nullptr) << sql; }

Rows AllStored() {
    Rows rows = test::queryRows("select * from DOC_HEADS order by GUID");
    for (auto& r :
         test::queryRows("select *, typeof(G_WT) from DOC_ORDERS order by DOC_ID, ORDER_ID"))
        rows.push_back(r);
    return rows;
}

TDocLine Line(const std::string& guid, const std::string& name, const std::string& wt, int cents,
              const std::string& sum = "") {
    return TDocLine{guid, name, wt, cents, sum};
}

class DocumentStore : public ::testing::Test {
protected:
    test::TempProgramFolder folder;
    test::RecordingNotifier notes;

    static TDocHead Filled() {
        TDocHead doc;
        NewDocument(doc, kClock);
        doc.CLI_GUID = "C1C1C1C1-0000-0000-0000-000000000001";
        doc.CLI_NAME = "ООО Ромашка";
        doc.STR_PRIM = "O'Neil";
        doc.DOC_DATE = EncodeDate(2027, 1, 15);
        doc.Lines = {Line("G-1", "Чай", "2.00", 150), Line("G-2", "Сахар", "1.50", 99)};
        doc.Modified = true;
        return doc;
    }
    static TDocHead Loaded(const std::string& guid) {
        TDocHead doc;
        NewDocument(doc, kClock);
        EXPECT_TRUE(LoadDocument(doc, guid, kClock));
        return doc;
    }
    static std::string Saved() {
        TDocHead doc = Filled();
        EXPECT_TRUE(SaveDocument(doc, kClock));
        return doc.GUID;
    }
};

TEST_F(DocumentStore, FirstSaveInsertsTheHeaderAndLaterSavesUpdateIt) {
    TDocHead doc;
    NewDocument(doc, kClock);
    EXPECT_EQ(doc.statusText, kDocStatusNew);
    doc.CLI_GUID = "C-1";
    doc.CLI_NAME = " Д'Артаньян ";
    doc.Lines = {Line("G-1", "Чай", "2.00", 150), Line("G-2", "Сахар", "1.50", 99)};
    ASSERT_TRUE(SaveDocument(doc, kClock));
    EXPECT_EQ(doc.GUID.size(), 36u);
    EXPECT_EQ(doc.GUID.find_first_of("abcdef{}"), std::string::npos);
    EXPECT_EQ(doc.statusText, kDocStatusWritten);
    EXPECT_EQ(
        test::queryRows("select GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
                        "typeof(EXP_DATE), REC_TIME, CLI_GUID, CLI_NAME, printf('%.2f', ORD_SUMM), "
                        "printf('%.2f', ORD_WEIGHT), ORD_LINES, SKU_LINES, PRC_LINES, STR_BASIS, "
                        "STR_PRIM, GPS_X, GPS_Y, GPS_Z from DOC_HEADS"),
        (Rows{{doc.GUID, "0",          "0",    DateToIso(kClock.Today()),
               "б/н",    "1",          "null", DateToIso(kClock.Today()),
               "C-1",    "Д'Артаньян", "0.00", "3.50",
               "2",      "0",          "0",    "",
               "",       "0",          "0",    "0"}}));

    // The office numbered the document and set state 0; saving again keeps both.
    Exec("update DOC_HEADS set DOC_NUM='А-17', DOC_STATE=0, REC_TIME='2026-01-01'");
    const std::string guid = doc.GUID;
    doc.DOC_DATE = EncodeDate(2027, 3, 8);
    doc.Lines.pop_back();
    ASSERT_TRUE(SaveDocument(doc, kClock));
    EXPECT_EQ(doc.GUID, guid);
    EXPECT_EQ(test::queryRows("select GUID, DOC_NUM, DOC_STATE, REC_TIME, DOC_DATE, ORD_LINES from "
                              "DOC_HEADS"),
              (Rows{{guid, "А-17", "0", "2026-01-01", "2027-03-08", "1"}}));
    EXPECT_EQ(Loaded(guid).DOC_DATE, EncodeDate(2027, 3, 8));

    // A client is needed: a name without a GUID, or a GUID without a name, is not saved.
    for (const auto& [cliGuid, cliName] : {std::pair{"", "ООО"}, std::pair{"C-1", " \t "}}) {
        TDocHead noClient = Filled();
        noClient.CLI_GUID = cliGuid;
        noClient.CLI_NAME = cliName;
        EXPECT_FALSE(SaveDocument(noClient, kClock));
        EXPECT_TRUE(noClient.GUID.empty());
    }
    EXPECT_EQ(notes.texts(), (std::vector<std::string>(2, "Не заполнено поле \"Клиент\".")));
    EXPECT_EQ(test::queryRows("select count(*) from DOC_HEADS"), (Rows{{"1"}}));
}

TEST_F(DocumentStore, StatesAboveOneAreRefusedWithNothingChanged) {
    // DOC_STATE as the office may store it: an integer, or a real number or text of one.
    const struct {
        const char* stored;    // SQL literal
        const char* readBack;  // as SQLite gives it back
        bool saved;
        const char* status;
    } cases[] = {{"2", "2", false, "документ передан в БД"},
                 {"3", "3", false, "[3] статус не опознан*"},
                 {"-1", "-1", true, "[-1] статус не опознан*"},
                 {"1", "1", true, "документ записан"},
                 {"2.0", "2.0", false, "документ передан в БД"},
                 {"'2.0'", "2.0", false, "документ передан в БД"},
                 {"'2e0'", "2e0", false, "документ передан в БД"},
                 {"1.5", "1.5", false, "документ передан в БД"},
                 {"1.0", "1.0", true, "документ записан"},
                 {"3.0", "3.0", false, "[3] статус не опознан*"},
                 {"1e20", "1.0e+20", false, "[2147483647] статус не опознан*"}};
    for (const auto& c : cases) {
        const std::string guid = Saved();
        const std::string setState = std::string("update DOC_HEADS set DOC_STATE=") + c.stored +
                                     " where GUID='" + guid + "'";
        // Opened in that state, and opened in state 1 while the office moves it on meanwhile.
        for (bool movedWhileOpen : {false, true}) {
            SCOPED_TRACE(std::string(c.stored) + (movedWhileOpen ? " moved" : " opened"));
            Exec(movedWhileOpen ? "update DOC_HEADS set DOC_STATE=1" : setState);
            TDocHead doc = Loaded(guid);
            EXPECT_EQ(doc.statusText, movedWhileOpen ? kDocStatusWritten : c.status);
            if (movedWhileOpen) Exec(setState);
            const Rows before = AllStored();
            doc.CLI_NAME = "Другой клиент";
            doc.Lines.clear();
            doc.Modified = true;
            notes.clear();
            EXPECT_EQ(SaveDocument(doc, kClock), c.saved);
            EXPECT_EQ(test::queryRows("select DOC_STATE from DOC_HEADS where GUID='" + guid + "'"),
                      (Rows{{c.readBack}}));
            if (c.saved) {
                Exec("update DOC_HEADS set DOC_STATE=1");
                continue;
            }
            EXPECT_EQ(doc.statusText, c.status);
            ASSERT_EQ(notes.shown().size(), 1u);
            EXPECT_EQ(notes.shown()[0].text,
                      "Изменение запрещено.\r\nДокумент выгружен в центр. БД.");
            EXPECT_EQ(notes.shown()[0].icon, MessageIcon::Warning);
            EXPECT_TRUE(doc.Modified);
            EXPECT_EQ(AllStored(), before);
        }
        ASSERT_TRUE(DeleteDocument(guid));
    }
}

// Totals are summed in checked arithmetic: a document whose quantity or sum would pass the
// range of a fixed-point value is refused, never written with a wrapped total.
TEST_F(DocumentStore, TotalsBeyondTheRangeAreRefused) {
    Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseSUMS', '1')");
    const struct {
        const char* label;
        std::vector<TDocLine> lines;
        bool saved;
        const char* weight = "";  // ORD_WEIGHT as stored when saved
        const char* sum = "";     // ORD_SUMM
    } cases[] = {
        {"quantities whose total passes the range",
         {Line("G-1", "a", "900000000000000.00", 0, ""),
          Line("G-2", "b", "900000000000000.00", 0, "")},
         false},
        {"sums whose total passes the range",
         {Line("G-1", "a", "1.00", 0, "900000000000000.00"),
          Line("G-2", "b", "1.00", 0, "900000000000000.00")},
         false},
        {"one quantity beyond the range", {Line("G-1", "a", "1e16", 0, "")}, false},
        {"one sum beyond the range", {Line("G-1", "a", "1.00", 0, "-1000000000000000")}, false},
        {"totals near the end of the range",
         {Line("G-1", "a", "900000000000000.00", 0, "-900000000000000"),
          Line("G-2", "b", "22337203685477.50", 0, "-22337203685477.50")},
         true,
         "922337203685477.50",
         "-922337203685477.50"},
        {"a large quantity and its negative",
         {Line("G-1", "a", "900000000000000.00", 0, ""),
          Line("G-2", "b", "-900000000000000.00", 0, "")},
         true,
         "0.00",
         "0.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Exec("delete from DOC_HEADS");
        Exec("delete from DOC_ORDERS");
        TDocHead doc = Filled();
        doc.Lines = c.lines;
        notes.clear();
        EXPECT_EQ(SaveDocument(doc, kClock), c.saved);
        if (!c.saved) {
            EXPECT_EQ(notes.texts(), std::vector<std::string>{kDocTotalsTooLarge});
            EXPECT_TRUE(doc.GUID.empty());
            EXPECT_EQ(AllStored(), Rows{});
            continue;
        }
        EXPECT_EQ(
            test::queryRows("select printf('%.2f', ORD_WEIGHT), printf('%.2f', ORD_SUMM) from "
                            "DOC_HEADS"),
            (Rows{{c.weight, c.sum}}));
    }
}

// A GUID that names a column ("GUID", "DOC_ID", ...) is a value like any other: saving and
// deleting that document touch its own rows only.
TEST_F(DocumentStore, GuidsThatNameAColumnTouchOnlyTheirOwnRows) {
    for (const std::string guid : {"GUID", "DOC_ID", "CLI_GUID", "ORDER_ID", "G_GUID"}) {
        SCOPED_TRACE(guid);
        Exec("delete from DOC_HEADS");
        Exec("delete from DOC_ORDERS");
        Saved();
        Saved();
        const Rows others = AllStored();
        Exec("insert into DOC_HEADS (GUID, DOC_STATE, CLI_GUID, CLI_NAME) values ('" + guid +
             "', 1, 'C-1', 'Клиент')");
        Exec("insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values ('" +
             guid + "', 0, 'G-1', 'Чай', 1, 1), ('" + guid + "', 1, 'G-2', 'Кофе', 2, 2)");

        TDocHead doc = Loaded(guid);
        ASSERT_EQ(doc.Lines.size(), 2u);
        doc.CLI_NAME = "Новое имя";
        doc.Lines.pop_back();
        ASSERT_TRUE(SaveDocument(doc, kClock));
        EXPECT_EQ(
            test::queryRows("select CLI_NAME, ORD_LINES from DOC_HEADS where GUID='" + guid + "'"),
            (Rows{{"Новое имя", "1"}}));
        EXPECT_EQ(test::queryRows("select count(*) from DOC_ORDERS where DOC_ID='" + guid + "'"),
                  (Rows{{"1"}}));

        ASSERT_TRUE(DeleteDocument(guid));
        EXPECT_EQ(AllStored(), others);
    }
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(DocumentStore, LinesKeepTheirOrderAndNumbersCloseUpAfterADrop) {
    TDocHead doc = Filled();
    doc.Lines = {Line("G-3", "Третий", "3.00", 300), Line("G-1", "Первый", "1.00", 100),
                 Line("G-2", "Второй", "2.00", 200)};
    ASSERT_TRUE(SaveDocument(doc, kClock));
    TDocHead reopened = Loaded(doc.GUID);
    ASSERT_EQ(reopened.Lines.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(reopened.Lines[i].G_GUID, doc.Lines[i].G_GUID);
        EXPECT_EQ(reopened.Lines[i].G_NAME, doc.Lines[i].G_NAME);
        EXPECT_EQ(reopened.Lines[i].G_WT, doc.Lines[i].G_WT);
        EXPECT_EQ(reopened.Lines[i].PriceCents, doc.Lines[i].PriceCents);
    }
    reopened.Lines.erase(reopened.Lines.begin());
    ASSERT_TRUE(SaveDocument(reopened, kClock));
    EXPECT_EQ(test::queryRows("select ORDER_ID, G_GUID from DOC_ORDERS order by ORDER_ID"),
              (Rows{{"0", "G-1"}, {"1", "G-2"}}));
}

TEST_F(DocumentStore, QuotesAndLineBreaksInTextsSurvive) {
    const struct {
        std::string note;
        std::string stored;
    } cases[] = {
        {"O'Neil's \"best\"", "O'Neil's \"best\""},
        {"  первая\r\nвторая\rтретья\nчетвёртая  ", "первая вторая третья четвёртая"},
        {"a\tb\bc\r\n\r\nd", "a b c  d"},
        {"'); drop table DOC_HEADS; --", "'); drop table DOC_HEADS; --"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.note);
        TDocHead doc = Filled();
        doc.CLI_NAME = "Д'Артаньян и \"сыновья\"";
        doc.STR_PRIM = c.note;
        doc.Lines = {Line("G-'1", "Сыр \"Мааздам\" 'люкс'", "1.00", 100)};
        ASSERT_TRUE(SaveDocument(doc, kClock));  // insert
        ASSERT_TRUE(SaveDocument(doc, kClock));  // update
        const TDocHead back = Loaded(doc.GUID);
        EXPECT_EQ(back.CLI_NAME, doc.CLI_NAME);
        EXPECT_EQ(back.STR_PRIM, c.stored);
        ASSERT_EQ(back.Lines.size(), 1u);
        EXPECT_EQ(back.Lines[0].G_GUID, "G-'1");
        EXPECT_EQ(back.Lines[0].G_NAME, doc.Lines[0].G_NAME);
        ASSERT_TRUE(DeleteDocument(doc.GUID));
    }
    EXPECT_TRUE(notes.shown().empty());
}

// Lines as the office (or an earlier save) stored them are read into the shown forms and
// written back in the stored forms, with the totals of the header.
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
        {"2.5", "12.34", false, "2.50", 1234, "", "2.5", "12.34"},
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
        const std::string guid = Saved();
        Exec("delete from DOC_ORDERS");
        Exec("insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values ('" +
             guid + "', 0, 'G', 'Товар', " + c.storedWt + ", " + c.storedPrice + ")");

        TDocHead doc;
        NewDocument(doc, kClock);
        ASSERT_TRUE(LoadDocument(doc, guid, kClock));
        EXPECT_EQ(doc.UseSums, c.useSums);  // what the editor shows its sum column by
        ASSERT_EQ(doc.Lines.size(), 1u);
        EXPECT_EQ(doc.Lines[0].G_WT, c.shownWt);
        EXPECT_EQ(doc.Lines[0].PriceCents, c.cents);
        EXPECT_EQ(doc.Lines[0].Sum, c.sum);

        ASSERT_TRUE(SaveDocument(doc, kClock));
        EXPECT_EQ(test::queryRows("select G_WT, PRICE from DOC_ORDERS"),
                  (Rows{{c.writtenWt, c.writtenPrice}}));
        EXPECT_EQ(test::queryRows("select printf('%.2f', ORD_SUMM), printf('%.2f', ORD_WEIGHT) "
                                  "from DOC_HEADS"),
                  (Rows{{c.useSums ? c.sum : "0.00", c.shownWt}}));
        ASSERT_TRUE(DeleteDocument(guid));
    }
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(DocumentStore, AnEmptyQuantityIsStoredAsZeroAndCounted) {
    TDocHead doc = Filled();
    doc.Lines = {Line("G-1", "Чай", "2.50", 1234, "30.85"), Line("G-2", "Кофе", "", 500),
                 Line("G-3", "Соль", " 1,25 ", 10, "0.12")};
    ASSERT_TRUE(SaveDocument(doc, kClock));
    EXPECT_EQ(
        test::queryRows("select printf('%.2f', ORD_SUMM), printf('%.2f', ORD_WEIGHT), ORD_LINES "
                        "from DOC_HEADS"),
        (Rows{{"30.97", "3.75", "3"}}));
    EXPECT_EQ(test::queryRows("select G_WT, typeof(G_WT) from DOC_ORDERS order by ORDER_ID"),
              (Rows{{"2.5", "real"}, {"0.0", "real"}, {"1.25", "real"}}));
    EXPECT_EQ(Loaded(doc.GUID).Lines.at(1).G_WT, "0.00");
}

TEST_F(DocumentStore, AFailingStatementLeavesTheStoredDocumentAsItWas) {
    const std::string headInsert =
        "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, REC_TIME, "
        "CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, SKU_LINES, PRC_LINES, STR_BASIS, "
        "STR_PRIM, GPS_X, GPS_Y, GPS_Z) values ('";
    const struct {
        bool isNew;
        const char* trigger;
        std::string failing;  // the start of the statement shown
    } cases[] = {
        {true, "before insert on DOC_HEADS", headInsert},
        {true, "before insert on DOC_ORDERS when NEW.ORDER_ID = 1",
         "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values ('"},
        {false, "before update on DOC_HEADS", "update DOC_HEADS set DOC_DATE='2027-01-15', "},
        {false, "before delete on DOC_ORDERS", "delete from DOC_ORDERS where (DOC_ID='"},
        {false, "before insert on DOC_ORDERS when NEW.ORDER_ID = 2", "insert into DOC_ORDERS"},
    };
    const std::string kept = Saved();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.trigger);
        TDocHead doc = c.isNew ? Filled() : Loaded(kept);
        doc.CLI_NAME = "Новое имя";
        doc.Lines.push_back(Line("G-9", "Новый", "5.00", 500));
        doc.Modified = true;
        Exec(std::string("create trigger FAIL_SAVE ") + c.trigger +
             " begin select raise(abort, 'отказ'); end");
        const Rows before = AllStored();
        notes.clear();

        EXPECT_FALSE(SaveDocument(doc, kClock));
        EXPECT_TRUE(doc.Modified);
        EXPECT_EQ(doc.GUID, c.isNew ? "" : kept);  // a new document stays new
        EXPECT_EQ(AllStored(), before);
        // The library's text first, then the rejected statement itself.
        ASSERT_EQ(notes.shown().size(), 2u);
        EXPECT_NE(notes.shown()[0].text.find("отказ"), std::string::npos);
        const std::string& shown = notes.shown()[1].text;
        ASSERT_EQ(shown.rfind(c.failing, 0), 0u) << shown;
        if (c.failing == headInsert) {
            const std::string tried = shown.substr(headInsert.size(), 36);
            EXPECT_EQ(shown, headInsert + tried + "', 0, 0, '2027-01-15', \"б/н\", 1, " +
                                 DateToSqlText(kClock.Today()) +
                                 ", 'C1C1C1C1-0000-0000-0000-000000000001', 'Новое имя', "
                                 "0.00, 8.50, 3, 0, 0, \"\", 'O''Neil', 0, 0, 0)");
        }

        // With the cause gone the same document saves: inserted once, or updated.
        Exec("drop trigger FAIL_SAVE");
        ASSERT_TRUE(SaveDocument(doc, kClock));
        EXPECT_EQ(test::queryRows("select count(*) from DOC_HEADS where CLI_NAME='Новое имя'"),
                  (Rows{{"1"}}));
        EXPECT_EQ(
            test::queryRows("select count(*) from DOC_ORDERS where DOC_ID='" + doc.GUID + "'"),
            (Rows{{std::to_string(doc.Lines.size())}}));
        if (c.isNew) {
            ASSERT_TRUE(DeleteDocument(doc.GUID));
        }
    }
}

TEST_F(DocumentStore, DeleteRemovesTheRowsOfAllFourTablesAndOnlyThose) {
    const std::string gone = Saved();
    const std::string kept = Saved();
    for (const std::string& g : {gone, kept}) {
        Exec("insert into DOC_SKUS (DOC_ID, ORDER_ID, G_GUID) values ('" + g + "', 0, 'S')");
        Exec("insert into DOC_COMPETS (DOC_ID, ORDER_ID, CLI_GUID) values ('" + g + "', 0, 'K')");
    }
    const std::string counts =
        "select (select count(*) from DOC_HEADS), (select count(*) from DOC_ORDERS), "
        "(select count(*) from DOC_SKUS), (select count(*) from DOC_COMPETS)";
    ASSERT_EQ(test::queryRows(counts), (Rows{{"2", "4", "2", "2"}}));

    EXPECT_TRUE(DeleteDocument(gone));
    EXPECT_EQ(test::queryRows(counts), (Rows{{"1", "2", "1", "1"}}));
    EXPECT_EQ(
        test::queryRows("select GUID from DOC_HEADS union select DOC_ID from DOC_ORDERS union "
                        "select DOC_ID from DOC_SKUS union select DOC_ID from DOC_COMPETS"),
        (Rows{{kept}}));
    // Unknown GUIDs succeed and change nothing.
    EXPECT_TRUE(DeleteDocument(gone));
    EXPECT_TRUE(DeleteDocument(kNullGuid));
    EXPECT_EQ(test::queryRows(counts), (Rows{{"1", "2", "1", "1"}}));
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(DocumentStore, LoadReadsStoredDatesAndCopesWithAMissingHeader) {
    const std::string guid = Saved();
    const std::pair<const char*, DateTime> dates[] = {{"'2026-12-06'", EncodeDate(2026, 12, 6)},
                                                      {"'06.12.2026'", EncodeDate(2026, 12, 6)},
                                                      {"46000", 46000},
                                                      {"'31.02.2026'", kClock.Today()},
                                                      {"NULL", kClock.Today()}};
    for (const auto& [stored, expected] : dates) {
        Exec(std::string("update DOC_HEADS set DOC_DATE=") + stored);
        EXPECT_EQ(Loaded(guid).DOC_DATE, expected) << stored;
    }
    EXPECT_TRUE(notes.shown().empty());

    // Nothing is read for an empty or the null GUID.
    for (const std::string g : {"   ", kNullGuid}) {
        TDocHead doc;
        doc.Lines = {Line("X", "x", "1.00", 1)};
        EXPECT_TRUE(LoadDocument(doc, g, kClock));
        EXPECT_EQ(doc.Lines.size(), 1u);
    }

    // The header is gone: the message, and the lines still come. Saving that document would
    // leave lines without a header, so it is refused with nothing written.
    Exec("delete from DOC_HEADS");
    TDocHead doc;
    NewDocument(doc, kClock);
    EXPECT_FALSE(LoadDocument(doc, guid, kClock));
    EXPECT_EQ(doc.Lines.size(), 2u);
    doc.CLI_GUID = "C";
    doc.CLI_NAME = "Клиент";
    EXPECT_FALSE(SaveDocument(doc, kClock));
    EXPECT_EQ(notes.texts(), (std::vector<std::string>(2, "Не удалось прочитать заголовок.")));
    EXPECT_EQ(test::queryRows("select count(*) from DOC_HEADS"), (Rows{{"0"}}));
}

}  // namespace
}  // namespace velmorant
