// What a client ordered before, and a new order made from an earlier one, on a real base.sdb.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/db/Dates.h"
#include "core/db/QueryResult.h"
#include "core/documents/Document.h"
#include "core/documents/EarlierOrders.h"
#include "core/documents/RepeatOrder.h"
#include "support/FixedClock.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

// The documents' clock: "today" stays one day however long the tests run.
const test::FixedClock kClock;

void Exec(const std::string& sql) { ASSERT_NE(Query(sql), nullptr) << sql; }

std::string Cell(const std::string& sql) {
    auto q = Query(sql);
    if (!q || q->RowCount() == 0) return "<none>";
    q->First();
    return q->Cell(0);
}

// A document as the device stores it, with lines "GUID|name|quantity|price".
void StoreDocument(const std::string& guid, const std::string& client, const std::string& docDate,
                   const std::string& recTime, const std::vector<std::vector<std::string>>& lines,
                   const std::string& state = "1") {
    Exec(
        "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, REC_TIME, "
        "CLI_GUID, CLI_NAME, STR_PRIM) values (\"" +
        guid + "\", 0, 0, \"" + docDate + "\", \"б/н\", " + state + ", \"" + recTime + "\", '" +
        client + "', 'Имя при записи', 'Доставка до 12:00')");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& l = lines[i];
        Exec("insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values ('" +
             guid + "', " + std::to_string(i) + ", '" + l[0] + "', '" + l[1] + "', " + l[2] + ", " +
             l[3] + ")");
    }
}

class ClientOrders : public ::testing::Test {
protected:
    void SetUp() override {
        Exec(
            "insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, "
            "INFO) values ('C-1', 1, 0, 0, 0, 'ООО Ромашка', 'ромашка', 'ул. Садовая, 1|тел. 2'),"
            "('C-BAN', 2, 0, 0, 1, 'ИП Запретов', 'запретов', ''),"
            "('C-2', 3, 0, 0, 0, 'Иванов', 'иванов', '')");
        Exec(
            "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE) "
            "values ('F-1', 1, 0, 1, 0, 'Напитки', '1', 0),"
            "('G-KVASS', 10, 1, 0, 0, 'Квас хлебный', 'a', 36.5),"
            "('G-WATER', 11, 1, 0, 0, 'Вода', 'b', 20),"
            "('G-RICE', 12, 1, 0, 0, 'Рис', 'c', 80),"
            "('G-JUICE', 13, 1, 0, 0, 'Сок', 'd', 55),"
            "('G-FOLDER', 14, 0, 1, 0, 'Бывший товар, теперь папка', 'e', 0)");
    }

    test::TempProgramFolder folder;
    test::RecordingNotifier notes;
};

std::vector<std::string> Summary(const std::vector<EarlierGoods>& goods) {
    std::vector<std::string> out;
    for (const EarlierGoods& g : goods) {
        out.push_back(g.G_GUID + " " + MoneyToText(g.quantity, 2, false) + " " +
                      (g.date > 0 ? DateToText(g.date) : "?"));
    }
    return out;
}

