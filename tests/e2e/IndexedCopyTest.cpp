// The device's indexes change nothing that the agent or the office sees: the export file, the
// journal's rows and the pickers' lists are the same, byte for byte, on a copy of a database
// that carries the indexes and on one that has none. The rows are stored in an order that no
// index gives, with ties and duplicates where the indexes' keys would decide.
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/db/Database.h"
#include "core/db/Indexes.h"
#include "core/db/QueryResult.h"
#include "core/documents/EarlierOrders.h"
#include "core/exchange/Export.h"
#include "core/journal/OfficeMessages.h"
#include "screens/documents/ClientPicker.h"
#include "screens/documents/GoodsPicker.h"
#include "screens/journal/JournalWindow.h"
#include "support/Controls.h"
#include "support/FixedClock.h"
#include "support/RecordingScreen.h"
#include "support/TestSupport.h"

using namespace velmorant;
namespace fs = std::filesystem;

namespace {

std::string num(int n) { return std::to_string(n); }

// A small but awkward three months: documents stored out of date order, half of them waiting
// to be sent, their lines stored interleaved; goods and clients whose sort names tie; a GUID
// stored twice.
std::vector<std::string> seed() {
    std::vector<std::string> sql = {"begin",
                                    "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values "
                                    "('UseSUMS', '1')"};
    for (int f = 1; f <= 4; ++f) {
        sql.push_back(
            "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE) "
            "values ('F" +
            num(f) + "', " + num(f) + ", " + (f == 4 ? "1" : "0") + ", 1, 'Папка " + num(f) +
            "', 'SAME', 0)");
    }
    for (int g = 0; g < 60; ++g) {
        const int id = 100 + (g * 37) % 60;
        const std::string guid = g == 59 ? "G" + num(100) : "G" + num(id);  // one GUID twice
        sql.push_back(
            "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE) "
            "values ('" +
            guid + "', " + num(id) + ", " + num(1 + g % 4) + ", 0, 'Товар " + num(id) + "', '" +
            (g % 3 == 0 ? std::string("TIE") : "U" + num((g * 7) % 11)) + "', " + num(g) + ".5)");
    }
    for (int c = 0; c < 20; ++c) {
        sql.push_back(
            "insert into SPR_CLIENTS (GUID, IS_FOLDER, IS_DELETED, ANAME, UNAME, INFO) "
            "values ('C" +
            num((c * 7) % 20) + "', 0, 0, 'Клиент " + num(c) + "', '" +
            (c % 2 ? std::string("TIE") : "K" + num(c % 5)) + "', '')");
    }
    for (int d = 0; d < 40; ++d) {
        const int day = 1 + (d * 13) % 28;
        const std::string month = d % 3 == 0 ? "04" : "05";
        const std::string date = "2024-" + month + "-" + (day < 10 ? "0" : "") + num(day);
        const std::string guid = "D" + num((d * 17) % 40 + 10);
        sql.push_back(
            "insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
            "REC_TIME, CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES, STR_PRIM) "
            "values ('" +
            guid + "', 0, 0, '" + date + "', 'б/н', " + num(1 + d % 2) + ", '" + date + "', 'C" +
            num(d % 3) + "', 'Клиент " + num(d % 3) + "', " + num(d * 3) + ".25, " + num(d % 7) +
            ", 3, 'примечание " + num(d) + "')");
    }
    // Lines: the third of each document first, then the first two, documents interleaved,
    // and two lines of one document with the same number.
    for (int pass = 0; pass < 2; ++pass) {
        for (int d = 39; d >= 0; --d) {
            const std::string doc = "D" + num((d * 17) % 40 + 10);
            for (int line = pass == 0 ? 3 : 1; line <= (pass == 0 ? 3 : 2); ++line) {
                sql.push_back(
                    "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, "
                    "PRICE) values ('" +
                    doc + "', " + num(d == 5 ? 1 : line) + ", 'G" + num(100 + (d + line) % 60) +
                    "', 'Товар " + num(d + line) + "', " + num(line) + ", 1.5)");
            }
        }
    }
    for (int m = 0; m < 6; ++m) {
        sql.push_back("insert into MY_MESSAGES (GUID, M_DATE, S_TITLE, S_BODY, IS_NEW) values ('M" +
                      num(5 - m) + "', '0" + num(1 + m % 2) + ".05.2024', 'тема " + num(m) +
                      "', 'текст', 1)");
    }
    sql.push_back("commit");
    return sql;
}

int deviceIndexCount() {
    return static_cast<int>(
        test::queryRows("select name from sqlite_master where type = 'index' and name glob "
                        "'MY_IX_*'")
            .size());
}

}  // namespace

