#include "core/documents/Catalogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "support/TestSupport.h"

namespace velmorant {
namespace {

struct Row {
    std::string id, rootId, isFolder, aname, uname, guid, price;
};

// A real base.sdb in a temporary program folder, with SPR_GOODS filled from rows.
class CatalogueTest : public ::testing::Test {
protected:
    void fill(const std::vector<Row>& rows) {
        auto q = TQueryResult::Create(DatabasePath(), true);
        ASSERT_TRUE(q);
        ASSERT_TRUE(q->Exec("begin; delete from SPR_GOODS"));
        for (const Row& r : rows) {
            ASSERT_TRUE(
                q->Exec("insert into SPR_GOODS (ID, ROOTID, IS_FOLDER, ANAME, UNAME, GUID, PRICE) "
                        "values (?, ?, ?, ?, ?, ?, ?)",
                        {Trim(r.id), Trim(r.rootId), Trim(r.isFolder), Trim(r.aname), Trim(r.uname),
                         Trim(r.guid), Trim(r.price)}));
        }
        ASSERT_TRUE(q->Exec("commit"));
    }

    // The tree as text: "A(B,C(D)),E".
    std::string tree(const Catalogue& c) {
        std::string out;
        dump(c, c.TopFolders(), out);
        return out;
    }
    void dump(const Catalogue& c, const std::vector<int>& nodes, std::string& out) {
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            if (i) out += ',';
            const FolderNode& n = c.Folders()[static_cast<std::size_t>(nodes[i])];
            out += c.Records()[static_cast<std::size_t>(n.record)].ANAME;
            if (!n.children.empty()) {
                out += '(';
                dump(c, n.children, out);
                out += ')';
            }
        }
    }
    // The names of the goods listed when the folder named `folder` is opened.
    std::string goods(const Catalogue& c, const std::string& folder) {
        int index = -1;
        for (std::size_t i = 0; i < c.Records().size(); ++i) {
            if (c.Records()[i].ANAME == folder) index = static_cast<int>(i);
        }
        std::string out;
        for (int g : c.GoodsOf(index)) {
            if (!out.empty()) out += ',';
            out += c.Records()[static_cast<std::size_t>(g)].ANAME;
        }
        return out;
    }