TEST_F(ClientOrders, EarlierGoodsComeNewestFirstWithTheirLastQuantity) {
    StoreDocument("D-JAN", "C-1", "2026-01-10", "2026-01-09",
                  {{"G-KVASS", "Квас", "2", "30"}, {"G-RICE", "Рис", "1", "75"}});
    StoreDocument("D-FEB", "C-1", "2026-02-05", "2026-02-01",
                  {{"G-WATER", "Вода", "3", "20"},
                   {"G-KVASS", "Квас", "5", "30"},
                   {"G-JUICE", "Сок", "0", "55"}});  // a zero quantity is no order
    // Same shipment date as D-FEB but written later: its goods count as newer.
    StoreDocument("D-FEB2", "C-1", "2026-02-05", "2026-02-03", {{"G-JUICE", "Сок", "4", "55"}},
                  "2");
    // Written last but shipped earliest: the order date decides.
    StoreDocument("D-OLD", "C-1", "2025-12-20", "2026-03-01", {{"G-WATER", "Вода", "9", "20"}});
    StoreDocument("D-OTHER", "C-2", "2026-03-01", "2026-03-01", {{"G-RICE", "Рис", "7", "80"}});
    StoreDocument("D-NOW", "C-1", "2026-03-05", "2026-03-05", {{"G-RICE", "Рис", "9", "80"}});

    EXPECT_EQ(Summary(ReadEarlierGoods("C-1", "D-NOW")),
              (std::vector<std::string>{"G-JUICE 4.00 05.02.2026", "G-WATER 3.00 05.02.2026",
                                        "G-KVASS 5.00 05.02.2026", "G-RICE 1.00 10.01.2026"}));
    // A new document (no GUID yet) sees every document of its client.
    EXPECT_EQ(Summary(ReadEarlierGoods(" C-1 ", "")).front(), "G-RICE 9.00 05.03.2026");
    EXPECT_EQ(Summary(ReadEarlierGoods("C-2", "")),
              std::vector<std::string>{"G-RICE 7.00 01.03.2026"});
    EXPECT_TRUE(ReadEarlierGoods("", "").empty());
    EXPECT_TRUE(ReadEarlierGoods("C-NONE", "").empty());
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(ClientOrders, RepeatTakesTodaysPricesAndNamesWhatIsGone) {
    Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseSUMS', '1')");
    StoreDocument("D-SRC", "C-1", "2026-01-10", "2026-01-09",
                  {{"G-KVASS", "Квас", "2", "30"},
                   {"G-GONE", "Морс клюквенный", "1", "40"},
                   {"G-RICE", "Рис", "0", "75"},  // set to zero: not repeated
                   {"G-WATER", "Вода", "1.5", "18"},
                   {"G-FOLDER", "Лимонад", "2", "10"}},
                  "2");
    RepeatOrder order;
    ASSERT_TRUE(BuildRepeatOrder("D-SRC", kClock, order));
    const TDocHead& doc = order.doc;
    EXPECT_EQ(doc.GUID, "");
    EXPECT_EQ(doc.DOC_STATE, 0);
    EXPECT_EQ(doc.statusText, kDocStatusNew);
    EXPECT_EQ(doc.DOC_DATE, kClock.Today());
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(doc.CLI_GUID, "C-1");
    EXPECT_EQ(doc.CLI_NAME, "ООО Ромашка");  // the directory's name now
    EXPECT_EQ(doc.STR_PRIM, "");             // the note belonged to that delivery
    EXPECT_EQ(order.clientInfo, "ул. Садовая, 1|тел. 2");
    ASSERT_EQ(doc.Lines.size(), 2u);
    EXPECT_EQ(doc.Lines[0].G_GUID, "G-KVASS");
    EXPECT_EQ(doc.Lines[0].G_NAME, "Квас хлебный");
    EXPECT_EQ(doc.Lines[0].G_WT, "2.00");
    EXPECT_EQ(doc.Lines[0].PriceCents, 3650);
    EXPECT_EQ(doc.Lines[0].Sum, "73.00");
    EXPECT_EQ(doc.Lines[1].G_GUID, "G-WATER");
    EXPECT_EQ(doc.Lines[1].G_WT, "1.50");
    EXPECT_EQ(doc.Lines[1].Sum, "30.00");
    EXPECT_EQ(order.missing, (std::vector<std::string>{"Морс клюквенный", "Лимонад"}));
    EXPECT_EQ(MissingGoodsMessage(order.missing),
              "Этих товаров больше нет в справочнике, в заявку они не вошли:\r\nМорс "
              "клюквенный\r\nЛимонад");
    EXPECT_EQ(Cell("select count(*) from DOC_HEADS"), "1");  // nothing stored yet

    // Saved, it is a document of its own: a new GUID, state 1, written today; the earlier
    // one is untouched.
    TDocHead copy = order.doc;
    ASSERT_TRUE(SaveDocument(copy, kClock));
    EXPECT_EQ(copy.GUID.size(), 36u);
    EXPECT_EQ(Cell("select DOC_STATE from DOC_HEADS where GUID='" + copy.GUID + "'"), "1");
    EXPECT_EQ(Cell("select REC_TIME from DOC_HEADS where GUID='" + copy.GUID + "'"),
              DateToIso(kClock.Today()));
    EXPECT_EQ(Cell("select DOC_DATE from DOC_HEADS where GUID='" + copy.GUID + "'"),
              DateToIso(kClock.Today()));
    EXPECT_EQ(Cell("select count(*) from DOC_ORDERS where DOC_ID='D-SRC'"), "5");
    EXPECT_EQ(Cell("select DOC_STATE from DOC_HEADS where GUID='D-SRC'"), "2");
    EXPECT_TRUE(notes.shown().empty());
}

TEST_F(ClientOrders, RepeatRefusesWhatCannotBeOrdered) {
    StoreDocument("D-BAN", "C-BAN", "2026-01-10", "2026-01-09", {{"G-KVASS", "Квас", "2", "30"}});
    StoreDocument("D-LOST", "C-LOST", "2026-01-10", "2026-01-09", {{"G-KVASS", "Квас", "2", "30"}});
    RepeatOrder order;
    order.clientInfo = "untouched";

    // Shipment to the client is forbidden now: refused as the client picker refuses it.
    EXPECT_FALSE(BuildRepeatOrder("D-BAN", kClock, order));
    ASSERT_EQ(notes.shown().size(), 1u);
    EXPECT_EQ(notes.shown()[0].text, kClientForbidden);
    EXPECT_EQ(notes.shown()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(order.clientInfo, "untouched");

    // A document that is gone.
    notes.clear();
    EXPECT_FALSE(BuildRepeatOrder("D-NONE", kClock, order));
    EXPECT_EQ(notes.texts(), std::vector<std::string>{kDocHeaderNotRead});
    EXPECT_FALSE(BuildRepeatOrder("  ", kClock, order));

    // A client the directory no longer has keeps the name the document was stored with.
    notes.clear();
    ASSERT_TRUE(BuildRepeatOrder("D-LOST", kClock, order));
    EXPECT_EQ(order.doc.CLI_GUID, "C-LOST");
    EXPECT_EQ(order.doc.CLI_NAME, "Имя при записи");
    EXPECT_EQ(order.clientInfo, "");
    EXPECT_TRUE(order.missing.empty());
    EXPECT_TRUE(notes.shown().empty());
}

}  // namespace
}  // namespace velmorant