class IndexedCopyTest : public QObject {
    Q_OBJECT
private slots:
    void sameTextsWithAndWithoutIndexes();

private:
    // Everything the agent and the office see of the database at DatabasePath(), as text.
    std::string seen(const fs::path& exportFolder);
    test::FixedClock m_clock;
};

std::string IndexedCopyTest::seen(const fs::path& exportFolder) {
    std::string out;
    // The export, as the office receives it.
    test::RecordingScreen screen;
    if (!ExportDocuments(screen, exportFolder.string())) return "export failed";
    out += test::readFile(exportFolder / "PDATo1C.xml") + "\n";

    // The journal: all documents, a month, a day.
    JournalWindow journal(JournalScreens(), m_clock);
    journal.loadTimer()->stop();
    const DateTime may1 = EncodeDate(2024, 5, 1);
    const std::vector<std::pair<DateTime, DateTime>> periods = {
        {0, 0},
        {may1, EncodeDate(2024, 5, 31)},
        {EncodeDate(2024, 5, 14), EncodeDate(2024, 5, 14)}};
    for (const auto& [start, end] : periods) {
        journal.loadRows(start, end);
        QTableView* list = journal.documentList();
        for (int r = 0; r < test::RowCount(list); ++r) {
            for (int c = 0; c < list->model()->columnCount(); ++c)
                out += test::CellText(list, r, c).toStdString() + "|";
            out += "\n";
        }
    }

    // The goods picker: every folder of the drop-down, each opened, with its goods.
    TGoodsPicker goods;
    goods.Load("G100\t2\r\nG101\t3");
    QTreeWidget* tree = goods.folderTree();
    QList<QTreeWidgetItem*> folders;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) folders << *it;
    for (QTreeWidgetItem* folder : folders) {
        tree->setCurrentItem(folder);
        goods.openSelectedFolder();
        out += folder->text(0).toStdString() + ": " +
               test::Column(goods.goodsList(), 0).join(",").toStdString() + "\n";
    }
    goods.confirm();
    for (const std::string& line : goods.Result()) out += line + "\n";

    // The client picker, " Ранее " and the office's messages.
    ClientPicker clients;
    clients.fill("SPR_CLIENTS", "");
    out += test::Column(clients.list(), 0).join(",").toStdString() + "\n";
    for (const EarlierGoods& g : ReadEarlierGoods("C1", "")) out += g.G_GUID + "," + g.G_NAME + ";";
    out += "\n";
    for (const OfficeMessage& m : ReadOfficeMessages()) out += m.GUID + ",";
    return out;
}

void IndexedCopyTest::sameTextsWithAndWithoutIndexes() {
    test::RecordingNotifier boxes;
    test::TempProgramFolder indexed;
    test::execSql(seed());
    QCOMPARE(deviceIndexCount(), int(kDeviceIndexes.size()));

    // The same file without the device's indexes, as a file of an earlier version was.
    test::TempDir plain;
    fs::create_directories(plain / "data");
    fs::copy_file(indexed.dbPath(), plain / "data" / "base.sdb");
    SetProgramFolder(plain.str());
    SetDatabasePath((plain / "data" / "base.sdb").string());
    for (const DeviceIndex& index : kDeviceIndexes)
        test::execSql({std::string("drop index ") + index.name});
    QCOMPARE(deviceIndexCount(), 0);
    const std::string withoutIndexes = seen(plain / "out");

    SetProgramFolder(indexed.str());
    SetDatabasePath(indexed.dbPath());
    const std::string withIndexes = seen(indexed / "out");

    QCOMPARE(withIndexes, withoutIndexes);
    QVERIFY(boxes.shown().empty());
    // The rows are such that an index, left to choose the order, would give another one.
    QVERIFY(test::joinedRows("select GUID from DOC_HEADS where REC_TIME between '2024-05-01' and "
                             "'2024-05-31'") !=
            test::joinedRows("select GUID from DOC_HEADS where REC_TIME between '2024-05-01' and "
                             "'2024-05-31' order by rowid"));
    QVERIFY(withIndexes.find("<DOC ID=\"D") != std::string::npos);
    QVERIFY(withIndexes.find("Папка 4: ") != std::string::npos);
}

QTEST_MAIN(IndexedCopyTest)
#include "IndexedCopyTest.moc"