    test::TempProgramFolder m_folder;
    test::RecordingNotifier m_notifier;
};

// Two top-level folders whose UNAME order is the reverse of their ANAME order, a sub-folder,
// and goods directly in each.
const std::vector<Row> kShop = {
    {"1", "0", "1", "Напитки", "2", "F-DRINKS", ""},
    {"2", "0", "1", "Бакалея", "1", "F-GROCERY", ""},
    {"3", "1", "1", "Соки", "3", "F-JUICE", ""},
    {"10", "1", "0", "Вода", "b", "G-WATER", "20.5"},
    {"11", "1", "0", "Квас", "a", "G-KVASS", "35"},
    {"12", "3", "0", "Сок яблочный", "c", "G-APPLE", "80"},
    {"13", "2", "0", "Рис", "d", "G-RICE", "0"},
};

TEST_F(CatalogueTest, FoldersAndGoodsFollowUnameAndOnlyDirectGoodsAreListed) {
    fill(kShop);
    Catalogue c;
    ASSERT_TRUE(c.Load(""));
    EXPECT_EQ(tree(c), "Бакалея,Напитки(Соки)");
    const struct {
        const char* folder;
        const char* goods;
    } cases[] = {
        {"Напитки", "Квас,Вода"},  // UNAME a before b; the juice of the sub-folder is not here
        {"Соки", "Сок яблочный"},
        {"Бакалея", "Рис"},
        {"Сок яблочный", ""},  // a goods item holds no goods
    };
    for (const auto& tc : cases) EXPECT_EQ(goods(c, tc.folder), tc.goods) << tc.folder;
    EXPECT_TRUE(m_notifier.shown().empty());
}

TEST_F(CatalogueTest, ChosenQuantitiesLastLineWinsAndUnknownOnesChangeNothing) {
    fill(kShop);
    const struct {
        const char* name;
        std::string chosen;
        std::vector<std::string> result;
    } cases[] = {
        {"last of two wins",
         "G-WATER\t2\r\nG-WATER\t3,5\r\n",
         {"G-WATER\t3.50\tВода\t20.50\t71.75"}},
        {"unknown GUID and wrong case ignored",
         "G-NOSUCH\t5\r\ng-water\t1\r\nG-RICE\t4",
         {"G-RICE\t4.00\tРис\t0.00\t0.00"}},
        {"line without TAB and unreadable quantity",
         "G-KVASS\r\nG-WATER\tabc\r\n G-APPLE \t 1.5 \r\n",
         {"G-APPLE\t1.50\tСок яблочный\t80.00\t120.00"}},
        {"result in catalogue order",
         "G-RICE\t1\r\nG-KVASS\t2\r\n",
         {"G-KVASS\t2.00\tКвас\t35.00\t70.00", "G-RICE\t1.00\tРис\t0.00\t0.00"}},
        {"nothing chosen", "", {}},
    };
    for (const auto& tc : cases) {
        Catalogue c;
        ASSERT_TRUE(c.Load(tc.chosen));
        EXPECT_EQ(c.ResultLines(), tc.result) << tc.name;
    }
}

TEST_F(CatalogueTest, SetQuantityKeepsSumAndZeroDropsTheLine) {
    fill(kShop);
    Catalogue c;
    ASSERT_TRUE(c.Load("G-KVASS\t2\r\n"));
    int water = -1, kvass = -1;
    for (std::size_t i = 0; i < c.Records().size(); ++i) {
        if (c.Records()[i].GUID == "G-WATER") water = int(i);
        if (c.Records()[i].GUID == "G-KVASS") kvass = int(i);
    }
    c.SetQuantity(water, 3 * kMoneyScale + 3333);  // 3.3333 x 20.5 = 68.33265 -> 68.3326
    c.SetQuantity(kvass, 0);
    EXPECT_EQ(c.Records()[std::size_t(water)].sum, 683326);
    EXPECT_EQ(c.ResultLines(), std::vector<std::string>{"G-WATER\t3.33\tВода\t20.50\t68.33"});
}

TEST_F(CatalogueTest, UnreachableGoodsStayChosenAndAreReturned) {
    fill({
        {"1", "0", "1", "Top", "1", "F-TOP", ""},
        {"2", "99", "1", "Orphan folder", "2", "F-ORPHAN", ""},  // ROOTID names no record
        {"3", "2", "0", "Hidden", "3", "G-HIDDEN", "10"},
        {"4", "77", "0", "Lost", "4", "G-LOST", "1"},
        {"5", "1", "0", "Seen", "5", "G-SEEN", "2"},
    });
    Catalogue c;
    ASSERT_TRUE(c.Load("G-HIDDEN\t2\r\nG-LOST\t1\r\nG-SEEN\t1\r\n"));
    EXPECT_EQ(tree(c), "Top");
    EXPECT_EQ(goods(c, "Top"), "Seen");
    EXPECT_EQ(c.ResultLines(), (std::vector<std::string>{"G-HIDDEN\t2.00\tHidden\t10.00\t20.00",
                                                         "G-LOST\t1.00\tLost\t1.00\t1.00",
                                                         "G-SEEN\t1.00\tSeen\t2.00\t2.00"}));
}

TEST_F(CatalogueTest, BrokenHierarchiesNeverHangAndPlaceEachFolderOnce) {
    const struct {
        const char* name;
        std::vector<Row> rows;
        std::string tree;
    } cases[] = {
        {"folder is its own parent",
         {{"1", "0", "1", "A", "1", "a", ""}, {"2", "2", "1", "Self", "2", "s", ""}},
         "A"},
        {"cycle through a duplicate ID",
         {{"1", "0", "1", "A", "1", "a", ""},
          {"2", "1", "1", "B", "2", "b", ""},
          {"1", "2", "1", "C", "3", "c", ""}},  // C repeats A's ID under B
         "A(B)"},
        {"two-folder cycle away from the top",
         {{"1", "0", "1", "A", "1", "a", ""},
          {"5", "6", "1", "X", "2", "x", ""},
          {"6", "5", "1", "Y", "3", "y", ""}},
         "A"},
        {"duplicate parents do not repeat a subtree",
         {{"1", "0", "1", "A", "1", "a", ""},
          {"1", "0", "1", "A2", "2", "a2", ""},
          {"2", "1", "1", "Kid", "3", "k", ""}},
         "A(Kid),A2"},
        {"a goods item as parent hides the folder",
         {{"1", "0", "1", "A", "1", "a", ""},
          {"2", "1", "0", "Item", "2", "i", ""},
          {"3", "2", "1", "Under item", "3", "u", ""}},
         "A"},
        {"no top-level folder", {{"1", "3", "1", "A", "1", "a", ""}}, ""},
        {"empty catalogue", {}, ""},
    };
    for (const auto& tc : cases) {
        fill(tc.rows);
        Catalogue c;
        ASSERT_TRUE(c.Load(""));
        EXPECT_EQ(tree(c), tc.tree) << tc.name;
    }
}

TEST_F(CatalogueTest, DuplicateIdsLinkToTheFirstRecord) {
    fill({
        {"1", "0", "1", "First", "1", "f1", ""},
        {"1", "0", "1", "Second", "2", "f2", ""},
        {"2", "1", "0", "Item", "3", "g", "1"},
    });
    Catalogue c;
    ASSERT_TRUE(c.Load(""));
    EXPECT_EQ(goods(c, "First"), "Item");
    EXPECT_EQ(goods(c, "Second"), "");
}

TEST_F(CatalogueTest, DeepChainIsBuiltWithoutRecursion) {
    // 20 000 nested folders: a recursive builder would need a stack frame per level.
    constexpr int kDepth = 20000;
    Catalogue c;
    for (int i = 1; i <= kDepth; ++i) {
        c.AddRow(std::to_string(i), std::to_string(i - 1), "1", "F" + std::to_string(i), "", "",
                 "");
    }
    c.LinkParents();
    c.BuildTree();
    ASSERT_EQ(c.Folders().size(), std::size_t(kDepth));
    EXPECT_EQ(c.Folders().back().parentNode, kDepth - 2);
}

TEST_F(CatalogueTest, NumbersAreReadLeniently) {
    const struct {
        const char* text;
        std::int32_t value;
    } ints[] = {
        {"12", 12},
        {" 12.0 ", 12},
        {"+7", 7},
        {"-3", -3},
        {"abc", 0},
        {"", 0},
        {"4x5", 4},
        {"-", 0},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
    };
    for (const auto& tc : ints) EXPECT_EQ(ReadLeadingInt(tc.text), tc.value) << tc.text;

    fill({
        {"1.0", "-4", "1", " Top ", "1", " F ", ""},
        {"x", "1", "0", "Skipped", "2", "X", "5"},  // no ID: not loaded
        {"0", "1", "0", "Zero id", "3", "Z", "5"},  // ID below 1: not loaded
        {"7", "1.9", "0", "Item", "4", "G", "1,25"},
        {"8", "1", "0", "Bad price", "5", "B", "n/a"},
    });
    Catalogue c;
    ASSERT_TRUE(c.Load(""));
    ASSERT_EQ(c.Records().size(), 3u);
    EXPECT_EQ(c.Records()[0].ROOTID, 0);
    EXPECT_EQ(c.Records()[0].ANAME, "Top");
    EXPECT_EQ(c.Records()[0].GUID, "F");
    EXPECT_EQ(c.Records()[1].PRICE, 12500);
    EXPECT_EQ(c.Records()[2].PRICE, 0);
    EXPECT_EQ(goods(c, "Top"), "Item,Bad price");
}

TEST_F(CatalogueTest, MissingTableShowsTheLibraryMessageAndGivesAnEmptyCatalogue) {
    {
        auto q = TQueryResult::Create(DatabasePath(), true);
        ASSERT_TRUE(q && q->Exec("drop table SPR_GOODS"));
    }
    Catalogue c;
    EXPECT_FALSE(c.Load("G\t1\r\n"));
    EXPECT_TRUE(c.Records().empty());
    EXPECT_TRUE(c.TopFolders().empty());
    EXPECT_TRUE(c.ResultLines().empty());
    ASSERT_EQ(m_notifier.shown().size(), 1u);
    EXPECT_NE(m_notifier.shown()[0].text.find("SPR_GOODS"), std::string::npos);
}

TEST_F(CatalogueTest, ReleaseEmptiesAndReloadStartsAfresh) {
    fill(kShop);
    Catalogue c;
    ASSERT_TRUE(c.Load("G-WATER\t1\r\n"));
    c.Release();
    EXPECT_TRUE(c.Records().empty());
    EXPECT_TRUE(c.Folders().empty());
    EXPECT_TRUE(c.GoodsOf(0).empty());
    ASSERT_TRUE(c.Load(""));
    EXPECT_TRUE(c.ResultLines().empty());  // the earlier quantity is not kept
    EXPECT_EQ(c.Records().size(), kShop.size());
}

}  // namespace
}  // namespace velmorant
